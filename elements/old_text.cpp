#include "elements/old_text.h"

#include <algorithm>
#include "elements/attributes.h"
#include "skin/properties.h"

OldText::OldText(Element* parent) : Element(parent) {}

void OldText::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_font = skin.get_font(node, u"font", Font());
    m_text = get_translated(skin, node, u"text");
    m_text_size = {-1, -1};
    m_grow = get_flag(skin, node, u"grow");
    m_color = skin.get_color(node, u"color", Color{0, 0, 0, 255});
    parse_horizontal_alignment(skin.get_string(node, u"halign", no_string()), m_halign);
    parse_vertical_alignment(skin.get_string(node, u"valign", no_string()), m_valign);
    m_wrap = get_flag(skin, node, u"wrap");
}

void OldText::set_text_by_id(StringView id, StringView text)
{
    if (!id.empty() && id == this->id())
        set_text(text);
    Element::set_text_by_id(id, text);
}

void OldText::set_text(StringView text)
{
    if (text == m_text)
        return;
    m_text = String(text);
    m_text_size = {-1, -1};
    if (m_grow)
        invalidate_measurements();
    mark_dirty();
}

Size OldText::text_size()
{
    if (m_text_size == Size{-1, -1})
        m_text_size = measure_box(m_font, m_text);
    return m_text_size;
}

void OldText::measure_width(MeasuredSize& pair)
{
    Element::measure_width(pair);
    if (m_grow)
        pair.natural = std::max(pair.natural, text_size().width);
}

void OldText::measure_height(MeasuredSize& pair)
{
    Element::measure_height(pair);
    if (!m_grow)
        return;
    pair.natural = std::max(pair.natural, text_size().height);
    pair.minimum = std::max(pair.minimum, text_size().height);
}

void OldText::draw_content(DrawTarget& target, Point origin)
{
    draw_text(target, m_font, m_color, m_text, Rect::of(origin, size()), m_halign, m_valign, m_wrap);
}
