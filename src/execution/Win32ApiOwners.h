// Owners for what the function table hands out and takes back through its own entries: the
// terminal-session memory, environment blocks and loaded user profiles.
#pragma once

#include "platform/KsWin32API.h"

#include <utility>

namespace KsExecution {

// Memory returned by the WTS functions, freed with WTSFreeMemory of the same table.
template <typename T>
class WtsMemory {
public:
    explicit WtsMemory(const CKsWin32APIBase& api) noexcept : m_api(api) {}
    ~WtsMemory()
    {
        if (m_memory != nullptr && m_api.usable(m_api.pWTSFreeMemory))
            m_api.pWTSFreeMemory(m_memory);
    }
    WtsMemory(const WtsMemory&) = delete;
    WtsMemory& operator=(const WtsMemory&) = delete;

    T* get() const noexcept { return m_memory; }
    T** put() noexcept { return &m_memory; }

private:
    const CKsWin32APIBase& m_api;
    T* m_memory = nullptr;
};

// An environment block from CreateEnvironmentBlock.
class EnvironmentBlock {
public:
    explicit EnvironmentBlock(const CKsWin32APIBase& api) noexcept : m_api(api) {}
    ~EnvironmentBlock() { reset(); }
    EnvironmentBlock(const EnvironmentBlock&) = delete;
    EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;

    void* get() const noexcept { return m_block; }
    void** put() noexcept
    {
        reset();
        return &m_block;
    }
    void reset() noexcept
    {
        if (m_block != nullptr && m_api.usable(m_api.pDestroyEnvironmentBlock))
            m_api.pDestroyEnvironmentBlock(m_block);
        m_block = nullptr;
    }

private:
    const CKsWin32APIBase& m_api;
    void* m_block = nullptr;
};

// A user profile loaded for a token; unloaded with the same token, which must outlive this owner.
class LoadedProfile {
public:
    explicit LoadedProfile(const CKsWin32APIBase& api) noexcept : m_api(api) {}
    ~LoadedProfile()
    {
        if (m_profile != nullptr && m_api.usable(m_api.pUnloadUserProfile))
            m_api.pUnloadUserProfile(m_token, m_profile);
    }
    LoadedProfile(const LoadedProfile&) = delete;
    LoadedProfile& operator=(const LoadedProfile&) = delete;

    void adopt(HANDLE token, HANDLE profile) noexcept
    {
        m_token = token;
        m_profile = profile;
    }

private:
    const CKsWin32APIBase& m_api;
    HANDLE m_token = nullptr;
    HANDLE m_profile = nullptr;
};

} // namespace KsExecution
