// The host side of the module tests.
#include "ModuleHost.h"

#include "ProgramFolder.h"

#include "message/Message.h"
#include "message/Reply.h"
#include "messagebus/MessageBusConstants.h"

#include <atomic>
#include <future>

namespace moduletest {

void registerBusFolder()
{
    const std::wstring folder = kstest::testProgramFolder();
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, REG_SZ,
                    folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

void ModuleHostFixture::SetUpTestSuite()
{
    moduleExports();
}

void ModuleHostFixture::SetUp()
{
    RegistryFixture::SetUp();
    registerBusFolder();
    ASSERT_EQ(table().newModule(&m_handle, kModuleName), 0u);
    const wchar_t* keys[] = {L"key"};
    const wchar_t* values[] = {L"value"};
    ASSERT_EQ(table().initializeModule(m_handle, kModuleName, kModuleAlias, 1, keys, values, nullptr, nullptr), 0u);
    m_client = std::make_shared<Tessel::MessageBusClient>();
}

void ModuleHostFixture::TearDown()
{
    if (m_handle) {
        EXPECT_EQ(table().stopModule(m_handle), 0u);
        EXPECT_EQ(table().uninitializeModule(m_handle), 0u);
        EXPECT_EQ(table().destroyModule(m_handle), 0u);
        m_handle = nullptr;
    }
    m_client.reset();
    RegistryFixture::TearDown();
}

std::optional<Answer> ModuleHostFixture::request(const std::wstring& name, const std::wstring& payload)
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

std::optional<Answer> ModuleHostFixture::publishAndWait(const std::wstring& name, const std::wstring& payload,
                                                        const std::wstring& answerName)
{
    static std::atomic<unsigned> counter{0};
    const std::wstring alias = L"wait" + std::to_wstring(counter++);
    auto promise = std::make_shared<std::promise<Answer>>();
    auto taken = std::make_shared<std::atomic<bool>>(false);
    m_client->subscribe(answerName, alias, [promise, taken](std::shared_ptr<Tessel::Message> message) {
        if (!taken->exchange(true))
            promise->set_value(Answer{message->name(), message->payload(), message->testFlag(MESSAGE_FLAG_BIT_REPLY)});
        return 0u;
    });
    std::future<Answer> future = promise->get_future();
    std::optional<Answer> result;
    if (m_client->publish(Tessel::Message::create(name, L"ModuleTests", payload)) == 0 &&
        future.wait_for(kAnswerBound) == std::future_status::ready)
        result = future.get();
    m_client->unsubscribe(alias);
    return result;
}

std::wstring ModuleHostFixture::createPayload(const std::wstring& name, unsigned defaultFreq, bool enabled)
{
    return L"{\"name\":\"" + name +
           L"\",\"taskType\":\"scheduled\",\"triggerType\":\"process\","
           L"\"taskTrigger\":\"C:\\\\Windows\\\\system32\\\\cmd.exe\",\"defaultFreq\":\"" +
           std::to_wstring(defaultFreq) + L"\",\"enabled\":\"" + (enabled ? L"true" : L"false") + L"\"}";
}

std::wstring enabledKeyPath(const std::wstring& name)
{
    return L"SOFTWARE\\Kestrel\\Platform\\Scheduler\\" + name;
}

std::wstring disabledKeyPath(const std::wstring& name)
{
    return L"SOFTWARE\\Kestrel\\Platform\\SchedulerDisabled\\" + name;
}

} // namespace moduletest
