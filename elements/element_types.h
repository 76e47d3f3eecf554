#pragma once
// The element kinds that skins can name in their "type" attribute.

class ElementTypeRegistry;

// Registers the fourteen element kinds, in their fixed order: "node",
// "text", "color", "image", "edit", "htable", "vtable", "button", "vlist",
// "checkbox", "progress", "oldtext", "label_edit", "clip". Throws
// plexor::NodeAlreadyRegistered when one of them is registered already.
void register_element_types(ElementTypeRegistry& registry);
