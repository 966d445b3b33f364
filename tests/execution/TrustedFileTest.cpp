// The trusted-file check: allow-listed contents are held against change until the caller lets go,
// and the list names each file by the hash of its contents.
#include "SampleTaskReport.h"
#include "TrustForTest.h"

#include "RegistryFixture.h"
#include "execution/Sha256Engine.h"
#include "execution/TrustedFile.h"
#include "execution/TrustedFileList.h"
#include "common/UniqueHandle.h"
#include "registry/RegKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

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

// What is read ahead is held from the reading until a check of its path takes it or it is let go,
// and the check answers as it would without it: the list is asked at the check, not at the reading.
TEST_F(TrustedFileHold, ReadAheadIsHeldUntilTakenOrDroppedAndChangesNoAnswer)
{
    KsExecution::ITrustValidator& trust = systemTrustValidator();
    auto writable = [this] {
        const unique_handle writer(::CreateFileW(program().c_str(), GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
        return static_cast<bool>(writer);
    };
    const std::wstring other = kstest::sampleTaskPath();
    unique_handle held;
    const DWORD otherAnswer = trust.validate(other.c_str(), held);
    held.reset();
    trust.prepare(program().c_str());
    EXPECT_FALSE(writable());
    EXPECT_EQ(trust.validate(other.c_str(), held), otherAnswer);
    held.reset();
    EXPECT_FALSE(writable()) << "a check of another file took it";
    trust.dropPrepared();
    EXPECT_TRUE(writable());

    trust.prepare(program().c_str());  // read while not listed, listed before the check
    std::wstring digest;
    ASSERT_EQ(KsExecution::trustFile(program().c_str(), &digest), 0u);
    EXPECT_EQ(trust.validate(program().c_str(), held), 0u);
    EXPECT_FALSE(writable());
    held.reset();
    EXPECT_TRUE(writable()) << "the check left a reading behind";

    trust.prepare(program().c_str());  // read while listed, taken off before the check
    Keelwork::CRegKey list;
    ASSERT_EQ(list.open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Platform\\TrustedFiles", KEY_SET_VALUE | KEY_WOW64_64KEY),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteValueW(list.get(), digest.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(trust.validate(program().c_str(), held), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(held);
    EXPECT_TRUE(writable());
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

// The digest on the processor's SHA instructions agrees with the platform's provider at every
// block and padding boundary, and with the standard's own example.
TEST(FileDigest, ProcessorHashAgreesWithTheProviderAtEveryBoundary)
{
    if (!KsExecution::Sha256Engine::available())
        GTEST_SKIP() << "this processor has no SHA instructions";
    std::vector<uint8_t> data(3 * 65536 + 129);
    uint32_t seed = 12345;
    for (uint8_t& byte : data)
        byte = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    for (size_t size : {size_t{0}, size_t{1}, size_t{55}, size_t{56}, size_t{63}, size_t{64}, size_t{65}, size_t{119},
                        size_t{120}, size_t{128}, size_t{1000}, size_t{65536 + 7}, data.size()}) {
        std::array<UCHAR, 32> expected = {};
        Keelwork::unique_bcrypt_algorithm algorithm;
        Keelwork::unique_bcrypt_hash hash;
        ASSERT_EQ(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0), 0);
        ASSERT_EQ(::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0), 0);
        ASSERT_EQ(::BCryptHashData(hash.get(), data.data(), static_cast<ULONG>(size), 0), 0);
        ASSERT_EQ(::BCryptFinishHash(hash.get(), expected.data(), 32, 0), 0);
        KsExecution::Sha256Engine engine;
        for (size_t done = 0; done < size; done += 1000)  // fed in pieces that straddle the blocks
            engine.update(data.data() + done, std::min<size_t>(1000, size - done));
        const auto digest = engine.finish();
        EXPECT_TRUE(std::equal(digest.begin(), digest.end(), expected.begin())) << size << " bytes";
    }
    KsExecution::Sha256Engine abc;
    abc.update(reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_EQ(abc.finish()[0], 0xba);
}
