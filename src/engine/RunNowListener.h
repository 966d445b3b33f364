// Hears run-now requests from other processes and hands each to the running engine through the
// same door as a RunNow request on the bus (askRunningEngineToRunNow), then answers it.
//
// A thread of its own rather than the engine thread: the engine thread waits while a task's program
// runs, and a request asked then must meet that run (the task runs once), as the bus's does, and
// the asker must hear at once rather than when the run ends.
//
// Threading: start and the destructor on the engine thread; the listening thread calls into the
// engine only through the running-engine link, so it never reaches an engine that is going.
#pragma once

#include "common/UniqueHandle.h"

#include <cstdint>

namespace Keelwork::engine {

class RunNowListener {
public:
    RunNowListener() = default;
    ~RunNowListener();
    RunNowListener(const RunNowListener&) = delete;
    RunNowListener& operator=(const RunNowListener&) = delete;

    // Makes the request key afresh, creates the named event (settable by SYSTEM and
    // administrators only) and starts listening. False, with the system's error in GetLastError(),
    // when any step failed: requests from outside then find no engine.
    bool start();

private:
    static DWORD WINAPI entry(void* param);
    void listen();
    void serveRequests() const;

    unique_event m_stop;
    unique_event m_request;
    unique_handle m_thread;
    uint64_t m_startedAt = 0;  // FILETIME units; a request written before it is dropped
};

} // namespace Keelwork::engine
