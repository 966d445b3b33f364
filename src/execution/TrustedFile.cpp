// The production trust validator: allow-list first, then the signature.
#include "execution/TrustedFile.h"

#include "execution/FileDigest.h"
#include "execution/SignatureCheck.h"
#include "execution/TrustedFileList.h"
#include "logging/internal_logging.h"

#include <string>

namespace KsExecution {

namespace {

class SystemTrustValidator final : public ITrustValidator {
public:
    DWORD validate(const wchar_t* path, Keelwork::unique_handle& heldFile) override
    {
        if (path == nullptr || *path == L'\0')
            return ERROR_INVALID_PARAMETER;
        // Opened once: the bytes checked and the file later started are the same, since nobody can
        // write, rename or delete it while this handle is held.
        Keelwork::unique_handle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            KSLOG_ERROR(L"Cannot open %s to check its trust: %lu", path, ::GetLastError());
            return ERROR_ACCESS_DENIED;
        }
        std::wstring digest;
        bool trusted = (fileSha256Hex(file.get(), digest) && isDigestListed(digest)) ||
                       hasTrustedSignature(path, file.get());
        if (!trusted)
            return ERROR_ACCESS_DENIED;
        heldFile = std::move(file);
        return 0;
    }
};

} // namespace

ITrustValidator& systemTrustValidator()
{
    static SystemTrustValidator validator;
    return validator;
}

} // namespace KsExecution
