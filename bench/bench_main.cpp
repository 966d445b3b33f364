// The benchmark program: runs every registered case group (or those named on the command line)
// and prints one line per case.
#include "BenchCase.h"

#include "common/WinInclude.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace ksbench {

namespace {
struct Group {
    std::string name;
    CaseFn fn;
    bool onlyWhenNamed;
};

std::vector<Group>& registry()
{
    static std::vector<Group> groups;
    return groups;
}
} // namespace

Register::Register(const char* group, CaseFn fn, bool onlyWhenNamed)
{
    registry().push_back({group, std::move(fn), onlyWhenNamed});
}

double nowMicros()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1e6 / frequency;
}

double median(std::vector<double>& samples)
{
    return percentile(samples, 50);
}

double percentile(std::vector<double>& samples, double p)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

double medianMicros(int repetitions, int iterations, const std::function<void()>& op)
{
    std::vector<double> perIteration;
    for (int r = 0; r < repetitions; ++r) {
        double start = nowMicros();
        for (int i = 0; i < iterations; ++i)
            op();
        perIteration.push_back((nowMicros() - start) / iterations);
    }
    return median(perIteration);
}

Figure compare(int repetitions, int iterations, const std::function<void()>& measured,
               const std::function<void()>& floor, const char* unit)
{
    std::vector<double> a;
    std::vector<double> b;
    for (int r = 0; r < repetitions; ++r) {
        a.push_back(medianMicros(1, iterations, measured));
        b.push_back(medianMicros(1, iterations, floor));
    }
    return {median(a), median(b), unit};
}

} // namespace ksbench

int main(int argc, char** argv)
{
    using namespace ksbench;
    for (auto& group : registry()) {
        bool selected = argc < 2 && !group.onlyWhenNamed;
        for (int i = 1; i < argc; ++i)
            selected = selected || std::strncmp(group.name.c_str(), argv[i], std::strlen(argv[i])) == 0;
        if (!selected)
            continue;
        for (auto& [name, f] : group.fn()) {
            if (f.floor > 0)
                std::printf("bench %s: %.2f %s; floor %.2f %s; ratio %.2f\n", name.c_str(), f.value, f.unit.c_str(),
                            f.floor, f.unit.c_str(), f.value / f.floor);
            else
                std::printf("bench %s: %.2f %s; floor - ; ratio -\n", name.c_str(), f.value, f.unit.c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}
