// The production trust validator: allow-list first, then the signature.
#include "execution/TrustedFile.h"

#include "execution/FileDigest.h"
#include "execution/SignatureCheck.h"
#include "execution/TrustedFileList.h"
#include "logging/internal_logging.h"

#include <mutex>
#include <optional>
#include <string>

namespace KsExecution {

namespace {

// The program file opened with the check's sharing and its digest.
struct ReadFile {
    Keelwork::unique_handle file;
    std::wstring digest;
};

// Nothing when the file cannot be opened; the failure is logged when `logged` (a reading ahead of
// the check leaves that to the check's own reading).
std::optional<ReadFile> openFile(const wchar_t* path, bool logged)
{
    // Opened once: the bytes checked and the file later started are the same, since nobody can
    // write, rename or delete it while this handle is held.
    ReadFile read;
    read.file.reset(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!read.file) {
        if (logged)
            KSLOG_ERROR(L"Cannot open %s to check its trust: %lu", path, ::GetLastError());
        return std::nullopt;
    }
    return read;
}

class SystemTrustValidator final : public ITrustValidator {
public:
    DWORD validate(const wchar_t* path, Keelwork::unique_handle& heldFile) override
    {
        if (path == nullptr || *path == L'\0')
            return ERROR_INVALID_PARAMETER;
        std::optional<ReadFile> read = takePrepared(path);
        bool hashed = read.has_value();
        if (!read) {
            read = openFile(path, true);
            if (!read)
                return ERROR_ACCESS_DENIED;
            hashed = fileSha256Hex(read->file.get(), read->digest);
        }
        // The list is asked now, not when the file was read: a file taken off it meanwhile is refused.
        const bool trusted = (hashed && isDigestListed(read->digest)) || hasTrustedSignature(path, read->file.get());
        if (!trusted)
            return ERROR_ACCESS_DENIED;
        heldFile = std::move(read->file);
        return 0;
    }

    void prepare(const wchar_t* path) override
    {
        dropPrepared();
        if (path == nullptr || *path == L'\0')
            return;
        std::optional<ReadFile> read = openFile(path, false);
        // A reading that fails is not kept: the check reads again and logs what it meets.
        if (!read || !fileSha256Hex(read->file.get(), read->digest))
            return;
        const std::lock_guard<std::mutex> lock(m_lock);
        m_preparedPath = path;
        m_prepared = std::move(read);
    }

    void dropPrepared() override
    {
        std::optional<ReadFile> dropped;  // closed outside the lock
        const std::lock_guard<std::mutex> lock(m_lock);
        dropped.swap(m_prepared);
    }

private:
    std::optional<ReadFile> takePrepared(const wchar_t* path)
    {
        std::optional<ReadFile> taken;
        const std::lock_guard<std::mutex> lock(m_lock);
        if (m_prepared && m_preparedPath == path)
            taken.swap(m_prepared);
        return taken;
    }

    std::mutex m_lock;
    std::wstring m_preparedPath;
    std::optional<ReadFile> m_prepared;
};

} // namespace

ITrustValidator& systemTrustValidator()
{
    static SystemTrustValidator validator;
    return validator;
}

} // namespace KsExecution
