// What the head task of the run queue meets now, decided in one place for the pump and for
// Explain's "ifDueNow": connected standby (outside an AM run), updates being installed, an empty
// queue, the idle and full-screen holds within their limits, and else the launch, which makes its
// own checks and the program's trust test as it starts (CSingleTask; ifDueNow asks WouldDefer).
//
// The decision reads the pump's state and writes nothing: its answer carries the state the pump
// keeps once it has carried the answer out. Its questions are asked in the pump's order, each only
// when the order reaches it, so that the pump's log lines and bus questions stay what they were.
#pragma once

#include "engine/PumpPolicy.h"
#include "engine/SchedulerSettings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace KsPlatform {
class INamedObjects;
}

namespace Keelwork::engine {

// What the decision asks, in this order; the idle and full-screen questions are PumpProbes'.
class HeadTaskQuestions : public PumpProbes {
public:
    virtual bool connectedStandby() = 0;
    virtual bool updatesInstalling() = 0;
    // The task at the head of the run queue; none when the queue is empty.
    virtual std::optional<std::wstring> headTask() = 0;
    // Whether the head task wants an idle user (asked each time the order needs it).
    virtual bool headWaitsForIdle() = 0;

protected:
    HeadTaskQuestions() = default;
    ~HeadTaskQuestions() = default;
};

enum class HeadStep : uint8_t { connectedStandby, updatesInstalling, queueEmpty, held, launch };

// The engine's state the decision reads.
struct PumpView {
    PumpHoldState pump;
    bool amMode = false;
    SchedulerSettings settings;
};

struct HeadDecision {
    HeadStep step = HeadStep::launch;
    std::wstring head;      // the head task, once the order reached it
    PumpHold hold;          // held: the hold and when the pump looks again
    PumpHoldState after;    // the pump's state once the answer is carried out
    uint32_t delay = 0;     // seconds until the engine looks again; 0: when the state ends
};

// How long the pump waits while updates install before it looks again.
inline constexpr uint32_t kUpdatesInstallingWait = 300;

// `tell`: write the pump's log lines (the pump does; a question from elsewhere does not).
HeadDecision decideHeadTask(HeadTaskQuestions& questions, const PumpView& view, uint32_t now, bool tell);

// The word a deferring answer gives as its reason: "connected standby", "updates installing",
// the hold's word; "" for the others.
std::wstring headStepReason(const HeadDecision& decision);

// Whether the update manager is installing (phase 3) the suite's "default" package.
bool updatesInstalling(KsPlatform::INamedObjects& namedObjects);

} // namespace Keelwork::engine
