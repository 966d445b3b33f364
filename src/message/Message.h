// Tessel::Message: one bus message (name, sender alias, payload) with the options record the bus
// library reads and writes. Held by shared pointer; immutable after creation except its options.
#pragma once

#include "busapi/MessageBusApi.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Tessel {

// The part of the options record that exists from version 2 on.
struct MessageOptionsVersionTwo {
    uint32_t versionTwoField = 0;
    uint32_t sessionId = 0;
};

// The record every new message starts with: kind 1, version 2, the version-two default, rest 0.
MessageOptions defaultMessageOptions();

class Message {
public:
    // A new message with the default options record and its totalSize; an empty alias becomes this
    // library's own file name. Null when creation failed.
    static std::shared_ptr<Message> create(const std::wstring& name, const std::wstring& alias,
                                           const std::wstring& payload);

    // A message answering `request`: when the request expects a reply (flag bit 1), the new one is
    // marked as a reply (flag bit 0) and carries the request's origin, messageId and requestToken
    // as its replyTarget, inReplyTo and replyToken; otherwise it is an ordinary message.
    static std::shared_ptr<Message> createReply(const Message& request, const std::wstring& name,
                                                const std::wstring& alias, const std::wstring& payload);

    virtual ~Message();

    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    const std::wstring& name() const { return m_name; }
    const std::wstring& alias() const { return m_alias; }
    const std::wstring& payload() const { return m_payload; }

    const MessageOptions& options() const { return *m_options; }
    MessageOptions& options() { return *m_options; }

    // Resets the record to the default (totalSize 0), then copies `source`: whole when its version
    // is 2, else as a version-1 record (first 100 bytes, totalSize + 8, version 2). Null: reset only.
    void setOptions(const MessageOptions* source);

    bool testFlag(unsigned bit) const;
    void setFlag(unsigned bit);
    void clearFlag(unsigned bit);
    void clearReplyToken();
    // Only for a version-2 record.
    std::optional<MessageOptionsVersionTwo> versionTwoPart() const;

private:
    Message(std::wstring name, std::wstring alias, std::wstring payload);

    std::wstring m_name;
    std::wstring m_alias;
    std::wstring m_payload;
    std::unique_ptr<MessageOptions> m_options;
};

// The file name (no folder) of the module this code is linked into; computed once per process.
const std::wstring& ownModuleFileName();

} // namespace Tessel
