// How the machine booted, as the system reports it. The engine asks it once at start; a test
// installs its own answer to start the engine as if in safe mode.
#pragma once

namespace KsPlatform {

class BootMode {
public:
    virtual ~BootMode() = default;
    // Non-zero after a safe-mode (clean) boot.
    virtual int cleanBoot() const;

    static const BootMode& current();
    // Installs `mode` (not owned); null restores the system's answer.
    static void install(const BootMode* mode);
};

} // namespace KsPlatform
