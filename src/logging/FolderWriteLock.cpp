// The cross-process write lock of a log folder.
#include "logging/FolderWriteLock.h"

#include <algorithm>

namespace ETWLogging {

namespace {

// How long a waiter sleeps before it looks whether the owner's process has ended.
constexpr unsigned long kOwnerCheckMs = 50;

uint64_t ownerOf(HANDLE process, DWORD processId)
{
    FILETIME created{};
    FILETIME unused[3];
    if (!GetProcessTimes(process, &created, &unused[0], &unused[1], &unused[2]))
        return 0;
    return (uint64_t(processId) << 32) | (created.dwLowDateTime | 1u);
}

} // namespace

struct FolderWriteLock::State {
    LONG64 owner;  // 0 when free; touched only through Interlocked calls
    LONG waiters;
    LONG iniWrites;
};

uint64_t FolderWriteLock::processOwner()
{
    static const uint64_t owner = ownerOf(GetCurrentProcess(), GetCurrentProcessId());
    return owner;
}

FolderWriteLock::FolderWriteLock(const std::wstring& name, uint64_t owner)
    : m_owner(owner ? owner : processOwner())
{
    m_section.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(State), name.c_str()));
    m_released.reset(CreateEventW(nullptr, FALSE, FALSE, (name + L".Released").c_str()));
    if (!m_section || !m_released || m_owner == 0)
        return;
    // A new section starts zeroed: free, nobody waiting.
    m_state = static_cast<State*>(MapViewOfFile(m_section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(State)));
}

FolderWriteLock::~FolderWriteLock()
{
    if (m_state)
        UnmapViewOfFile(m_state);
}

bool FolderWriteLock::ownerEnded(uint64_t owner) const
{
    const DWORD processId = static_cast<DWORD>(owner >> 32);
    Keelwork::unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no such process; denied: assume it lives
    // An id in use again by a later process is a different owner.
    return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0 || ownerOf(process.get(), processId) != owner;
}

bool FolderWriteLock::acquire(unsigned long timeoutMs)
{
    if (!m_state)
        return false;
    const LONG64 self = static_cast<LONG64>(m_owner);
    if (InterlockedCompareExchange64(&m_state->owner, self, 0) == 0)
        return true;

    // Counted before looking at the owner again, so a releaser that frees the lock after that
    // look sees this waiter and sets the event.
    InterlockedIncrement(&m_state->waiters);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool owned = false;
    bool checkOwner = false;
    for (;;) {
        LONG64 seen = InterlockedCompareExchange64(&m_state->owner, self, 0);
        if (seen == 0 ||
            (checkOwner && ownerEnded(static_cast<uint64_t>(seen)) &&
             InterlockedCompareExchange64(&m_state->owner, self, seen) == seen)) {
            owned = true;
            break;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kOwnerCheckMs));
        checkOwner = WaitForSingleObject(m_released.get(), slice) == WAIT_TIMEOUT;
    }
    InterlockedDecrement(&m_state->waiters);
    return owned;
}

long FolderWriteLock::iniWrites() const
{
    return m_state ? InterlockedCompareExchange(&m_state->iniWrites, 0, 0) : 0;
}

void FolderWriteLock::countIniWrite()
{
    if (m_state)
        InterlockedIncrement(&m_state->iniWrites);
}

void FolderWriteLock::release()
{
    if (!m_state)
        return;
    InterlockedExchange64(&m_state->owner, 0);
    if (InterlockedCompareExchange(&m_state->waiters, 0, 0) > 0)
        SetEvent(m_released.get());
}

} // namespace ETWLogging
