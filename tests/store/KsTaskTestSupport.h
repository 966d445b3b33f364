// Shared pieces of the CKsTask tests: storing a record through the store, and finding log lines.
#pragma once

#include "LogFileReader.h"
#include "store/KsTask.h"

#include <string>

namespace storetest {

// Assigns the record to a fresh task of that name and writes it; true when both succeed.
bool storeTask(const wchar_t* name, const KSTASKINFO& record);

// True when one line written since the capture began carries both the level word and the text.
bool logged(const kstest::LogCapture& capture, const wchar_t* levelWord, const std::wstring& text);

} // namespace storetest
