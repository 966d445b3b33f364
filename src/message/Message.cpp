// Creation of bus messages and replies, and the operations on their options record.
#include "message/Message.h"

#include "common/WinInclude.h"

#include <cstring>
#include <mutex>

namespace Tessel {

namespace {

uint32_t totalSizeFor(const std::wstring& name, const std::wstring& alias, const std::wstring& payload)
{
    return static_cast<uint32_t>(MESSAGE_OPTIONS_SIZE + 2 * (name.size() + alias.size() + payload.size() + 3));
}

std::wstring fileNameOfModuleHolding(const void* address)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return {};
    wchar_t path[MAX_PATH * 2] = {};
    DWORD length = GetModuleFileNameW(module, path, static_cast<DWORD>(std::size(path)));
    std::wstring full(path, length);
    size_t slash = full.find_last_of(L'\\');
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

} // namespace

MessageOptions defaultMessageOptions()
{
    MessageOptions options;
    std::memset(&options, 0, sizeof options);
    options.recordKind = MESSAGE_OPTIONS_RECORD_KIND;
    options.version = MESSAGE_OPTIONS_VERSION;
    options.versionTwoField = MESSAGE_OPTIONS_VERSION_TWO_DEFAULT;
    return options;
}

const std::wstring& ownModuleFileName()
{
    static const std::wstring name = fileNameOfModuleHolding(reinterpret_cast<const void*>(&ownModuleFileName));
    return name;
}

Message::Message(std::wstring name, std::wstring alias, std::wstring payload)
    : m_name(std::move(name)), m_alias(std::move(alias)), m_payload(std::move(payload)),
      m_options(std::make_unique<MessageOptions>(defaultMessageOptions()))
{
    if (m_alias.empty())
        m_alias = ownModuleFileName();
    m_options->totalSize = totalSizeFor(m_name, m_alias, m_payload);
}

Message::~Message() = default;

std::shared_ptr<Message> Message::create(const std::wstring& name, const std::wstring& alias,
                                         const std::wstring& payload)
{
    try {
        return std::shared_ptr<Message>(new Message(name, alias, payload));
    } catch (...) {
        return nullptr;
    }
}

std::shared_ptr<Message> Message::createReply(const Message& request, const std::wstring& name,
                                              const std::wstring& alias, const std::wstring& payload)
{
    std::shared_ptr<Message> reply = create(name, alias, payload);
    if (!reply || !request.testFlag(MESSAGE_FLAG_BIT_EXPECTS_REPLY))
        return reply;
    MessageOptions& out = reply->options();
    const MessageOptions& in = request.options();
    reply->setFlag(MESSAGE_FLAG_BIT_REPLY);
    std::memcpy(out.replyTarget, in.origin, sizeof out.replyTarget);
    std::memcpy(out.inReplyTo, in.messageId, sizeof out.inReplyTo);
    out.replyToken = in.requestToken;
    return reply;
}

void Message::setOptions(const MessageOptions* source)
{
    *m_options = defaultMessageOptions();
    if (!source)
        return;
    // Only the version field tells how much of the caller's record exists: read it before copying.
    if (source->version == MESSAGE_OPTIONS_VERSION) {
        std::memcpy(m_options.get(), source, MESSAGE_OPTIONS_SIZE);
        return;
    }
    std::memcpy(m_options.get(), source, MESSAGE_OPTIONS_V1_SIZE);
    m_options->totalSize += MESSAGE_OPTIONS_SIZE - MESSAGE_OPTIONS_V1_SIZE;
    m_options->version = MESSAGE_OPTIONS_VERSION;
}

bool Message::testFlag(unsigned bit) const
{
    return (m_options->flags >> bit) & 1u;
}

void Message::setFlag(unsigned bit)
{
    m_options->flags |= 1u << bit;
}

void Message::clearFlag(unsigned bit)
{
    m_options->flags &= ~(1u << bit);
}

void Message::clearReplyToken()
{
    m_options->replyToken = 0;
}

std::optional<MessageOptionsVersionTwo> Message::versionTwoPart() const
{
    if (m_options->version != MESSAGE_OPTIONS_VERSION)
        return std::nullopt;
    return MessageOptionsVersionTwo{m_options->versionTwoField, m_options->sessionId};
}

} // namespace Tessel
