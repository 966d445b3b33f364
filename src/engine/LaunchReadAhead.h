// The program of the task that falls due next, read for its trust check a moment before its due
// time, while the engine waits anyway, rather than between the due time and the program's start:
// the launch's check is then left with the allow-list's answer. From the reading until the launch
// takes it, the file stays open with the check's sharing, so the bytes read are the bytes started;
// a step that does not launch the task lets the file go, and so does a timer armed for another time.
//
// Threading: the engine thread.
#pragma once

#include <cstdint>

namespace KsExecution {
class ITrustValidator;
}

namespace Keelwork::engine {

class CKsTaskManager;
class EngineLoop;

class LaunchReadAhead {
public:
    // How long before the due time the program is read: ample for a program of some megabytes on
    // a cold disk, short enough that the file is held only briefly.
    static constexpr int64_t kLeadUnits = 2500000;  // 250 ms, in the timer's 100 ns

    LaunchReadAhead() = default;
    ~LaunchReadAhead() { release(); }
    LaunchReadAhead(const LaunchReadAhead&) = delete;
    LaunchReadAhead& operator=(const LaunchReadAhead&) = delete;

    // The engine's timer was armed for `due`, `unitsUntilDue` from now: the reading comes
    // kLeadUnits before it (at once when that moment is past). A file read for another time is
    // let go; one read for this time is kept.
    void plan(uint32_t due, int64_t unitsUntilDue, EngineLoop& loop);
    // The read-ahead timer fell due: reads the program of a task due at the planned time, unless
    // it is read already or that time is past.
    void read(CKsTaskManager& tasks);
    // The step the reading was for is over: the file goes; what is planned stays.
    void release();
    // The timer no longer aims at the planned time: nothing stays planned or read.
    void cancel();

private:
    uint32_t m_planned = 0;  // the due time the read-ahead timer is armed for; 0: none
    uint32_t m_readFor = 0;  // the due time the held file was read for; 0: none held
    KsExecution::ITrustValidator* m_holder = nullptr;
};

} // namespace Keelwork::engine
