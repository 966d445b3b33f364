// Fleet benchmark: a million simulated machines run one weekly 03:30 preset for a week, each in
// its own zone and with its own identity, through the module's calendar and spread functions (no
// registry). The figure is the launches in the busiest second; the floor is what a perfectly even
// spread would give, the busiest zone-hour's launches over 3600 seconds. Zones are fixed offsets
// (FixedOffsetZone), so no machine changes the process's zone. Each machine's delay is an
// independent draw: with some 41 launches a second in the busiest zone-hour, the busiest of its
// 3600 seconds lies about 3.5 standard deviations (near 1.5 times) above that even share.
#include "BenchCase.h"

#include "store/CalendarDate.h"
#include "store/CalendarLocalTime.h"
#include "store/CalendarRule.h"
#include "store/RunSpread.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Figures = std::vector<std::pair<std::string, ksbench::Figure>>;

constexpr unsigned kMachines = 1000000;
constexpr const wchar_t* kTaskKey = L"weekly full scan";
constexpr uint32_t kHourSeconds = 3600;
constexpr uint32_t kWeekSeconds = 7 * 86400;

// Where a consumer fleet's machines are, by the UTC offset in force in a January week (southern
// summer time included), in per mille. Rough shares of a suite sold mostly in the Americas,
// Europe and Asia: the largest zones are Central Europe, US Eastern and India.
struct ZoneShare {
    int minutesEast;
    unsigned perMille;
};
constexpr ZoneShare kZones[] = {
    {-8 * 60, 60},  // US and Canada Pacific
    {-7 * 60, 20},  // US Mountain
    {-6 * 60, 70},  // US Central, Mexico
    {-5 * 60, 110}, // US Eastern, Colombia, Peru
    {-4 * 60, 20},  // Atlantic, Venezuela
    {-3 * 60, 80},  // Brazil, Argentina, Chile in summer
    {0, 70},        // United Kingdom, Portugal, West Africa
    {60, 150},      // Central Europe, Nigeria
    {2 * 60, 70},   // Eastern Europe, Egypt, South Africa
    {3 * 60, 60},   // Moscow, Turkey, Gulf, East Africa
    {3 * 60 + 30, 10}, // Iran
    {4 * 60, 10},   // United Arab Emirates
    {5 * 60, 20},   // Pakistan
    {5 * 60 + 30, 80}, // India
    {6 * 60, 10},   // Bangladesh
    {7 * 60, 50},   // Indonesia, Thailand, Vietnam
    {8 * 60, 60},   // China, Philippines, Malaysia, Western Australia
    {9 * 60, 30},   // Japan, Korea
    {11 * 60, 10},  // Eastern Australia in summer
    {13 * 60, 10},  // New Zealand in summer
};

// A random identity in the machine GUID's text form.
std::wstring randomIdentity(std::mt19937_64& random)
{
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring text(36, L'-');
    uint64_t bits[2] = {random(), random()};
    for (size_t i = 0, nibble = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            continue;
        text[i] = kHex[(bits[nibble / 16] >> (4 * (nibble % 16))) & 0xF];
        ++nibble;
    }
    return text;
}

struct Machine {
    std::wstring identity;
    size_t zone;
};

std::vector<Machine> simulatedFleet()
{
    std::mt19937_64 random(20270104);
    std::vector<double> weights;
    for (const ZoneShare& zone : kZones)
        weights.push_back(zone.perMille);
    std::discrete_distribution<size_t> zoneOf(weights.begin(), weights.end());
    std::vector<Machine> fleet;
    fleet.reserve(kMachines);
    for (unsigned i = 0; i < kMachines; ++i) {
        std::wstring identity = randomIdentity(random);
        fleet.push_back({std::move(identity), zoneOf(random)});
    }
    return fleet;
}

// Every launch of the week, machine by machine in its zone and with its identity: the run the store
// writes when the task is created at the week's start, then the run the engine writes after each
// launch, by the rule the task runs by on that machine.
Figures peakOf(const std::vector<Machine>& fleet, uint32_t spread)
{
    const KsCalendar::CalendarRule weekly{0x08, 1, 3, 30}; // Wednesdays, 03:30
    const uint32_t weekStart = static_cast<uint32_t>(KsCalendar::daysFromCivil(2027, 1, 4) * 86400);
    const uint32_t weekEnd = weekStart + kWeekSeconds;
    std::vector<uint32_t> perSecond(kWeekSeconds);
    std::vector<uint32_t> perZoneHour(std::size(kZones));
    std::vector<uint32_t> zoneSlot(std::size(kZones));
    for (size_t z = 0; z < std::size(kZones); ++z) {
        const KsCalendar::FixedOffsetZone zone(kZones[z].minutesEast * 60);
        zoneSlot[z] = KsCalendar::computeNextRun(weekly, 0, 0, weekStart);
    }
    for (const Machine& machine : fleet) {
        const KsCalendar::FixedOffsetZone zone(kZones[machine.zone].minutesEast * 60);
        const KsSpread::FixedMachineIdentity identity(machine.identity);
        KsSpread::MachineIdentity::install(&identity);
        const KsCalendar::CalendarRule rule = KsSpread::spreadRule(weekly, kTaskKey, spread);
        for (uint32_t run = KsCalendar::computeNextRun(rule, 0, 0, weekStart); run < weekEnd;
             run = KsCalendar::computeNextRun(rule, run, 0, run)) {
            ++perSecond[run - weekStart];
            if (run - zoneSlot[machine.zone] < kHourSeconds)
                ++perZoneHour[machine.zone];
        }
    }
    KsSpread::MachineIdentity::install(nullptr);
    const double busiestSecond = *std::max_element(perSecond.begin(), perSecond.end());
    const double evenSecond = *std::max_element(perZoneHour.begin(), perZoneHour.end()) / double(kHourSeconds);
    return {{"fleet.peak.spread" + std::to_string(spread), {busiestSecond, evenSecond, "launches"}}};
}

const ksbench::Register registerFleet("fleet", [] {
    const std::vector<Machine> fleet = simulatedFleet();
    Figures all = peakOf(fleet, 0);
    for (auto& figure : peakOf(fleet, kHourSeconds))
        all.push_back(figure);
    return all;
});

} // namespace
