// The suite's analytics collector as this module sees it: a COM class outside the module whose
// first own method takes three strings (an empty one, the event's JSON text, an empty one).
#pragma once

#include "common/WinInclude.h"

#include <objbase.h>
#include <oleauto.h>

namespace Tessel::Analytics {

// {E782BE15-9936-4A7F-8DF9-9AB95D229DF1}
inline constexpr CLSID kCollectorClsid = {0xE782BE15, 0x9936, 0x4A7F, {0x8D, 0xF9, 0x9A, 0xB9, 0x5D, 0x22, 0x9D, 0xF1}};
// {AC29BAF7-7EFF-4A82-8B29-76B1A3E27A6D}
inline constexpr IID kCollectorIid = {0xAC29BAF7, 0x7EFF, 0x4A82, {0x8B, 0x29, 0x76, 0xB1, 0xA3, 0xE2, 0x7A, 0x6D}};

struct ICollector : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE TrackEvent(BSTR context, BSTR json, BSTR options) = 0;
};

// Where the legacy transport obtains the collector.
class ICollectorSource {
public:
    virtual ~ICollectorSource() = default;
    // S_OK and an AddRef'ed interface, or the failure.
    virtual HRESULT obtain(const CLSID& clsid, ICollector** collector) = 0;
};

// The production source: the collector class through COM activation (all contexts 23).
class ComCollectorSource final : public ICollectorSource {
public:
    HRESULT obtain(const CLSID& clsid, ICollector** collector) override;
};

} // namespace Tessel::Analytics
