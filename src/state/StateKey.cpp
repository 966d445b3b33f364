// The binary form of the mirrored state's values.
#include "state/StateKey.h"

namespace KsState {
namespace {

enum TaskFlag : uint8_t {
    kQueued = 1,
    kRunning = 2,
    kLaunched = 4,
    kExitCodeKnown = 8,
    kDeferred = 16,
    kCpuKnown = 32,
    kPeakKnown = 64,
};
constexpr uint8_t kFirstFlags = kQueued | kRunning | kLaunched | kExitCodeKnown | kDeferred;
constexpr uint8_t kKnownFlags = kFirstFlags | kCpuKnown | kPeakKnown;

class Writer {
public:
    explicit Writer(size_t size) { m_bytes.reserve(size); }
    Writer& u8(uint8_t value)
    {
        m_bytes.push_back(value);
        return *this;
    }
    Writer& u32(uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            m_bytes.push_back(static_cast<uint8_t>(value >> shift));
        return *this;
    }
    Writer& u64(uint64_t value) { return u32(static_cast<uint32_t>(value)).u32(static_cast<uint32_t>(value >> 32)); }
    std::vector<uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};

// Reads a value already checked for its size.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    uint8_t u8() { return m_bytes[m_at++]; }
    uint32_t u32()
    {
        uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8)
            value |= static_cast<uint32_t>(m_bytes[m_at++]) << shift;
        return value;
    }
    uint64_t u64()
    {
        const uint64_t low = u32();
        return low | static_cast<uint64_t>(u32()) << 32;
    }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_at = 0;
};

bool fits(const std::vector<uint8_t>& data, size_t size)
{
    return data.size() == size && data[0] == kStateLayoutVersion;
}

} // namespace

std::vector<uint8_t> encodeEngine(const MirroredEngine& value)
{
    Writer out(kEngineValueSize);
    out.u8(kStateLayoutVersion).u8(static_cast<uint8_t>(value.engine.phase)).u8(static_cast<uint8_t>(value.engine.reason)).u8(0);
    out.u32(value.engine.since).u32(value.engine.until).u32(value.owner.pid).u64(value.owner.created).u32(value.written);
    return out.take();
}

std::optional<MirroredEngine> decodeEngine(const std::vector<uint8_t>& data)
{
    if (!fits(data, kEngineValueSize))
        return std::nullopt;
    Reader in(data);
    in.u8();
    const uint8_t phase = in.u8(), reason = in.u8();
    in.u8();
    if (phase > static_cast<uint8_t>(EnginePhase::stopped) || reason > static_cast<uint8_t>(EngineReason::outOfBoxWait))
        return std::nullopt;
    MirroredEngine value;
    value.engine.phase = static_cast<EnginePhase>(phase);
    value.engine.reason = static_cast<EngineReason>(reason);
    value.engine.since = in.u32();
    value.engine.until = in.u32();
    value.owner.pid = in.u32();
    value.owner.created = in.u64();
    value.written = in.u32();
    return value;
}

std::vector<uint8_t> encodeTask(const TaskState& task)
{
    const LaunchOutcome launch = task.lastLaunch.value_or(LaunchOutcome{});
    const DeferralOutcome deferral = task.lastDeferral.value_or(DeferralOutcome{});
    uint8_t flags = (task.queued ? kQueued : 0) | (task.running ? kRunning : 0);
    flags |= (task.lastLaunch ? kLaunched : 0) | (launch.exitCode ? kExitCodeKnown : 0);
    flags |= task.lastDeferral ? kDeferred : 0;
    flags |= (launch.cpuMs ? kCpuKnown : 0) | (launch.peakMemoryBytes ? kPeakKnown : 0);
    Writer out(kTaskValueSize);
    out.u8(kStateLayoutVersion).u8(flags).u8(static_cast<uint8_t>(task.hold.reason)).u8(0);
    out.u32(task.hold.since).u32(task.hold.until);
    out.u32(launch.time).u32(launch.result).u32(launch.exitCode.value_or(0)).u32(launch.durationMs);
    out.u32(deferral.time).u32(deferral.code).u32(deferral.delay).u32(deferral.error);
    out.u64(launch.cpuMs.value_or(0)).u64(launch.peakMemoryBytes.value_or(0));
    out.u32(task.endsAt);
    return out.take();
}

std::optional<TaskState> decodeTask(const std::vector<uint8_t>& data)
{
    const bool first = fits(data, kFirstTaskValueSize);
    if (!first && !fits(data, kTaskValueSize))
        return std::nullopt;
    Reader in(data);
    in.u8();
    const uint8_t flags = in.u8(), hold = in.u8();
    in.u8();
    if ((flags & ~(first ? kFirstFlags : kKnownFlags)) != 0 || hold > static_cast<uint8_t>(HoldReason::maintenanceExclusion))
        return std::nullopt;
    TaskState task;
    task.queued = (flags & kQueued) != 0;
    task.running = (flags & kRunning) != 0;
    task.hold.reason = static_cast<HoldReason>(hold);
    task.hold.since = in.u32();
    task.hold.until = in.u32();
    LaunchOutcome launch;
    launch.time = in.u32();
    launch.result = in.u32();
    const uint32_t exitCode = in.u32();
    if (flags & kExitCodeKnown)
        launch.exitCode = exitCode;
    launch.durationMs = in.u32();
    DeferralOutcome deferral;
    deferral.time = in.u32();
    deferral.code = in.u32();
    deferral.delay = in.u32();
    deferral.error = in.u32();
    const uint64_t cpuMs = first ? 0 : in.u64(), peak = first ? 0 : in.u64();
    // The writer leaves a usage it does not know at 0: anything else there is damage.
    if ((!(flags & kCpuKnown) && cpuMs != 0) || (!(flags & kPeakKnown) && peak != 0))
        return std::nullopt;
    if (flags & kCpuKnown)
        launch.cpuMs = cpuMs;
    if (flags & kPeakKnown)
        launch.peakMemoryBytes = peak;
    task.endsAt = first ? 0 : in.u32();
    if (flags & kLaunched)
        task.lastLaunch = launch;
    if (flags & kDeferred)
        task.lastDeferral = deferral;
    return task;
}

bool worthTelling(const TaskState& task)
{
    return task.queued || task.running || task.hold.reason != HoldReason::none || task.lastLaunch ||
           task.lastDeferral;
}

} // namespace KsState
