// Signature verification through WinVerifyTrust and the table of trusted signers.
#include "execution/SignatureCheck.h"

#include "logging/internal_logging.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <array>
#include <cstring>
#include <cwchar>

namespace KsExecution {

namespace {

constexpr const wchar_t* kTrustedSubjects[] = {
    L"Tessel Corporation", L"Kestrel, Inc.", L"Kestrel, LLC", L"Kestrel, LLC.",
};

constexpr size_t kThumbprintBytes = 20;
using Thumbprint = std::array<BYTE, kThumbprintBytes>;

// SHA-1 thumbprints of the suite's signing certificates. This build has no certificates of its
// own, so these are placeholders that no real certificate matches; a release build puts the
// real thumbprints here.
constexpr Thumbprint kTrustedThumbprints[] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06},
};

// One WinVerifyTrust verification; its state is closed whatever the outcome.
class TrustVerification {
public:
    TrustVerification(const wchar_t* path, HANDLE file)
    {
        m_file.cbStruct = sizeof(m_file);
        m_file.pcwszFilePath = path;
        m_file.hFile = file;
        m_data.cbStruct = sizeof(m_data);
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    }
    ~TrustVerification()
    {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(nullptr, &m_action, &m_data);
    }
    TrustVerification(const TrustVerification&) = delete;
    TrustVerification& operator=(const TrustVerification&) = delete;

    LONG verify() { return ::WinVerifyTrust(nullptr, &m_action, &m_data); }

    // The signer's certificate, owned by the verification state; null when there is none.
    PCCERT_CONTEXT signerCertificate() const
    {
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(m_data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        CRYPT_PROVIDER_CERT* cert = signer ? ::WTHelperGetProvCertFromChain(signer, 0) : nullptr;
        return cert ? cert->pCert : nullptr;
    }

private:
    GUID m_action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO m_file = {};
    WINTRUST_DATA m_data = {};
};

bool hasTrustedSubject(PCCERT_CONTEXT cert)
{
    wchar_t subject[256] = {};
    if (::CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject, 256) <= 1)
        return false;
    for (const wchar_t* trusted : kTrustedSubjects)
        if (std::wcscmp(subject, trusted) == 0)
            return true;
    return false;
}

bool hasTrustedThumbprint(PCCERT_CONTEXT cert)
{
    Thumbprint thumbprint = {};
    DWORD size = kThumbprintBytes;
    if (!::CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, thumbprint.data(), &size) ||
        size != kThumbprintBytes)
        return false;
    for (const Thumbprint& trusted : kTrustedThumbprints)
        if (thumbprint == trusted)
            return true;
    return false;
}

} // namespace

bool hasTrustedSignature(const wchar_t* path, HANDLE file)
{
    TrustVerification verification(path, file);
    LONG status = verification.verify();
    if (status != ERROR_SUCCESS) {
        KSLOG_ERROR(L"Signature of %s refused: 0x%08lX from WinVerifyTrust", path, static_cast<unsigned long>(status));
        return false;
    }
    // A verified file may still lack a signer (Wine's verification passes unsigned files), so the
    // signer check is what refuses those.
    PCCERT_CONTEXT signer = verification.signerCertificate();
    if (signer == nullptr || !(hasTrustedSubject(signer) || hasTrustedThumbprint(signer))) {
        KSLOG_ERROR(L"Signature of %s refused: 0x%08lX, the signer is not trusted", path,
                    static_cast<unsigned long>(TRUST_E_SUBJECT_NOT_TRUSTED));
        return false;
    }
    return true;
}

} // namespace KsExecution
