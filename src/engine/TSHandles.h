// The pair of events the scheduler module hands to the engine thread; it lives inside the module
// for the thread's whole life.
#pragma once

#include "common/WinInclude.h"

struct _tagTSHANDLES {
    HANDLE hExitEvent = nullptr;    // set by the module's stop; the engine loop ends on it
    HANDLE hStartedEvent = nullptr; // set by the engine once its scheduler object exists
};
