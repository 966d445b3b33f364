// The two plain functions the bus library calls on its own threads: they rebuild a
// Tessel::Message from the raw record and strings and call the client's callable. No exception
// leaves them.
#pragma once

#include "busapi/MessageBusApi.h"

#include <cstdint>

namespace Tessel {

// `context` is a MessageCallback*; returns the callable's status.
uint32_t __cdecl messageTrampoline(void* context, const MessageOptions* options, const wchar_t* name,
                                   const wchar_t* alias, const wchar_t* payload);

// `replyContext` is a ReplyFunction*; the message is built only for status 0.
uint32_t __cdecl replyTrampoline(void* replyContext, uint64_t replyIndex, const MessageOptions* options,
                                 const wchar_t* name, const wchar_t* alias, const wchar_t* payload,
                                 uint32_t status);

} // namespace Tessel
