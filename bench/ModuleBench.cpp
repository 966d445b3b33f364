// Module round trips, host -> bus -> TaskScheduler.dll -> registry -> reply, for create and query,
// against the floor they cannot beat: the store's own Write (or Read) of the same task plus two bus
// round trips to a trivial responder, all measured in the same run.
#include "BenchCase.h"
#include "BenchScratchHive.h"

#include "common/WinInclude.h"
#include "message/Message.h"
#include "message/Reply.h"
#include "messagebus/MessageBusClient.h"
#include "messagebus/MessageBusConstants.h"
#include "module/ModuleFunctions.h"
#include "store/KsTask.h"

#include <memory>
#include <string>
#include <vector>

namespace {

using Figures = std::vector<std::pair<std::string, ksbench::Figure>>;

constexpr const wchar_t* kScratch = L"Software\\KsBenchScratch\\module";
constexpr const wchar_t* kTaskName = L"benchtask";
constexpr const wchar_t* kEcho = L"Bench.Module.Echo";
constexpr int kSamples = 400;
constexpr uint32_t kBoundMs = 10000;

std::wstring programFolder()
{
    wchar_t path[MAX_PATH] = {};
    std::wstring full(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return full.substr(0, full.find_last_of(L'\\'));
}

// The host's install folder, where the bus client looks for the bus library, is this program's.
void recordInstallFolder()
{
    std::wstring folder = programFolder();
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, REG_SZ, folder.c_str(),
                    static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

// The module loaded, created and initialized as a host does it; torn down in reverse.
class LoadedModule {
public:
    LoadedModule()
    {
        m_library = LoadLibraryW((programFolder() + L"\\TaskScheduler.dll").c_str());
        if (!m_library)
            return;
        auto create = reinterpret_cast<ModuleCreateObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(m_library, "CreateObject")));
        m_table = create ? create() : nullptr;
        if (!m_table || m_table->newModule(&m_handle, L"TaskScheduler") != 0 ||
            m_table->initializeModule(m_handle, L"TaskScheduler", L"TS", 0, nullptr, nullptr, nullptr, nullptr) != 0)
            m_table = nullptr;
    }
    ~LoadedModule()
    {
        if (m_handle && m_table) {
            m_table->stopModule(m_handle);
            m_table->uninitializeModule(m_handle);
            m_table->destroyModule(m_handle);
        }
        // The library stays loaded: the bus library's threads may still hold code of it briefly.
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool ready() const { return m_table != nullptr; }

private:
    HMODULE m_library = nullptr;
    const ModuleFunctions* m_table = nullptr;
    ModuleHandle m_handle = nullptr;
};

// One request answered within the bound; false otherwise.
bool roundTrip(Tessel::MessageBusClient& client, const wchar_t* name, const std::wstring& payload)
{
    std::shared_ptr<Tessel::Reply> reply;
    if (client.request(Tessel::Message::create(name, L"bench", payload), reply, kBoundMs) != 0 || !reply)
        return false;
    return reply->waitFor(kBoundMs) == Tessel::REPLY_STATUS_RECEIVED;
}

std::vector<double> sample(const std::function<void()>& op)
{
    std::vector<double> samples;
    for (int i = 0; i < kSamples; ++i) {
        double start = ksbench::nowMicros();
        op();
        samples.push_back(ksbench::nowMicros() - start);
    }
    return samples;
}

double mean(const std::vector<double>& samples)
{
    double sum = 0;
    for (double s : samples)
        sum += s;
    return samples.empty() ? 0 : sum / samples.size();
}

KSTASKINFO benchRecord()
{
    KSTASKINFO r{};
    r.dwSize = sizeof(KSTASKINFO);
    r.dwTaskType = KS_TASK_SCHEDULED;
    r.pwszTaskTrigger = const_cast<wchar_t*>(L"C:\\Windows\\system32\\cmd.exe");
    r.dwDefaultFreq = 3600;
    return r;
}

const std::wstring kCreatePayload =
    L"{\"name\":\"benchtask\",\"taskType\":\"scheduled\",\"triggerType\":\"process\","
    L"\"taskTrigger\":\"C:\\\\Windows\\\\system32\\\\cmd.exe\",\"defaultFreq\":\"3600\"}";
const std::wstring kQueryPayload = L"{\"name\":\"benchtask\"}";

// Figures of one operation: p50, p99 and operations per second against store + 2 x bus.
void addFigures(Figures& out, const std::string& op, std::vector<double> module, std::vector<double> store,
                std::vector<double> bus)
{
    const double moduleMean = mean(module), floorMean = mean(store) + 2 * mean(bus);
    const double p50 = ksbench::percentile(module, 50), p99 = ksbench::percentile(module, 99);
    const double floor50 = ksbench::percentile(store, 50) + 2 * ksbench::percentile(bus, 50);
    const double floor99 = ksbench::percentile(store, 99) + 2 * ksbench::percentile(bus, 99);
    out.push_back({"module." + op + ".p50", {p50, floor50, "us"}});
    out.push_back({"module." + op + ".p99", {p99, floor99, "us"}});
    out.push_back({"module." + op + ".rate", {1e6 / moduleMean, 1e6 / floorMean, "ops/s"}});
}

Figures moduleCases()
{
    Figures figures;
    ksbench::ScratchHive hive(kScratch);
    recordInstallFolder();
    LoadedModule module;
    if (!module.ready())
        return figures;
    Tessel::MessageBusClient host;
    Tessel::MessageBusClient responder;
    responder.subscribe(kEcho, [&responder](std::shared_ptr<Tessel::Message> request) {
        responder.publish(Tessel::Message::createReply(*request, L"Bench.Module.Echoed", L"echo", request->payload()));
        return 0u;
    });

    // Warm-up: the first create writes the key, later ones overwrite the same task.
    for (int i = 0; i < 20; ++i) {
        roundTrip(host, L"TaskScheduler.Task.Create", kCreatePayload);
        roundTrip(host, kEcho, kQueryPayload);
    }

    std::vector<double> bus = sample([&] { roundTrip(host, kEcho, kCreatePayload); });
    std::vector<double> createRoundTrip =
        sample([&] { roundTrip(host, L"TaskScheduler.Task.Create", kCreatePayload); });
    KSTASKINFO record = benchRecord();
    std::vector<double> storeWrite = sample([&] {
        CKsTask task(kTaskName);
        task.Assign(&record);
        task.Write();
    });
    std::vector<double> queryRoundTrip = sample([&] { roundTrip(host, L"TaskScheduler.Task.Query", kQueryPayload); });
    std::vector<double> storeRead = sample([&] {
        CKsTask task(kTaskName);
        task.Read();
    });
    responder.unsubscribe(kEcho);

    addFigures(figures, "create", createRoundTrip, storeWrite, bus);
    addFigures(figures, "query", queryRoundTrip, storeRead, bus);
    return figures;
}

const ksbench::Register r("module", [] { return moduleCases(); });

} // namespace
