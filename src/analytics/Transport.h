// Transports carry a finished event to the suite's analytics collector, or drop it.
#pragma once

#include "analytics/Dimensions.h"

#include <cstdint>
#include <string>

namespace Tessel::Analytics::internal {

class ITransport {
public:
    virtual ~ITransport() = default;                       // 0
    virtual bool open() = 0;                               // 1: whether it can deliver
    virtual bool send(const DimensionMap& dimensions) = 0; // 2
    virtual void close() = 0;                              // 3
    virtual const std::wstring& name() const = 0;          // 4
    virtual uint32_t version() const = 0;                  // 5

protected:
    ITransport() = default;
    ITransport(const ITransport&) = delete;
    ITransport& operator=(const ITransport&) = delete;
};

class CBaseTransport : public ITransport {
public:
    const std::wstring& name() const override { return m_name; }
    uint32_t version() const override { return m_version; }

protected:
    CBaseTransport(std::wstring name, uint32_t version) : m_name(std::move(name)), m_version(version) {}

private:
    std::wstring m_name;
    uint32_t m_version;
};

} // namespace Tessel::Analytics::internal

namespace Tessel::Analytics {

// Accepts and drops every event: the fallback when no collector is reachable.
class CNullTransport final : public internal::CBaseTransport {
public:
    CNullTransport() : CBaseTransport(L"NULL-Pattern", 1) {}
    bool open() override { return true; }
    bool send(const DimensionMap&) override { return true; }
    void close() override {}
};

} // namespace Tessel::Analytics
