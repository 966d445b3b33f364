// Keelwork::IOCContainer: named service instances by type. The module registers its message bus
// here; a registration is a factory, and the only kind in use returns one shared instance.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>

namespace Keelwork {

class IOCFactoryInterface {
public:
    virtual ~IOCFactoryInterface() = default;
    virtual std::shared_ptr<void> instance() = 0;

protected:
    IOCFactoryInterface() = default;
    IOCFactoryInterface(const IOCFactoryInterface&) = delete;
    IOCFactoryInterface& operator=(const IOCFactoryInterface&) = delete;
};

class IOCBaseFactory : public IOCFactoryInterface {
public:
    explicit IOCBaseFactory(std::wstring name) : m_name(std::move(name)) {}
    const std::wstring& name() const { return m_name; }

private:
    std::wstring m_name;
};

class IOCInstanceReturningFactory final : public IOCBaseFactory {
public:
    IOCInstanceReturningFactory(std::wstring name, std::shared_ptr<void> instance)
        : IOCBaseFactory(std::move(name)), m_instance(std::move(instance))
    {
    }
    std::shared_ptr<void> instance() override { return m_instance; }

private:
    std::shared_ptr<void> m_instance;
};

// Not locked: registrations happen on the host's life-cycle thread only.
class IOCContainer {
public:
    inline static const std::wstring kUnnamedRegistration = L"Unnamed registration";

    // Replaces any registration of the same type and name.
    template <typename T>
    void registerInstance(const std::wstring& name, std::shared_ptr<T> instance)
    {
        add(typeid(T).hash_code(), name,
            std::make_shared<IOCInstanceReturningFactory>(name, std::static_pointer_cast<void>(std::move(instance))));
    }

    template <typename T>
    void unregister(const std::wstring& name)
    {
        remove(typeid(T).hash_code(), name);
    }

    // Null when nothing is registered under the type and name.
    template <typename T>
    std::shared_ptr<T> resolve(const std::wstring& name = kUnnamedRegistration) const
    {
        std::shared_ptr<IOCFactoryInterface> factory = find(typeid(T).hash_code(), name);
        return factory ? std::static_pointer_cast<T>(factory->instance()) : nullptr;
    }

private:
    void add(size_t type, const std::wstring& name, std::shared_ptr<IOCFactoryInterface> factory);
    void remove(size_t type, const std::wstring& name);
    std::shared_ptr<IOCFactoryInterface> find(size_t type, const std::wstring& name) const;

    std::map<size_t, std::map<std::wstring, std::shared_ptr<IOCFactoryInterface>>> m_factories;
};

} // namespace Keelwork
