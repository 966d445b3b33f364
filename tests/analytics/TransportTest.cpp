// Transport choice for a send, the null fallback, and the legacy transport's call to the
// collector (a stand-in COM object; the real collector class is not installed under Wine).
#include "CapturingTransport.h"

#include "analytics/Event.h"
#include "analytics/LegacyTransport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Tessel::Analytics::CLegacyTransport;
using Tessel::Analytics::DimensionMap;
using Tessel::Analytics::ICollector;
using Tessel::Analytics::ICollectorSource;
using kstest::CapturingTransport;

struct ChoiceCase {
    int registered;        // 0: none, 1: first only, 2: both
    bool firstOpens;
    bool secondOpens;
    const wchar_t* chosen; // the "__transport.name" delivered, or null when nothing was captured
};

class TransportChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(TransportChoice, FirstThatOpensElseNull)
{
    const ChoiceCase& c = GetParam();
    auto first = c.registered >= 1 ? CapturingTransport::factory(L"First", c.firstOpens) : nullptr;
    auto second = c.registered >= 2 ? CapturingTransport::factory(L"Second", c.secondOpens) : nullptr;
    kstest::CapturingRegistration registration(first, second);
    Tessel::Analytics::v2::CEvent(L"E").Send();
    if (c.chosen == nullptr) {
        EXPECT_FALSE(CapturingTransport::lastSent.has_value());
    } else {
        ASSERT_TRUE(CapturingTransport::lastSent.has_value());
        EXPECT_EQ(CapturingTransport::lastSent->at(L"__transport.name"), c.chosen);
    }
}

INSTANTIATE_TEST_SUITE_P(Registrations, TransportChoice,
                         ::testing::Values(ChoiceCase{2, true, true, L"First v3"},
                                           ChoiceCase{2, false, true, L"Second v3"},
                                           ChoiceCase{2, false, false, nullptr}, ChoiceCase{1, false, false, nullptr},
                                           ChoiceCase{0, false, false, nullptr}));

// A stand-in collector that records the strings of each call.
class RecordingCollector final : public ICollector {
public:
    std::vector<std::vector<std::wstring>> calls;
    LONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (::IsEqualGUID(iid, IID_IUnknown) || ::IsEqualGUID(iid, Tessel::Analytics::kCollectorIid)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE TrackEvent(BSTR context, BSTR json, BSTR options) override
    {
        calls.push_back({context, json, options});
        return S_OK;
    }
};

class RecordingSource final : public ICollectorSource {
public:
    explicit RecordingSource(RecordingCollector* collector) : m_collector(collector) {}
    CLSID askedFor = {};
    HRESULT obtain(const CLSID& clsid, ICollector** collector) override
    {
        askedFor = clsid;
        if (m_collector == nullptr)
            return REGDB_E_CLASSNOTREG;
        m_collector->AddRef();
        *collector = m_collector;
        return S_OK;
    }

private:
    RecordingCollector* m_collector;
};

TEST(LegacyTransport, HandsTheJsonTextBetweenTwoEmptyStrings)
{
    RecordingCollector collector;
    auto source = std::make_shared<RecordingSource>(&collector);
    CLegacyTransport legacy(CLSID{}, source);
    ASSERT_TRUE(legacy.open());
    EXPECT_TRUE(::IsEqualGUID(source->askedFor, Tessel::Analytics::kCollectorClsid));
    ASSERT_TRUE(legacy.send(DimensionMap{{L"k", L"a\"b"}}));
    ASSERT_EQ(collector.calls.size(), 1u);
    EXPECT_EQ(collector.calls[0], (std::vector<std::wstring>{L"", L"{\"k\":\"a\\\"b\"}", L""}));
    EXPECT_EQ(collector.references, 1) << "every reference taken is released";
}

} // namespace
