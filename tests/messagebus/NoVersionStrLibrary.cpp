// A library with three of the four exports every suite library offers: "GetVersionStr" is missing,
// so loading it must fail at import.
#include <cstdint>

extern "C" {
__declspec(dllexport) const void* CreateObject(uint32_t)
{
    return nullptr;
}
__declspec(dllexport) void ReleaseObject(const void*) {}
__declspec(dllexport) uint32_t GetVersionNum()
{
    return 1000000;
}
}
