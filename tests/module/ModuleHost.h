// Fixture acting as the module's host: isolated registry, the module created and initialized
// through the exported table (it loads MessageBus.dll itself), and a bus client of the test's own
// to talk to it, with bounded waits for every answer.
#pragma once

#include "ModuleLibrary.h"
#include "RegistryFixture.h"

#include "messagebus/MessageBusClient.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace moduletest {

inline constexpr const wchar_t* kModuleName = L"TaskScheduler";
inline constexpr const wchar_t* kModuleAlias = L"TS";
inline constexpr std::chrono::seconds kAnswerBound{10};

struct Answer {
    std::wstring name;
    std::wstring payload;
    bool correlated = false;  // marked as a reply to the request
};

// Points the bus library's install folder at the test program's folder.
void registerBusFolder();

// TaskScheduler.dll's module as a host makes it through the exported table, initialized (it loads
// MessageBus.dll itself), with a bus client of the test's own to talk to it; stopped and destroyed
// with this object. Made once the registry names the bus library's folder.
class HostedModule {
public:
    HostedModule();
    ~HostedModule();
    HostedModule(const HostedModule&) = delete;
    HostedModule& operator=(const HostedModule&) = delete;

    ModuleHandle handle() const { return m_handle; }
    Tessel::MessageBusClient& client() { return *m_client; }
    // Sends a request and waits, bounded, for its correlated reply.
    std::optional<Answer> request(const std::wstring& name, const std::wstring& payload);

private:
    ModuleHandle m_handle = nullptr;
    std::shared_ptr<Tessel::MessageBusClient> m_client;
};

class ModuleHostFixture : public kstest::RegistryFixture {
protected:
    static void SetUpTestSuite() { moduleExports(); }
    void SetUp() override;
    void TearDown() override;

    const ModuleFunctions& table() const { return moduleTable(); }
    ModuleHandle handle() const { return m_host->handle(); }
    Tessel::MessageBusClient& client() { return m_host->client(); }
    std::optional<Answer> request(const std::wstring& name, const std::wstring& payload)
    {
        return m_host->request(name, payload);
    }

    static std::wstring createPayload(const std::wstring& name, unsigned defaultFreq, bool enabled = true);

    std::optional<HostedModule> m_host;
};

} // namespace moduletest
