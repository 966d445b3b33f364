// The support library's logger: the handler slot and the line formatting.
#include "common/KeelworkLogger.h"

#include "common/WinInclude.h"
#include "common/MessageFormat.h"
#include "common/UniqueHandle.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <mutex>
#include <new>

namespace Keelwork {

namespace {

constexpr uint32_t kInvalidParameter = ERROR_INVALID_PARAMETER;        // 87
constexpr uint32_t kInvalidState = ERROR_INVALID_STATE;                // 5023

std::mutex g_slotLock;
ILoggingHandler* g_handler = nullptr; // written under g_slotLock

// The system's message text for a code, without its trailing line break.
std::wstring systemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const unique_hlocal owner(buffer);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

unsigned int handlerId(const ILoggingHandler* handler)
{
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(handler));
}

ILoggingHandler* currentOrDefault()
{
    std::lock_guard lock(g_slotLock);
    if (!g_handler)
        g_handler = CLogger::DefaultHandler();
    return g_handler;
}

} // namespace

ILoggingHandler* CLogger::DefaultHandler()
{
    static CDefaultLoggingHandler handler;
    return &handler;
}

ILoggingHandler* CLogger::CurrentHandler()
{
    std::lock_guard lock(g_slotLock);
    return g_handler;
}

uint32_t CLogger::RegisterHandler(ILoggingHandler* handler)
{
    if (!handler) {
        KWLOG_ERROR(L"%s: Cannot Register (NULL) handler", systemText(kInvalidParameter).c_str());
        return kInvalidParameter;
    }
    ILoggingHandler* registered = nullptr;
    {
        std::lock_guard lock(g_slotLock);
        if (!g_handler || g_handler == handler || g_handler == DefaultHandler()) {
            g_handler = handler;
            return 0;
        }
        registered = g_handler;
    }
    KWLOG_ERROR(L"%s: Registered Logging Handler 0x%08X cannot be replaced with 0x%08X",
                systemText(kInvalidState).c_str(), handlerId(registered), handlerId(handler));
    return kInvalidState;
}

uint32_t CLogger::UnregisterHandler(ILoggingHandler* handler)
{
    if (!handler) {
        KWLOG_ERROR(L"%s: Cannot Unregister (NULL) handler", systemText(kInvalidParameter).c_str());
        return kInvalidParameter;
    }
    ILoggingHandler* registered = nullptr;
    {
        std::lock_guard lock(g_slotLock);
        if (g_handler == handler) {
            g_handler = nullptr;
            return 0;
        }
        registered = g_handler;
    }
    if (!registered)
        KWLOG_ERROR(L"%s: Request to Unregister Logging handler 0x%08X, but none are registered",
                    systemText(kInvalidState).c_str(), handlerId(handler));
    else
        KWLOG_ERROR(L"%s: Failed to Unregister Logging handler (requested handler 0x%08X != registered handler 0x%08X)",
                    systemText(kInvalidState).c_str(), handlerId(handler), handlerId(registered));
    return kInvalidState;
}

void CLogger::Log(uint32_t level, const char* file, const char* function, int line, const wchar_t* format, ...)
{
    if (level == KW_LOG_NONE)
        return;
    ILoggingHandler* handler = currentOrDefault();

    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int needed = _vscwprintf(format, measure);
    va_end(measure);
    std::unique_ptr<wchar_t[]> text(needed >= 0 ? new (std::nothrow) wchar_t[static_cast<size_t>(needed) + 1] : nullptr);
    if (text) {
        int written = _vsnwprintf(text.get(), static_cast<size_t>(needed) + 1, format, args);
        text[written < 0 ? 0 : static_cast<size_t>(written)] = L'\0';
    }
    va_end(args);

    if (text)
        handler->handle(level, file, function, line, text.get());
    else
        handler->handle(KW_LOG_ERROR, file, function, line, L"General memory-allocation failure in Keelwork logger.");
}

std::wstring CDefaultLoggingHandler::formatLine(uint32_t level, const char* file, const char* function, int line,
                                                const wchar_t* text)
{
    const wchar_t* format = level == KW_LOG_INFORMATION ? L"%hs(%d): [INFO]: [%hs]: %s\n"
                            : level == KW_LOG_ERROR     ? L"%hs(%d): [ERROR]: [%hs]: %s\n"
                                                        : L"%hs(%d): [UNKNOWN]: [%hs]: %s\n";
    return ETWLogging::formatMessage(format, file ? file : "", line, function ? function : "", text ? text : L"");
}

void CDefaultLoggingHandler::handle(uint32_t level, const char* file, const char* function, int line,
                                    const wchar_t* text)
{
    if (level == KW_LOG_NONE)
        return;
    OutputDebugStringW(formatLine(level, file, function, line, text).c_str());
}

} // namespace Keelwork
