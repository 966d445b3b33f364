// The spread delay: SipHash of the machine identity and the task's key name, reduced to the
// spread. The machine's own identity is read once; a machine without one spreads by name alone.
#include "store/RunSpread.h"

#include "common/WinInclude.h"
#include "registry/RegKey.h"
#include "store/SipHash.h"

#include <algorithm>
#include <atomic>

namespace KsSpread {

namespace {

// A fixed key: the delay must come out the same on every start and in every build, and it
// guards nothing (the identity is not secret; the hash only has to scatter it evenly).
constexpr KsStore::SipKey kSpreadKey{0x7370726561642d31ull, 0x6b65792d72756e73ull};

constexpr const wchar_t* kIdentityKeyPath = L"SOFTWARE\\Microsoft\\Cryptography";
constexpr const wchar_t* kIdentityValue = L"MachineGuid";

} // namespace

std::wstring readMachineGuid()
{
    Keelwork::CRegKey key;
    std::wstring value;
    if (key.open(HKEY_LOCAL_MACHINE, kIdentityKeyPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        key.getStringValue(kIdentityValue, value) != ERROR_SUCCESS)
        value.clear();
    return value;
}

namespace {

class MachineGuidIdentity final : public MachineIdentity {
public:
    std::wstring_view value() const override
    {
        static const std::wstring guid = readMachineGuid();  // read once; it never changes
        return guid;
    }
};

const MachineGuidIdentity g_machineIdentity;
std::atomic<const MachineIdentity*> g_current{&g_machineIdentity};

} // namespace

const MachineIdentity& MachineIdentity::current() { return *g_current.load(std::memory_order_acquire); }

void MachineIdentity::install(const MachineIdentity* identity)
{
    g_current.store(identity ? identity : &g_machineIdentity, std::memory_order_release);
}

uint32_t runOffset(std::wstring_view machine, std::wstring_view taskKey, uint32_t spreadSeconds)
{
    if (spreadSeconds == 0)
        return 0;
    // The terminator goes with the identity, so no split of one text between the two parts
    // hashes like another.
    const std::wstring first = std::wstring(machine) + L'\0';
    const uint64_t hash = KsStore::sipHash24(kSpreadKey, first.data(), first.size() * sizeof(wchar_t),
                                             taskKey.data(), taskKey.size() * sizeof(wchar_t));
    // A 64-bit hash reduced to at most 32 bits: the remainder's bias is below 2^-32.
    return static_cast<uint32_t>(hash % spreadSeconds);
}

uint32_t runOffset(std::wstring_view taskKey, uint32_t spreadSeconds)
{
    return spreadSeconds == 0 ? 0 : runOffset(MachineIdentity::current().value(), taskKey, spreadSeconds);
}

KsCalendar::CalendarRule spreadRule(KsCalendar::CalendarRule rule, std::wstring_view taskKey, uint32_t spreadSeconds)
{
    rule.spreadOffset = runOffset(taskKey, spreadSeconds);
    return rule;
}

uint32_t spreadFirstPeriodicRun(uint32_t firstRun, uint32_t periodSeconds, std::wstring_view taskKey,
                                uint32_t spreadSeconds)
{
    constexpr uint32_t kRoomBeforeNextRun = 60;
    if (firstRun == 0 || periodSeconds <= kRoomBeforeNextRun)
        return firstRun;
    return firstRun + std::min(runOffset(taskKey, spreadSeconds), periodSeconds - kRoomBeforeNextRun);
}

} // namespace KsSpread
