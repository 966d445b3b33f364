// The system's boot mode and the process-wide selection of who answers.
#include "platform/BootMode.h"

#include "common/WinInclude.h"

#include <atomic>

namespace KsPlatform {
namespace {
const BootMode g_systemBootMode;
std::atomic<const BootMode*> g_current{&g_systemBootMode};
} // namespace

int BootMode::cleanBoot() const { return ::GetSystemMetrics(SM_CLEANBOOT); }

const BootMode& BootMode::current() { return *g_current.load(std::memory_order_acquire); }

void BootMode::install(const BootMode* mode)
{
    g_current.store(mode ? mode : &g_systemBootMode, std::memory_order_release);
}

} // namespace KsPlatform
