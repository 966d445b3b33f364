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

} // namespace
