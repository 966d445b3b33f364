// The legacy transport's COM calls to the analytics collector.
#include "analytics/LegacyTransport.h"

#include "common/ComPtr.h"
#include "common/UniqueHandle.h"

#include <string>

namespace Tessel::Analytics {

namespace {

// Activating a class nobody registered asks the COM service on every event, and under Wine each
// such failed activation leaves two handles open: a task run sends two events. The registry
// answers the same question locally.
bool classRegistered(const CLSID& clsid)
{
    wchar_t text[40] = {};
    if (::StringFromGUID2(clsid, text, 40) == 0)
        return true;  // COM will say
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + text).c_str(), 0, KEY_READ, &opened);
    Keelwork::unique_hkey key(opened);
    return status == ERROR_SUCCESS;
}

} // namespace

HRESULT ComCollectorSource::obtain(const CLSID& clsid, ICollector** collector)
{
    if (!classRegistered(clsid))
        return REGDB_E_CLASSNOTREG;
    // The suite's verified in-process server is not part of this module; activation by class
    // covers the installed collector.
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, kCollectorIid, reinterpret_cast<void**>(collector));
}

namespace {

// A BSTR owner for the three call arguments.
class Bstr {
public:
    explicit Bstr(const std::wstring& text) : m_text(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(m_text); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return m_text; }

private:
    BSTR m_text;
};

} // namespace

CLegacyTransport::CLegacyTransport(const CLSID& clsid, std::shared_ptr<ICollectorSource> source)
    : CBaseTransport(L"Legacy", 1),
      m_clsid(::IsEqualGUID(clsid, CLSID{}) ? kCollectorClsid : clsid),
      m_source(source ? std::move(source) : std::make_shared<ComCollectorSource>())
{
}

bool CLegacyTransport::open()
{
    Keelwork::ComInitialization com;
    Keelwork::ComPtr<ICollector> collector;
    return SUCCEEDED(m_source->obtain(m_clsid, collector.put())) && collector;
}

bool CLegacyTransport::send(const DimensionMap& dimensions)
{
    Keelwork::ComInitialization com;
    Keelwork::ComPtr<ICollector> collector;
    if (FAILED(m_source->obtain(m_clsid, collector.put())) || !collector)
        return false;
    std::wstring json;
    if (!m_formatter.format(dimensions, json))
        return false;
    Bstr empty1(L""), text(json), empty2(L"");
    collector->TrackEvent(empty1.get(), text.get(), empty2.get());
    return true;
}

} // namespace Tessel::Analytics
