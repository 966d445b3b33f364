// Every message the host sees, in the order it saw them: printed when a watch pattern matches its
// name, and searched by expect, which claims the first unclaimed match so that two expects need
// two messages. Records from the start, so a reply that arrives before its expect is not missed.
// The plain copy of a reply to the host's own request is the same answer again: it is neither
// printed nor offered to expect, since the host keeps the reply itself.
#pragma once

#include "SeenMessage.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace modhost {

class MessageJournal {
public:
    // A message from the bus (any thread): printed if watched and not the host's own, then kept.
    void onBusMessage(const SeenMessage& seen);
    // A message the host already printed itself (a reply to its request): kept only.
    void keep(const SeenMessage& seen);

    void addWatch(const std::wregex& pattern);

    // Waits at most `timeoutMs` for an unclaimed message whose whole name matches `pattern` and
    // whose payload contains `substring`; claims and returns it.
    std::optional<SeenMessage> expect(const std::wregex& pattern, const std::wstring& substring, uint32_t timeoutMs);

    // Claims every unclaimed message seen so far whose whole name matches `pattern`, so that a
    // later expect waits for a new one; returns how many.
    size_t forget(const std::wregex& pattern);

    // Names of the unclaimed messages, oldest first, at most `limit`: what an expect could have used.
    std::vector<std::wstring> unclaimedNames(size_t limit) const;

private:
    struct Entry {
        SeenMessage message;
        bool claimed = false;
    };

    using MessageId = std::array<uint8_t, sizeof(MessageOptions::messageId)>;

    bool watched(const std::wstring& name) const;
    bool answersHostRequest(const SeenMessage& seen) const;
    Entry* findUnclaimed(const std::wregex& pattern, const std::wstring& substring);

    mutable std::mutex m_mutex;
    std::condition_variable m_added;
    std::vector<Entry> m_entries;        // written under m_mutex
    std::vector<std::wregex> m_watches;  // written under m_mutex
    std::set<MessageId> m_hostRequests;  // written under m_mutex: ids of the host's own requests
};

} // namespace modhost
