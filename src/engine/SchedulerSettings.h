// The engine's tuning values and their loading at start-up: each value read from the scheduler
// key or the settings override hives, logged, and replaced by its default when unreadable.
#pragma once

#include <cstdint>

class KsPartnerCustomizationBase;

namespace Keelwork::engine {

// All times in seconds.
struct SchedulerSettings {
    uint32_t taskFinishWait = 3600;
    uint32_t fullScreenWait = 21600;
    uint32_t fullScreenPoll = 600;
    uint32_t idleModePoll = 600;
    uint32_t idleModeTimeout = 7200;
    uint32_t afterSuspendWait = 300;
    uint32_t amModeEnabled = 1;  // 0 or 1
    uint32_t futureTaskWindow = 43200;
    uint32_t rebootDelay = 300;
    uint32_t oobeWait = 14400;
};

// Whether an installation of the product is in progress ("installmedia" is readable).
bool installationInProgress();

class SchedulerSettingsLoader {
public:
    // customization: the engine's initialized settings override; must outlive the loader.
    explicit SchedulerSettingsLoader(KsPartnerCustomizationBase& customization) : m_customization(customization) {}

    // The start-up reads, in the engine's order. Seeds "idle_wait" and writes back a missing
    // "taskfinishwait"; "winrestart_wait" is read only on the first start since boot.
    void load(SchedulerSettings& settings, bool firstStartSinceBoot);

    // Read during the out-of-box check.
    uint32_t loadGlobalOobeWait();
    // Read at start-up and again at each resume from suspend.
    uint32_t loadAfterSuspendWait();

private:
    void seedIdleWait();
    uint32_t loadTaskFinishWait();

    KsPartnerCustomizationBase& m_customization;
};

} // namespace Keelwork::engine
