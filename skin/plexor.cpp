#include "skin/plexor.h"

// The messages name the exception and its strings, for whoever reports an
// uncaught one before the program ends.
namespace plexor {

String NodeNotFoundInSkin::message() const
{
    return u"NodeNotFoundInSkin: " + m_node_name;
}

String NodeNotFound::message() const
{
    return u"NodeNotFound: " + m_wanted_id + u" in " + m_searched_id;
}

String NodeNotRegistered::message() const
{
    return u"NodeNotRegistered: " + m_type_name;
}

String NodeAlreadyRegistered::message() const
{
    return u"NodeAlreadyRegistered: " + m_type_name;
}

}  // namespace plexor
