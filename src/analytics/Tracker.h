// CTracker: an analytics record being filled and sent. Callers fill it through the fluent
// interface (see Event.h), whose Add refuses the private "__" names that Send stamps itself.
// Created, filled and sent on one thread.
#pragma once

#include "analytics/Dimensions.h"

#include <memory>
#include <string>

namespace Tessel::Analytics::internal {

class CTrackerImpl;

class CTracker {
public:
    virtual ~CTracker();                                                  // 0
    // Stamps the record metadata and hands the dimensions to the chosen transport. Failures
    // are silent: the event is dropped.
    virtual void Send();                                                  // 1
    // Inserts or replaces; an empty name is ignored. Private names are allowed here.
    virtual void Set(const std::wstring& name, const std::wstring& value); // 2

    const DimensionMap& Dimensions() const;

    CTracker(const CTracker&) = delete;
    CTracker& operator=(const CTracker&) = delete;

protected:
    explicit CTracker(std::wstring trackerType);
    // The caller-facing add: null name ignored, null value empty, "__" names refused.
    void AddDimension(const wchar_t* name, const wchar_t* value);

private:
    std::unique_ptr<CTrackerImpl> m_impl;
};

} // namespace Tessel::Analytics::internal
