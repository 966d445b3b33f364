// The host's record of the messages it saw, with watch printing and expect matching.
#include "MessageJournal.h"

#include "Output.h"

#include <chrono>
#include <cstring>

namespace modhost {

namespace {

template <typename Id>
Id idOf(const uint8_t (&bytes)[sizeof(Id)])
{
    Id id{};
    std::memcpy(id.data(), bytes, id.size());
    return id;
}

} // namespace

void MessageJournal::onBusMessage(const SeenMessage& seen)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool fromHost = seen.alias == kHostAlias;
    if (fromHost && seen.isRequest())
        m_hostRequests.insert(idOf<MessageId>(seen.options.messageId));
    // A request reaches this subscription before any answer to it can, so the id is known here.
    const bool duplicate = answersHostRequest(seen);
    // Printed under the lock so the console shows messages in the order they were kept. The host's
    // own messages were printed when it sent them.
    if (!fromHost && !duplicate && watched(seen.name))
        Output::message(seen.isRequest() ? L"request" : L"message", seen);
    m_entries.push_back({seen, duplicate});
    m_added.notify_all();
}

void MessageJournal::keep(const SeenMessage& seen)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back({seen, false});
    m_added.notify_all();
}

void MessageJournal::addWatch(const std::wregex& pattern)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_watches.push_back(pattern);
}

std::optional<SeenMessage> MessageJournal::expect(const std::wregex& pattern, const std::wstring& substring,
                                                  uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry* found = nullptr;
    m_added.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                     [&] { return (found = findUnclaimed(pattern, substring)) != nullptr; });
    if (!found)
        return std::nullopt;
    found->claimed = true;
    return found->message;
}

size_t MessageJournal::forget(const std::wregex& pattern)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t count = 0;
    for (Entry& entry : m_entries) {
        if (!entry.claimed && std::regex_match(entry.message.name, pattern)) {
            entry.claimed = true;
            ++count;
        }
    }
    return count;
}

std::vector<std::wstring> MessageJournal::unclaimedNames(size_t limit) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::wstring> names;
    for (const Entry& entry : m_entries) {
        if (names.size() == limit)
            break;
        if (!entry.claimed)
            names.push_back(entry.message.name);
    }
    return names;
}

bool MessageJournal::watched(const std::wstring& name) const
{
    for (const std::wregex& pattern : m_watches)
        if (std::regex_match(name, pattern))
            return true;
    return false;
}

bool MessageJournal::answersHostRequest(const SeenMessage& seen) const
{
    return seen.isPlainCopyOfReply() && m_hostRequests.count(idOf<MessageId>(seen.options.inReplyTo)) != 0;
}

MessageJournal::Entry* MessageJournal::findUnclaimed(const std::wregex& pattern, const std::wstring& substring)
{
    for (Entry& entry : m_entries)
        if (!entry.claimed && std::regex_match(entry.message.name, pattern) &&
            entry.message.payload.find(substring) != std::wstring::npos)
            return &entry;
    return nullptr;
}

} // namespace modhost
