// Move-only owners of Win32 handles: one traits struct per close function, so no cleanup path
// can be skipped by an early return.
#pragma once

#include "common/WinInclude.h"

#include <bcrypt.h>

#include <utility>

namespace Keelwork {

template <typename Traits>
class UniqueHandle {
public:
    using handle_type = typename Traits::handle_type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(handle_type h) noexcept : m_handle(h) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    handle_type get() const noexcept { return m_handle; }
    bool valid() const noexcept { return Traits::isValid(m_handle); }
    explicit operator bool() const noexcept { return valid(); }

    [[nodiscard]] handle_type release() noexcept { return std::exchange(m_handle, Traits::invalid()); }

    // Keeps GetLastError() intact so a caller can reset in a cleanup path and still report the
    // error of the call that failed.
    void reset(handle_type h = Traits::invalid()) noexcept
    {
        if (Traits::isValid(m_handle)) {
            DWORD savedError = GetLastError();
            Traits::close(m_handle);
            SetLastError(savedError);
        }
        m_handle = h;
    }

    // For APIs that fill a handle through an out-pointer; closes the current one first.
    handle_type* put() noexcept
    {
        reset();
        return &m_handle;
    }

private:
    handle_type m_handle = Traits::invalid();
};

struct KernelHandleTraits {
    using handle_type = HANDLE;
    static handle_type invalid() noexcept { return nullptr; }
    // Kernel APIs disagree on the empty value: CreateFile gives INVALID_HANDLE_VALUE, most others null.
    static bool isValid(handle_type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(handle_type h) noexcept { ::CloseHandle(h); }
};

struct RegKeyTraits {
    using handle_type = HKEY;
    static handle_type invalid() noexcept { return nullptr; }
    static bool isValid(handle_type h) noexcept { return h != nullptr; }
    static void close(handle_type h) noexcept { ::RegCloseKey(h); }
};

struct ModuleTraits {
    using handle_type = HMODULE;
    static handle_type invalid() noexcept { return nullptr; }
    static bool isValid(handle_type h) noexcept { return h != nullptr; }
    static void close(handle_type h) noexcept { ::FreeLibrary(h); }
};

// A directory search; FindFirstFile reports failure as INVALID_HANDLE_VALUE.
struct FindHandleTraits {
    using handle_type = HANDLE;
    static handle_type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(handle_type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(handle_type h) noexcept { ::FindClose(h); }
};

// A security identifier from AllocateAndInitializeSid.
struct SidTraits {
    using handle_type = PSID;
    static handle_type invalid() noexcept { return nullptr; }
    static bool isValid(handle_type h) noexcept { return h != nullptr; }
    static void close(handle_type h) noexcept { ::FreeSid(h); }
};

// A block of the process heap.
struct ProcessHeapTraits {
    using handle_type = void*;
    static handle_type invalid() noexcept { return nullptr; }
    static bool isValid(handle_type h) noexcept { return h != nullptr; }
    static void close(handle_type h) noexcept { ::HeapFree(::GetProcessHeap(), 0, h); }
};

// Memory the system allocated with LocalAlloc for the caller (FormatMessage, security descriptors).
struct LocalMemoryTraits {
    using handle_type = HLOCAL;
    static handle_type invalid() noexcept { return nullptr; }
    static bool isValid(handle_type h) noexcept { return h != nullptr; }
    static void close(handle_type h) noexcept { ::LocalFree(h); }
};

// CNG objects: an algorithm provider and a hash object each have their own close function.
struct BCryptAlgorithmTraits {
    using handle_type = BCRYPT_ALG_HANDLE;
    static handle_type invalid() noexcept { return nullptr; }
    static bool isValid(handle_type h) noexcept { return h != nullptr; }
    static void close(handle_type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct BCryptHashTraits {
    using handle_type = BCRYPT_HASH_HANDLE;
    static handle_type invalid() noexcept { return nullptr; }
    static bool isValid(handle_type h) noexcept { return h != nullptr; }
    static void close(handle_type h) noexcept { ::BCryptDestroyHash(h); }
};

using unique_handle = UniqueHandle<KernelHandleTraits>;
using unique_event = UniqueHandle<KernelHandleTraits>;
// A job object. Closing it ends nothing: a job that should end its processes when closed says so
// in its own limits.
using unique_job = UniqueHandle<KernelHandleTraits>;
using unique_hkey = UniqueHandle<RegKeyTraits>;
using unique_hmodule = UniqueHandle<ModuleTraits>;
using unique_hlocal = UniqueHandle<LocalMemoryTraits>;
using unique_find = UniqueHandle<FindHandleTraits>;
using unique_sid = UniqueHandle<SidTraits>;
using unique_heap_block = UniqueHandle<ProcessHeapTraits>;
using unique_bcrypt_algorithm = UniqueHandle<BCryptAlgorithmTraits>;
using unique_bcrypt_hash = UniqueHandle<BCryptHashTraits>;

// Both handles of a started process, closed together.
struct unique_process_information {
    unique_handle process;
    unique_handle thread;
    DWORD processId = 0;
    DWORD threadId = 0;

    void adopt(const PROCESS_INFORMATION& pi) noexcept
    {
        process.reset(pi.hProcess);
        thread.reset(pi.hThread);
        processId = pi.dwProcessId;
        threadId = pi.dwThreadId;
    }
};

} // namespace Keelwork
