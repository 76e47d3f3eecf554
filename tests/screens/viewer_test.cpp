// The picture viewer: slot states and their changes, stepping at the ends of
// the album, the fit and minus-button zoom rules, the tile queue with its
// pruning and duplicates, tiles of an earlier load never delivered, landscape,
// the pending-preview path with the library, taps, keys and swipes, and
// faults: deleted pictures, quick steps across many pictures, closing while
// the worker decodes.

#include <gtest/gtest.h>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include "elements/events.h"
#include "library/photo_library.h"
#include "library/preview_file.h"
#include "screens/tile_transform.h"
#include "screens/viewer.h"
#include "platform/key_codes.h"
#include "pixels/bmp_writer.h"
#include "viewer_test_support.h"

using namespace viewer_test;

namespace {

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
    void open(const std::vector<String>& pictures, int index)
    {
        viewer->open(pictures, index, from_utf8(card));
    }
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
            if (done()) return true;
            std::this_thread::yield();
        }
        return false;
    }
    bool center_sharp() { return viewer->pane_at(1).all_visible_tiles_real(); }

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
        for (int x = 0; x < 3; ++x) source->at(x, y) = static_cast<Pixel>(10 * y + x);
    auto turned = turn_clockwise(*source);
    ASSERT_EQ(turned->size(), (Size{2, 3}));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(turned->buffer()->at(2 - 1 - y, x), 10 * y + x);
}

TEST_F(ViewerTest, CounterTextAndControlsAfterOpening)
{
    std::vector<String> pictures;
    for (int i = 0; i < 12; ++i) pictures.push_back(picture("p" + std::to_string(i) + ".jpg", {300, 200}, false));
    open(pictures, 4);
    EXPECT_EQ(viewer->counter_text(), u"5 of 12");
    EXPECT_TRUE(viewer->controls_shown());
    frame();
    EXPECT_TRUE(viewer->button(u"btnBack")->is_visible());
    for (int i = 0; i < 210; ++i) viewer->update(0.02);
    EXPECT_FALSE(viewer->button(u"btnBack")->is_visible());
    EXPECT_FALSE(viewer->controls_shown());
    viewer->on_single_tap();
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
    viewer->step_left();
    EXPECT_EQ(viewer->index(), 0);
    viewer->step_right();
    EXPECT_EQ(viewer->index(), 1);
    EXPECT_EQ(viewer->counter_text(), u"2 of 3");
    EXPECT_FALSE(viewer->pane_at(0).is_empty());
    viewer->step_right();
    EXPECT_EQ(viewer->index(), 2);
    EXPECT_TRUE(viewer->pane_at(2).is_empty());
    viewer->step_right();
    EXPECT_EQ(viewer->index(), 2);
    viewer->step_left();
    viewer->step_left();
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
    viewer->toggle_landscape();
    EXPECT_TRUE(viewer->is_landscape());
    EXPECT_NEAR(viewer->slot_at(1).fit_zoom, 3 + std::log2(320.0 / 1600), 1e-9);
    // The button stays disabled until the worker has emptied its queue.
    EXPECT_FALSE(viewer->button(u"btnLandscape")->is_enabled());
    EXPECT_TRUE(run_until([&] { return viewer->button(u"btnLandscape")->is_enabled(); }));
    EXPECT_EQ(viewer->queued_count(), 0);
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
}

TEST_F(ViewerTest, QueueRefusesDuplicatesAndPrunesWhatPanesNoLongerNeed)
{
    open({picture("big.jpg", {1600, 1200}, true)}, 0);
    ASSERT_TRUE(run_until([&] { return center_sharp() && viewer->queued_count() == 0; }));
    PicturePane* center = &viewer->pane_at(1);
    {
        MutexLock hold(viewer->tile_lock());
        viewer->add_tile(center, 5, 4, 3);  // first: the worker may be on it, never pruned
        viewer->add_tile(center, 5, 4, 3);
        EXPECT_EQ(viewer->queued_count(), 1);
        viewer->add_tile(center, 6, 4, 3);  // the pane has no entry for it
        EXPECT_EQ(viewer->queued_count(), 2);
        viewer->add_tile(center, 1, 1, 3);  // prunes (6, 4) before it is queued
        EXPECT_EQ(viewer->queued_count(), 2);
        viewer->add_tile(center, 5, 4, 3);  // prunes (1, 1), refuses the duplicate of the first
        EXPECT_EQ(viewer->queued_count(), 1);
        // A tile the pane still shows is kept by the pruning.
        viewer->add_tile(center, 0, 0, 0);
        viewer->add_tile(center, 6, 4, 3);
        EXPECT_EQ(viewer->queued_count(), 3);
        // clear_slot keeps only the first request.
        viewer->clear_slot(1);
        EXPECT_EQ(viewer->queued_count(), 1);
    }
    EXPECT_TRUE(run_until([&] { return viewer->queued_count() == 0; }));
}

TEST_F(ViewerTest, TilesOfAnEarlierLoadAreNeverDelivered)
{
    open({picture("first.jpg", {1600, 1200}, true)}, 0);
    viewer->draw(surface, {0, 0});
    // The worker makes every tile; no frame hands them over yet.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((viewer->queued_count() > 0 || viewer->finished_count() == 0) && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    ASSERT_GT(viewer->finished_count(), 0);
    // The slot is loaded again and asks for the same tiles anew.
    viewer->load_slot(1);
    viewer->fit_slot(1);
    {
        MutexLock hold(viewer->tile_lock());
        viewer->draw(surface, {0, 0});
        for (int i = 0; i < 20; ++i) viewer->update(0.02);
        EXPECT_EQ(viewer->finished_count(), 0);
        EXPECT_FALSE(viewer->pane_at(1).has_real_tile(0, 0, 0));
    }
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
}

TEST_F(ViewerTest, PendingPreviewIsPrioritisedAndReloadedOnlyWhenItShowedAPlaceholder)
{
    TempFolder program("viewer_library");
    PhotoLibrary library(from_utf8(program.path() + "/folders.ini"), false);
    std::vector<String> pictures;
    for (int i = 0; i < 5; ++i) pictures.push_back(picture("q" + std::to_string(i) + ".jpg", {640 + i, 480}, false));
    library.set_current_folder(from_utf8(album));
    for (const String& path : pictures) library.add_picture(path, from_utf8(card));
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
    std::filesystem::resize_file(to_utf8(pictures[4]), 10);
    viewer->load_slot(2);
    viewer->fit_slot(2);
    EXPECT_FALSE(viewer->slot_at(2).direct_ok);
    EXPECT_EQ(viewer->pane_at(2).tile_size().width, 64);
    ASSERT_TRUE(write_jpeg(to_utf8(pictures[4]), 640, 480));
    ASSERT_EQ(build_preview(pictures[4], from_utf8(card)), PreviewBuild::ready);
    complete.picture_path = pictures[4];
    viewer->on_library_event(complete);
    EXPECT_EQ(viewer->slot_at(2).state, slot_preview_ready);
    EXPECT_EQ(viewer->pane_at(2).tile_size().width, 256);
    viewer->close();
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
    open({picture("s0.jpg", {640, 480}, true), picture("s1.jpg", {641, 480}, true)}, 0);
    PicturePane& center = viewer->pane_at(1);
    auto drag = [&](int dx) {
        center.on_stylus({120, 160, 0, 0, true, false});
        for (int i = 1; i <= 10; ++i) center.on_stylus_move({120 + dx * i / 10, 160, 300 * i});
        center.on_stylus({120 + dx, 160, 3100, 0, false, false});
    };
    drag(100);  // towards a previous picture that does not exist
    EXPECT_FALSE(viewer->is_sliding());
    ASSERT_TRUE(run_until([&] { return center.overscroll() == 0.0; }));
    drag(-40);  // less than a quarter of 240
    EXPECT_FALSE(viewer->is_sliding());
    ASSERT_TRUE(run_until([&] { return center.overscroll() == 0.0; }));
    // The side pane follows with its gap while the picture is dragged.
    center.on_stylus({120, 160, 0, 0, true, false});
    center.on_stylus_move({60, 160, 100});
    frame();
    EXPECT_NEAR(viewer->pane_at(2).picture_span().x - center.picture_span().y, PictureViewer::picture_gap, 1.0);
    center.on_stylus({60, 160, 3000, 0, false, false});
    ASSERT_TRUE(run_until([&] { return center.overscroll() == 0.0; }));
    drag(-100);
    EXPECT_TRUE(viewer->is_sliding());
    EXPECT_TRUE(run_until([&] { return viewer->index() == 1; }));
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

TEST_F(ViewerTest, QuickStepsAcrossFiftyPicturesKeepTheQueueBounded)
{
    std::vector<String> pictures;
    for (int i = 0; i < 50; ++i) pictures.push_back(picture("m" + std::to_string(i) + ".jpg", {400 + i, 300}, i % 2 == 0));
    open(pictures, 0);
    int most = 0;
    for (int i = 0; i < 49; ++i) {
        frame();
        viewer->step_right();
        if (i % 7 == 0) viewer->toggle_landscape();
        most = std::max(most, viewer->queued_count());
    }
    EXPECT_EQ(viewer->index(), 49);
    EXPECT_LE(most, 3 * viewer->pane_at(1).cache_capacity() + 1);
    EXPECT_TRUE(run_until([&] { return center_sharp(); }));
}

TEST_F(ViewerTest, ClosingAndDestroyingWhileTheWorkerDecodes)
{
    open({picture("large.jpg", {3000, 2000}, false), picture("large2.jpg", {3001, 2000}, false)}, 0);
    viewer->pane_at(1).set_zoom(viewer->pane_at(1).top_level());
    frame();
    viewer->close();
    EXPECT_FALSE(viewer->is_opened());
    viewer.reset();
}
