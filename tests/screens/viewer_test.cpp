// The picture viewer, driven as the user and the library drive it: slot
// states and their changes, stepping at the ends of the album, the fit and
// minus-button zoom rules, tiles of an earlier load never shown, landscape,
// the pending-preview path with the library, taps, keys and swipes, and
// faults: deleted pictures, quick steps across many pictures, closing while
// the worker decodes. The tile queue itself is tested in tile_queue_test.cpp.

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include "elements/events.h"
#include "library/photo_library.h"
#include "library/preview_file.h"
#include "pixels/bmp_writer.h"
#include "platform/key_codes.h"
#include "screens/tile_transform.h"
#include "screens/viewer.h"
#include "shell/active_scheduler.h"
#include "tests/library/exif_test_pictures.h"
#include "tests/pixel_compare.h"
#include "viewer_test_support.h"

using namespace viewer_test;

namespace {

// Writes a JPEG of size in one colour.
bool write_solid_jpeg(const std::string& path, Size size, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return write_jpeg_rows(path, size.width, size.height, 90, [&](std::uint8_t* row, int) {
        for (int x = 0; x < size.width; ++x) {
            row[3 * x] = r;
            row[3 * x + 1] = g;
            row[3 * x + 2] = b;
        }
    });
}

// The part of source inside area, as a buffer of its own.
std::unique_ptr<PixelBuffer> crop(const PixelBuffer& source, const Rect& area)
{
    auto part = PixelBuffer::create(area.width(), area.height());
    for (int y = area.top; y < area.bottom; ++y)
        std::copy_n(source.row(y) + area.left, area.width(), part->row(y - area.top));
    return part;
}

class ViewerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(environment.load_skin(skin, folder.path()));
        card = folder.path() + "/card/";
        album = card + "Album/";
        fs::create_directories(album);
        fs::create_directories(card + "!pictaviocache");
        write_placeholder("load.bmp", 0x07E0);
        write_placeholder("bad.bmp", 0xF800);
        viewer = std::make_unique<PictureViewer>(skin, from_utf8(folder.path() + "/"));
        viewer->set_horizontal(0, 240);
        viewer->set_vertical(0, 320);
    }
    void TearDown() override { viewer.reset(); }

    void write_placeholder(const std::string& name, Pixel value)
    {
        auto bitmap = PixelBuffer::create(64, 64);
        bitmap->clear(value | 0x20);
        ASSERT_TRUE(write_bmp_565(from_utf8(folder.path() + "/" + name), *bitmap));
    }

    // A picture of the album; with a ready preview when asked.
    String picture(const std::string& name, Size size, bool preview)
    {
        const std::string path = album + name;
        EXPECT_TRUE(write_jpeg(path, size.width, size.height));
        if (preview) {
            EXPECT_EQ(build_preview(from_utf8(path), from_utf8(card)), PreviewBuild::ready);
        }
        return from_utf8(path);
    }
    // Not a picture; the name makes its size differ from other junk, and so its preview's name.
    String junk(const std::string& name)
    {
        std::ofstream(album + name) << "not a picture: " << name;
        return from_utf8(album + name);
    }
    // Marks a picture's preview bad: an empty preview file.
    void mark_bad(const String& path)
    {
        const String preview = preview_path(path, from_utf8(card));
        ASSERT_FALSE(preview.empty());
        fs::create_directories(fs::path(to_utf8(preview)).parent_path());
        std::ofstream(to_utf8(preview), std::ios::trunc);
    }
    void open(const std::vector<String>& pictures, int index) { viewer->open(pictures, index, from_utf8(card)); }
    void frame(double seconds = 0.02)
    {
        viewer->update(seconds);
        viewer->draw(surface, {0, 0});
    }
    // Runs frames until done() holds; false after 20 s (a broken test must not hang).
    template <typename Done>
    bool run_until(Done done)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            frame();
            if (done())
                return true;
            std::this_thread::yield();
        }
        return false;
    }
    bool center_sharp() { return viewer->pane_at(1).all_visible_tiles_real(); }
    // A key pressed and released.
    void press(int key)
    {
        viewer->on_key({key, true, true});
        viewer->on_key({key, false, true});
    }
    // Turns the view with the landscape key, once the button takes it again.
    void turn()
    {
        const bool before = viewer->is_landscape();
        const Button* button = viewer->button(u"btnLandscape");
        ASSERT_TRUE(button->is_enabled() || run_until([&] { return button->is_enabled(); }));
        press(key_space);
        ASSERT_NE(viewer->is_landscape(), before);
    }
    // Page Up (-1) or Page Down (+1); false when the slide does not end.
    bool step(int direction)
    {
        press(direction < 0 ? key_page_up : key_page_down);
        return run_until([&] { return !viewer->is_sliding(); });
    }
    // Frames until the controls' time has run out.
    void hide_controls()
    {
        while (viewer->controls_shown())
            frame(0.1);
    }
    // One tap on the centre picture; false when the tap timer never completes.
    bool single_tap()
    {
        const bool shown = viewer->controls_shown();
        viewer->on_pane_tap(&viewer->pane_at(1), {120, 160});
        return run_until([&] {
            CActiveScheduler& scheduler = CActiveScheduler::current();
            scheduler.reschedule();
            scheduler.process_actives();
            return viewer->controls_shown() != shown;
        });
    }

    ViewerEnvironment environment;
    TempFolder folder{"viewer_test"};
    Properties skin;
    std::string card;
    std::string album;
    std::unique_ptr<PictureViewer> viewer;
    RenderSurface surface{Size{240, 320}};
};

}  // namespace

TEST(ViewerRules, FitZoomMakesThePictureFitAndNeverPassesTheTop)
{
    // 1600 x 1200 (L = 3) on 240 x 320: the width decides.
    EXPECT_NEAR(PictureViewer::fit_zoom_for({1600, 1200}, {240, 320}, 3), 3 + std::log2(240.0 / 1600), 1e-9);
    // Turned for landscape both sides fit equally.
    EXPECT_NEAR(PictureViewer::fit_zoom_for({1600, 1200}, {320, 240}, 3), 3 + std::log2(320.0 / 1600), 1e-9);
    // A picture smaller than the screen is shown at full size, not enlarged.
    EXPECT_EQ(PictureViewer::fit_zoom_for({100, 80}, {240, 320}, 0), 0.0);
    // Both candidates below zero: the larger one.
    EXPECT_NEAR(PictureViewer::fit_zoom_for({6000, 4000}, {100, 100}, 5), 5 + std::log2(100.0 / 4000), 1e-9);
    EXPECT_EQ(PictureViewer::fit_zoom_for({0, 0}, {240, 320}, 0), 0.0);
}

TEST(ViewerRules, MinusTargetsOneLevelDownButNeverBelowFit)
{
    EXPECT_EQ(PictureViewer::minus_target(3.0, 0.3), 2.0);
    EXPECT_EQ(PictureViewer::minus_target(2.0, 0.3), 1.0);
    EXPECT_EQ(PictureViewer::minus_target(1.0, 0.3), 0.3);
    // At zoom 1 with a fit that rounds to 0, and at 2 with one that rounds to 1: the fit itself.
    EXPECT_EQ(PictureViewer::minus_target(1.0, -0.2), -0.2);
    EXPECT_EQ(PictureViewer::minus_target(2.0, 0.6), 0.6);
    EXPECT_EQ(PictureViewer::minus_target(2.0, 1.4), 1.4);
    EXPECT_EQ(PictureViewer::minus_target(1.5, 1.2), 1.2);
}

TEST(TileTransform, TurnClockwiseMovesEachPixel)
{
    auto source = PixelBuffer::create(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            source->at(x, y) = static_cast<Pixel>(10 * y + x);
    auto turned = turn_clockwise(*source);
    ASSERT_EQ(turned->size(), (Size{2, 3}));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(turned->buffer()->at(2 - 1 - y, x), 10 * y + x);
}

TEST_F(ViewerTest, CounterTextAndControlsAfterOpening)
{
    std::vector<String> pictures;
    for (int i = 0; i < 12; ++i)
        pictures.push_back(picture("p" + std::to_string(i) + ".jpg", {300, 200}, false));
    open(pictures, 4);
    EXPECT_EQ(viewer->counter_text(), u"5 of 12");
    EXPECT_TRUE(viewer->controls_shown());
    frame();
    EXPECT_TRUE(viewer->button(u"btnBack")->is_visible());
    for (int i = 0; i < 210; ++i)
        viewer->update(0.02);
    EXPECT_FALSE(viewer->button(u"btnBack")->is_visible());
    EXPECT_FALSE(viewer->controls_shown());
    ASSERT_TRUE(single_tap());
    viewer->update(0.02);
    EXPECT_TRUE(viewer->button(u"btnBack")->is_visible());
}

TEST_F(ViewerTest, StepsStopAtTheFirstAndLastPicture)
{
    std::vector<String> pictures{picture("a.jpg", {640, 480}, true), picture("b.jpg", {641, 480}, true),
                                 picture("c.jpg", {642, 480}, true)};
    open(pictures, 0);
    EXPECT_TRUE(viewer->pane_at(0).is_empty());
    EXPECT_FALSE(viewer->pane_at(2).is_empty());
    ASSERT_TRUE(step(-1));
    EXPECT_EQ(viewer->index(), 0);
    ASSERT_TRUE(step(1));
    EXPECT_EQ(viewer->index(), 1);
    EXPECT_EQ(viewer->counter_text(), u"2 of 3");
    EXPECT_FALSE(viewer->pane_at(0).is_empty());
    ASSERT_TRUE(step(1));
    EXPECT_EQ(viewer->index(), 2);
    EXPECT_TRUE(viewer->pane_at(2).is_empty());
    ASSERT_TRUE(step(1));
    EXPECT_EQ(viewer->index(), 2);
    ASSERT_TRUE(step(-1));
    ASSERT_TRUE(step(-1));
    EXPECT_EQ(viewer->index(), 0);
    EXPECT_TRUE(viewer->pane_at(0).is_empty());
    // Every pane gets its tiles after the steps.
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
}

TEST_F(ViewerTest, SlotStatesFollowThePreviewAndThePicture)
{
    const String ready = picture("ready.jpg", {640, 480}, true);
    // Sizes differ: a preview's name comes from the picture's size and time.
    const String pending = picture("pending.jpg", {600, 400}, false);
    const String bad_readable = picture("badpreview.jpg", {500, 300}, false);
    mark_bad(bad_readable);
    const String broken = junk("broken.jpg");
    mark_bad(broken);
    const String pending_broken = junk("pending_broken.jpg");
    struct Case {
        String path;
        int state;
        bool direct_ok;
        int tile;
    };
    const Case cases[] = {{ready, slot_preview_ready, false, 256},
                          {pending, slot_preview_pending, true, 256},
                          {bad_readable, slot_bad_picture, true, 256},
                          {broken, slot_bad_picture, false, 64},
                          {pending_broken, slot_preview_pending, false, 64}};
    for (const Case& c : cases) {
        SCOPED_TRACE(to_utf8(c.path));
        open({c.path}, 0);
        EXPECT_EQ(viewer->slot_at(1).state, c.state);
        EXPECT_EQ(viewer->slot_at(1).direct_ok, c.direct_ok);
        EXPECT_EQ(viewer->pane_at(1).tile_size().width, c.tile);
        if (c.tile == 64) {
            EXPECT_EQ(viewer->pane_at(1).picture_size(), (Size{45, 45}));
        }
        EXPECT_TRUE(run_until([&] { return center_sharp(); }));
    }
}

TEST_F(ViewerTest, FitZoomFollowsTheScreenAndLandscape)
{
    open({picture("wide.jpg", {1600, 1200}, true)}, 0);
    EXPECT_NEAR(viewer->slot_at(1).fit_zoom, 3 + std::log2(240.0 / 1600), 1e-9);
    EXPECT_EQ(viewer->pane_at(1).zoom(), viewer->slot_at(1).fit_zoom);
    EXPECT_FALSE(viewer->button(u"btnMinus")->is_visible());
    turn();
    EXPECT_TRUE(viewer->is_landscape());
    EXPECT_NEAR(viewer->slot_at(1).fit_zoom, 3 + std::log2(320.0 / 1600), 1e-9);
    // The button stays disabled until the worker has made the tiles the
    // turned view asks for (nothing was asked before: the worker is idle).
    frame();
    EXPECT_FALSE(viewer->button(u"btnLandscape")->is_enabled());
    press(key_space);
    EXPECT_TRUE(viewer->is_landscape()) << "a disabled button does not turn the view";
    EXPECT_TRUE(run_until([&] { return viewer->button(u"btnLandscape")->is_enabled(); }));
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
}

// Tiles made for a picture but not yet handed over when its slot is loaded
// with another picture never show: every frame after the new load is free of
// the old picture's colour.
TEST_F(ViewerTest, TilesOfAnEarlierLoadAreNeverDelivered)
{
    const std::string blue_path = album + "blue.jpg";
    const std::string grey_path = album + "grey.jpg";
    ASSERT_TRUE(write_solid_jpeg(blue_path, {1600, 1200}, 0, 0, 255));
    ASSERT_TRUE(write_solid_jpeg(grey_path, {1601, 1200}, 200, 200, 200));
    const String blue = from_utf8(blue_path);
    const String grey = from_utf8(grey_path);
    for (const String& path : {blue, grey}) {
        ASSERT_EQ(build_preview(path, from_utf8(card)), PreviewBuild::ready);
    }
    auto blue_pixels = [&] {
        int count = 0;
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 240; ++x) {
                const Pixel pixel = surface.buffer()->at(x, y);
                count += (pixel >> 11) <= 4 && ((pixel >> 5) & 63) <= 8 && (pixel & 31) >= 24;
            }
        return count;
    };
    open({blue}, 0);
    ASSERT_TRUE(run_until([&] { return center_sharp(); }));
    ASSERT_GT(blue_pixels(), 240 * 180 / 2) << "the blue picture shows when its tiles are handed over";
    // Opened again: the worker makes every tile; no frame hands them over yet.
    open({blue}, 0);
    viewer->draw(surface, {0, 0});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (viewer->queued_count() > 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    ASSERT_EQ(viewer->queued_count(), 0);
    // The same tiles of another picture are asked for while the blue ones wait.
    open({grey}, 0);
    int most = 0;
    EXPECT_TRUE(run_until([&] {
        most = std::max(most, blue_pixels());
        return center_sharp();
    }));
    EXPECT_EQ(most, 0);
}

TEST_F(ViewerTest, PendingPreviewIsPrioritisedAndReloadedOnlyWhenItShowedAPlaceholder)
{
    TempFolder program("viewer_library");
    PhotoLibrary library(from_utf8(program.path() + "/folders.ini"), false);
    std::vector<String> pictures;
    for (int i = 0; i < 5; ++i)
        pictures.push_back(picture("q" + std::to_string(i) + ".jpg", {640 + i, 480}, false));
    library.set_current_folder(from_utf8(album));
    for (const String& path : pictures)
        library.add_picture(path, from_utf8(card));
    // The next picture cannot be decoded: its pane shows the loading placeholder.
    std::filesystem::resize_file(to_utf8(pictures[4]), 10);
    // The viewer made before the library would not hear of it: a new one.
    viewer = std::make_unique<PictureViewer>(skin, from_utf8(folder.path() + "/"));
    viewer->set_horizontal(0, 240);
    viewer->set_vertical(0, 320);
    open(pictures, 3);
    std::vector<String> queued = library.queued_pictures(from_utf8(album));
    ASSERT_FALSE(queued.empty());
    EXPECT_EQ(queued.front(), pictures[3]);
    EXPECT_EQ(viewer->slot_at(1).state, slot_preview_pending);
    EXPECT_TRUE(viewer->slot_at(1).direct_ok);

    // Shown by direct decoding: the finished preview changes nothing.
    ASSERT_EQ(build_preview(pictures[3], from_utf8(card)), PreviewBuild::ready);
    LibraryEvent complete;
    complete.picture_complete = true;
    complete.picture_path = pictures[3];
    viewer->on_library_event(complete);
    EXPECT_EQ(viewer->slot_at(1).state, slot_preview_pending);

    // The next picture could not be decoded (a placeholder shows): its preview reloads the slot.
    EXPECT_EQ(viewer->slot_at(2).state, slot_preview_pending);
    EXPECT_FALSE(viewer->slot_at(2).direct_ok);
    EXPECT_EQ(viewer->pane_at(2).tile_size().width, 64);
    ASSERT_TRUE(write_jpeg(to_utf8(pictures[4]), 640, 480));
    ASSERT_EQ(build_preview(pictures[4], from_utf8(card)), PreviewBuild::ready);
    complete.picture_path = pictures[4];
    viewer->on_library_event(complete);
    EXPECT_EQ(viewer->slot_at(2).state, slot_preview_ready);
    EXPECT_EQ(viewer->pane_at(2).tile_size().width, 256);
    press(key_backspace);
    EXPECT_FALSE(viewer->is_opened());
    viewer.reset();
}

TEST_F(ViewerTest, DoubleTapZoomsToTheNextWholeLevel)
{
    open({picture("tap.jpg", {1600, 1200}, true)}, 0);
    PicturePane& center = viewer->pane_at(1);
    const double fit = center.zoom();
    viewer->on_pane_tap(&center, {120, 160});
    EXPECT_FALSE(center.is_zooming());
    viewer->on_pane_tap(&center, {120, 160});
    EXPECT_TRUE(viewer->is_tap_zooming());
    EXPECT_EQ(center.zoom_target(), std::floor(fit + 0.5) + 1.0);
    ASSERT_TRUE(run_until([&] { return !center.is_zooming(); }));
    EXPECT_FALSE(viewer->is_tap_zooming());
    EXPECT_TRUE(viewer->button(u"btnMinus")->is_visible());
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
    // At the top level a double tap does nothing more.
    center.set_zoom(3.0);
    viewer->on_pane_tap(&center, {120, 160});
    viewer->on_pane_tap(&center, {120, 160});
    EXPECT_FALSE(center.is_zooming());
}

TEST_F(ViewerTest, KeysStepAndZoomThroughTheSkinBindings)
{
    open({picture("k0.jpg", {1600, 1200}, true), picture("k1.jpg", {1601, 1200}, true)}, 0);
    EXPECT_TRUE(viewer->on_key({key_up, true, true}));
    EXPECT_TRUE(viewer->on_key({key_up, false, true}));
    EXPECT_TRUE(viewer->pane_at(1).is_zooming());
    ASSERT_TRUE(run_until([&] { return !viewer->pane_at(1).is_zooming(); }));
    EXPECT_TRUE(viewer->on_key({key_right, true, true}));
    EXPECT_TRUE(viewer->on_key({key_right, false, true}));
    EXPECT_TRUE(viewer->is_sliding());
    EXPECT_TRUE(run_until([&] { return viewer->index() == 1; }));
    EXPECT_FALSE(viewer->is_sliding());
    EXPECT_FALSE(viewer->on_key({key_left, true, true}));  // this skin binds no key for it
}

TEST_F(ViewerTest, SwipeStepsOnlyPastAQuarterAndOnlyToAnExistingNeighbour)
{
    open(
        {picture("s0.jpg", {640, 480}, true), picture("s1.jpg", {641, 480}, true), picture("s2.jpg", {642, 480}, true)},
        0);
    PicturePane* center = &viewer->pane_at(1);
    auto drag = [&](int dx) {
        center->on_stylus({120, 160, 0, 0, true, false});
        for (int i = 1; i <= 10; ++i)
            center->on_stylus_move({120 + dx * i / 10, 160, 300 * i});
        center->on_stylus({120 + dx, 160, 3100, 0, false, false});
    };
    drag(100);  // towards a previous picture that does not exist
    EXPECT_FALSE(viewer->is_sliding());
    ASSERT_TRUE(run_until([&] { return center->overscroll() == 0.0; }));
    // Below a quarter of 240 nothing steps; the picture stays dragged until
    // the pen is lifted, then returns.
    center->on_stylus({120, 160, 0, 0, true, false});
    for (int i = 1; i <= 10; ++i) {
        center->on_stylus_move({120 - 40 * i / 10, 160, 300 * i});
        frame();
        EXPECT_FALSE(viewer->is_sliding()) << "move " << i;
    }
    EXPECT_NEAR(center->overscroll(), 40.0, 1.0);
    center->on_stylus({80, 160, 3100, 0, false, false});
    EXPECT_FALSE(viewer->is_sliding());
    ASSERT_TRUE(run_until([&] { return center->overscroll() == 0.0; }));
    EXPECT_EQ(viewer->index(), 0);
    // The side pane follows with its gap while the picture is dragged.
    center->on_stylus({120, 160, 0, 0, true, false});
    center->on_stylus_move({60, 160, 100});
    frame();
    EXPECT_NEAR(viewer->pane_at(2).picture_span().x - center->picture_span().y, PictureViewer::picture_gap, 1.0);
    center->on_stylus({60, 160, 3000, 0, false, false});
    ASSERT_TRUE(run_until([&] { return center->overscroll() == 0.0; }));
    // Past a quarter the step starts with the move that crosses the limit,
    // before the pen is lifted; the pen then moves nothing.
    center->on_stylus({120, 160, 0, 0, true, false});
    int x = 120;
    for (; x > 0 && !viewer->is_sliding(); x -= 10)
        center->on_stylus_move({x - 10, 160, 10 * (120 - x)});
    ASSERT_TRUE(viewer->is_sliding());
    EXPECT_GE(120 - x, 60) << "stepped before the quarter";
    EXPECT_LE(120 - x, 70) << "stepped later than the move that crossed the quarter";
    EXPECT_FALSE(center->is_pen_down());
    const PanePoint held = center->scroll_position();
    center->on_stylus_move({x - 100, 160, 2000});
    EXPECT_EQ(center->scroll_position().x, held.x) << "the pen still drags";
    EXPECT_FALSE(center->on_stylus({x - 100, 160, 2100, 0, false, false}));
    ASSERT_TRUE(run_until([&] { return !viewer->is_sliding(); }));
    EXPECT_EQ(viewer->index(), 1);
    // The new centre picture was not dragged by the rest of the old gesture.
    center = &viewer->pane_at(1);
    EXPECT_FALSE(center->is_pen_down());
    center->on_stylus_move({0, 160, 2200});
    for (int i = 0; i < 10; ++i)
        frame();
    EXPECT_EQ(center->overscroll(), 0.0);
    EXPECT_NEAR(center->scroll_position().x, center->content_size().x / 2.0, 0.5);
    EXPECT_EQ(viewer->index(), 1);
}

TEST_F(ViewerTest, DeletedPictureShowsTheBadTileAndTheViewerGoesOn)
{
    const String shown = picture("gone.jpg", {1600, 1200}, true);
    const String next = picture("next.jpg", {640, 480}, true);
    open({shown, next}, 0);
    ASSERT_TRUE(run_until([&] { return center_sharp(); }));
    fs::remove(to_utf8(shown));
    viewer->pane_at(1).set_zoom(3.0);
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
    // Opened again, the picture that is gone is the single bad tile.
    open({shown, next}, 0);
    EXPECT_EQ(viewer->slot_at(1).state, slot_bad_picture);
    EXPECT_FALSE(viewer->slot_at(1).direct_ok);
    EXPECT_EQ(viewer->pane_at(1).tile_size().width, 64);
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
    viewer->step_right();
    EXPECT_EQ(viewer->index(), 1);
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
}

// A bad bitmap smaller than a tile, with a pattern that shows where each
// pixel went, stands for every tile of the full-size level once the picture
// that is decoded directly is gone: it is drawn at the tile's corner at the
// tile's scale, turned with the view in landscape.
TEST_F(ViewerTest, TileThatFailsToDecodeIsTheBadBitmapAtTheTilesCorner)
{
    auto bad = PixelBuffer::create(45, 40);
    for (int y = 0; y < bad->height(); ++y)
        for (int x = 0; x < bad->width(); ++x)
            bad->at(x, y) =
                static_cast<Pixel>(((x & 31) << 11) | ((y & 31) << 6) | (x >> 5) | ((y >> 5) << 1) | opacity_flag);
    ASSERT_TRUE(write_bmp_565(from_utf8(folder.path() + "/bad.bmp"), *bad));
    viewer = std::make_unique<PictureViewer>(skin, from_utf8(folder.path() + "/"));
    viewer->set_horizontal(0, 240);
    viewer->set_vertical(0, 320);
    for (const bool landscape : {false, true}) {
        SCOPED_TRACE(landscape ? "landscape" : "portrait");
        const String shown = picture(landscape ? "gone1.jpg" : "gone0.jpg", {1600, 1200}, false);
        open({shown}, 0);
        if (landscape)
            turn();
        ASSERT_TRUE(run_until([&] { return center_sharp(); }));
        fs::remove(to_utf8(shown));
        PicturePane& pane = viewer->pane_at(1);
        pane.set_zoom(3.0);
        const Size view = pane.view_size();
        // Tile (1, 1) starts 50 pixels across and 30 down the view.
        pane.set_scroll(256 + view.width / 2.0 - 50, 256 + view.height / 2.0 - 30);
        ASSERT_TRUE(run_until([&] { return center_sharp(); }));
        RenderSurface alone(Size{240, 320});
        alone.buffer()->clear(0);
        pane.draw_content(alone, {0, 0});
        const std::unique_ptr<RenderSurface> expected =
            landscape ? turn_clockwise(*bad) : framed_bitmap(bad.get(), bad->size());
        const PixelBuffer& want = *expected->buffer();
        // In landscape the view's corner is the pane's top right corner.
        const Point at = landscape ? Point{240 - 30 - want.width(), 50} : Point{50, 30};
        auto shown_part = PixelBuffer::create(want.width(), want.height());
        for (int y = 0; y < want.height(); ++y)
            std::copy_n(alone.buffer()->row(at.y + y) + at.x, want.width(), shown_part->row(y));
        EXPECT_TRUE(same_pixels(*shown_part, want));
    }
}

TEST_F(ViewerTest, QuickStepsAcrossFiftyPicturesKeepTheQueueBounded)
{
    std::vector<String> pictures;
    for (int i = 0; i < 50; ++i)
        pictures.push_back(picture("m" + std::to_string(i) + ".jpg", {400 + i, 300}, i % 2 == 0));
    open(pictures, 0);
    int most = 0;
    for (int i = 0; i < 49; ++i) {
        frame();
        viewer->step_right();
        if (i % 7 == 0)
            press(key_space);  // taken only while no tiles of the old orientation wait
        most = std::max(most, viewer->queued_count());
    }
    EXPECT_EQ(viewer->index(), 49);
    EXPECT_LE(most, 3 * viewer->pane_at(1).cache_capacity() + 1);
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
}

// The worker is held inside a tile while the viewer closes and then while
// it is destroyed: closing leaves the worker only the tile it is on, and
// destruction waits for that tile and lets the worker make no other.
TEST_F(ViewerTest, ClosingAndDestroyingWhileTheWorkerDecodes)
{
    Event inside(true);
    Event release(true);
    std::atomic<int> made{0};
    viewer->set_tile_probe([&] {
        ++made;
        inside.set();
        release.wait();
    });
    open({picture("large.jpg", {3000, 2000}, false), picture("large2.jpg", {3001, 2000}, false)}, 0);
    viewer->pane_at(1).set_zoom(viewer->pane_at(1).top_level());
    frame();
    ASSERT_TRUE(inside.wait_for(20000));
    EXPECT_GT(viewer->queued_count(), 1);
    press(key_backspace);
    EXPECT_FALSE(viewer->is_opened());
    EXPECT_EQ(viewer->queued_count(), 1) << "only the tile being made stays";
    // The worker goes on once the destruction has begun.
    Event destroying(true);
    std::thread releaser([&] {
        destroying.wait();
        release.set();
    });
    destroying.set();
    viewer.reset();
    releaser.join();
    EXPECT_EQ(made, 1);
}

// The panes draw only their pictures; around a picture the frame shows the
// viewer's background, never what the screen held before (here a white
// screen, in the program the previous picture or the other orientation).
TEST_F(ViewerTest, AroundThePictureNothingOfAnEarlierFrameStays)
{
    open({picture("band.jpg", {480, 240}, true)}, 0);  // fitted to 240 x 120: rows 100 to 219
    for (const bool landscape : {false, true}) {
        SCOPED_TRACE(landscape ? "landscape" : "portrait");
        if (landscape)
            turn();  // fitted to 320 x 160: columns 40 to 199
        surface.buffer()->clear(0xFFFF);
        frame();
        const std::vector<Point> around =
            landscape ? std::vector<Point>{{20, 160}, {220, 160}} : std::vector<Point>{{120, 60}, {120, 260}};
        for (const Point point : around)
            EXPECT_EQ(surface.buffer()->at(point.x, point.y), 0) << point.x << ", " << point.y;
        EXPECT_NE(surface.buffer()->at(120, 160), 0xFFFF) << "the picture";
    }
}

// Whatever the position of the picture in its album and the shapes of its
// neighbours, the frame shows every pixel of the centre picture exactly as the
// centre pane draws it alone: no other pane draws over it.
TEST_F(ViewerTest, NeighbouringPanesNeverCoverTheCentrePicture)
{
    const std::vector<String> pictures{picture("wide.jpg", {900, 400}, true), picture("tall.jpg", {300, 700}, true),
                                       picture("square.jpg", {500, 500}, true)};
    // The zoom buttons stay over the picture; the other controls are hidden.
    auto under_zoom_button = [&](int x, int y) {
        for (const char16_t* id : {u"btnPlus", u"btnMinus"}) {
            const Button* button = viewer->button(id);
            if (button->is_visible() && x >= button->x() && y >= button->y() && x < button->x() + button->width() &&
                y < button->y() + button->height())
                return true;
        }
        return false;
    };
    // The screen inside area as it must be where the centre pane alone drew:
    // under the zoom buttons, and where the pane drew nothing when
    // skip_undrawn is set, the screen's own pixels.
    auto drawn_alone = [&](const PixelBuffer& alone, const Rect& area, bool skip_undrawn) {
        std::unique_ptr<PixelBuffer> expected = crop(*surface.buffer(), area);
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (!under_zoom_button(x, y) && !(skip_undrawn && alone.at(x, y) == 0))
                    expected->at(x - area.left, y - area.top) = alone.at(x, y);
        return expected;
    };
    auto expect_centre_uncovered = [&](const char* where) {
        hide_controls();
        ASSERT_TRUE(run_until([&] { return center_sharp() && viewer->queued_count() == 0; })) << where;
        frame();
        RenderSurface alone(Size{240, 320});
        alone.buffer()->clear(0);
        viewer->pane_at(1).draw_content(alone, {0, 0});
        Rect shown{240, 320, 0, 0};
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 240; ++x)
                if (alone.buffer()->at(x, y) != 0)
                    shown = {std::min(shown.left, x), std::min(shown.top, y), std::max(shown.right, x + 1),
                             std::max(shown.bottom, y + 1)};
        ASSERT_FALSE(shown.is_empty()) << where;
        EXPECT_TRUE(same_pixels(*crop(*surface.buffer(), shown), *drawn_alone(*alone.buffer(), shown, false)))
            << where << ": centre picture at " << shown.left << "," << shown.top << " to " << shown.right << ","
            << shown.bottom << " (pixels counted from its corner)";
    };
    open({pictures[0]}, 0);
    expect_centre_uncovered("single");
    open(pictures, 0);
    expect_centre_uncovered("first, a narrower neighbour");
    open(pictures, 1);
    expect_centre_uncovered("middle, wider neighbours");
    open(pictures, 2);
    expect_centre_uncovered("last");
    turn();
    expect_centre_uncovered("last, turned to landscape");
    turn();
    // During a swipe towards the previous picture, and after it.
    viewer->pane_at(1).scroll_by(-50, 0);
    viewer->on_pane_drag(&viewer->pane_at(1));
    viewer->draw(surface, {0, 0});
    RenderSurface alone(Size{240, 320});
    alone.buffer()->clear(0);
    viewer->pane_at(1).draw_content(alone, {0, 0});
    EXPECT_TRUE(same_pixels(*surface.buffer(), *drawn_alone(*alone.buffer(), Rect{0, 0, 240, 320}, true)))
        << "during a swipe";
    ASSERT_TRUE(step(-1));
    EXPECT_EQ(viewer->index(), 1);
    expect_centre_uncovered("after a swipe to the middle");
}

// A picture that stands still with all its tiles in asks for no new frame.
TEST_F(ViewerTest, StillPictureNeedsNoRedraw)
{
    open({picture("still.jpg", {900, 400}, true)}, 0);
    hide_controls();
    ASSERT_TRUE(run_until([&] { return center_sharp() && viewer->queued_count() == 0; }));
    // Tiles made but not yet handed over arrive one per frame; then the picture stands still.
    ASSERT_TRUE(run_until([&] {
        viewer->update(0.02);
        return !viewer->is_dirty() && !viewer->pane_at(1).is_dirty();
    }));
    frame();
    frame();
    viewer->update(0.02);
    EXPECT_FALSE(viewer->is_dirty());
    EXPECT_FALSE(viewer->pane_at(1).is_dirty());
}

// ---- pictures with an EXIF orientation tag ----

namespace {

class ViewerOrientationTest : public ViewerTest {
protected:
    // The asymmetric picture of upright size stored for tag (0: no EXIF data);
    // its size depends on the tag, so previews of one folder never share a name.
    String tagged(const std::string& name, int tag, Size upright, bool preview)
    {
        const std::string path = album + name;
        EXPECT_TRUE(
            exif_test::write_file(path, exif_test::with_distinct_size(exif_test::tagged_picture(tag, upright), tag)));
        if (preview) {
            EXPECT_EQ(build_preview(from_utf8(path), from_utf8(card)), PreviewBuild::ready);
        }
        return from_utf8(path);
    }
    // The screen once every tile the centre pane shows has arrived, without
    // the controls (their time runs by frames, and waits take any number).
    std::unique_ptr<PixelBuffer> sharp_screen()
    {
        hide_controls();
        EXPECT_TRUE(run_until([&] { return center_sharp() && viewer->queued_count() == 0; }));
        frame();
        return crop(*surface.buffer(), Rect{0, 0, 240, 320});
    }
};

}  // namespace

// 640 x 384: neither side ends on a tile border. The screen of each tag, in
// portrait and turned to landscape, from the preview and decoded directly
// while the preview is pending, is the upright picture's screen.
TEST_F(ViewerOrientationTest, EveryTagFitsAsTheUprightPictureInPortraitAndLandscape)
{
    const Size upright{640, 384};
    for (const bool preview : {true, false}) {
        SCOPED_TRACE(preview ? "from the preview" : "decoded directly");
        const std::string kind = preview ? "p" : "d";
        open({tagged(kind + "0.jpg", 0, upright, preview)}, 0);
        const std::unique_ptr<PixelBuffer> portrait = sharp_screen();
        turn();
        const std::unique_ptr<PixelBuffer> landscape = sharp_screen();
        for (int tag = 1; tag <= 8; ++tag) {
            SCOPED_TRACE("tag " + std::to_string(tag));
            open({tagged(kind + std::to_string(tag) + ".jpg", tag, upright, preview)}, 0);
            EXPECT_EQ(viewer->pane_at(1).picture_size(), upright);
            EXPECT_TRUE(pixels_near(*sharp_screen(), *portrait, 1));
            turn();
            EXPECT_TRUE(pixels_near(*sharp_screen(), *landscape, 1));
        }
    }
}

// A portrait photograph stored as landscape pixels with tag 6, then a
// landscape picture: the panes meet with their gaps in displayed pixels.
TEST_F(ViewerOrientationTest, SwipingBetweenPortraitTaggedAndLandscapeKeepsTheGaps)
{
    const String portrait = tagged("portrait.jpg", 6, {384, 640}, true);
    const String landscape = tagged("landscape.jpg", 0, {640, 384}, true);
    open({portrait, landscape}, 0);
    PicturePane& center = viewer->pane_at(1);
    ASSERT_EQ(center.picture_size(), (Size{384, 640}));
    // Fitted by its height: 640 shown as 320, so 384 as 192 wide, centred.
    EXPECT_NEAR(center.picture_span().x, 24.0, 0.5);
    EXPECT_NEAR(center.picture_span().y, 216.0, 0.5);
    center.on_stylus({120, 160, 0, 0, true, false});
    center.on_stylus_move({60, 160, 100});
    frame();
    EXPECT_NEAR(viewer->pane_at(2).picture_span().x - center.picture_span().y, PictureViewer::picture_gap, 1.0);
    center.on_stylus({60, 160, 3000, 0, false, false});
    ASSERT_TRUE(run_until([&] { return center.overscroll() == 0.0; }));

    viewer->step_right();
    ASSERT_EQ(viewer->index(), 1);
    PicturePane& now = viewer->pane_at(1);
    PicturePane& before = viewer->pane_at(0);
    EXPECT_EQ(now.picture_size(), (Size{640, 384}));
    EXPECT_EQ(before.picture_size(), (Size{384, 640}));
    frame();
    // The landscape picture fills the width; the portrait one ends 20 pixels to its left.
    EXPECT_NEAR(now.picture_span().x, 0.0, 0.5);
    EXPECT_NEAR(now.picture_span().x - before.picture_span().y, PictureViewer::picture_gap, 1.0);
    EXPECT_NEAR(before.picture_span().y - before.picture_span().x, 192.0, 0.5);
}

// A double tap on the portrait-tagged picture zooms it to full resolution
// with the tapped point of the displayed picture where it was, and the
// screen there shows the colour of the upright picture at that point.
TEST_F(ViewerOrientationTest, DoubleTapToFullResolutionKeepsTheTappedPoint)
{
    const Size upright{384, 640};
    for (const int tag : {6, 7}) {
        SCOPED_TRACE("tag " + std::to_string(tag));
        open({tagged("zoom" + std::to_string(tag) + ".jpg", tag, upright, true)}, 0);
        PicturePane& center = viewer->pane_at(1);
        const Point tap{70, 100};
        const PanePoint before = center.picture_point(tap);
        viewer->on_pane_tap(&center, tap);
        viewer->on_pane_tap(&center, tap);
        ASSERT_EQ(center.zoom_target(), center.top_level());
        ASSERT_TRUE(run_until([&] { return !center.is_zooming(); }));
        const PanePoint after = center.picture_point(tap);
        EXPECT_NEAR(after.x, before.x, 1.0);
        EXPECT_NEAR(after.y, before.y, 1.0);
        const std::unique_ptr<PixelBuffer> screen = sharp_screen();
        const exif_test::Rgb colour =
            exif_test::upright_colour(static_cast<int>(after.x), static_cast<int>(after.y), upright);
        EXPECT_LE(exif_test::pixel_distance(screen->at(tap.x, tap.y), rgb_to_pixel(colour.r, colour.g, colour.b)), 2);
    }
}
// Swiped through the nine pictures, each shows as the first did, the last
// one too (no empty pane beyond it covers part of it).
TEST_F(ViewerOrientationTest, SwipingThroughEveryTagShowsTheSamePicture)
{
    std::vector<String> list;
    for (const int tag : {8, 4, 7, 3, 2, 5, 6, 1, 0})
        list.push_back(tagged("s" + std::to_string(tag) + ".jpg", tag, {640, 384}, true));
    open(list, 0);
    for (int k = 0; k < 250; ++k)
        frame();  // the controls go
    const std::unique_ptr<PixelBuffer> first = sharp_screen();
    for (int i = 1; i < 9; ++i) {
        PicturePane& center = viewer->pane_at(1);
        center.on_stylus({216, 160, 0, 0, true, false});
        for (int k = 1; k <= 10; ++k)
            center.on_stylus_move({216 - 19 * k, 160, 40 * k});
        center.on_stylus({26, 160, 400, 0, false, false});
        ASSERT_TRUE(run_until([&] { return viewer->index() == i && !viewer->is_sliding(); })) << i;
        const std::unique_ptr<PixelBuffer> shown = sharp_screen();
        // The picture's rows: 640 x 384 fitted to 240 x 144, in the middle.
        const Rect rows{0, 88, 240, 232};
        EXPECT_TRUE(pixels_near(*crop(*shown, rows), *crop(*first, rows), 1)) << "picture " << i << ", from row 88";
    }
}
