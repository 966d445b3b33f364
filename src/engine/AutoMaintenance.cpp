// The auto-maintenance switch's decisions.
#include "engine/AutoMaintenance.h"

#include "common/ComPtr.h"
#include "logging/LogAs.h"

#include <objbase.h>
#include <objidl.h>

namespace Keelwork::engine {

HANDLE AutoMaintenance::createEvent()
{
    m_hAMModeEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    return m_hAMModeEvent.get();
}

HRESULT AutoMaintenance::createInterfaceTable()
{
    ComPtr<IGlobalInterfaceTable> table;
    const HRESULT hr =
        ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, 0x17, IID_IGlobalInterfaceTable, table.putVoid());
    m_interfaceTable = SUCCEEDED(hr);
    return hr;
}

bool AutoMaintenance::decide(bool bAMMode, bool bInternalCall, bool runnable)
{
    bool respond = true;
    CKsLock::Held held(m_lock);
    KSLOG_INFO_AS("CKsTaskScheduler::SetAMMode",
                  L"CKsTaskScheduler::SetAMMode is called, m_bAMMode = %d, bAMMode = %d, bInternalCall = %d",
                  static_cast<int>(m_bAMMode.load()), bAMMode, bInternalCall);
    if (!bAMMode) {
        m_bAMMode = 0;
    } else if (runnable && m_bAMEnabled && m_interfaceTable) {
        m_bAMMode = 1;
        ::SetEvent(m_hAMModeEvent.get());
        respond = false;
    }
    return respond;
}

} // namespace Keelwork::engine
