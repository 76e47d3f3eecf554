#include "skin/element_type_registry.h"

#include "skin/plexor.h"

ElementTypeRegistry& ElementTypeRegistry::instance()
{
    static ElementTypeRegistry registry;
    return registry;
}

void ElementTypeRegistry::register_type(StringView type_name, ElementFactory factory)
{
    if (!m_factories.emplace(String(type_name), factory).second)
        throw plexor::NodeAlreadyRegistered(String(type_name));
}

bool ElementTypeRegistry::unregister_type(StringView type_name)
{
    const auto found = m_factories.find(type_name);
    if (found == m_factories.end())
        return false;
    m_factories.erase(found);
    return true;
}

bool ElementTypeRegistry::is_registered(StringView type_name) const
{
    return m_factories.find(type_name) != m_factories.end();
}

Element* ElementTypeRegistry::create(StringView type_name, Element& parent) const
{
    const auto found = m_factories.find(type_name);
    if (found == m_factories.end())
        throw plexor::NodeNotRegistered(String(type_name));
    return found->second(parent);
}
