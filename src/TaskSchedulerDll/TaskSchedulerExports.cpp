// The four exports of TaskScheduler.dll: the host finds them by name and drives the module
// through the table CreateObject returns.
#include "module/ModuleFunctionTable.h"

extern "C" {

const ModuleFunctions* __cdecl CreateObject()
{
    return Tessel::moduleFunctionTable();
}

void __cdecl ReleaseObject(const void*)
{
    // The table is static: there is nothing to release.
}

uint32_t __cdecl GetVersionNum()
{
    return TASK_SCHEDULER_VERSION_NUM;
}

const char* __cdecl GetVersionStr()
{
    return TASK_SCHEDULER_VERSION_STR;
}

} // extern "C"
