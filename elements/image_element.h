#pragma once
// "image": shows one skin picture (or one made at run time) in its rectangle.

#include <memory>
#include "elements/element.h"
#include "skin/skin_picture.h"

class ImageElement : public Element {
public:
    explicit ImageElement(Element* parent);
    ~ImageElement() override;

    // Base attributes, then "src", "alpha" and "grow".
    void bind(Properties& skin, const SkinNode* node) override;
    // With grow, at least the picture's width.
    void measure_width(MeasuredSize& pair) override;
    // With grow, at least the picture's height.
    void measure_height(MeasuredSize& pair) override;
    // Draws the picture over the whole rectangle (no children).
    void draw_content(DrawTarget& target, Point origin) override;

    // Shows another picture; nothing happens for an equal one.
    void set_picture(const SkinPicture& picture);
    const SkinPicture& picture() const { return m_picture; }
    // -1 draws the picture as it is; any other value blends by its alpha level.
    void set_alpha(int alpha);
    bool grows() const { return m_grow; }

    // Number of live image elements (diagnostics).
    static long live_count();

private:
    SkinPicture m_picture;
    std::unique_ptr<RowOperation> m_blitter;
    bool m_grow = false;
};
