#pragma once
// The node errors: raised when the skin and the program do not match.
// Each is a class of its own, thrown by value and carrying the names involved.

#include "platform/text.h"

namespace plexor {

// A screen or menu asked for a root node that is not in the node name tree.
class NodeNotFoundInSkin {
public:
    explicit NodeNotFoundInSkin(String node_name) : m_node_name(std::move(node_name)) {}
    const String& node_name() const { return m_node_name; }
    // "NodeNotFoundInSkin: " + the node name.
    String message() const;

private:
    String m_node_name;
};

// A screen requires a child element with an id that its tree does not have.
class NodeNotFound {
public:
    NodeNotFound(String searched_id, String wanted_id)
        : m_searched_id(std::move(searched_id)), m_wanted_id(std::move(wanted_id))
    {
    }
    // The id of the element that was searched in.
    const String& searched_id() const { return m_searched_id; }
    const String& wanted_id() const { return m_wanted_id; }
    // "NodeNotFound: " + the wanted id + " in " + the searched id.
    String message() const;

private:
    String m_searched_id;
    String m_wanted_id;
};

// A node's "type" names no registered factory (an absent type is the empty name).
class NodeNotRegistered {
public:
    explicit NodeNotRegistered(String type_name) : m_type_name(std::move(type_name)) {}
    const String& type_name() const { return m_type_name; }
    // "NodeNotRegistered: " + the type name.
    String message() const;

private:
    String m_type_name;
};

// A factory was registered under a type name that is already taken.
class NodeAlreadyRegistered {
public:
    explicit NodeAlreadyRegistered(String type_name) : m_type_name(std::move(type_name)) {}
    const String& type_name() const { return m_type_name; }
    // "NodeAlreadyRegistered: " + the type name.
    String message() const;

private:
    String m_type_name;
};

}  // namespace plexor
