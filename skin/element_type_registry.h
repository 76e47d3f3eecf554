#pragma once
// The element type registry: element kind name -> factory.

#include <map>
#include "platform/text.h"

class Element;

// Creates a new element of one kind, already attached to parent (which owns it).
using ElementFactory = Element* (*)(Element& parent);

class ElementTypeRegistry {
public:
    // The one registry of the program, filled at start-up.
    static ElementTypeRegistry& instance();

    // Adds a factory; throws plexor::NodeAlreadyRegistered (keeping the first) when the name is taken.
    void register_type(StringView type_name, ElementFactory factory);
    // Removes a kind (start-up's own "bigpicture" at shutdown); false when absent.
    bool unregister_type(StringView type_name);
    // Whether a factory is registered under the name.
    bool is_registered(StringView type_name) const;
    // Creates an element of the kind under parent; throws plexor::NodeNotRegistered when absent.
    Element* create(StringView type_name, Element& parent) const;

private:
    // Ordinal order by code unit; heterogeneous lookup avoids copying keys.
    std::map<String, ElementFactory, std::less<>> m_factories;
};
