// Analytics events as delivered to the transport: the caller's dimensions, the private ones
// Send stamps, and the refusals of Add.
#include "CapturingTransport.h"

#include "LogFileReader.h"
#include "ProgramFolder.h"
#include "TestClock.h"
#include "analytics/Event.h"
#include "analytics/TaskEvents.h"

#include <gtest/gtest.h>

namespace {

using Tessel::Analytics::DimensionMap;
using Tessel::Analytics::v2::CEvent;
using kstest::CapturingTransport;

class EventSend : public ::testing::Test {
protected:
    const DimensionMap& sent() const { return *CapturingTransport::lastSent; }

    kstest::TestClock m_clock{1700000000}; // 2023-11-14 22:13:20 UTC
    kstest::CapturingRegistration m_registration{CapturingTransport::factory(L"Capture", true), nullptr};
};

std::wstring doubledProgramPath()
{
    std::wstring doubled;
    for (wchar_t c : kstest::programPath())
        doubled += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    return doubled;
}

TEST_F(EventSend, CarriesCallerDimensionsAndRecordMetadata)
{
    CEvent(L"Demo.Event")
        .Category(std::wstring(L"Cat"))
        .Action(std::string("Act \xC3\xA9"))
        .Label(L"Lbl")
        .Value(42)
        .Add(L"Hit.Result", L"7")
        .Send();
    ASSERT_TRUE(CapturingTransport::lastSent.has_value());
    const DimensionMap& d = sent();
    EXPECT_EQ(d.at(L"UniqueIdentifier"), L"Demo.Event");
    EXPECT_EQ(d.at(L"Event.Category"), L"Cat");
    EXPECT_EQ(d.at(L"Event.Action"), L"Act \xE9");
    EXPECT_EQ(d.at(L"Event.Label"), L"Lbl");
    EXPECT_EQ(d.at(L"Event.Value"), L"42");
    EXPECT_EQ(d.at(L"Hit.Result"), L"7");
    EXPECT_EQ(d.at(L"__track.api.version"), L"1.2.0");
    EXPECT_EQ(d.at(L"Tracker.Type"), L"event");
    EXPECT_EQ(d.at(L"__record.created"), L"2023-11-14 22:13:20Z");
    EXPECT_EQ(d.count(L"__record.created.raw"), 0u);
    EXPECT_FALSE(d.at(L"__record.created.seconds").empty());
    EXPECT_EQ(d.at(L"__record.created.seconds").find_first_not_of(L"0123456789"), std::wstring::npos);
    EXPECT_EQ(d.at(L"__caller.name"), doubledProgramPath());
    EXPECT_EQ(d.at(L"__transport.name"), L"Capture v3");
    EXPECT_EQ(d.size(), 12u);
}

class PrivateNames : public EventSend, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(PrivateNames, AddRefusesThemWithAWarningAndSendStillStamps)
{
    kstest::LogCapture log;
    CEvent event(L"E");
    event.Add(GetParam(), L"forged");
    EXPECT_EQ(event.Dimensions(), (DimensionMap{{L"UniqueIdentifier", L"E"}}));
    std::wstring expected = L"Illegal request to add private dimension ('" + std::wstring(GetParam()) + L" ='forged') - Ignored";
    EXPECT_TRUE(log.contains(expected)) << log.text();
    event.Send();
    EXPECT_EQ(sent().at(L"__track.api.version"), L"1.2.0");
    EXPECT_NE(sent().count(L"__record.created"), 0u);
    EXPECT_NE(sent().at(L"__transport.name"), L"forged");
}

INSTANTIATE_TEST_SUITE_P(Names, PrivateNames,
                         ::testing::Values(L"__x", L"__transport.name", L"__record.created", L"__"));

TEST_F(EventSend, TaskSchedulerEventCarriesItsFixedChain)
{
    Tessel::Analytics::sendTaskSchedulerEvent(L"TaskScheduler.Task.Executed", L"TaskScheduler executed an task",
                                              L"mytask", L"12.5", L"", L"");
    ASSERT_TRUE(CapturingTransport::lastSent.has_value());
    const DimensionMap& d = sent();
    EXPECT_EQ(d.at(L"UniqueIdentifier"), L"TaskScheduler.Task.Executed");
    EXPECT_EQ(d.at(L"Event.Category"), L"Orbis");
    EXPECT_EQ(d.at(L"Sub.Category"), L"TaskScheduler");
    EXPECT_EQ(d.at(L"Event.Action"), L"TaskScheduler executed an task");
    EXPECT_EQ(d.at(L"Event.Label"), L"mytask");
    EXPECT_EQ(d.at(L"Hit.Result"), L"12.5");
    EXPECT_EQ(d.at(L"Hit.Label.1"), L"");
    EXPECT_EQ(d.at(L"Hit.Label.2"), L"");
}

} // namespace
