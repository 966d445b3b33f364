// SHA-256 of a file's contents through CNG, reading the caller's handle in blocks.
#include "execution/FileDigest.h"

#include "common/UniqueHandle.h"
#include "logging/internal_logging.h"

#include <array>
#include <vector>

namespace KsExecution {

namespace {

constexpr DWORD kBlockBytes = 64 * 1024;
constexpr ULONG kSha256Bytes = 32;

bool rewind(HANDLE file)
{
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

// Feeds the whole file into `hash`; 0 or the Windows error (or NTSTATUS) of the failing step.
DWORD hashFileContents(HANDLE file, BCRYPT_HASH_HANDLE hash)
{
    std::vector<UCHAR> block(kBlockBytes);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, block.data(), kBlockBytes, &read, nullptr))
            return ::GetLastError();
        if (read == 0)
            return 0;
        if (NTSTATUS status = ::BCryptHashData(hash, block.data(), read, 0); status != 0)
            return static_cast<DWORD>(status);
    }
}

} // namespace

bool fileSha256Hex(HANDLE file, std::wstring& hex)
{
    Keelwork::unique_bcrypt_algorithm algorithm;
    NTSTATUS status = ::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status != 0) {
        KSLOG_ERROR(L"BCryptOpenAlgorithmProvider(SHA256) failed: 0x%08lX", static_cast<unsigned long>(status));
        return false;
    }
    // Without a hash-object buffer the provider allocates its own (Windows 7 and later).
    Keelwork::unique_bcrypt_hash hash;
    status = ::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0);
    if (status != 0) {
        KSLOG_ERROR(L"BCryptCreateHash failed: 0x%08lX", static_cast<unsigned long>(status));
        return false;
    }
    if (!rewind(file)) {
        KSLOG_ERROR(L"Cannot seek the file to hash: %lu", ::GetLastError());
        return false;
    }
    DWORD error = hashFileContents(file, hash.get());
    rewind(file);
    if (error != 0) {
        KSLOG_ERROR(L"Hashing the file failed: 0x%08lX", error);
        return false;
    }
    std::array<UCHAR, kSha256Bytes> digest = {};
    status = ::BCryptFinishHash(hash.get(), digest.data(), kSha256Bytes, 0);
    if (status != 0) {
        KSLOG_ERROR(L"BCryptFinishHash failed: 0x%08lX", static_cast<unsigned long>(status));
        return false;
    }
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(2 * kSha256Bytes);
    for (UCHAR byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    hex = std::move(text);
    return true;
}

} // namespace KsExecution
