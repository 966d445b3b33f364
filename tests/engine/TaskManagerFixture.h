// Shared set-up for the task-list and due-rule tests: a scratch registry, a fixed clock, tasks
// written through the store (TestTask), and a task manager whose machine answers the test chooses.
#pragma once

#include "RegistryFixture.h"

#include "TestClock.h"
#include "TestTask.h"
#include "engine/TaskManager.h"
#include "registry/RegKey.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"

#include <memory>
#include <string>
#include <vector>

namespace kstest {

inline constexpr uint32_t kNow = 1700000000;  // 2023-11-14 22:13:20 UTC
inline constexpr const wchar_t* kTasksKey = L"SOFTWARE\\Kestrel\\Platform\\Scheduler";

class RetailDemoAnswer final : public KsPlatform::RetailDemoModeChecker {
public:
    explicit RetailDemoAnswer(bool demo) : m_demo(demo) {}
    bool isRetailDemoMode() override { return m_demo; }

private:
    bool m_demo;
};

enum class Console { admin, filteredAdmin, user };

class TaskManagerFixture : public RegistryFixture {
protected:
    void TearDown() override
    {
        m_manager.reset();
        RegistryFixture::TearDown();
    }

    // The manager, its list gathered from the registry.
    Keelwork::engine::CKsTaskManager& gather(bool retailDemo = false, Console console = Console::user)
    {
        Keelwork::engine::TaskManagerServices services;
        services.retailDemo = std::make_unique<RetailDemoAnswer>(retailDemo);
        services.isConsoleAdmin = [console](BOOL* filtered) {
            *filtered = console == Console::filteredAdmin;
            return console == Console::admin;
        };
        m_manager = std::make_unique<Keelwork::engine::CKsTaskManager>(3600, nullptr, std::move(services));
        EXPECT_EQ(m_manager->GatherAllTasks(), 0u);
        return *m_manager;
    }

    std::vector<std::wstring> mapNames() const
    {
        std::vector<std::wstring> names;
        for (const auto& entry : m_manager->tasks())
            names.push_back(entry.first);
        return names;
    }

    // Pops the whole queue: the names in order and their priorities.
    std::vector<std::pair<std::wstring, uint32_t>> drainQueue()
    {
        std::vector<std::pair<std::wstring, uint32_t>> items;
        while (auto item = m_manager->queue().pop())
            items.emplace_back(item->name, item->priority);
        return items;
    }

    std::unique_ptr<Keelwork::engine::CKsTaskManager> m_manager;
    TestClock m_clock{kNow};
};

} // namespace kstest
