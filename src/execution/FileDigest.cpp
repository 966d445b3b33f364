// SHA-256 of a file's contents, reading the caller's handle in blocks: on the processor's SHA
// instructions where it has them, else through CNG.
#include "execution/FileDigest.h"

#include "execution/Sha256Engine.h"

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

// Hands the file to `consume(data, size)` block by block from where it stands; 0, the Windows
// error of a failing read, or the first non-zero result of `consume`.
template <typename Consume>
DWORD forEachBlock(HANDLE file, Consume consume)
{
    std::vector<UCHAR> block(kBlockBytes);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, block.data(), kBlockBytes, &read, nullptr))
            return ::GetLastError();
        if (read == 0)
            return 0;
        if (const DWORD result = consume(block.data(), read); result != 0)
            return result;
    }
}

// Feeds the whole file into `hash`; 0 or the Windows error (or NTSTATUS) of the failing step.
DWORD hashFileContents(HANDLE file, BCRYPT_HASH_HANDLE hash)
{
    return forEachBlock(file, [hash](UCHAR* data, DWORD size) {
        return static_cast<DWORD>(::BCryptHashData(hash, data, size, 0));
    });
}

std::wstring hexText(const UCHAR* digest)
{
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(2 * kSha256Bytes);
    for (ULONG i = 0; i < kSha256Bytes; ++i) {
        text += kDigits[digest[i] >> 4];
        text += kDigits[digest[i] & 0xF];
    }
    return text;
}

// 0 or the Windows error of the failing read.
DWORD hashWithProcessor(HANDLE file, std::array<UCHAR, kSha256Bytes>& digest)
{
    Sha256Engine engine;
    const DWORD error = forEachBlock(file, [&engine](const UCHAR* data, DWORD size) {
        engine.update(data, size);
        return DWORD{0};
    });
    if (error == 0)
        digest = engine.finish();
    return error;
}

// Through CNG: 0, or the Windows error or NTSTATUS of the failing step.
DWORD hashWithProvider(HANDLE file, std::array<UCHAR, kSha256Bytes>& digest)
{
    Keelwork::unique_bcrypt_algorithm algorithm;
    NTSTATUS status = ::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status != 0) {
        KSLOG_ERROR(L"BCryptOpenAlgorithmProvider(SHA256) failed: 0x%08lX", static_cast<unsigned long>(status));
        return static_cast<DWORD>(status);
    }
    // Without a hash-object buffer the provider allocates its own (Windows 7 and later).
    Keelwork::unique_bcrypt_hash hash;
    status = ::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0);
    if (status != 0) {
        KSLOG_ERROR(L"BCryptCreateHash failed: 0x%08lX", static_cast<unsigned long>(status));
        return static_cast<DWORD>(status);
    }
    if (const DWORD error = hashFileContents(file, hash.get()); error != 0)
        return error;
    return static_cast<DWORD>(::BCryptFinishHash(hash.get(), digest.data(), kSha256Bytes, 0));
}

} // namespace

bool fileSha256Hex(HANDLE file, std::wstring& hex)
{
    static const bool processorHashes = Sha256Engine::available();
    if (!rewind(file)) {
        KSLOG_ERROR(L"Cannot seek the file to hash: %lu", ::GetLastError());
        return false;
    }
    std::array<UCHAR, kSha256Bytes> digest = {};
    const DWORD error = processorHashes ? hashWithProcessor(file, digest) : hashWithProvider(file, digest);
    rewind(file);
    if (error != 0) {
        KSLOG_ERROR(L"Hashing the file failed: 0x%08lX", error);
        return false;
    }
    hex = hexText(digest.data());
    return true;
}

} // namespace KsExecution
