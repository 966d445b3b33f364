// The rotating text-file logger.
#include "logging/FileLogging.h"

#include "logging/FileLogPaths.h"
#include "logging/LogLineFormat.h"
#include "logging/LoggingNames.h"
#include "common/MessageFormat.h"
#include "logging/ObfuscatedIniReader.h"

namespace ETWLogging {

namespace {

inline constexpr uint32_t kAlreadyInitialized = 20001;
inline constexpr uint32_t kNotInitialized = 20002;

uint32_t writeText(HANDLE file, std::wstring_view text)
{
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!WriteFile(file, text.data(), bytes, &written, nullptr))
        return GetLastError();
    return 0;
}

} // namespace

CLogging::CLogging(FileLoggerSeams seams) : m_seams(std::move(seams)) {}

CLogging::~CLogging() = default;

uint32_t CLogging::initialize(const wchar_t* group, HINSTANCE__* module, const wchar_t* host)
{
    if ((group && !*group) || (host && !*host))
        return ERROR_INVALID_PARAMETER;
    if (m_initialized.load())
        return kAlreadyInitialized;

    if (module) {
        m_logName = stripExtension(fileNameOf(modulePath(module)));
    } else {
        std::wstring image = m_seams.processImagePath.empty() ? modulePath(nullptr) : m_seams.processImagePath;
        m_processImageName = fileNameOf(image);
        m_logName = stripExtension(m_processImageName);
    }

    std::wstring base = m_seams.baseFolder.empty() ? defaultLogBaseFolder() : m_seams.baseFolder;
    m_logFolder = group ? base + group + L"\\" + m_logName : base + m_logName;

    Keelwork::CObfuscatedIniReader folderIni(m_logFolder + L"\\" + kIniFileName);
    Keelwork::CObfuscatedIniReader baseIni(base + kIniFileName);
    std::lock_guard lock(m_stateLock);
    m_settings = readFileLoggerSettings(folderIni, baseIni);
    m_severity.store(m_settings.severity);

    std::wstring stem = m_logFolder + L"\\" + m_logName;
    if (host)
        stem += std::wstring(L"_") + host;
    m_rotation = std::make_unique<LogFileRotation>(stem, folderIni.path(), m_settings.maxSize, m_settings.maxEntries);

    // Without the shared lock, writes of this process are still serialized by m_stateLock.
    m_folderLock = std::make_unique<FolderWriteLock>(logFolderLockName(m_logFolder));
    m_rotation->countIniWritesIn(*m_folderLock);
    m_processId = GetCurrentProcessId();
    m_initialized.store(true);
    return 0;
}

uint32_t CLogging::close()
{
    if (!m_initialized.exchange(false))
        return kNotInitialized;
    return 0;
}

bool CLogging::isLogEnabled(uint32_t level) const
{
    return level >= m_severity.load(std::memory_order_relaxed);
}

FileLoggerSettings CLogging::settings() const
{
    std::lock_guard lock(m_stateLock);
    return m_settings;
}

std::wstring CLogging::currentLogFilePath() const
{
    std::lock_guard lock(m_stateLock);
    return m_rotation ? m_rotation->currentPath() : std::wstring();
}

void CLogging::switchOff()
{
    m_settings.enable = 0;
    m_settings.severity = kSeverityOff;
    m_severity.exchange(kSeverityOff);
}

uint32_t CLogging::prepareFolder()
{
    if (m_folderReady)
        return 0;
    uint32_t rc = createFolderTree(m_logFolder);
    if (rc != 0) {
        switchOff();
        return rc;
    }
    m_folderReady = true;
    return 0;
}

bool CLogging::buildLine(uint32_t level, const char* file, const char* function, int line,
                         const std::wstring& message, std::wstring& text) const
{
    LogLineFields fields;
    fields.time = (m_seams.clock ? *m_seams.clock : systemLogClock()).now();
    fields.level = level;
    fields.options = m_settings.options;
    fields.processImageName = m_processImageName.empty() ? nullptr : m_processImageName.c_str();
    fields.processId = m_processId;
    fields.threadId = GetCurrentThreadId();
    fields.file = file;
    fields.line = line;
    fields.function = function;
    return buildLogLine(fields, message, text);
}

uint32_t CLogging::writeLine(uint32_t level, const char* file, const char* function, int line,
                             const std::wstring& message)
{
    if (!m_initialized.load())
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(m_stateLock);
    FolderWriteGuard folderLock(*m_folderLock, kFileLogMutexWaitMs);
    if (!m_settings.enable || message.empty())
        return ERROR_INVALID_PARAMETER;
    if (!levelName(level))
        return ERROR_INVALID_PARAMETER;
    if (uint32_t rc = prepareFolder(); rc != 0)
        return rc;

    Keelwork::unique_handle handle;
    bool isNew = false;
    if (uint32_t rc = m_rotation->open(handle, isNew); rc != 0 && rc != ERROR_ALREADY_EXISTS)
        return rc;

    // The byte-order mark goes out with the first line, in the same write.
    std::wstring text;
    text.reserve(message.size() + 200);
    text += L'\xFEFF';
    buildLine(level, file, function, line, message, text);
    const std::wstring_view lineText = std::wstring_view(text).substr(1);
    uint32_t rc = writeText(handle.get(), isNew ? std::wstring_view(text) : lineText);
    if ((m_settings.options & LOG_OPTION_DEBUGGER) && !lineText.empty())
        OutputDebugStringW(text.c_str() + 1);
    return rc;
}

uint32_t CLogging::writeLogV(uint32_t level, const char* file, const char* function, int line,
                             const wchar_t* format, va_list args)
{
    return writeLine(level, file, function, line, formatMessageForFile(format, args));
}

} // namespace ETWLogging
