// Known folders through SHGetKnownFolderPath, whose result buffer belongs to the COM allocator.
#include "common/KnownFolder.h"

#include "common/UniqueHandle.h"

#include <shlobj.h>

namespace Keelwork {
namespace {

struct CoTaskMemTraits {
    using handle_type = PWSTR;
    static handle_type invalid() noexcept { return nullptr; }
    static bool isValid(handle_type p) noexcept { return p != nullptr; }
    static void close(handle_type p) noexcept { ::CoTaskMemFree(p); }
};

} // namespace

bool knownFolderPath(const GUID& folderId, std::wstring& path)
{
    // The shell may hand back a buffer even when it fails; the owner frees it either way.
    UniqueHandle<CoTaskMemTraits> buffer;
    if (FAILED(::SHGetKnownFolderPath(folderId, KF_FLAG_DEFAULT, nullptr, buffer.put())) || !buffer)
        return false;
    path = buffer.get();
    return true;
}

} // namespace Keelwork
