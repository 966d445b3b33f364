// Move-only owner of one COM interface pointer: releases it on reset and destruction.
#pragma once

#include "common/WinInclude.h"

#include <objbase.h>
#include <unknwn.h>
#include <utility>

namespace Keelwork {

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_ptr = std::exchange(other.m_ptr, nullptr);
        }
        return *this;
    }

    T* get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }

    void reset() noexcept
    {
        if (m_ptr != nullptr)
            std::exchange(m_ptr, nullptr)->Release();
    }

    // For out-parameters; releases the current pointer first.
    T** put() noexcept
    {
        reset();
        return &m_ptr;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

private:
    T* m_ptr = nullptr;
};

// Balances a successful CoInitializeEx on this thread; a thread already initialised in another
// mode (RPC_E_CHANGED_MODE) is used as it is and left alone.
class ComInitialization {
public:
    explicit ComInitialization(DWORD mode = COINIT_APARTMENTTHREADED) noexcept
        : m_result(::CoInitializeEx(nullptr, mode)) {}
    ~ComInitialization()
    {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    ComInitialization(const ComInitialization&) = delete;
    ComInitialization& operator=(const ComInitialization&) = delete;

    HRESULT result() const noexcept { return m_result; }

private:
    HRESULT m_result;
};

} // namespace Keelwork
