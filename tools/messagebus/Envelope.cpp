// Copying and stamping of accepted messages.
#include "Envelope.h"

#include <cstring>

namespace messagebus {

namespace {

std::wstring copyOf(const wchar_t* text)
{
    return text ? std::wstring(text) : std::wstring();
}

MessageOptions copyOptions(const MessageOptions& source)
{
    MessageOptions options;
    std::memset(&options, 0, sizeof options);
    if (source.version == MESSAGE_OPTIONS_VERSION) {
        std::memcpy(&options, &source, MESSAGE_OPTIONS_SIZE);
        return options;
    }
    // A version-1 caller owns only the first 100 bytes.
    std::memcpy(&options, &source, MESSAGE_OPTIONS_V1_SIZE);
    options.totalSize += MESSAGE_OPTIONS_SIZE - MESSAGE_OPTIONS_V1_SIZE;
    options.version = MESSAGE_OPTIONS_VERSION;
    options.versionTwoField = MESSAGE_OPTIONS_VERSION_TWO_DEFAULT;
    return options;
}

void stamp(MessageOptions& options, const Stamp& stamp)
{
    std::memset(options.origin, 0, sizeof options.origin);
    std::memcpy(options.origin, &stamp.processId, sizeof stamp.processId);
    std::memcpy(options.origin + 4, &stamp.handleId, sizeof stamp.handleId);
    std::memcpy(options.messageId, &stamp.messageSequence, sizeof stamp.messageSequence);
    std::memcpy(options.messageId + 8, &stamp.processId, sizeof stamp.processId);
    if (options.sessionId == 0)
        options.sessionId = stamp.sessionId;
}

} // namespace

std::shared_ptr<Envelope> makeEnvelope(const MessageOptions& source, const wchar_t* name, const wchar_t* alias,
                                       const wchar_t* payload, const Stamp& stampValues)
{
    auto envelope = std::make_shared<Envelope>();
    envelope->options = copyOptions(source);
    envelope->name = copyOf(name);
    envelope->alias = copyOf(alias);
    envelope->payload = copyOf(payload);
    stamp(envelope->options, stampValues);
    return envelope;
}

} // namespace messagebus
