// The running engine thread as the bench groups start it, and the cases of it that the task-list
// group calls with its stored tasks.
#pragma once

#include "BenchCase.h"

#include "common/UniqueHandle.h"
#include "engine/TSHandles.h"
#include "messagebus/MessageBusClient.h"

#include <functional>
#include <memory>

#include <string>
#include <utility>
#include <vector>

namespace ksbench {

// The engine thread as the scheduler module runs it, on the current scratch hive. This process
// answers the probes' bus requests as the suite's monitors do, or each probe waits out its timeout.
class EngineThread {
public:
    EngineThread();
    ~EngineThread();
    EngineThread(const EngineThread&) = delete;
    EngineThread& operator=(const EngineThread&) = delete;

    bool running() const { return m_running; }
    HANDLE thread() const { return m_thread.get(); }
    Tessel::MessageBusClient& bus() { return *m_monitors; }

private:
    void answer(const wchar_t* request, const wchar_t* reply);

    std::shared_ptr<Tessel::MessageBusClient> m_monitors = std::make_shared<Tessel::MessageBusClient>();
    Keelwork::unique_event m_exit{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // manual reset, as the module makes it
    Keelwork::unique_event m_started{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    _tagTSHANDLES m_handles;
    Keelwork::unique_handle m_thread;
    bool m_running = false;
};

// CPU time while the engine idles: the process's and the engine thread's, in ms, over a window of
// windowMs (the measured length in windowMs).
struct IdleCpu {
    double processMs = 0;
    double threadMs = 0;
    double windowMs = 0;
};

// Waits out `engineThread`'s start-up work (over 30 s), then measures a window of `windowMs`.
IdleCpu measureIdleCpu(EngineThread& engineThread, DWORD windowMs);

// How late the engine thread launches a task after its due time (p50 and p99, as "<prefix>.p50"
// and ".p99"), against a waitable timer and CreateProcessW of the same program, on the current
// scratch hive with whatever tasks it holds. `named`: each sample's task is told to the engine as
// task management in this process tells it, else by the named event as another process does.
// `started` runs once the engine's start-up is over, before the first sample.
std::vector<std::pair<std::string, Figure>> measureLateness(const std::string& prefix, bool named,
                                                            const std::function<void()>& started = {});

// The process's CPU time over 30 s while the engine thread runs with the stored tasks, none due,
// measured once the engine's start-up work is over.
std::vector<std::pair<std::string, Figure>> engineIdleCpu();

} // namespace ksbench
