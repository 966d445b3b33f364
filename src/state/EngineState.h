// Where the engine is and what holds each task, as one value the engine thread writes at every
// transition and any thread may copy.
//
// The engine's state is its phase (starting, waiting out its start delay, running, suspended, in
// connected standby, in an auto-maintenance run, stopping, stopped), the reason where there is one,
// and since and until when (0: open-ended). A task's state says whether it is queued or running,
// what holds it, the outcome of its last launch and last deferral, and when a limited run is ended.
//
// Threading: EngineStateBoard is written by one thread, the one that made it (the engine thread):
// a write from any other is refused and logged, so a second writer cannot slip in unseen. Any
// thread takes a copy under a short shared lock, never waiting for the engine thread itself.
#pragma once

#include "common/SrwLock.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace KsState {

enum class EnginePhase : uint8_t {
    starting,
    startDelay,
    running,
    suspended,
    connectedStandby,
    autoMaintenance,
    stopping,
    stopped,
};

enum class EngineReason : uint8_t { none, restartPending, safeMode, installing, oemSetUp, outOfBoxWait };

struct EngineState {
    EnginePhase phase = EnginePhase::stopped;
    EngineReason reason = EngineReason::none;
    uint32_t since = 0;  // seconds since 1970
    uint32_t until = 0;  // 0: open-ended
    friend bool operator==(const EngineState&, const EngineState&) = default;
};

enum class HoldReason : uint8_t { none, outOfBox, idle, fullScreen, retailDemo, maintenanceExclusion };

struct TaskHold {
    HoldReason reason = HoldReason::none;
    uint32_t since = 0;
    uint32_t until = 0;  // 0: open-ended
    friend bool operator==(const TaskHold&, const TaskHold&) = default;
};

struct LaunchOutcome {
    uint32_t time = 0;
    uint32_t result = 0;
    std::optional<uint32_t> exitCode;  // known when the program had ended by the end of the wait
    uint32_t durationMs = 0;
    // The program's tree when the launch waited for its end: user plus kernel time, peak memory.
    std::optional<uint64_t> cpuMs = std::nullopt;
    std::optional<uint64_t> peakMemoryBytes = std::nullopt;
    friend bool operator==(const LaunchOutcome&, const LaunchOutcome&) = default;
};

struct DeferralOutcome {
    uint32_t time = 0;
    uint32_t code = 0;  // a deferral code; its reason word comes with it
    uint32_t delay = 0;
    uint32_t error = 0;
    friend bool operator==(const DeferralOutcome&, const DeferralOutcome&) = default;
};

struct TaskState {
    bool queued = false;
    bool running = false;
    TaskHold hold;
    std::optional<LaunchOutcome> lastLaunch;
    std::optional<DeferralOutcome> lastDeferral;
    // While it runs under a run-time limit: the second by which its program's tree is ended; 0 otherwise.
    uint32_t endsAt = 0;
    friend bool operator==(const TaskState&, const TaskState&) = default;
};

// The words the state is told in: "running", "restart pending", "full screen", ...
const wchar_t* phaseWord(EnginePhase phase);
const wchar_t* reasonWord(EngineReason reason);  // "" for none
const wchar_t* holdWord(HoldReason reason);      // "" for none

class EngineStateBoard {
public:
    EngineStateBoard();
    EngineStateBoard(const EngineStateBoard&) = delete;
    EngineStateBoard& operator=(const EngineStateBoard&) = delete;

    // The writer's thread only; false (and logged) from any other, with nothing written. A stopped
    // engine queues and holds nothing: its tasks' queued marks and holds end with it; what they
    // last did stays.
    bool setEngine(const EngineState& state);
    // Applies `change` to the task's state (a default one when it has none yet).
    template <typename Change>
    void changeTask(const std::wstring& name, Change change)
    {
        if (!mayWrite())
            return;
        Keelwork::SrwExclusive hold(m_lock);
        change(m_tasks[name]);
        ++m_changes;
    }
    void removeTask(const std::wstring& name);
    // The batch ended: nothing is queued, and the holds that lasted for the batch (idle, full
    // screen, maintenance exclusion) end; those of the start (out-of-box, retail demo) stay.
    void endBatch();

    // Any thread.
    EngineState engine() const;
    // The engine's state and the task's, taken together.
    std::pair<EngineState, TaskState> read(const std::wstring& name) const;
    std::pair<EngineState, std::map<std::wstring, TaskState>> readAll() const;
    // Moves at every write: a reader that saw the same count before has nothing new to read.
    uint64_t changeCount() const { return m_changes.load(std::memory_order_acquire); }

private:
    bool mayWrite() const;

    const unsigned long m_writer;  // the thread that made the board
    mutable SRWLOCK m_lock = SRWLOCK_INIT;
    EngineState m_engine;                       // written under m_lock
    std::map<std::wstring, TaskState> m_tasks;  // written under m_lock
    std::atomic<uint64_t> m_changes{0};         // bumped under m_lock, after the write
};

// The board of the engine that runs, or ran last, in this process: each engine publishes its own
// as it starts and leaves it, stopped, when it ends. Null before the first start.
void publishEngineStateBoard(std::shared_ptr<EngineStateBoard> board);
std::shared_ptr<const EngineStateBoard> currentEngineStateBoard();

} // namespace KsState
