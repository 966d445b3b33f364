// Where the file logger puts its files: base folder, log name, lock name.
#pragma once

#include <string>

struct HINSTANCE__;

namespace ETWLogging {

// Program data followed by "\Kestrel\KSLOGS\"; empty when the known folder cannot be found.
std::wstring defaultLogBaseFolder();

// Full path of a module's file (null: the process image); empty on failure.
std::wstring modulePath(HINSTANCE__* module);

// The part after the last "\" and, for the name without extension, before the last ".".
std::wstring fileNameOf(const std::wstring& path);
std::wstring stripExtension(const std::wstring& fileName);

// Creates a folder with all missing parents; 0 or the Windows error code.
uint32_t createFolderTree(const std::wstring& folder);

// The name of the write lock guarding one log folder, the same in every process.
std::wstring logFolderLockName(const std::wstring& folder);

} // namespace ETWLogging
