// CTracker: the dimension map of one analytics record, the caller-facing add, and Send.
#include "analytics/Tracker.h"

#include "analytics/AnalyticsNames.h"
#include "analytics/RecordTime.h"
#include "analytics/SDKConnector.h"
#include "common/Clock.h"
#include "logging/internal_logging.h"

#include <cwchar>

namespace Tessel::Analytics::internal {

class CTrackerImpl {
public:
    explicit CTrackerImpl(std::wstring type) : trackerType(std::move(type)) {}
    std::wstring trackerType;
    DimensionMap dimensions;
};

CTracker::CTracker(std::wstring trackerType) : m_impl(std::make_unique<CTrackerImpl>(std::move(trackerType))) {}

CTracker::~CTracker() = default;

const DimensionMap& CTracker::Dimensions() const { return m_impl->dimensions; }

void CTracker::Set(const std::wstring& name, const std::wstring& value)
{
    if (name.empty())
        return;
    m_impl->dimensions[name] = value;
}

void CTracker::AddDimension(const wchar_t* name, const wchar_t* value)
{
    if (name == nullptr) {
        KSLOG_WARNING(L"Adding dimension with a [null] name - ignored.");
        return;
    }
    const wchar_t* text = value != nullptr ? value : L"";
    if (std::wcsncmp(name, names::kPrivatePrefix, 2) == 0) {
        KSLOG_WARNING(L"Illegal request to add private dimension ('%s ='%s') - Ignored", name, text);
        return;
    }
    Set(name, text);
}

void CTracker::Send()
{
    Set(names::kTrackApiVersion, names::kApiVersion);
    Set(names::kTrackerType, m_impl->trackerType);

    int64_t now = Keelwork::Clock::current().now();
    std::wstring created;
    if (formatRecordCreated(now, created))
        Set(names::kRecordCreated, created);
    else
        Set(names::kRecordCreatedRaw, std::to_wstring(now));
    Set(names::kRecordCreatedSeconds, std::to_wstring(performanceCounterSeconds()));

    Tessel::Analytics::CSDKConnector connector;
    if (connector.connect())
        connector.send(m_impl->dimensions);
    connector.disconnect();
}

} // namespace Tessel::Analytics::internal
