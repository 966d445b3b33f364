// Text through the system's ANSI code page: the task store keeps key paths, value names and
// string data in that code page, so what the code page cannot hold is lost the same way on every
// path (it becomes '?'; no best-fit look-alikes, which could turn into a path separator). The
// system's, not the calling thread's: the service and a tool under another user locale must find
// the same keys and read the same texts.
#pragma once

#include <cstddef>
#include <string>

namespace KsStore {

// A wide name as the registry gets it after the trip to the ANSI code page and back. ASCII names,
// the usual case, pass through without conversion or copy.
class AnsiRoundTrip {
public:
    explicit AnsiRoundTrip(const wchar_t* text);
    const wchar_t* c_str() const { return m_text; }

    AnsiRoundTrip(const AnsiRoundTrip&) = delete;
    AnsiRoundTrip& operator=(const AnsiRoundTrip&) = delete;

private:
    const wchar_t* m_text;
    std::wstring m_converted;
};

// The round trip as an owned string; for key paths built once per task.
std::wstring ansiRoundTrip(const wchar_t* text);

// Converts text to the ANSI code page with its terminator into out (capacity bytes) and gives the
// byte count including the terminator, or 0 when it does not fit or cannot be converted.
size_t wideToAnsi(const wchar_t* text, char* out, size_t capacity);

// Converts ANSI bytes, up to the first NUL or `bytes`, into out (capacity characters including the
// terminator), cutting what does not fit; out is always terminated. Gives the length written.
size_t ansiToWide(const char* text, size_t bytes, wchar_t* out, size_t capacity);

} // namespace KsStore
