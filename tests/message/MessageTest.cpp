// Tessel::Message: the options record as bytes, creation, setOptions and createReply.
#include "common/WinInclude.h"
#include "message/Message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Tessel::Message;

std::vector<unsigned char> bytesOf(const MessageOptions& options)
{
    std::vector<unsigned char> bytes(sizeof options);
    std::memcpy(bytes.data(), &options, sizeof options);
    return bytes;
}

uint32_t readU32(const std::vector<unsigned char>& bytes, size_t offset)
{
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// Fills a whole record with a byte pattern that differs at every offset.
MessageOptions patterned(uint16_t version)
{
    MessageOptions options;
    unsigned char bytes[sizeof options];
    for (size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = static_cast<unsigned char>(i + 1);
    std::memcpy(&options, bytes, sizeof options);
    options.version = version;
    return options;
}

struct FieldCase {
    const char* label;
    size_t offset;
    size_t size;
    void (*write)(MessageOptions&);
};

class OptionsLayout : public ::testing::TestWithParam<FieldCase> {};

// Writing a field through the record must touch exactly the bytes the bus library reads.
TEST_P(OptionsLayout, FieldSitsAtItsOffset)
{
    const FieldCase& c = GetParam();
    MessageOptions options;
    std::memset(&options, 0, sizeof options);
    c.write(options);
    std::vector<unsigned char> bytes = bytesOf(options);
    ASSERT_EQ(bytes.size(), 108u);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bool inField = i >= c.offset && i < c.offset + c.size;
        EXPECT_EQ(bytes[i] != 0, inField) << c.label << " byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, OptionsLayout,
    ::testing::Values(
        FieldCase{"recordKind", 0, 2, [](MessageOptions& o) { o.recordKind = 0xFFFF; }},
        FieldCase{"totalSize", 2, 4, [](MessageOptions& o) { o.totalSize = 0xFFFFFFFF; }},
        FieldCase{"flags", 6, 4, [](MessageOptions& o) { o.flags = 0xFFFFFFFF; }},
        FieldCase{"version", 10, 2, [](MessageOptions& o) { o.version = 0xFFFF; }},
        FieldCase{"origin", 12, 24, [](MessageOptions& o) { std::memset(o.origin, 0xFF, sizeof o.origin); }},
        FieldCase{"replyTarget", 36, 24, [](MessageOptions& o) { std::memset(o.replyTarget, 0xFF, sizeof o.replyTarget); }},
        FieldCase{"messageId", 60, 12, [](MessageOptions& o) { std::memset(o.messageId, 0xFF, sizeof o.messageId); }},
        FieldCase{"inReplyTo", 72, 12, [](MessageOptions& o) { std::memset(o.inReplyTo, 0xFF, sizeof o.inReplyTo); }},
        FieldCase{"requestToken", 84, 8, [](MessageOptions& o) { o.requestToken = ~0ull; }},
        FieldCase{"replyToken", 92, 8, [](MessageOptions& o) { o.replyToken = ~0ull; }},
        FieldCase{"versionTwoField", 100, 4, [](MessageOptions& o) { o.versionTwoField = 0xFFFFFFFF; }},
        FieldCase{"sessionId", 104, 4, [](MessageOptions& o) { o.sessionId = 0xFFFFFFFF; }}),
    [](const ::testing::TestParamInfo<FieldCase>& info) { return std::string(info.param.label); });

TEST(MessageCreate, StartsWithDefaultRecord)
{
    auto message = Message::create(L"a", L"b", L"");
    ASSERT_TRUE(message);
    std::vector<unsigned char> bytes = bytesOf(message->options());
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 1);
    EXPECT_EQ(readU32(bytes, 2), 118u);
    EXPECT_EQ(bytes[10] | bytes[11] << 8, 2);
    EXPECT_EQ(readU32(bytes, 100), 0x0008000Bu);
    for (size_t i : {6u, 7u, 8u, 9u})
        EXPECT_EQ(bytes[i], 0) << "flags byte " << i;
    for (size_t i = 12; i < 100; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_EQ(readU32(bytes, 104), 0u);
}

struct SizeCase {
    const wchar_t* name;
    const wchar_t* alias;
    const wchar_t* payload;
};

class MessageTotalSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(MessageTotalSize, CountsTheFinalStrings)
{
    const SizeCase& c = GetParam();
    auto message = Message::create(c.name, c.alias, c.payload);
    ASSERT_TRUE(message);
    size_t chars = message->name().size() + message->alias().size() + message->payload().size();
    EXPECT_EQ(message->options().totalSize, 108u + 2u * (chars + 3u));
    EXPECT_EQ(message->name(), c.name);
    EXPECT_EQ(message->payload(), c.payload);
}

INSTANTIATE_TEST_SUITE_P(Strings, MessageTotalSize,
                         ::testing::Values(SizeCase{L"a", L"b", L""}, SizeCase{L"TaskScheduler.Task.Create", L"x", L"{\"name\":\"t\"}"},
                                           SizeCase{L"n", L"", L"p"}));

TEST(MessageCreate, EmptyAliasBecomesThisProgramsFileName)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path);
    std::wstring fileName = full.substr(full.find_last_of(L'\\') + 1);

    auto anonymous = Message::create(L"n", L"", L"");
    auto named = Message::create(L"n", L"TaskScheduler", L"");
    ASSERT_TRUE(anonymous && named);
    EXPECT_EQ(anonymous->alias(), fileName);
    EXPECT_EQ(named->alias(), L"TaskScheduler");
}

class SetOptions : public ::testing::TestWithParam<uint16_t> {};

// Version 2 is copied whole; any other version is a 100-byte record that is upgraded.
TEST_P(SetOptions, CopiesOrUpgrades)
{
    const uint16_t version = GetParam();
    const MessageOptions source = patterned(version);
    auto message = Message::create(L"n", L"a", L"p");
    ASSERT_TRUE(message);
    message->setOptions(&source);

    std::vector<unsigned char> in = bytesOf(source);
    std::vector<unsigned char> out = bytesOf(message->options());
    if (version == 2) {
        EXPECT_EQ(out, in);
        return;
    }
    for (size_t i = 12; i < 100; ++i)
        ASSERT_EQ(out[i], in[i]) << "byte " << i;
    EXPECT_EQ(message->options().recordKind, source.recordKind);
    EXPECT_EQ(message->options().flags, source.flags);
    EXPECT_EQ(message->options().totalSize, source.totalSize + 8);
    EXPECT_EQ(message->options().version, 2);
    EXPECT_EQ(message->options().versionTwoField, 0x0008000Bu);
    EXPECT_EQ(message->options().sessionId, 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, SetOptions, ::testing::Values(uint16_t{2}, uint16_t{1}, uint16_t{0}, uint16_t{3}));

TEST(SetOptionsNull, LeavesDefaultRecordWithoutSize)
{
    auto message = Message::create(L"n", L"a", L"p");
    ASSERT_TRUE(message);
    message->options().flags = 0xFF;
    message->setOptions(nullptr);
    MessageOptions expected = Tessel::defaultMessageOptions();
    EXPECT_EQ(bytesOf(message->options()), bytesOf(expected));
    EXPECT_EQ(message->options().totalSize, 0u);
}

TEST(MessageFlags, SetTestClearAndReplyToken)
{
    auto message = Message::create(L"n", L"a", L"p");
    ASSERT_TRUE(message);
    message->setFlag(4);
    message->setFlag(0);
    EXPECT_TRUE(message->testFlag(4));
    EXPECT_TRUE(message->testFlag(0));
    EXPECT_FALSE(message->testFlag(3));
    EXPECT_EQ(message->options().flags, 0x11u);
    message->clearFlag(0);
    EXPECT_EQ(message->options().flags, 0x10u);
    message->options().replyToken = 0x1122334455667788ull;
    message->clearReplyToken();
    EXPECT_EQ(message->options().replyToken, 0u);
}

TEST(MessageVersionTwoPart, PresentOnlyInVersionTwo)
{
    auto message = Message::create(L"n", L"a", L"p");
    ASSERT_TRUE(message);
    message->options().sessionId = 5;
    auto part = message->versionTwoPart();
    ASSERT_TRUE(part.has_value());
    EXPECT_EQ(part->sessionId, 5u);
    EXPECT_EQ(part->versionTwoField, 0x0008000Bu);
    message->options().version = 1;
    EXPECT_FALSE(message->versionTwoPart().has_value());
}

TEST(CreateReply, AnswersRequestWithCorrelation)
{
    auto request = Message::create(L"Q", L"asker", L"");
    ASSERT_TRUE(request);
    const MessageOptions source = patterned(2);
    request->setOptions(&source);
    request->options().flags = 1u << 1;

    auto reply = Message::createReply(*request, L"Q.Reply", L"", L"{}");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->name(), L"Q.Reply");
    EXPECT_EQ(reply->payload(), L"{}");
    EXPECT_EQ(reply->options().flags, 1u);
    EXPECT_EQ(0, std::memcmp(reply->options().replyTarget, source.origin, 24));
    EXPECT_EQ(0, std::memcmp(reply->options().inReplyTo, source.messageId, 12));
    EXPECT_EQ(reply->options().replyToken, source.requestToken);
    // Its own identity stays the default one.
    unsigned char zeros[24] = {};
    EXPECT_EQ(0, std::memcmp(reply->options().origin, zeros, 24));
    EXPECT_EQ(reply->options().requestToken, 0u);
}

TEST(CreateReply, WithoutReplyExpectedIsOrdinaryMessage)
{
    auto request = Message::create(L"Q", L"asker", L"");
    ASSERT_TRUE(request);
    MessageOptions source = patterned(2);
    source.flags = 1u << 0;  // a reply itself, but nobody waits for an answer
    request->setOptions(&source);

    auto reply = Message::createReply(*request, L"Q.Reply", L"me", L"");
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->testFlag(0));
    EXPECT_EQ(reply->options().replyToken, 0u);
    unsigned char zeros[24] = {};
    EXPECT_EQ(0, std::memcmp(reply->options().replyTarget, zeros, 24));
    EXPECT_EQ(0, std::memcmp(reply->options().inReplyTo, zeros, 12));
}

} // namespace
