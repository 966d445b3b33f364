// The start delays of tasks after the out-of-box experience: each task's own value under the
// "taskscheduler_oobe_wait" override key, else the global one.
#pragma once

#include "common/WinInclude.h"
#include "customization/KsPartnerCustomizationCommon.h"

#include <cstdint>
#include <string>

namespace Keelwork::engine {

// A freshly initialized settings override with the per-task key open, so that partner overrides
// installed since the engine started are seen.
class TaskOobeWaitOverride {
public:
    TaskOobeWaitOverride();
    HRESULT initializeResult() const { return m_initialize; }
    HRESULT openResult() const { return m_open; }
    bool available() const { return SUCCEEDED(m_initialize) && SUCCEEDED(m_open); }
    // The task's own value (looked up by its lower-cased name); false when it has none.
    bool read(const std::wstring& taskName, uint32_t& wait);

private:
    KsZARNPartnerCustomization m_customization;
    HRESULT m_initialize = E_FAIL;
    HRESULT m_open = E_FAIL;
};

uint32_t readTaskOobeWait(const std::wstring& taskName, uint32_t globalOobeWait);

} // namespace Keelwork::engine
