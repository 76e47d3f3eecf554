#include "elements/element_types.h"

#include "elements/button.h"
#include "elements/clip_element.h"
#include "elements/color_element.h"
#include "elements/edit.h"
#include "elements/image_element.h"
#include "elements/multi_state.h"
#include "elements/old_text.h"
#include "elements/progress_bar.h"
#include "elements/table.h"
#include "elements/text_element.h"
#include "elements/virtual_list.h"
#include "skin/element_type_registry.h"

namespace {

template <class Kind>
Element* create(Element& parent)
{
    return new Kind(&parent);
}

}  // namespace

void register_element_types(ElementTypeRegistry& registry)
{
    registry.register_type(u"node", create<Element>);
    registry.register_type(u"text", create<TextElement>);
    registry.register_type(u"color", create<ColorElement>);
    registry.register_type(u"image", create<ImageElement>);
    registry.register_type(u"edit", create<Edit>);
    registry.register_type(u"htable", create<RowTable>);
    registry.register_type(u"vtable", create<ColumnTable>);
    registry.register_type(u"button", create<Button>);
    registry.register_type(u"vlist", create<VirtualList>);
    registry.register_type(u"checkbox", create<MultiState>);
    registry.register_type(u"progress", create<ProgressBar>);
    registry.register_type(u"oldtext", create<OldText>);
    registry.register_type(u"label_edit", create<LabelEdit>);
    registry.register_type(u"clip", create<ClipElement>);
}
