// Whether the machine is a shop's demonstration unit, where some tasks must not run.
#pragma once

namespace Keelwork::engine {

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

} // namespace Keelwork::engine
