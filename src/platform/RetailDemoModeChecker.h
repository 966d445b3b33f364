// Whether the machine is a shop's demonstration unit, where some tasks must not run.
#pragma once

namespace KsPlatform {

class RetailDemoModeChecker {
public:
    virtual ~RetailDemoModeChecker() = default;
    // A probe that fails answers false.
    virtual bool isRetailDemoMode() = 0;

protected:
    RetailDemoModeChecker() = default;
    RetailDemoModeChecker(const RetailDemoModeChecker&) = delete;
    RetailDemoModeChecker& operator=(const RetailDemoModeChecker&) = delete;
};

// The system's answer: test automation's override values first, then the platform's retail
// information. Needs the Windows Runtime, so versions before Windows 10 answer false.
class SystemRetailDemoModeChecker final : public RetailDemoModeChecker {
public:
    bool isRetailDemoMode() override;
};

bool checkForRetailDemoMode();
// True when test automation decided the answer (then in `result`).
bool checkRetailModeInAutomation(bool& result);

} // namespace KsPlatform
