// Formats log messages from wide printf formats with the Windows meaning (%s wide, %hs narrow),
// applying the cuts the loggers give overlong messages.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace ETWLogging {

// Longest message the loggers keep, and the length above which the file logger cuts to it.
inline constexpr size_t kMaxMessageChars = 2080;
inline constexpr size_t kFileCutThresholdChars = 4160;

// Formats into at most `limit` characters; longer output is cut there.
std::wstring formatMessageLimited(const wchar_t* format, va_list args, size_t limit);

// Formats without a limit, then cuts a result longer than 4160 characters to its first 2080.
std::wstring formatMessageForFile(const wchar_t* format, va_list args);

// The whole formatted text, sized by a measuring pass; false when the buffer cannot be allocated.
bool formatMessageUnlimited(const wchar_t* format, va_list args, std::wstring& out);

// The whole formatted text; empty when it cannot be allocated.
std::wstring formatMessage(const wchar_t* format, ...);

} // namespace ETWLogging
