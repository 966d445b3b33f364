// Public header of the message bus library "MessageBus.dll": the options record every message
// carries, the function table returned by CreateObject, and the two callbacks the bus calls.
//
// What the bus is
//   One in-process broker shared by every handle opened in the process. `open` (entry 0) hands out
//   a handle and counts it; `release` (entry 1) gives it back. The broker and its threads exist
//   while at least one handle is open.
//
// Types
//   Statuses are uint32_t (0 = success, failures have the top bit set; values below). Bus and
//   subscription handles are opaque non-null pointers that are never reused within a process.
//   Strings are NUL-terminated UTF-16; a null string counts as empty. Reply indices are the
//   caller's uint64_t, handed back unchanged. Time-outs are uint32_t milliseconds.
//
// Threads and ordering
//   - Callbacks (message and reply trampolines) run on the bus's own worker threads, never on the
//     thread that called publish or request, and never while the caller of an entry is blocked in
//     it (except release/unsubscribe, which wait for callbacks in flight, below).
//   - Per subscription, messages are delivered one at a time, in the order they were published
//     (publish order as seen by the broker; two publishers racing have no order between them).
//     Different subscriptions are delivered concurrently.
//   - The pool grows when every worker is busy, so a callback may block (for example on a request
//     of its own) without stopping other subscriptions.
//   - The options record, name, alias and payload passed to a callback are valid only during that
//     callback; copy what you keep.
//   - Every entry may be called from any thread, including from inside a callback, with the
//     exceptions noted at release.
//
// Requests and replies
//   - request sends the message, flag bit 1 set and a fresh non-zero requestToken written in its
//     options, to every subscriber of its name. Nobody subscribed: the call returns
//     MESSAGEBUS_STATUS_NO_SUBSCRIBERS at once and no reply callback ever follows.
//   - A published message with flag bit 0 set is a reply: it goes only to the pending request whose
//     requestToken equals its replyToken, whose reply trampoline then runs with status 0. A reply
//     matching nothing pending (late or unknown) is dropped; publish still returns 0. A reply is
//     not delivered to ordinary subscribers (the sender publishes a plain copy if it wants that).
//   - A request not answered within its time-out gets its reply trampoline with
//     MESSAGEBUS_STATUS_TIMEOUT and no message (null options and strings). A time-out of 0 expires
//     at once; MESSAGEBUS_INFINITE never expires.
//   - Each pending request ends with exactly one reply trampoline call, unless the caller takes the
//     trampoline back first (entry 7).
//
// Stamping
//   Every published or requested message gets origin (the process and handle), messageId (unique
//   in the process) and, when its sessionId is 0, the session of the publishing process
//   (ProcessIdToSessionId). A version-1 record from the caller (version != 2) is read as its first
//   100 bytes and delivered as version 2. The caller's record is never written.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
// Passed by pointer with every message, in both directions. Little-endian, packed.
struct MessageOptions {
    uint16_t recordKind;       // 1
    uint32_t totalSize;        // 108 + 2 * (chars of name + alias + payload + 3)
    uint32_t flags;            // MESSAGE_FLAG_*
    uint16_t version;          // 2; a version-1 record is the first 100 bytes only
    uint8_t origin[24];        // written by the bus: the sender
    uint8_t replyTarget[24];   // in a reply: the origin of the request
    uint8_t messageId[12];     // written by the bus
    uint8_t inReplyTo[12];     // in a reply: the messageId of the request
    uint64_t requestToken;     // written by the bus on a request
    uint64_t replyToken;       // in a reply: the requestToken of the request
    uint32_t versionTwoField;  // from version 2 on; 0x0008000B by default
    uint32_t sessionId;        // 0 = not bound to a session
};
#pragma pack(pop)

static_assert(sizeof(MessageOptions) == 108);
static_assert(offsetof(MessageOptions, recordKind) == 0);
static_assert(offsetof(MessageOptions, totalSize) == 2);
static_assert(offsetof(MessageOptions, flags) == 6);
static_assert(offsetof(MessageOptions, version) == 10);
static_assert(offsetof(MessageOptions, origin) == 12);
static_assert(offsetof(MessageOptions, replyTarget) == 36);
static_assert(offsetof(MessageOptions, messageId) == 60);
static_assert(offsetof(MessageOptions, inReplyTo) == 72);
static_assert(offsetof(MessageOptions, requestToken) == 84);
static_assert(offsetof(MessageOptions, replyToken) == 92);
static_assert(offsetof(MessageOptions, versionTwoField) == 100);
static_assert(offsetof(MessageOptions, sessionId) == 104);

inline constexpr uint32_t MESSAGE_OPTIONS_SIZE = 108;
inline constexpr uint32_t MESSAGE_OPTIONS_V1_SIZE = 100;
inline constexpr uint16_t MESSAGE_OPTIONS_RECORD_KIND = 1;
inline constexpr uint16_t MESSAGE_OPTIONS_VERSION = 2;
inline constexpr uint32_t MESSAGE_OPTIONS_VERSION_TWO_DEFAULT = 0x0008000B;

// Flag bits (bit numbers, not masks).
inline constexpr unsigned MESSAGE_FLAG_BIT_REPLY = 0;           // this message is a reply
inline constexpr unsigned MESSAGE_FLAG_BIT_EXPECTS_REPLY = 1;   // the sender expects a reply
inline constexpr unsigned MESSAGE_FLAG_BIT_NO_PLAIN_COPY_A = 3; // sender side: no plain copy
inline constexpr unsigned MESSAGE_FLAG_BIT_NO_PLAIN_COPY_B = 4; // sender side: no plain copy

// Statuses the bus returns or passes to reply trampolines.
inline constexpr uint32_t MESSAGEBUS_STATUS_SUCCESS = 0;
inline constexpr uint32_t MESSAGEBUS_STATUS_INVALID_HANDLE = 0x80000007;
inline constexpr uint32_t MESSAGEBUS_STATUS_INVALID_PARAMETER = 0x80000008;
inline constexpr uint32_t MESSAGEBUS_STATUS_NO_MEMORY = 0x80000009;
inline constexpr uint32_t MESSAGEBUS_STATUS_TIMEOUT = 0x8000000D;
inline constexpr uint32_t MESSAGEBUS_STATUS_NO_SUBSCRIBERS = 0x8000000E;
inline constexpr uint32_t MESSAGEBUS_STATUS_UNKNOWN_EXCEPTION = 0x8000000F;
// A pending request whose handle was released before its reply came.
inline constexpr uint32_t MESSAGEBUS_STATUS_SHUTDOWN = 0x800000FF;

inline constexpr uint32_t MESSAGEBUS_INFINITE = 0xFFFFFFFF;

typedef void* MessageBusHandle;
typedef void* MessageBusSubscription;

extern "C" {

// Runs on a bus worker for each message delivered to a subscription. The result is ignored.
typedef uint32_t(__cdecl* MessageBusMessageTrampoline)(void* context, const MessageOptions* options,
                                                       const wchar_t* name, const wchar_t* alias,
                                                       const wchar_t* payload);

// Runs on a bus worker once per request: status 0 with the reply, or a failure status
// (MESSAGEBUS_STATUS_TIMEOUT, MESSAGEBUS_STATUS_SHUTDOWN) with null options and strings.
// The result is ignored.
typedef uint32_t(__cdecl* MessageBusReplyTrampoline)(void* replyContext, uint64_t replyIndex,
                                                     const MessageOptions* options, const wchar_t* name,
                                                     const wchar_t* alias, const wchar_t* payload,
                                                     uint32_t status);

// Entry 0. Writes a new handle to *handle. Null out-pointer: MESSAGEBUS_STATUS_INVALID_PARAMETER.
typedef uint32_t(__cdecl* MessageBusOpenFn)(MessageBusHandle* handle);

// Entry 1. Gives the handle back. Its subscriptions end (as by unsubscribe) and its pending
// requests get their reply trampoline with MESSAGEBUS_STATUS_SHUTDOWN; release returns after those
// calls have run. Releasing the last handle of the process first delivers every queued message,
// then joins the bus's threads. Must not be called from a bus callback for the last handle
// (MESSAGEBUS_STATUS_INVALID_PARAMETER, nothing released). Unknown or released handle:
// MESSAGEBUS_STATUS_INVALID_HANDLE.
typedef uint32_t(__cdecl* MessageBusReleaseFn)(MessageBusHandle handle);

// Entries 2 and 8. Queues the message for every subscription whose name equals `name` or whose
// pattern matches all of it; with flag bit 0 set, hands it to the matching pending request instead.
// Returns 0 also when nobody subscribes. Null options or name: MESSAGEBUS_STATUS_INVALID_PARAMETER.
typedef uint32_t(__cdecl* MessageBusPublishFn)(MessageBusHandle handle, const MessageOptions* options,
                                               const wchar_t* name, const wchar_t* alias,
                                               const wchar_t* payload);

// Entries 3 and 9. See "Requests and replies" above. A null trampoline:
// MESSAGEBUS_STATUS_INVALID_PARAMETER.
typedef uint32_t(__cdecl* MessageBusRequestFn)(MessageBusHandle handle, void* replyContext,
                                               uint64_t replyIndex, MessageBusReplyTrampoline trampoline,
                                               const MessageOptions* options, const wchar_t* name,
                                               const wchar_t* alias, const wchar_t* payload,
                                               uint32_t timeoutMs);

// Entry 4: exact, case-sensitive name. Entry 5: ECMAScript pattern that must match the whole name.
// Returns the subscription, or null on failure (bad handle, null name, bad pattern).
typedef MessageBusSubscription(__cdecl* MessageBusSubscribeFn)(MessageBusHandle handle, void* context,
                                                               MessageBusMessageTrampoline trampoline,
                                                               const wchar_t* nameOrPattern);

// Entry 6. After it returns no further delivery to the subscription starts; a delivery in flight
// is waited for, unless unsubscribe is called from that very delivery. Unknown subscriptions are
// ignored.
typedef void(__cdecl* MessageBusUnsubscribeFn)(MessageBusHandle handle, MessageBusSubscription subscription);

// Entry 7. The caller takes the reply trampoline back: pending requests of this handle that use it
// are dropped without a call, a call of it in flight for this handle is waited for (unless it is
// the calling thread's), and the bus never calls it for this handle again. A released handle is
// ignored.
typedef void(__cdecl* MessageBusHandOverReplyFn)(MessageBusHandle handle, MessageBusReplyTrampoline trampoline);

// The table CreateObject returns; the order of the entries is fixed.
struct MessageBusFunctions {
    MessageBusOpenFn open;                    // 0
    MessageBusReleaseFn release;              // 1
    MessageBusPublishFn publish;              // 2
    MessageBusRequestFn request;              // 3
    MessageBusSubscribeFn subscribe;          // 4
    MessageBusSubscribeFn subscribeFilter;    // 5
    MessageBusUnsubscribeFn unsubscribe;      // 6
    MessageBusHandOverReplyFn handOverReply;  // 7
    MessageBusPublishFn publishSecond;        // 8: second channel, same behaviour as entry 2
    MessageBusRequestFn requestSecond;        // 9: second channel, same behaviour as entry 3
};

// Exports. CreateObject returns the static table (the same address every time), or null for a
// version of 0. ReleaseObject does nothing. The version number is
// major * 1000000 + minor * 1000 + patch.
typedef const MessageBusFunctions*(__cdecl* MessageBusCreateObjectFn)(uint32_t version);
typedef void(__cdecl* MessageBusReleaseObjectFn)(const void* object);
typedef uint32_t(__cdecl* MessageBusGetVersionNumFn)();
typedef const char*(__cdecl* MessageBusGetVersionStrFn)();

} // extern "C"

static_assert(sizeof(MessageBusFunctions) == 10 * sizeof(void*));
