// Loading the bus library: search order, path macros, the block list, missing exports, and the
// shim's refusal of a bus it cannot use. Runs against the real MessageBus.dll.
#include "ExpectLogged.h"
#include "RegistryFixture.h"
#include "ProgramFolder.h"
#include "TestFolder.h"

#include "common/WinInclude.h"
#include "message/ModuleException.h"
#include "messagebus/MessageBusConstants.h"
#include "messagebus/MessageBusLib.h"
#include "messagebus/MessageBusShimImpl.h"
#include "messagebus/SharedLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace Tessel;

namespace {

std::wstring busInProgramFolder()
{
    return kstest::testProgramFolder() + L"\\MessageBus.dll";
}

// "a.b.c.d" from the fixed part of a file's version resource, read independently of the
// string table the loader compares.
std::wstring fixedFileVersion(const std::wstring& path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info)
        return {};
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionLS));
}

class LibraryLoading : public kstest::RegistryFixture {
protected:
    void registerInstallDir(const std::wstring& folder)
    {
        setString(kHearthKeyPath, kHearthInstallDirValue, folder);
    }

    // The exception's text, or empty when construction succeeded.
    static std::string loadFailure(const LibraryDescription& description, std::shared_ptr<SharedLibrary>* out = nullptr)
    {
        try {
            auto library = std::make_shared<SharedLibrary>(description);
            if (out)
                *out = library;
            return {};
        } catch (const ModuleException& e) {
            return e.what();
        }
    }
};

TEST_F(LibraryLoading, ApplicationFolderWinsOverHostInstallFolder)
{
    kstest::TestFolder installDir;
    ASSERT_TRUE(installDir.copyIn(busInProgramFolder(), kMessageBusFileName));
    registerInstallDir(installDir.path());

    MessageBusLib bus;
    EXPECT_TRUE(std::filesystem::equivalent(bus.library()->path(), busInProgramFolder())) << bus.library()->path();
}

TEST_F(LibraryLoading, HostInstallFolderServesWhenEarlierFoldersLackTheFile)
{
    kstest::TestFolder empty;
    kstest::TestFolder installDir;
    ASSERT_TRUE(installDir.copyIn(busInProgramFolder(), kMessageBusFileName));
    registerInstallDir(installDir.path());

    std::shared_ptr<SharedLibrary> library;
    kstest::LogCapture log;
    ASSERT_EQ(loadFailure({kMessageBusFileName, {empty.path(), L"$(Hearth.InstallDir)"}}, &library), "");
    EXPECT_TRUE(std::filesystem::equivalent(library->path(), installDir.path() + L"\\MessageBus.dll")) << library->path();
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_NORMAL, L"Loading MessageBus.dll from " + installDir.path() + L".");
}

// An undefined macro aborts the search even when a later folder holds the file.
TEST_F(LibraryLoading, UnresolvableFolderAbortsTheSearch)
{
    kstest::LogCapture log;
    EXPECT_EQ(loadFailure({kMessageBusFileName, {L"$(No.Such.Macro)\\bin", L"$(App.Folder)"}}), "Failed to load library");
    EXPECT_EQ(loadFailure({kMessageBusFileName, {L"$(Hearth.InstallDir)"}}), "Failed to load library");
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to resolve file path, $(No.Such.Macro)\\bin, for library: MessageBus.dll.");
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to resolve file path, $(Hearth.InstallDir), for library: MessageBus.dll.");
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to load library: MessageBus.dll. Throwing ModuleException.");
}

TEST_F(LibraryLoading, LibraryWithoutGetVersionStrFailsImportNamingIt)
{
    kstest::LogCapture log;
    EXPECT_EQ(loadFailure({L"NoVersionStr.dll", {L"$(App.Folder)\\messagebus-testlibs"}}),
              "Failed to import functions from library");
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to load GetVersionStr function from library: NoVersionStr.dll.");
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to import functions from library: NoVersionStr.dll. Throwing ModuleException.");
}

enum class Recorded { nothing, sameVersion, otherVersion };

struct BlockCase {
    const char* label;
    const wchar_t* fileName;
    Recorded recorded;
    bool blocked;
};

class BlockList : public LibraryLoading, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(BlockList, CoreLibraryWithRecordedVersionIsRefused)
{
    std::wstring version = fixedFileVersion(busInProgramFolder());
    ASSERT_FALSE(version.empty());
    kstest::TestFolder folder;
    ASSERT_TRUE(folder.copyIn(busInProgramFolder(), GetParam().fileName));
    if (GetParam().recorded != Recorded::nothing)
        setString((std::wstring(kBlockListKeyPath) + GetParam().fileName).c_str(), kBlockedVersionValue,
                  GetParam().recorded == Recorded::sameVersion ? version : version + L"1");

    kstest::LogCapture log;
    std::string failure = loadFailure({GetParam().fileName, {folder.path()}});
    std::wstring blockedLine = L"Blocked library: " + std::wstring(GetParam().fileName) + L".";
    if (GetParam().blocked) {
        EXPECT_EQ(failure, "Failed to load library");
        EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_INFORMATION, blockedLine);
    } else {
        EXPECT_EQ(failure, "");
        EXPECT_FALSE(log.contains(blockedLine));
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, BlockList,
                         ::testing::Values(BlockCase{"CoreSameVersion", L"MessageBus.dll", Recorded::sameVersion, true},
                                           BlockCase{"CoreOtherCase", L"SystemMonitor.DLL", Recorded::sameVersion, true},
                                           BlockCase{"CoreOtherVersion", L"MessageBus.dll", Recorded::otherVersion, false},
                                           BlockCase{"CoreNotListed", L"MessageBus.dll", Recorded::nothing, false},
                                           BlockCase{"NotCore", L"OtherBus.dll", Recorded::sameVersion, false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(LibraryLoading, LoadFromRegistryUsesTheInstallFolder)
{
    registerInstallDir(L"C:\\Hearth\\Bin");
    kstest::LogCapture log;
    LibraryDescription description = loadFromRegistry();
    EXPECT_EQ(description.fileName, L"MessageBus.dll");
    ASSERT_EQ(description.searchDirectories.size(), 1u);
    EXPECT_EQ(description.searchDirectories[0], L"C:\\Hearth\\Bin");
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_INFORMATION, L"Loading MesageBusLib by force from path: C:\\Hearth\\Bin");
}

// --- The bus library behind the shims -------------------------------------------------------------------

struct ShimRefusal {
    const char* label;
    bool nullHandle;
    const char* what;
    const wchar_t* line;
};

class ShimRefusesUnusableBus : public ::testing::TestWithParam<ShimRefusal> {};

TEST_P(ShimRefusesUnusableBus, ThrowsModuleExceptionWithItsLogLine)
{
    MessageBusFunctions table{};
    int dummy = 0;
    MessageBusHandle handle = GetParam().nullHandle ? nullptr : &dummy;
    const MessageBusFunctions* functions = GetParam().nullHandle ? &table : nullptr;
    kstest::LogCapture log;
    try {
        MessageBusShimImpl shim(handle, functions);
        FAIL() << "the shim accepted an unusable bus";
    } catch (const ModuleException& e) {
        EXPECT_STREQ(e.what(), GetParam().what);
    }
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Arguments, ShimRefusesUnusableBus,
                         ::testing::Values(ShimRefusal{"NullHandle", true, "Invalid message bus handle",
                                                       L"Invalid message bus handle. Throwing ModuleException."},
                                           ShimRefusal{"NullFunctions", false, "Invalid message bus functions object",
                                                       L"Invalid message bus functions object. Throwing ModuleException."}),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
