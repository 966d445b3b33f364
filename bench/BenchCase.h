// The benchmark program's case registry: each subsystem file registers its cases, and every case
// prints one line "bench <case>: <figure> <unit>; floor <figure> <unit>; ratio <ratio>".
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ksbench {

struct Figure {
    double value = 0;     // the case's figure, in `unit`
    double floor = -1;    // the floor in the same unit; negative when the case has none
    std::string unit;
};

using CaseFn = std::function<std::vector<std::pair<std::string, Figure>>()>;

// Registers a group of cases at static-initialisation time; the group runs when its name matches
// the command-line filter (empty filter: all but the long groups, which run only when named).
struct Register {
    Register(const char* group, CaseFn fn, bool onlyWhenNamed = false);
};

// Runs `op` `iterations` times per repetition, `repetitions` times, and gives the median time per
// iteration in microseconds.
double medianMicros(int repetitions, int iterations, const std::function<void()>& op);

// Times `measured` and `floor` in alternate repetitions, so both see the same load on a shared
// machine; gives the median of each per iteration, in microseconds (or `unit`).
Figure compare(int repetitions, int iterations, const std::function<void()>& measured,
               const std::function<void()>& floor, const char* unit = "us");

// Median of a set of samples (sorted in place).
double median(std::vector<double>& samples);

// Percentile p (0..100) of samples (sorted in place).
double percentile(std::vector<double>& samples, double p);

// Current time in microseconds, from the performance counter.
double nowMicros();

} // namespace ksbench
