// The host's console: one readable line per event (time, what happened, the rest), written whole
// so that lines from bus threads never interleave.
#pragma once

#include <cstdint>
#include <string>

namespace modhost {

struct SeenMessage;

// Every line goes through here; safe to call from any thread.
class Output {
public:
    // A message the host saw on the bus. `kind` is a short word: "message", "request", "reply".
    static void message(const wchar_t* kind, const SeenMessage& seen);
    // A host event with the time in front: `word` is a short column ("host", "answer", "expect").
    static void event(const wchar_t* word, const std::wstring& text);
    // Narration from the scenario, printed as it stands.
    static void plain(const std::wstring& text);
    // An error, on standard error.
    static void error(const std::wstring& text);
};

// "MODULE_STATUS_SUCCESS (0x0)": the status word and its number.
std::wstring statusText(uint32_t status);

} // namespace modhost
