// Building trees from skin descriptions: generic attributes, the plexor
// errors, kinds that need their children, and sample frames as BMPs.

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include "element_test_support.h"
#include "elements/button.h"
#include "elements/edit.h"
#include "elements/element_types.h"
#include "elements/image_element.h"
#include "elements/layout_units.h"
#include "elements/old_text.h"
#include "elements/progress_bar.h"
#include "elements/text_element.h"
#include "elements/visibility_animation.h"
#include "pixels/bmp_writer.h"
#include "skin/element_type_registry.h"
#include "skin/plexor.h"

namespace {

class SkinBinding : public SkinTest {};

std::string read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

TEST_F(SkinBinding, ReadsGenericAttributes)
{
    load(R"(
node Screen {
    string type = "node"
    node {
        string type = "node"
        string id = "panel"
        string anchor_x = "MAX_SIDE"
        string anchor_y = "center"
        point border_min = 1 2
        point border_max = 3 4
        point design_size = 30 40
        int table_ratio = 2
        int cache = 1
        int cache_alpha = 128
        string visibility_animation = "pop"
    }
    node {
        string type = "node"
        string id = "plain"
        int cache_alpha = 128
        string visibility_animation = "wobble"
    }
}
)");
    auto screen = build(u"Screen");
    Element* panel = screen->find_by_id(u"panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->anchor_x(), MAX_SIDE);
    EXPECT_EQ(panel->anchor_y(), BOTH_SIDE);
    EXPECT_EQ(panel->border_min(), (Point{1, 2}));
    EXPECT_EQ(panel->border_max(), (Point{3, 4}));
    EXPECT_EQ(panel->design_size(), (Point{30, 40}));
    EXPECT_EQ(panel->table_ratio(), 2);
    ASSERT_NE(panel->visibility_animation(), nullptr);
    EXPECT_EQ(panel->visibility_animation()->kind(), VisibilityAnimation::pop);
    lay_out(*screen, {100, 100});
    EXPECT_EQ(panel->x(), 100 - 3 - 30);
    RenderSurface surface({100, 100});
    screen->draw(surface, {0, 0});
    EXPECT_EQ(panel->cache_surface().size(), (Size{30, 94}));
    Element* plain = screen->find_by_id(u"plain");
    EXPECT_EQ(plain->visibility_animation(), nullptr);
    screen->draw(surface, {0, 0});
    EXPECT_EQ(plain->cache_surface().size(), (Size{0, 0}));
    EXPECT_FALSE(screen->load_from_node(skin, u"Nowhere"));
    EXPECT_EQ(screen->children().size(), 2u);
}

TEST_F(SkinBinding, UnknownOrMissingTypeRaisesNodeNotRegistered)
{
    load(R"(
node Unknown {
    string type = "node"
    node {
        string type = "sparkle"
    }
}
node Untyped {
    string type = "node"
    node {
        string id = "x"
    }
}
)");
    Element root(nullptr);
    try {
        root.load_from_node(skin, u"Unknown");
        FAIL();
    } catch (const plexor::NodeNotRegistered& error) {
        EXPECT_EQ(error.type_name(), u"sparkle");
    }
    try {
        root.load_from_node(skin, u"Untyped");
        FAIL();
    } catch (const plexor::NodeNotRegistered& error) {
        EXPECT_EQ(error.type_name(), u"");
    }
}

TEST_F(SkinBinding, RegisteringTheKindsTwiceRaisesNodeAlreadyRegistered)
{
    load("node Empty {\n}\n");
    try {
        register_element_types(ElementTypeRegistry::instance());
        FAIL();
    } catch (const plexor::NodeAlreadyRegistered& error) {
        EXPECT_EQ(error.type_name(), u"node");
    }
    for (const char16_t* kind : {u"node", u"text", u"color", u"image", u"edit", u"htable", u"vtable", u"button",
                                 u"vlist", u"checkbox", u"progress", u"oldtext", u"label_edit", u"clip"})
        EXPECT_TRUE(ElementTypeRegistry::instance().is_registered(kind)) << to_utf8(kind);
}

TEST_F(SkinBinding, LabelEditNeedsBothChildren)
{
    load(R"(
node Good {
    string type = "node"
    node {
        string type = "label_edit"
        string id = "name"
        node {
            string type = "edit"
            string id = "#edit"
        }
        node {
            string type = "text"
            string id = "#text"
            string text = "Name"
        }
    }
}
node Bad {
    string type = "node"
    node {
        string type = "label_edit"
        string id = "name"
        node {
            string type = "text"
            string id = "#edit"
        }
    }
}
)");
    auto screen = build(u"Good");
    auto* edit = dynamic_cast<Edit*>(screen->find_by_id(u"#edit"));
    ASSERT_NE(edit, nullptr);
    Element* caption = screen->find_by_id(u"name")->find_by_id(u"#text");
    EXPECT_TRUE(caption->is_visible());
    edit->set_text(u"Ann");
    EXPECT_FALSE(caption->is_visible());
    Element other(nullptr);
    try {
        other.load_from_node(skin, u"Bad");
        FAIL();
    } catch (const plexor::NodeNotFound& error) {
        EXPECT_EQ(error.searched_id(), u"name");
        EXPECT_EQ(error.wanted_id(), u"#edit");
    }
}

TEST_F(SkinBinding, ProgressLineBelowOnePixelAndBeyondOne)
{
    load(R"(
node Bar {
    string type = "node"
    node {
        string type = "progress"
        string id = "progress"
        node {
            string type = "color"
            string id = "#line"
            string anchor_x = "MIN_SIDE"
            point border_min = 0 2
            point border_max = 0 2
        }
    }
}
)");
    auto screen = build(u"Bar");
    auto* bar = dynamic_cast<ProgressBar*>(screen->find_by_id(u"progress"));
    ASSERT_NE(bar, nullptr);
    Element* line = bar->line();
    ASSERT_NE(line, nullptr);
    bar->set_value(0.004);
    lay_out(*screen, {200, 10});
    EXPECT_EQ(line->width(), 0);
    EXPECT_EQ(line->height(), 6);
    bar->set_value(0.5);
    lay_out(*screen, {200, 10});
    EXPECT_EQ(line->width(), 100);
    bar->set_value(7.0);
    lay_out(*screen, {200, 10});
    EXPECT_EQ(line->width(), 200);
    EXPECT_EQ(bar->value(), 1.0);
    bar->set_value(-1.0);
    lay_out(*screen, {200, 10});
    EXPECT_EQ(line->width(), 0);
}

TEST_F(SkinBinding, TextAttributesAndCorners)
{
    load(R"(
font body = "9 0 0 0 DejaVu Sans"
node Texts {
    string type = "node"
    node {
        string type = "text"
        string id = "lower"
        string halign = "center"
        string valign = "TOP"
    }
    node {
        string type = "text"
        string id = "cornered"
        string text = "one two three four five six seven eight nine ten eleven twelve thirteen fourteen"
        string halign = "LEFT"
        font font = body
        int wrap = 1
        int grow = 1
        node {
            string type = "node"
            string id = "#left"
            string anchor_x = "MIN_SIDE"
            point design_size = 30 20
        }
        node {
            string type = "node"
            string id = "#right"
            string anchor_x = "MAX_SIDE"
            point design_size = 20 20
        }
    }
}
)");
    auto screen = build(u"Texts");
    auto* text = dynamic_cast<TextElement*>(screen->find_by_id(u"cornered"));
    ASSERT_NE(text, nullptr);
    lay_out(*screen, {150, 300});
    const auto& lines = text->lines();
    ASSERT_GT(lines.size(), 3u);
    int room = 150 - 30 - 20;
    EXPECT_LT(lines[0].y, 20);
    EXPECT_LE(lines[0].width, room);
    bool full_width_later = false;
    for (const TextLine& line : lines) {
        if (line.y >= 20) {
            EXPECT_LE(line.width, 150);
            full_width_later = full_width_later || line.width > room;
        }
    }
    EXPECT_TRUE(full_width_later);
    EXPECT_EQ(text->measured_height().natural, text->text_height());
    EXPECT_EQ(text->measured_height().minimum, std::min(text->text_height(), 20));
    Element* left = text->find_by_id(u"#left");
    EXPECT_EQ(left->height(), 20);
    RenderSurface surface({150, 300});
    screen->draw(surface, {0, 0});
}

TEST_F(SkinBinding, ImageWithoutPictureAddsNothing)
{
    load(R"(
node Pictures {
    string type = "node"
    string anchor_x = "MIN_SIDE"
    node {
        string type = "image"
        string id = "empty"
        int grow = 1
    }
}
)");
    auto screen = build(u"Pictures");
    auto* image = dynamic_cast<ImageElement*>(screen->find_by_id(u"empty"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(screen->measured_width().natural, 0);
    lay_out(*screen, {20, 20});
    RenderSurface surface({20, 20});
    screen->draw(surface, {0, 0});
    EXPECT_FALSE(screen->is_dirty());
    image->set_picture(SkinPicture{});
    EXPECT_FALSE(screen->is_dirty());
}

TEST_F(SkinBinding, TestScreenRendersAsBmp)
{
    std::string description = read_file(std::string(PICTAVIO_SOURCE_DIR) + "/tests/elements/skins/test_screen.txt");
    ASSERT_FALSE(description.empty());
    load(description);
    SkinFrame frame(skin);
    frame.load(u"Screen");
    frame.fill_lists(u"Row", 100);
    for (Size size : {Size{240, 320}, Size{800, 480}}) {
        frame.lay_out(size);
        frame.step(0.02);
        std::string path = ::testing::TempDir() + "elements_screen_" + std::to_string(size.width) + ".bmp";
        ASSERT_TRUE(frame.write_bmp(path));
        const PixelBuffer* pixels = frame.draw();
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->at(2, 2), rgb_to_pixel(40, 90, 160)) << "the back button's normal look";
        EXPECT_EQ(pixels->at(size.width - 2, 2), rgb_to_pixel(40, 90, 160)) << "the menu button at the right";
        EXPECT_EQ(read_file(path).size(), 54u + 12u + static_cast<size_t>(size.width * 2 * size.height));
    }
    Element* back = frame.root().find_by_id(u"btnBack");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->width(), 64);
    EXPECT_THROW(frame.load(u"NoSuchScreen"), plexor::NodeNotFoundInSkin);
}

namespace {

// Writes an 8 x 6 bitmap whose left half is red and right half blue.
std::string write_test_bitmap()
{
    std::string folder = ::testing::TempDir() + "elements_bitmaps";
    std::filesystem::create_directories(folder);
    auto pixels = PixelBuffer::create(8, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            pixels->at(x, y) = x < 4 ? 0xF800 : 0x001F;
    EXPECT_TRUE(write_bmp_565(from_utf8(folder + "/pic.bmp"), *pixels));
    return folder;
}

}  // namespace

TEST_F(SkinBinding, ImagePicturesGrowAndRepaint)
{
    std::string bitmaps = write_test_bitmap();
    std::string folder = ::testing::TempDir() + "elements_skin_images";
    std::string error;
    ASSERT_TRUE(load_skin_description(skin, R"(
bitmap pic = "pic"
node Pictures {
    string type = "node"
    string anchor_x = "MIN_SIDE"
    string anchor_y = "MIN_SIDE"
    node {
        string type = "image"
        string id = "grow"
        string anchor_x = "MIN_SIDE"
        string anchor_y = "MIN_SIDE"
        picture src = pic 0 0 8 6
        int grow = 1
    }
    node {
        string type = "image"
        string id = "hollow"
        string anchor_x = "MIN_SIDE_NO_SIZE"
        string anchor_y = "MIN_SIDE_NO_SIZE"
        point design_size = 40 40
        picture src = pic 0 0 4 3 4 3 8 6
        int alpha = 0
    }
}
)",
                                      folder, bitmaps, error))
        << error;
    ensure_element_types();
    auto screen = build(u"Pictures");
    auto* grow = dynamic_cast<ImageElement*>(screen->find_by_id(u"grow"));
    ASSERT_NE(grow, nullptr);
    EXPECT_EQ(screen->measured_width().natural, 8);
    EXPECT_EQ(screen->measured_height().natural, 6);
    lay_out(*screen, {64, 64});
    RenderSurface surface({64, 64});
    screen->draw(surface, {0, 0});
    EXPECT_EQ(surface.buffer()->at(0, 0), 0xF800);
    EXPECT_EQ(surface.buffer()->at(7, 5), 0x001F);

    grow->set_picture(grow->picture());
    EXPECT_FALSE(screen->is_dirty()) << "the same picture changes nothing";
    SkinPicture left_half = grow->picture();
    left_half.size_corner.x = 4;
    left_half.inner_bottom_right.x = 4;
    grow->set_picture(left_half);
    EXPECT_TRUE(screen->is_layout_invalid());
    EXPECT_EQ(screen->measured_width().natural, 4);
}

TEST_F(SkinBinding, ButtonCaptionReachesItsText)
{
    load(R"(
node Screen {
    string type = "node"
    node {
        string type = "button"
        string id = "b"
        string text = "Search"
        node {
            string type = "node"
            node {
                string type = "oldtext"
                string id = "#text"
            }
        }
    }
}
)");
    auto screen = build(u"Screen");
    auto* text = dynamic_cast<OldText*>(screen->find_by_id(u"#text"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), u"Search");
    screen->set_text_by_id(u"#text", u"Stop");
    EXPECT_EQ(text->text(), u"Stop");
    dynamic_cast<Button*>(screen->find_by_id(u"b"))->set_caption(u"Go");
    EXPECT_EQ(text->text(), u"Go");
}

TEST_F(SkinBinding, PointAttributesComeOnlyFromThePointTable)
{
    load(R"(
node Screen {
    string type = "node"
    node {
        string type = "node"
        string id = "wrong"
        int design_size = 50
        string border_min = "10 10"
    }
}
)");
    auto screen = build(u"Screen");
    Element* wrong = screen->find_by_id(u"wrong");
    EXPECT_EQ(wrong->design_size(), (Point{}));
    EXPECT_EQ(wrong->border_min(), (Point{}));
    EXPECT_EQ(screen->measured_width().natural, 0);
}
