// The trusted-file check: allow-listed contents are held against change until the caller lets go,
// and the list names each file by the hash of its contents.
#include "SampleTaskReport.h"
#include "TrustForTest.h"

#include "RegistryFixture.h"
#include "execution/TrustedFile.h"
#include "execution/TrustedFileList.h"
#include "registry/RegKey.h"

#include <gtest/gtest.h>

namespace {

using KsExecution::systemTrustValidator;
using Keelwork::unique_handle;

// A scratch registry and an unsigned real program: a copy of sample-task.exe.
class TrustedFileHold : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        kstest::RegistryFixture::SetUp();
        ASSERT_TRUE(::CopyFileW(kstest::sampleTaskPath().c_str(), m_program.path().c_str(), FALSE));
    }
    const std::wstring& program() const { return m_program.path(); }

private:
    kstest::TempFile m_program{L"ks-trust", L".exe"};
};

TEST_F(TrustedFileHold, HeldFileCannotBeWrittenOrDeletedUntilReleased)
{
    ASSERT_TRUE(kstest::trustForTest(program()));
    unique_handle held;
    ASSERT_EQ(systemTrustValidator().validate(program().c_str(), held), 0u);

    unique_handle writer(::CreateFileW(program().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD writeError = ::GetLastError();
    EXPECT_FALSE(writer);
    EXPECT_EQ(writeError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    BOOL deleted = ::DeleteFileW(program().c_str());
    DWORD deleteError = ::GetLastError();
    EXPECT_FALSE(deleted);
    EXPECT_EQ(deleteError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    held.reset();
    EXPECT_TRUE(::DeleteFileW(program().c_str()));
}

class TrustedFileList : public kstest::RegistryFixture {};

TEST_F(TrustedFileList, ValueIsNamedByTheSha256OfTheContents)
{
    kstest::TempFile file(L"ks-abc", L".txt");
    {
        unique_handle out(::CreateFileW(file.path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(out && ::WriteFile(out.get(), "abc", 3, &written, nullptr) && written == 3);
    }
    constexpr wchar_t kAbcDigest[] = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    std::wstring digest;
    ASSERT_EQ(KsExecution::trustFile(file.path().c_str(), &digest), 0u);
    EXPECT_EQ(digest, kAbcDigest);

    Keelwork::CRegKey key;
    ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Platform\\TrustedFiles", KEY_READ | KEY_WOW64_64KEY),
              ERROR_SUCCESS);
    std::wstring note;
    EXPECT_EQ(key.getStringValue(kAbcDigest, note), ERROR_SUCCESS);
    EXPECT_EQ(note, file.fileName());
    EXPECT_TRUE(KsExecution::isDigestListed(kAbcDigest));
}

} // namespace
