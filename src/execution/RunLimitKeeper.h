// RunLimitKeeper: ends a task's whole program tree once its run has lasted longer than the task's
// run-time limit, whether or not the engine still waits for the run.
//
// The engine owns one for its life. A launch whose task has a limit hands it the job its program
// runs in as soon as the program has started. The keeper holds a duplicate of the job and makes
// the job end its processes when its last handle closes, so a host that dies takes the tree with
// it. On a thread of its own (the engine thread may be blocked in another task's wait), it ends
// the job's processes at the deadline if any still run, logs a Warning and has the task's history
// record the stop with what the tree used. A tree that ends by itself is let go.
//
// When the keeper goes (the engine stops with the module), it ends the trees it still holds: a
// module that is gone cannot end them at their deadline, and a limited task must not run on
// without its limit. Tasks without a limit are never handed to it: their programs outlive the
// module, as before.
//
// The launch waits on the watch's `ended` event beside its own, so its wait never outlasts the
// limit. A stop that comes before the engine has recorded the launch is handed to the engine
// (leaveWait), so the history tells the launch before the stop; after that the keeper records it.
//
// Threading: keep, leaveWait and the destructor on the engine thread; the keeper's thread ends
// trees and writes histories, which order their writers themselves.
#pragma once

#include "common/UniqueHandle.h"
#include "store/TaskHistory.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace KsExecution {

class RunLimitKeeper {
public:
    // One limited run, shared by the keeper and the launch that waits for it.
    class Watch {
    public:
        Watch(std::wstring task, Keelwork::unique_handle job, uint32_t limitSeconds, uint32_t endsAt,
              ULONGLONG deadlineTick);
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

        // Set once the deadline has come: the tree was ended there, or had already ended.
        HANDLE ended() const { return m_ended.get(); }
        // Seconds since 1970 by which the tree is ended if it still runs (the deadline, rounded up).
        uint32_t endsAt() const { return m_endsAt; }
        // The launch is over and recorded: a stop after this is recorded by the keeper. The stop
        // that came before, for the engine to record after the launch.
        std::optional<KsStore::HistoryEntry> leaveWait();
        // Whether a process of the tree still runs.
        bool treeRuns() const;

    private:
        friend class RunLimitKeeper;

        const std::wstring m_task;
        const Keelwork::unique_handle m_job;
        const uint32_t m_limitSeconds;
        const uint32_t m_endsAt;
        const ULONGLONG m_deadlineTick;
        Keelwork::unique_event m_ended;
        std::mutex m_lock;
        bool m_launchWaits = true;                    // written under m_lock
        std::optional<KsStore::HistoryEntry> m_stop;  // written under m_lock, while the launch waits
    };

    RunLimitKeeper() = default;
    // Ends every tree still held (StopReason::moduleStop) once its thread has ended.
    ~RunLimitKeeper();
    RunLimitKeeper(const RunLimitKeeper&) = delete;
    RunLimitKeeper& operator=(const RunLimitKeeper&) = delete;

    // Watches the tree in `job` (not taken: duplicated) for `limitSeconds` from now. Null, with an
    // Error line, when it cannot be watched: the run then has no limit.
    std::shared_ptr<Watch> keep(const std::wstring& task, HANDLE job, uint32_t limitSeconds);

    // A run whose launch had left before its tree was over (ended at the deadline, or done by
    // itself): the task and the time it was to be ended by. The thread that called keep() is sent
    // a message when there is one, so that it takes them (that thread).
    struct Released {
        std::wstring task;
        uint32_t endsAt;
    };
    std::vector<Released> takeReleased();

private:
    // 0 with `watch` set, or the system's error.
    DWORD watchJob(const std::wstring& task, HANDLE job, uint32_t limitSeconds, std::shared_ptr<Watch>& watch);
    static DWORD WINAPI entry(void* param);
    bool startThread();
    void watchLoop();
    // Milliseconds until the nearest deadline; INFINITE with none.
    DWORD untilNextDeadline();
    std::vector<std::shared_ptr<Watch>> takeDue(ULONGLONG nowTick);
    // A job told its last process ended: a watch whose launch has left is let go at once.
    void letGoIfIdle(uint64_t key);
    // True when the launch had left, so that nobody else sees the tree's end.
    static bool end(Watch& watch, KsStore::StopReason reason);
    void release(const Watch& watch);

    Keelwork::unique_handle m_port;    // job messages and the keeper's own wake-ups
    Keelwork::unique_handle m_thread;
    std::mutex m_lock;
    std::map<uint64_t, std::shared_ptr<Watch>> m_watches;  // written under m_lock
    uint64_t m_nextKey = 0;                                // written under m_lock
    std::vector<Released> m_released;                      // written under m_lock
    std::atomic<DWORD> m_owner{0};                         // the thread that keeps runs
};

} // namespace KsExecution
