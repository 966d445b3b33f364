// One message as the host saw it: copied out of the bus callback, stamped with the local time.
#pragma once

#include "messagebus/MessageBusApi.h"

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

    bool isRequest() const { return (options.flags >> MESSAGE_FLAG_BIT_EXPECTS_REPLY) & 1u; }
};

// The current local time as "hh:mm:ss.mmm".
std::wstring localTimeText();

// Copies what a bus callback hands over; null strings become empty.
SeenMessage copyMessage(const MessageOptions* options, const wchar_t* name, const wchar_t* alias,
                        const wchar_t* payload);

} // namespace modhost
