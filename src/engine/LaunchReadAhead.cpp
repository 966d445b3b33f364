// The launch's reading ahead: planned with the timer, read on its own wake, let go after the step.
#include "engine/LaunchReadAhead.h"

#include "common/Clock.h"
#include "engine/EngineLoop.h"
#include "engine/TaskManager.h"
#include "execution/TrustedFile.h"
#include "logging/LogAs.h"

namespace Keelwork::engine {

void LaunchReadAhead::plan(uint32_t due, int64_t unitsUntilDue, EngineLoop& loop)
{
    if (m_readFor != due)
        release();
    m_planned = due;
    if (m_readFor != due)
        loop.armReadAheadIn(unitsUntilDue - kLeadUnits);
}

void LaunchReadAhead::read(CKsTaskManager& tasks)
{
    if (m_planned == 0 || m_readFor == m_planned || Clock::current().now() > m_planned)
        return;
    const wchar_t* program = tasks.ProgramDueAt(m_planned);
    if (!program)
        return;
    KSLOG_INFO_AS("CKsTaskScheduler::onReadAhead", L"Reading %s ahead of its launch", program);
    m_holder = &tasks.trustValidator();
    m_holder->prepare(program);
    m_readFor = m_planned;
}

void LaunchReadAhead::release()
{
    if (m_holder)
        m_holder->dropPrepared();
    m_holder = nullptr;
    m_readFor = 0;
}

void LaunchReadAhead::cancel()
{
    release();
    m_planned = 0;
}

} // namespace Keelwork::engine
