#pragma once
// Looking up the elements a screen cannot work without.

#include "elements/element.h"
#include "skin/plexor.h"

// The element of the given id and kind below owner; throws
// plexor::NodeNotFound when the skin lacks it or it is of another kind.
template <typename Kind>
Kind* required(Element& owner, StringView id)
{
    Kind* element = dynamic_cast<Kind*>(owner.find_by_id(id));
    if (!element)
        throw plexor::NodeNotFound(owner.id(), String(id));
    return element;
}
