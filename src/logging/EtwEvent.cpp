// The two-part trace event of a log line.
#include "logging/EtwEvent.h"

#include "logging/LoggingNames.h"

#include <cstring>

namespace ETWLogging {

namespace {

void putBytes(std::vector<unsigned char>& out, const void* data, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

void putU32(std::vector<unsigned char>& out, uint32_t value) { putBytes(out, &value, sizeof value); }

void putText(std::vector<unsigned char>& out, std::wstring_view text)
{
    uint16_t count = static_cast<uint16_t>(text.size() > 0xFFFF ? 0xFFFF : text.size());
    putBytes(out, &count, sizeof count);
    putBytes(out, text.data(), count * sizeof(wchar_t));
}

std::wstring widen(const char* text)
{
    if (!text || !*text)
        return {};
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::string toUtf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

} // namespace

EtwEventPayload buildEtwEventPayload(const EtwEventFields& f, std::wstring_view message)
{
    EtwEventPayload payload;
    payload.utf8Message = toUtf8(message);
    std::vector<unsigned char>& r = payload.record;
    putU32(r, f.processId);
    putU32(r, f.threadId);
    putText(r, f.processImageName);
    putText(r, widen(f.file));
    putText(r, widen(f.function));
    putU32(r, static_cast<uint32_t>(f.line));
    putText(r, f.fileVersion);
    putText(r, f.productVersion);
    putText(r, f.group);
    uint64_t messageBytes = payload.utf8Message.size();
    putBytes(r, &messageBytes, sizeof messageBytes);
    return payload;
}

uint8_t etwEventLevel(uint32_t level)
{
    return static_cast<uint8_t>(level >= 1 && level <= 5 ? level : 3);
}

void fillEtwTraceEvent(EtwTraceEvent& event, uint32_t level, const EtwEventPayload& payload)
{
    std::memset(&event, 0, sizeof event);
    event.header.Size = sizeof event;
    event.header.Flags = WNODE_FLAG_TRACED_GUID | WNODE_FLAG_USE_MOF_PTR;
    event.header.Guid = GUID{kEtwEventClassData1, kEtwEventClassData2, kEtwEventClassData3,
                             {kEtwEventClassData4[0], kEtwEventClassData4[1], kEtwEventClassData4[2],
                              kEtwEventClassData4[3], kEtwEventClassData4[4], kEtwEventClassData4[5],
                              kEtwEventClassData4[6], kEtwEventClassData4[7]}};
    event.header.Class.Type = 1;
    event.header.Class.Version = 2;
    event.header.Class.Level = etwEventLevel(level);
    event.parts[0].DataPtr = reinterpret_cast<ULONG64>(payload.record.data());
    event.parts[0].Length = static_cast<ULONG>(payload.record.size());
    event.parts[1].DataPtr = reinterpret_cast<ULONG64>(payload.utf8Message.data());
    event.parts[1].Length = static_cast<ULONG>(payload.utf8Message.size());
}

} // namespace ETWLogging
