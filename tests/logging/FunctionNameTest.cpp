// The qualified name a log line shows for a call site: class and method, in the namespaces the
// system's classes are known by, from the compiler's own texts.
#include "logging/internal_logging.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

struct PrettyName {
    const char* pretty;  // __PRETTY_FUNCTION__ as this compiler writes it
    const char* shown;
    friend void PrintTo(const PrettyName& name, std::ostream* out) { *out << name.pretty; }
};

class FunctionName : public ::testing::TestWithParam<PrettyName> {};

TEST_P(FunctionName, ShowsClassAndMethodInTheirKnownNamespacesWithinTheField)
{
    const std::string shown = ETWLogging::detail::FunctionName(GetParam().pretty).c_str();
    EXPECT_EQ(shown, GetParam().shown);
    EXPECT_LE(shown.size(), 40u) << "cut in the log line's function field";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FunctionName,
    ::testing::Values(
        PrettyName{"virtual bool Keelwork::CRegKey::open(HKEY, const wchar_t*)", "Keelwork::CRegKey::open"},
        PrettyName{"Keelwork::CRegKey::CRegKey()", "Keelwork::CRegKey::CRegKey"},
        PrettyName{"std::vector<std::pair<int, int> > ns::C<a b>::f(int) const", "ns::C<a b>::f"},
        PrettyName{"void Keelwork::engine::CKsTaskScheduler::_TaskExecutionPump()",
                   "CKsTaskScheduler::_TaskExecutionPump"},
        PrettyName{"virtual void Keelwork::engine::CKsTaskScheduler::SetAMMode(bool, void*, bool)",
                   "CKsTaskScheduler::SetAMMode"},
        PrettyName{"void Keelwork::engine::CKsTaskManager::_EmptyQ()", "CKsTaskManager::_EmptyQ"},
        PrettyName{"void Keelwork::engine::CKsTaskManager::_EmptyTaskList()", "CKsTaskManager::_EmptyTaskList"},
        PrettyName{"uint32_t Keelwork::engine::{anonymous}::loadOverride(KsRegistryOverride&, const OverrideSetting&)",
                   "loadOverride"},
        PrettyName{"Keelwork::engine::CKsTaskScheduler::_Init(HANDLE)::<lambda(std::shared_ptr<Tessel::Message>)>",
                   "CKsTaskScheduler::_Init"},
        PrettyName{"DWORD CSingleTask::Launch(DWORD*, DWORD, HANDLE)", "CSingleTask::Launch"},
        PrettyName{"virtual DWORD KsExecution::{anonymous}::SystemTrustValidator::validate(const wchar_t*, "
                   "Keelwork::unique_handle&)",
                   "SystemTrustValidator::validate"},
        PrettyName{"long int CKsTask::deleteCurrentKey()", "CKsTask::deleteCurrentKey"},
        PrettyName{"uint32_t KsStore::readProtectedDword(const Keelwork::CRegKey&, const wchar_t*, uint32_t&)",
                   "readProtectedDword"},
        PrettyName{"virtual Tessel::ModuleStatus Tessel::MessageBusClient::unsubscribe(const std::wstring&)",
                   "Tessel::MessageBusClient::unsubscribe"},
        PrettyName{"void Tessel::internal::PerfTimer::stop()", "Tessel::internal::PerfTimer::stop"},
        PrettyName{"Tessel::ModuleStatus Tessel::guardStatus(Body&&) [with Body = "
                   "TaskSchedulerImpl::fillHandlerTable()::<lambda(std::shared_ptr<Message>)>::<lambda()>; "
                   "ModuleStatus = unsigned int]",
                   "Tessel::guardStatus"}),
    [](const auto& info) {
        std::string label;
        for (const char* c = info.param.shown; *c; ++c)
            label += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return label;
    });

} // namespace
