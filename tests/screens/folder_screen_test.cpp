// The folder screen: thumbnails per row, opening an album (size and key
// picture corrections, a vanished folder), the row fill states, progressive
// loading and the library's events.

#include "elements/image_element.h"
#include "elements/progress_bar.h"
#include "library/preview_file.h"
#include "platform/file.h"
#include "screens/folder_screen.h"
#include "screens/thumbnail.h"
#include "screens_test_support.h"
#include "tests/library/exif_test_pictures.h"
#include "tests/pixel_compare.h"

namespace {

TEST(FolderPerRow, FollowsTheDesignWidthBetweenOneAndSix)
{
    EXPECT_EQ(FolderScreen::per_row_for_width(240), 4);
    EXPECT_EQ(FolderScreen::per_row_for_width(320), 5);
    EXPECT_EQ(FolderScreen::per_row_for_width(176), 2);
    EXPECT_EQ(FolderScreen::per_row_for_width(355), 5);
    EXPECT_EQ(FolderScreen::per_row_for_width(356), 6);
    EXPECT_EQ(FolderScreen::per_row_for_width(2000), 6);
    // Narrower than one thumbnail: still one per row, never a division by zero.
    EXPECT_EQ(FolderScreen::per_row_for_width(65), 1);
    EXPECT_EQ(FolderScreen::per_row_for_width(0), 1);
    EXPECT_EQ(FolderScreen::per_row_for_width(-40), 1);
}

class FolderScreenTest : public ScreenTest {
protected:
    // A screen opened on an album of count pictures, placed at width x 320.
    std::unique_ptr<FolderScreen> open_album(int count, int recorded_size, int width = 240)
    {
        for (int i = 0; i < count; ++i)
            tree.picture("card/Trip/IMG_" + std::to_string(i) + ".jpg");
        start_library({album_of("Trip", "IMG_0.jpg", recorded_size)});
        auto screen = std::make_unique<FolderScreen>(skin);
        screen->set_horizontal(0, width);
        screen->set_vertical(0, 320);
        screen->open(library->get_folder(0));
        return screen;
    }

    // The row of index, filled.
    std::unique_ptr<ListRow> filled_row(FolderScreen& screen, int index)
    {
        std::unique_ptr<ListRow> row(screen.create_row(*screen.list(), index));
        row->set_index(index);
        row->fill(*screen.list(), true);
        return row;
    }
};

TEST_F(FolderScreenTest, OpeningCorrectsTheAlbumSizeInTheLibrary)
{
    auto screen = open_album(7, 3);
    EXPECT_EQ(screen->pictures().size(), 7u);
    EXPECT_EQ(library->get_folder(0).size, 7);
    EXPECT_EQ(read_folders_file(tree.path16("folders.ini")).at(0).size, 7);
    EXPECT_EQ(screen->per_row(), 4);
    EXPECT_EQ(screen->row_count(), 2);
    EXPECT_EQ(screen->list()->count(), 2);
}

TEST_F(FolderScreenTest, OpeningMakesTheFirstPictureTheKeyPicture)
{
    tree.picture("card/Trip/b.jpg");
    start_library({album_of("Trip", "gone.jpg", 1)});
    FolderScreen screen(skin);
    screen.set_horizontal(0, 240);
    screen.open(library->get_folder(0));
    ASSERT_EQ(screen.pictures().size(), 1u);
    EXPECT_EQ(library->get_folder(0).key_picture_path, screen.pictures().front());
}

TEST_F(FolderScreenTest, AVanishedFolderOpensAsAnEmptyGrid)
{
    start_library({album_of("Deleted", "IMG_0.jpg", 12)});
    FolderScreen screen(skin);
    screen.set_horizontal(0, 240);
    screen.open(library->get_folder(0));
    EXPECT_TRUE(screen.pictures().empty());
    EXPECT_EQ(screen.list()->count(), 0);
    EXPECT_EQ(library->get_folders_size() == 0 || library->get_folder(0).size == 0, true);
    for (int frame = 0; frame < 3; ++frame)
        screen.update(0.02);
}

TEST_F(FolderScreenTest, RowsShowTheirPicturesAndHideTheRest)
{
    auto screen = open_album(7, 7);
    ASSERT_EQ(screen->per_row(), 4);
    auto last = filled_row(*screen, 1);
    for (int i = 0; i < FolderScreen::max_per_row; ++i) {
        auto* button = last->find_by_id(u"button" + from_ascii(std::to_string(i)));
        ASSERT_NE(button, nullptr);
        auto* image = button->find_by_id(u"image");
        // Three pictures in the second row; the fourth slot keeps its button.
        EXPECT_EQ(button->is_visible(), i < 4) << i;
        EXPECT_EQ(image->is_visible(), i < 3) << i;
    }
    auto first = filled_row(*screen, 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(first->find_by_id(u"button" + from_ascii(std::to_string(i)))->find_by_id(u"image")->is_visible());
}

TEST_F(FolderScreenTest, ThumbnailsLoadOnePerFrameAndQueueMissingPreviews)
{
    auto screen = open_album(5, 5);
    for (int frame = 1; frame <= 5; ++frame) {
        screen->update(0.02);
        EXPECT_EQ(screen->next_load(), frame);
    }
    screen->update(0.02);
    EXPECT_EQ(screen->next_load(), 5);
    // No preview exists: every picture waits in the library's queue, none is bad.
    EXPECT_EQ(library->queued_pictures(screen->album().folder_path).size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(screen->is_bad(i));
    auto row = filled_row(*screen, 0);
    auto* image = static_cast<ImageElement*>(row->find_by_id(u"button0")->find_by_id(u"image"));
    auto* loading = static_cast<ImageElement*>(row->find_by_id(u"loading"));
    EXPECT_TRUE(image->picture() == loading->picture());
}

// Every frame loads one thumbnail; the rows of the list are filled again
// only as they are completed. Returned: the (frame, row) of every refresh.
// A refresh shows the row's first button again, so hiding it after each
// frame tells which rows were filled.
std::vector<std::pair<int, int>> refreshes_while_loading(FolderScreen& screen, int frames)
{
    VirtualList& list = *screen.list();
    list.fill();
    EXPECT_EQ(static_cast<int>(list.rows().size()), screen.row_count()) << "every row is on the screen";
    const auto hide_first_buttons = [&list] {
        for (const auto& row : list.rows())
            row->find_by_id(u"button0")->set_visible(false);
    };
    hide_first_buttons();
    std::vector<std::pair<int, int>> refreshes;
    for (int frame = 1; frame <= frames; ++frame) {
        screen.update(0.02);
        for (const auto& row : list.rows())
            if (row->find_by_id(u"button0")->is_visible())
                refreshes.emplace_back(frame, row->index());
        hide_first_buttons();
    }
    return refreshes;
}

TEST_F(FolderScreenTest, ARowIsFilledOnceItsThumbnailsAreLoadedAndTheLastTwoAtTheEnd)
{
    auto screen = open_album(7, 7);
    ASSERT_EQ(screen->per_row(), 4);
    tree.make_dir("card/!pictaviocache");
    for (const String& picture : screen->pictures())
        ASSERT_EQ(build_preview(picture, screen->album().drive_path), PreviewBuild::ready);
    // Row 0 when the load reaches picture 4; rows 1 and 0 once picture 6 is loaded.
    using Refreshes = std::vector<std::pair<int, int>>;
    EXPECT_EQ(refreshes_while_loading(*screen, 9), (Refreshes{{5, 0}, {7, 0}, {7, 1}}));
    // Filled after their last thumbnail, the rows show every thumbnail.
    for (const auto& row : screen->list()->rows()) {
        const int shown = row->index() == 0 ? 4 : 3;
        for (int i = 0; i < shown; ++i) {
            auto* image = static_cast<ImageElement*>(
                row->find_by_id(u"button" + from_ascii(std::to_string(i)))->find_by_id(u"image"));
            EXPECT_TRUE(image->picture() == screen->thumbnail(row->index() * 4 + i)) << row->index() << " " << i;
        }
    }
}

TEST_F(FolderScreenTest, AFullLastRowIsFilledOnceAtTheEnd)
{
    auto screen = open_album(8, 8);
    ASSERT_EQ(screen->per_row(), 4);
    using Refreshes = std::vector<std::pair<int, int>>;
    EXPECT_EQ(refreshes_while_loading(*screen, 10), (Refreshes{{5, 0}, {8, 1}}));
}

TEST_F(FolderScreenTest, ASingleShortRowIsFilledWhenItsOnlyThumbnailIsLoaded)
{
    auto screen = open_album(1, 1);
    using Refreshes = std::vector<std::pair<int, int>>;
    EXPECT_EQ(refreshes_while_loading(*screen, 3), (Refreshes{{1, 0}}));
}

TEST_F(FolderScreenTest, FinishedPicturesOfTheAlbumAreShownAndOthersIgnored)
{
    auto screen = open_album(2, 2);
    const String picture = screen->pictures()[1];
    tree.make_dir("card/!pictaviocache");
    ASSERT_EQ(build_preview(picture, screen->album().drive_path), PreviewBuild::ready);
    LibraryEvent other;
    other.picture_complete = true;
    other.picture_path = tree.path16("card/Elsewhere/x.jpg");
    screen->on_library_event(other);
    EXPECT_EQ(screen->thumbnail(1).bitmap, SkinBitmap::empty());

    LibraryEvent done;
    done.picture_complete = true;
    done.picture_path = picture;
    screen->on_library_event(done);
    ASSERT_NE(screen->thumbnail(1).bitmap, SkinBitmap::empty());
    EXPECT_EQ(screen->thumbnail(1).size().width, 56);
    EXPECT_EQ(screen->thumbnail(0).bitmap, SkinBitmap::empty());
}

TEST_F(FolderScreenTest, ProgressShowsWhileThePreviewsAreBuilt)
{
    auto screen = open_album(1, 1);
    auto* progress = static_cast<ProgressBar*>(screen->find_by_id(u"progress"));
    EXPECT_FALSE(progress->is_visible());
    LibraryEvent event;
    event.progress = true;
    event.progress_ratio = 0.25;
    screen->on_library_event(event);
    EXPECT_TRUE(progress->is_visible());
    EXPECT_DOUBLE_EQ(progress->value(), 0.25);
    LibraryEvent complete;
    complete.cache_complete = true;
    screen->on_library_event(complete);
    EXPECT_FALSE(progress->is_visible());
}

TEST_F(FolderScreenTest, ANewWidthRecomputesThePicturesPerRow)
{
    auto screen = open_album(12, 12);
    EXPECT_EQ(screen->per_row(), 4);
    // The first frame after opening places the screen at its width.
    screen->layout_horizontal();
    screen->set_horizontal(0, 320);
    EXPECT_EQ(screen->per_row(), 5);
    EXPECT_EQ(screen->list()->count(), 3);
}

// Opening computes per_row for the screen's width; the placement that
// follows only records its width and does not reset the list again.
TEST_F(FolderScreenTest, TheFirstPlacementAfterOpeningOnlyRecordsTheWidth)
{
    auto screen = open_album(12, 12);
    ASSERT_EQ(screen->per_row(), 4);
    screen->list()->fill();
    ASSERT_FALSE(screen->list()->rows().empty());
    screen->set_horizontal(0, 320);
    EXPECT_EQ(screen->per_row(), 4);
    EXPECT_FALSE(screen->list()->rows().empty()) << "the list was reset";
    // From then on a new width counts.
    screen->set_horizontal(0, 240);
    screen->set_horizontal(0, 320);
    EXPECT_EQ(screen->per_row(), 5);
}

TEST_F(FolderScreenTest, AReloadKeepsTheOpenAlbum)
{
    auto screen = open_album(6, 6);
    screen->update(0.02);
    skin.send_reload_skin();
    EXPECT_EQ(screen->pictures().size(), 6u);
    EXPECT_EQ(screen->list()->count(), 2);
    EXPECT_EQ(static_cast<Button*>(screen->find_by_id(u"btnText"))->caption(), u"Trip");
}

class ThumbnailTest : public ScreenTest {};

TEST_F(ThumbnailTest, ReadyPendingAndBadPreviews)
{
    const String root = tree.path16("card") + u"/";
    tree.make_dir("card/!pictaviocache");
    tree.picture("card/A/good.jpg", 120, 80);
    tree.file("card/A/broken.jpg", "not a picture at all");
    const SkinPicture frame;
    SkinPicture result;
    const Size size{56, 56};
    EXPECT_EQ(make_framed_thumbnail(tree.path16("card/A/good.jpg"), root, frame, size, result),
              ThumbnailState::pending);
    EXPECT_EQ(make_framed_thumbnail(tree.path16("card/A/missing.jpg"), root, frame, size, result), ThumbnailState::bad);

    ASSERT_EQ(build_preview(tree.path16("card/A/good.jpg"), root), PreviewBuild::ready);
    ASSERT_EQ(build_preview(tree.path16("card/A/broken.jpg"), root), PreviewBuild::bad_picture);
    // The library marks a picture that cannot be decoded by an empty preview file.
    std::ofstream(to_utf8(preview_path(tree.path16("card/A/broken.jpg"), root)), std::ios::trunc);
    ASSERT_EQ(make_framed_thumbnail(tree.path16("card/A/good.jpg"), root, frame, size, result), ThumbnailState::made);
    EXPECT_EQ(result.size().width, 56);
    EXPECT_EQ(result.size().height, 56);
    // Drawn through a translucent copy, a pixel without the opacity flag would
    // take colour from what lies below: every pixel of the thumbnail is opaque.
    const PixelBuffer& pixels = *result.bitmap->pixels();
    int translucent = 0;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            translucent += (pixels.at(x, y) & 0x0020) == 0 ? 1 : 0;
    EXPECT_EQ(translucent, 0);
    EXPECT_EQ(make_framed_thumbnail(tree.path16("card/A/broken.jpg"), root, frame, size, result), ThumbnailState::bad);
    EXPECT_EQ(make_framed_thumbnail(tree.path16("card/A/good.jpg"), root, frame, Size{0, 0}, result),
              ThumbnailState::bad);
}

// A cell larger than the stored thumbnail is made from the preview's levels;
// with a damaged level it falls back to the stored thumbnail, still made.
TEST_F(ThumbnailTest, LargeCellsComeFromTheLevelsAndFallBackToTheStoredThumbnail)
{
    const String root = tree.path16("card") + u"/";
    tree.make_dir("card/!pictaviocache");
    tree.picture("card/A/big.jpg", 1200, 900);
    const String picture = tree.path16("card/A/big.jpg");
    ASSERT_EQ(build_preview(picture, root), PreviewBuild::ready);
    const SkinPicture frame;
    SkinPicture sharp;
    ASSERT_EQ(make_framed_thumbnail(picture, root, frame, Size{112, 112}, sharp), ThumbnailState::made);
    ASSERT_EQ(sharp.size(), (Size{112, 112}));
    // Break the JPEG of every stored level; the stored thumbnail stays whole.
    {
        File preview(preview_path(picture, root), File::read_write_mode);
        PreviewTable table;
        ASSERT_TRUE(read_preview_table(preview, -1, table));
        const std::vector<std::uint8_t> zeros(64, 0);
        for (int level = 1; level <= table.levels; ++level) {
            ASSERT_TRUE(preview.seek(table.entries[level].jpeg_offset));
            ASSERT_EQ(preview.write(zeros.data(), 64), 64u);
        }
    }
    SkinPicture fallback;
    ASSERT_EQ(make_framed_thumbnail(picture, root, frame, Size{112, 112}, fallback), ThumbnailState::made);
    ASSERT_EQ(fallback.size(), (Size{112, 112}));
    int differing = 0;
    for (int y = 0; y < 112; ++y)
        for (int x = 0; x < 112; ++x)
            differing += sharp.bitmap->pixels()->at(x, y) != fallback.bitmap->pixels()->at(x, y);
    EXPECT_GT(differing, 112 * 112 / 4);
}

}  // namespace

// ---- pictures with an EXIF orientation tag ----

namespace {

class FolderOrientationTest : public FolderScreenTest {
protected:
    // Picture name of the album "Trip" holding the asymmetric picture stored
    // for tag (0: no EXIF data), with an embedded thumbnail when given.
    String write_tagged(const std::string& name, int tag, const std::vector<std::uint8_t>& thumbnail = {})
    {
        const std::string relative = "card/Trip/" + name;
        std::filesystem::create_directories(std::filesystem::path(tree.path(relative)).parent_path());
        EXPECT_TRUE(exif_test::write_file(
            tree.path(relative),
            exif_test::with_distinct_size(exif_test::tagged_picture(tag, picture_size, thumbnail), tag)));
        return tree.path16(relative);
    }
    std::unique_ptr<FolderScreen> open_trip(const std::string& key, int count)
    {
        start_library({album_of("Trip", key, count)});
        auto screen = std::make_unique<FolderScreen>(skin);
        screen->set_horizontal(0, 240);
        screen->set_vertical(0, 320);
        screen->open(library->get_folder(0));
        for (int frame = 0; frame <= count; ++frame)
            screen->update(0.02);
        return screen;
    }
    static int index_of(const FolderScreen& screen, const String& picture)
    {
        const auto& pictures = screen.pictures();
        return static_cast<int>(std::find(pictures.begin(), pictures.end(), picture) - pictures.begin());
    }

    // 1024 x 768 (L = 2): the quarters meet on MCU borders of every level and
    // of the thumbnail's 128 x 96 source and 64 x 64 square.
    const Size picture_size{1024, 768};
};

}  // namespace

TEST_F(FolderOrientationTest, EveryTagShowsTheUprightThumbnail)
{
    tree.make_dir("card/!pictaviocache");
    std::vector<String> pictures;
    for (int tag = 0; tag <= 8; ++tag) {
        pictures.push_back(write_tagged("t" + std::to_string(tag) + ".jpg", tag));
        ASSERT_EQ(build_preview(pictures.back(), tree.path16("card") + u"/"), PreviewBuild::ready);
    }
    auto screen = open_trip("t0.jpg", 9);
    const SkinPicture& upright = screen->thumbnail(index_of(*screen, pictures[0]));
    ASSERT_NE(upright.bitmap, SkinBitmap::empty());
    for (int tag = 1; tag <= 8; ++tag) {
        const SkinPicture& shown = screen->thumbnail(index_of(*screen, pictures[tag]));
        ASSERT_NE(shown.bitmap, SkinBitmap::empty()) << tag;
        EXPECT_TRUE(pixels_near(*shown.bitmap->pixels(), *upright.bitmap->pixels(), 1)) << tag;
    }
}

// While the preview is pending the grid shows the picture's embedded
// thumbnail, turned as tagged; the finished preview replaces it.
TEST_F(FolderOrientationTest, EmbeddedThumbnailStandsInUntilThePreviewIsComplete)
{
    const int tag = 6;
    const String picture = write_tagged("camera.jpg", tag, exif_test::embedded_thumbnail(tag, {160, 96}));
    auto screen = open_trip("camera.jpg", 1);
    EXPECT_FALSE(screen->is_bad(0));
    EXPECT_EQ(library->queued_pictures(screen->album().folder_path).size(), 1u);
    ASSERT_NE(screen->thumbnail(0).bitmap, SkinBitmap::empty());
    const SkinPicture embedded = screen->thumbnail(0);
    auto row = filled_row(*screen, 0);
    EXPECT_TRUE(static_cast<ImageElement*>(row->find_by_id(u"button0")->find_by_id(u"image"))->picture() == embedded);
    // The embedded square's quarters, upright, inside the frame's edge.
    expect_quarters(*embedded.bitmap->pixels(), exif_test::thumbnail_colours);

    tree.make_dir("card/!pictaviocache");
    ASSERT_EQ(build_preview(picture, screen->album().drive_path), PreviewBuild::ready);
    LibraryEvent done;
    done.picture_complete = true;
    done.picture_path = picture;
    screen->on_library_event(done);
    const SkinPicture& real = screen->thumbnail(0);
    ASSERT_NE(real.bitmap, SkinBitmap::empty());
    EXPECT_NE(real.bitmap, embedded.bitmap);
    expect_quarters(*real.bitmap->pixels(), exif_test::quarter_colours);
}

TEST_F(FolderOrientationTest, DamagedEmbeddedThumbnailLeavesTheLoadingLook)
{
    std::vector<std::uint8_t> damaged = exif_test::embedded_thumbnail(1, {160, 96});
    damaged.resize(damaged.size() / 2);
    write_tagged("damaged.jpg", 1, damaged);
    auto screen = open_trip("damaged.jpg", 1);
    EXPECT_FALSE(screen->is_bad(0));
    EXPECT_EQ(screen->thumbnail(0).bitmap, SkinBitmap::empty());
    auto row = filled_row(*screen, 0);
    EXPECT_TRUE(static_cast<ImageElement*>(row->find_by_id(u"button0")->find_by_id(u"image"))->picture() ==
                static_cast<ImageElement*>(row->find_by_id(u"loading"))->picture());
}
