// The installation time stamp: the time of the first engine start, written once.
#pragma once

namespace KsPlatform {

// Writes "InstallTStmp" (seconds since 1970 UTC, from the clock seam) unless a REG_DWORD stamp
// exists; nothing when the product key is missing.
void writeInstallTimeStamp();

} // namespace KsPlatform
