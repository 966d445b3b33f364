// Benchmarks of the engine's state mirrored into its registry key, as the engine does between two
// loop steps: with 100 tasks on the board, all of them changed since the last mirror, or one. The
// floor is the raw value writes of the same data to a volatile key.
#include "BenchCase.h"
#include "BenchScratchHive.h"

#include "common/UniqueHandle.h"
#include "state/StateKey.h"
#include "state/StateMirror.h"

#include <string>
#include <vector>

namespace {

constexpr int kTasks = 100;
constexpr int kRepetitions = 7;
constexpr int kIterations = 20;

std::wstring taskName(int index)
{
    return L"task" + std::to_wstring(index);
}

// The board's step: `changed` tasks get a new last launch, so each mirror has them to write.
ksbench::Figure mirrorStep(int changed)
{
    KsState::EngineStateBoard board;
    board.setEngine(KsState::EngineState{KsState::EnginePhase::running});
    for (int i = 0; i < kTasks; ++i)
        board.changeTask(taskName(i), [](KsState::TaskState& task) { task.queued = true; });
    KsState::StateMirror mirror;
    mirror.follow(board);
    uint32_t step = 0;
    auto change = [&] {
        ++step;
        for (int i = 0; i < changed; ++i)
            board.changeTask(taskName(i), [&](KsState::TaskState& task) {
                task.lastLaunch = KsState::LaunchOutcome{step, 0, 0u, step};
            });
    };

    Keelwork::unique_hkey raw;
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KsBenchStateFloor", 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_SET_VALUE, nullptr, raw.put(), nullptr);
    // The task values and the engine's, each write of its own bytes.
    std::vector<uint8_t> value(KsState::kTaskValueSize);
    return ksbench::compare(
        kRepetitions, kIterations,
        [&] {
            change();
            mirror.follow(board);
        },
        [&] {
            change();
            ++value[4];
            for (int i = 0; i <= changed; ++i)
                ::RegSetValueExW(raw.get(), taskName(i).c_str(), 0, REG_BINARY, value.data(),
                                 static_cast<DWORD>(value.size()));
        });
}

ksbench::Register registerState("state", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\State");
    std::vector<std::pair<std::string, ksbench::Figure>> out;
    out.emplace_back("state.mirror_step.100_changed", mirrorStep(kTasks));
    out.emplace_back("state.mirror_step.1_changed", mirrorStep(1));
    return out;
});

} // namespace
