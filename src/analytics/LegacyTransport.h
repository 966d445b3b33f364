// CLegacyTransport: hands events as JSON text to the suite's analytics collector over COM.
#pragma once

#include "analytics/CollectorInterface.h"
#include "analytics/JSONFormatter.h"
#include "analytics/Transport.h"

#include <memory>

namespace Tessel::Analytics {

class CLegacyTransport final : public internal::CBaseTransport {
public:
    // A null clsid (GUID_NULL) means the suite's collector class; a null source means COM.
    explicit CLegacyTransport(const CLSID& clsid = CLSID{}, std::shared_ptr<ICollectorSource> source = nullptr);

    // Whether the collector can be obtained now (it is released again at once).
    bool open() override;
    // Whether the collector's call was made.
    bool send(const DimensionMap& dimensions) override;
    void close() override {}

private:
    CLSID m_clsid;
    std::shared_ptr<ICollectorSource> m_source;
    CJSONFormatter m_formatter;
};

} // namespace Tessel::Analytics
