// Names the logger shares with the outside: registry paths and values, settings-file keys,
// folder names, the event-tracing identifiers.
#pragma once

namespace ETWLogging {

inline constexpr const wchar_t* kLoggingKeyPath = L"SOFTWARE\\Kestrel\\Logging";
inline constexpr const wchar_t* kLoggingMechanismValue = L"Logging Mechanism";
inline constexpr unsigned long kFileLoggingMechanism = 1;
inline constexpr const wchar_t* kEtwEnableValue = L"Enable";
inline constexpr const wchar_t* kEtwSeverityValue = L"Severity";

inline constexpr const wchar_t* kDefaultGroup = L"_no_group";
inline constexpr const wchar_t* kDefaultHost = L"_no_host";

inline constexpr const wchar_t* kCompanyFolder = L"\\Kestrel\\";
inline constexpr const wchar_t* kLogsFolder = L"KSLOGS";
inline constexpr const wchar_t* kIniFileName = L"log.ini";
inline constexpr const wchar_t* kIniSection = L"Config";
inline constexpr const wchar_t* kIniEnable = L"Enable";
inline constexpr const wchar_t* kIniMaxSize = L"MaxSize";
inline constexpr const wchar_t* kIniMaxEntries = L"MaxEntries";
inline constexpr const wchar_t* kIniSeverity = L"Severity";
inline constexpr const wchar_t* kIniOptions = L"Options";
inline constexpr const wchar_t* kIniLastLogIdx = L"LastLogIdx";

// Cross-process lock of one log folder; the folder's hash is appended.
inline constexpr const wchar_t* kFileLogMutexPrefix = L"Global\\Kestrel.KSLOGS.FileLog.";
inline constexpr unsigned long kFileLogMutexWaitMs = 7000;

// {CD1DAAD0-54CC-11E0-B8AF-0800200C9A66}: the event class of every trace event.
inline constexpr unsigned long kEtwEventClassData1 = 0xCD1DAAD0;
inline constexpr unsigned short kEtwEventClassData2 = 0x54CC;
inline constexpr unsigned short kEtwEventClassData3 = 0x11E0;
inline constexpr unsigned char kEtwEventClassData4[8] = {0xB8, 0xAF, 0x08, 0x00, 0x20, 0x0C, 0x9A, 0x66};

// Tracing-session control configuration, used by the suite's logging controller.
inline constexpr const wchar_t* kEtwControllerKeyPath = L"SOFTWARE\\Kestrel\\Logging\\Controller";
inline constexpr const wchar_t* kEtwProviderKeyPath = L"SOFTWARE\\Kestrel\\Logging\\Provider";
inline constexpr const wchar_t* kEtwSessionOwnerMutex = L"Global\\Kestrel.{0696D115-BE52-46c3-BFEE-D73A305B6581}";
inline constexpr const wchar_t* kEtwSessionName = L"Kestrel.{E4367DA7-2B80-47f3-86D2-7626A18FC6F4}";

// Control GUID the trace provider registers under: {6A1F2C7E-93D4-4B8A-A5E2-3C0D9F41B7A2}.
inline constexpr unsigned long kEtwProviderData1 = 0x6A1F2C7E;
inline constexpr unsigned short kEtwProviderData2 = 0x93D4;
inline constexpr unsigned short kEtwProviderData3 = 0x4B8A;
inline constexpr unsigned char kEtwProviderData4[8] = {0xA5, 0xE2, 0x3C, 0x0D, 0x9F, 0x41, 0xB7, 0xA2};
} // namespace ETWLogging
