// The host side of the module tests.
#include "ModuleHost.h"

#include "ProgramFolder.h"

#include "message/Message.h"
#include "message/Reply.h"
#include "messagebus/MessageBusConstants.h"

namespace moduletest {

void registerBusFolder()
{
    const std::wstring folder = kstest::testProgramFolder();
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, REG_SZ,
                    folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

HostedModule::HostedModule()
{
    EXPECT_EQ(moduleTable().newModule(&m_handle, kModuleName), 0u);
    const wchar_t* keys[] = {L"key"};
    const wchar_t* values[] = {L"value"};
    EXPECT_EQ(moduleTable().initializeModule(m_handle, kModuleName, kModuleAlias, 1, keys, values, nullptr, nullptr), 0u);
    m_client = std::make_shared<Tessel::MessageBusClient>();
}

HostedModule::~HostedModule()
{
    if (m_handle) {
        EXPECT_EQ(moduleTable().stopModule(m_handle), 0u);
        EXPECT_EQ(moduleTable().uninitializeModule(m_handle), 0u);
        EXPECT_EQ(moduleTable().destroyModule(m_handle), 0u);
    }
    m_client.reset();
}

std::optional<Answer> HostedModule::request(const std::wstring& name, const std::wstring& payload)
{
    auto message = Tessel::Message::create(name, L"ModuleTests", payload);
    std::shared_ptr<Tessel::Reply> reply;
    const auto boundMs = static_cast<uint32_t>(std::chrono::milliseconds(kAnswerBound).count());
    if (m_client->request(message, reply, boundMs) != 0 || !reply)
        return std::nullopt;
    if (reply->waitFor(boundMs) != Tessel::REPLY_STATUS_RECEIVED)
        return std::nullopt;
    std::shared_ptr<Tessel::Message> answer = reply->getMessage();
    if (!answer)
        return std::nullopt;
    return Answer{answer->name(), answer->payload(), answer->testFlag(MESSAGE_FLAG_BIT_REPLY)};
}

void ModuleHostFixture::SetUp()
{
    RegistryFixture::SetUp();
    registerBusFolder();
    m_host.emplace();
}

void ModuleHostFixture::TearDown()
{
    m_host.reset();
    RegistryFixture::TearDown();
}

std::wstring ModuleHostFixture::createPayload(const std::wstring& name, unsigned defaultFreq, bool enabled)
{
    return L"{\"name\":\"" + name +
           L"\",\"taskType\":\"scheduled\",\"triggerType\":\"process\","
           L"\"taskTrigger\":\"C:\\\\Windows\\\\system32\\\\cmd.exe\",\"defaultFreq\":\"" +
           std::to_wstring(defaultFreq) + L"\",\"enabled\":\"" + (enabled ? L"true" : L"false") + L"\"}";
}

} // namespace moduletest
