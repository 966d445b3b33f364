// One message as the host saw it: copied out of the bus callback, stamped with the local time.
#pragma once

#include "busapi/MessageBusApi.h"

#include <string>

namespace modhost {

// Sender alias of everything the host publishes.
inline constexpr const wchar_t* kHostAlias = L"modhost";

struct SeenMessage {
    std::wstring time;  // local "hh:mm:ss.mmm" when the host received it
    std::wstring name;
    std::wstring alias;
    std::wstring payload;
    MessageOptions options{};

    bool isRequest() const { return flag(MESSAGE_FLAG_BIT_EXPECTS_REPLY); }
    // The plain copy a sender publishes of its reply, for ordinary subscribers: it keeps the
    // reply's inReplyTo and carries a no-plain-copy bit, but is no longer a reply.
    bool isPlainCopyOfReply() const { return flag(MESSAGE_FLAG_BIT_NO_PLAIN_COPY_B) && !flag(MESSAGE_FLAG_BIT_REPLY); }
    bool flag(unsigned bit) const { return (options.flags >> bit) & 1u; }
};

// The current local time as "hh:mm:ss.mmm".
std::wstring localTimeText();

// Copies what a bus callback hands over; null strings become empty.
SeenMessage copyMessage(const MessageOptions* options, const wchar_t* name, const wchar_t* alias,
                        const wchar_t* payload);

} // namespace modhost
