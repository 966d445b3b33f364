// The two-level registration map of Keelwork::IOCContainer.
#include "module/IOCContainer.h"

namespace Keelwork {

void IOCContainer::add(size_t type, const std::wstring& name, std::shared_ptr<IOCFactoryInterface> factory)
{
    remove(type, name);
    m_factories[type].emplace(name, std::move(factory));
}

void IOCContainer::remove(size_t type, const std::wstring& name)
{
    auto byType = m_factories.find(type);
    if (byType == m_factories.end())
        return;
    byType->second.erase(name);
    if (byType->second.empty())
        m_factories.erase(byType);
}

std::shared_ptr<IOCFactoryInterface> IOCContainer::find(size_t type, const std::wstring& name) const
{
    auto byType = m_factories.find(type);
    if (byType == m_factories.end())
        return nullptr;
    auto byName = byType->second.find(name);
    return byName == byType->second.end() ? nullptr : byName->second;
}

} // namespace Keelwork
