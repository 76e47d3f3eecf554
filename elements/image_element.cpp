#include "elements/image_element.h"

#include <algorithm>
#include "elements/attributes.h"
#include "skin/properties.h"

namespace {
long live_images = 0;
}

ImageElement::ImageElement(Element* parent) : Element(parent), m_blitter(plain_copy_operation().clone())
{
    ++live_images;
}

ImageElement::~ImageElement()
{
    --live_images;
}

long ImageElement::live_count()
{
    return live_images;
}

void ImageElement::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_picture = skin.get_picture(node, u"src", SkinPicture{});
    set_alpha(skin.get_int(node, u"alpha", -1));
    m_grow = get_flag(skin, node, u"grow");
}

void ImageElement::set_alpha(int alpha)
{
    m_blitter = alpha == -1 ? plain_copy_operation().clone() : operation_for_alpha(alpha).clone();
    mark_dirty();
}

// Only a picture that changes the element's measured size needs a layout;
// any other change is a redraw.
void ImageElement::set_picture(const SkinPicture& picture)
{
    if (picture == m_picture)
        return;
    m_picture = picture;
    if (m_grow)
        invalidate_measurements();
    mark_dirty();
}

void ImageElement::measure_width(MeasuredSize& pair)
{
    Element::measure_width(pair);
    if (!m_grow)
        return;
    int width = std::max(m_picture.size().width, 0);
    pair.natural = std::max(pair.natural, width);
    pair.minimum = std::max(pair.minimum, width);
}

void ImageElement::measure_height(MeasuredSize& pair)
{
    Element::measure_height(pair);
    if (!m_grow)
        return;
    int height = std::max(m_picture.size().height, 0);
    pair.natural = std::max(pair.natural, height);
    pair.minimum = std::max(pair.minimum, height);
}

void ImageElement::draw_content(DrawTarget& target, Point origin)
{
    draw_picture(target, origin, size(), m_picture, *m_blitter);
}
