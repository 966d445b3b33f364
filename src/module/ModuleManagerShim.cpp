// The host's module manager callback, wrapped.
#include "module/ModuleManagerShim.h"

namespace Tessel::internal {

ModuleManagerShim::ModuleManagerShim(void* context, ModuleManagerCallback callback)
    : m_context(context), m_callback(callback)
{
}

void ModuleManagerShim::call(void* argument)
{
    if (m_callback)
        m_callback(m_context, argument, nullptr);
}

} // namespace Tessel::internal
