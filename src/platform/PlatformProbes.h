// The platform state probes: small questions the scheduler asks before it runs, defers or waits.
// Each answers no (or its error) when the platform call or the bus request fails; none throws.
// Called from the engine thread. The `services` argument substitutes the system's services.
#pragma once

#include "platform/SystemProbeServices.h"

// Whether the machine-wide network connection is metered (its cost lacks the unrestricted bit).
bool IsMeteredAccess(const KsPlatform::ProbeServices& services = KsPlatform::SystemProbeServices());

// Whether the system monitor reports connected standby; *pbOnBattery (when given) is 1 when the
// power status reads and the machine is off AC power.
bool IsConnectedStandby(BOOL* pbOnBattery,
                        const KsPlatform::ProbeServices& services = KsPlatform::SystemProbeServices());

// Whether a touch-first app is visible on the primary monitor (never in connected standby).
bool TaskSchedIsMetroMode(const KsPlatform::ProbeServices& services = KsPlatform::SystemProbeServices());

// Whether the user is idle (the idle detector's mutex exists), or the machine in connected standby.
bool IsIdleMode(const KsPlatform::ProbeServices& services = KsPlatform::SystemProbeServices());

// Whether the session monitor reports a full-screen application (never in connected standby).
bool IsFullScreen(const KsPlatform::ProbeServices& services = KsPlatform::SystemProbeServices());

// Whether an update asked for a restart, at the current place or the old, protected one.
bool IsRestartPending();

// Whether this is the first start since the machine booted; computed once per process.
bool IsFirstStartSinceBoot();

// Whether the machine is in factory mode; then *phEvent (when given) receives the factory-mode
// event. Untouched otherwise.
bool IsFactoryMode(Keelwork::unique_event* phEvent,
                   const KsPlatform::ProbeServices& services = KsPlatform::SystemProbeServices());

// Whether the active console session's user is an enabled administrator; *pbFilteredAdmin is 1
// for an administrator whose rights are filtered.
bool KsIsActiveSessionNTAdmin(BOOL* pbFilteredAdmin,
                              const KsPlatform::ProbeServices& services = KsPlatform::SystemProbeServices());
