// The album screen: the warning without albums, the rows and their looks,
// searching, the library's events, the menus and a reload that keeps the
// list's place.

#include "elements/image_element.h"
#include "elements/progress_bar.h"
#include "elements/text_element.h"
#include "library/preview_file.h"
#include "platform/key_codes.h"
#include "screens/album_screen.h"
#include "screens/folder_screen.h"
#include "screens/menu_screen.h"
#include "screens_test_support.h"
#include "tests/pixel_compare.h"

namespace {

class AlbumScreenTest : public ScreenTest {
protected:
    // Albums "A0" ... of one picture each on the card.
    std::vector<Folder> albums(int count)
    {
        std::vector<Folder> list;
        for (int i = 0; i < count; ++i) {
            const std::string folder = "A" + std::to_string(i);
            tree.picture("card/" + folder + "/key.jpg");
            list.push_back(album_of(folder, "key.jpg", 1));
        }
        return list;
    }

    std::unique_ptr<AlbumScreen> make_screen()
    {
        auto screen = std::make_unique<AlbumScreen>(skin);
        screen->set_horizontal(0, 240);
        screen->set_vertical(0, 320);
        return screen;
    }

    static LibraryEvent event_with(bool LibraryEvent::*flag)
    {
        LibraryEvent event;
        event.*flag = true;
        return event;
    }
};

TEST_F(AlbumScreenTest, WithoutAlbumsTheWarningStays)
{
    start_library();
    auto screen = make_screen();
    EXPECT_TRUE(screen->warning_image()->is_visible());
    EXPECT_TRUE(screen->warning_text()->is_visible());
    EXPECT_EQ(screen->warning_text()->text(), skin.translate(u"WARNING_MESSAGE"));
    EXPECT_NE(screen->warning_text()->text(), u"WARNING_MESSAGE");
    EXPECT_FALSE(screen->progress()->is_visible());
    EXPECT_EQ(screen->list()->count(), 0);
    // An event that brings no album leaves it so.
    screen->on_library_event(event_with(&LibraryEvent::folders_changed));
    EXPECT_TRUE(screen->warning_image()->is_visible());
}

TEST_F(AlbumScreenTest, AlbumsReplaceTheWarning)
{
    start_library(albums(3));
    auto screen = make_screen();
    EXPECT_EQ(screen->list()->count(), 3);
    EXPECT_TRUE(screen->list()->is_visible());
    EXPECT_FALSE(screen->warning_image()->is_visible());
    EXPECT_FALSE(screen->warning_text()->is_visible());
}

TEST_F(AlbumScreenTest, RowsShowNameSizeAndTheLoadingLookUntilThePreviewExists)
{
    start_library(albums(1));
    auto screen = make_screen();
    std::unique_ptr<ListRow> row(screen->create_row(*screen->list(), 0));
    ASSERT_NE(row, nullptr);
    row->set_index(0);
    row->fill(*screen->list(), true);
    EXPECT_EQ(static_cast<TextElement*>(row->find_by_id(u"name"))->text(), u"A0");
    EXPECT_EQ(static_cast<TextElement*>(row->find_by_id(u"count"))->text(), u"1");
    auto* image = static_cast<ImageElement*>(row->find_by_id(u"image"));
    auto* loading = static_cast<ImageElement*>(row->find_by_id(u"loading"));
    EXPECT_TRUE(image->picture() == loading->picture());
    EXPECT_FALSE(loading->is_visible());
    // The missing preview was queued.
    EXPECT_EQ(library->queued_pictures(library->get_folder(0).folder_path).size(), 1u);
    // Past the end of the list there is no row.
    EXPECT_EQ(screen->create_row(*screen->list(), 1), nullptr);
}

TEST_F(AlbumScreenTest, AKeyPictureThatCannotBeReadShowsTheBadLook)
{
    std::vector<Folder> list = albums(1);
    list[0].key_picture_path = tree.path16("card/A0/vanished.jpg");
    start_library(list);
    auto screen = make_screen();
    std::unique_ptr<ListRow> row(screen->create_row(*screen->list(), 0));
    row->set_index(0);
    row->fill(*screen->list(), true);
    auto* image = static_cast<ImageElement*>(row->find_by_id(u"image"));
    auto* bad = static_cast<ImageElement*>(row->find_by_id(u"bad"));
    EXPECT_TRUE(image->picture() == bad->picture());
}

TEST_F(AlbumScreenTest, SearchDisablesTheButtonAndMakesEmptyRowsUntilItCompletes)
{
    start_library(albums(2));
    auto screen = make_screen();
    Button* search = screen->search_button();
    search->on_stylus({search->x() + 5, search->y() + 5, 0, 0, true, false});
    search->on_stylus({search->x() + 5, search->y() + 5, 10, 0, false, false});
    EXPECT_TRUE(screen->is_searching());
    EXPECT_FALSE(search->is_enabled());
    std::unique_ptr<ListRow> placeholder(screen->create_row(*screen->list(), 0));
    EXPECT_TRUE(placeholder->children().empty());

    // The worker is not running: the search completes with nothing queued.
    screen->on_library_event(event_with(&LibraryEvent::search_complete));
    EXPECT_FALSE(screen->is_searching());
    EXPECT_TRUE(search->is_enabled());
    std::unique_ptr<ListRow> row(screen->create_row(*screen->list(), 0));
    EXPECT_FALSE(row->children().empty());
}

TEST_F(AlbumScreenTest, ASearchThatQueuedPreviewsKeepsTheButtonDisabledUntilTheyAreDone)
{
    start_library(albums(1));
    auto screen = make_screen();
    screen->on_click(screen->search_button(), ButtonEvent{});
    library->add_picture(library->get_folder(0).key_picture_path, library->get_folder(0).drive_path);
    screen->on_library_event(event_with(&LibraryEvent::search_complete));
    EXPECT_FALSE(screen->search_button()->is_enabled());
    LibraryEvent progress = event_with(&LibraryEvent::progress);
    progress.progress_ratio = 0.5;
    screen->on_library_event(progress);
    EXPECT_TRUE(screen->progress()->is_visible());
    EXPECT_DOUBLE_EQ(screen->progress()->value(), 0.5);
    screen->on_library_event(event_with(&LibraryEvent::cache_complete));
    EXPECT_FALSE(screen->progress()->is_visible());
    EXPECT_TRUE(screen->search_button()->is_enabled());
}

// Both key pictures get their previews after the rows were filled with the
// loading look: only the row of the album whose key picture was completed
// is filled again and shows its thumbnail.
TEST_F(AlbumScreenTest, PictureCompleteRefreshesOnlyKeyPictures)
{
    start_library(albums(2));
    auto screen = make_screen();
    screen->list()->fill();
    ASSERT_EQ(screen->list()->rows().size(), 2u);
    const auto image_of = [&screen](int row) {
        return static_cast<ImageElement*>(screen->list()->rows()[row]->find_by_id(u"image"));
    };
    const SkinPicture loading =
        static_cast<ImageElement*>(screen->list()->rows()[0]->find_by_id(u"loading"))->picture();
    ASSERT_TRUE(image_of(0)->picture() == loading);
    ASSERT_TRUE(image_of(1)->picture() == loading);
    tree.make_dir("card/!pictaviocache");
    for (int album = 0; album < 2; ++album)
        ASSERT_EQ(build_preview(library->get_folder(album).key_picture_path, library->get_folder(album).drive_path),
                  PreviewBuild::ready);

    LibraryEvent other = event_with(&LibraryEvent::picture_complete);
    other.picture_path = tree.path16("card/A0/not-the-key.jpg");
    screen->on_library_event(other);
    EXPECT_TRUE(image_of(0)->picture() == loading) << "a picture that is no key picture refreshes no row";
    LibraryEvent key = event_with(&LibraryEvent::picture_complete);
    key.picture_path = library->get_folder(1).key_picture_path;
    screen->on_library_event(key);
    EXPECT_EQ(screen->list()->count(), 2);
    EXPECT_TRUE(image_of(0)->picture() == loading);
    EXPECT_FALSE(image_of(1)->picture() == loading);
    EXPECT_NE(image_of(1)->picture().bitmap, SkinBitmap::empty()) << "the thumbnail made from the preview";
}

TEST_F(AlbumScreenTest, MainMenuAndExitConfirmation)
{
    start_library();
    auto screen = make_screen();
    String caption;
    MenuItems items;
    screen->on_menu(screen->popup(), u"MainMenu", caption, items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].key, u"Back");
    EXPECT_EQ(items[0].node, u"MenuElementCancel");
    EXPECT_EQ(items[1].key, u"Exit");
    EXPECT_TRUE(items[1].node.empty());

    screen->on_menu(screen->popup(), u"Exit", caption, items);
    EXPECT_EQ(caption, skin.translate(u"ExitCaption"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].key, u"ReallyExit");
    EXPECT_EQ(items[0].node, u"MenuElementRed");
    EXPECT_EQ(items[1].key, u"Cancel");
    EXPECT_EQ(items[1].node, u"MenuElementCancel");

    // Final choices bring no items, so the popup closes.
    for (StringView id : {u"Back", u"Cancel", u"Unknown"}) {
        screen->on_menu(screen->popup(), id, caption, items);
        EXPECT_TRUE(items.empty());
    }
}

TEST_F(AlbumScreenTest, TheMenuKeysNeedTheScreenOnTop)
{
    start_library();
    auto screen = make_screen();
    // Without an application no screen is on top: the keys pass on.
    EXPECT_FALSE(screen->on_key(KeyEvent{key_soft_left, true, true}));
    EXPECT_FALSE(screen->on_key(KeyEvent{key_enter, true, true}));
}

TEST_F(AlbumScreenTest, AReloadKeepsTheAlbumsAndTheListsPlace)
{
    start_library(albums(12));
    auto screen = make_screen();
    for (int frame = 0; frame < 3; ++frame)
        screen->update(0.02);
    screen->list()->set_offset(-150.0);
    const double offset = screen->list()->offset();
    ASSERT_LT(offset, 0.0);
    skin.translations().load_language_file(from_utf8(std::string(PICTAVIO_SOURCE_DIR) + "/data/russian.lng"));
    skin.send_reload_skin();
    EXPECT_EQ(screen->list()->count(), 12);
    EXPECT_DOUBLE_EQ(screen->list()->offset(), offset);
    EXPECT_FALSE(screen->warning_text()->is_visible());
    EXPECT_EQ(screen->warning_text()->text(), skin.translate(u"WARNING_MESSAGE"));
}

class MenuScreenTest : public ScreenTest {};

TEST_F(MenuScreenTest, ButtonsTakeTheLanguagesTexts)
{
    MenuScreen screen(skin);
    EXPECT_EQ(static_cast<Button*>(screen.find_by_id(u"btnExit"))->caption(), skin.translate(u"Exit"));
    EXPECT_EQ(static_cast<Button*>(screen.find_by_id(u"btnLanguage"))->caption(), skin.translate(u"Language"));
    skin.translations().load_language_file(from_utf8(std::string(PICTAVIO_SOURCE_DIR) + "/data/german.lng"));
    skin.send_reload_skin();
    EXPECT_EQ(static_cast<Button*>(screen.find_by_id(u"btnExit"))->caption(), u"Beenden");
}

TEST_F(MenuScreenTest, HelpOpensThePageOfTheLanguage)
{
    MenuScreen screen(skin);
    EXPECT_EQ(screen.help_path(), u"%app_path%/help/english.html");
    // A language without the key opens the key itself.
    tree.file("bare.lng", std::string("\xFF\xFE", 2) + std::string("A\0=\0B\0", 6));
    ASSERT_TRUE(skin.translations().load_language_file(tree.path16("bare.lng")));
    EXPECT_EQ(screen.help_path(), u"%app_path%/Help_link");
}

TEST_F(MenuScreenTest, EveryLanguageShipsItsHelpPage)
{
    for (const char* language : {"english", "russian", "german"}) {
        Translations translations;
        ASSERT_TRUE(translations.load_language_file(
            from_utf8(std::string(PICTAVIO_SOURCE_DIR) + "/data/" + language + ".lng")));
        const std::string page = to_utf8(translations.translate(u"Help_link"));
        EXPECT_TRUE(std::filesystem::exists(std::string(PICTAVIO_PROGRAM_DIR) + "/" + page)) << page;
        for (const char* key : {"WARNING_MESSAGE", "ExitCaption", "MainMenu", "Albums", "Menu", "Version", "AboutText",
                                "ReallyExit", "Cancel", "Back", "Exit", "of"})
            EXPECT_EQ(translations.texts().count(from_ascii(key)), 1u) << language << " " << key;
    }
}

TEST_F(MenuScreenTest, TheLanguageMenuListsTheInstalledLanguages)
{
    MenuScreen screen(skin);
    String caption;
    MenuItems items;
    screen.on_menu(screen.popup(), u"Language", caption, items);
    // The program folder holds the three shipped languages and a cancel entry,
    // which looks like the other items of the menu screen's popup.
    ASSERT_GE(items.size(), 1u);
    EXPECT_EQ(items.back().key, u"Cancel");
    EXPECT_EQ(items.back().node, u"MenuElement");
}

}  // namespace

// ---- key pictures with an EXIF orientation tag ----

namespace {

class AlbumOrientationTest : public AlbumScreenTest {
protected:
    // Albums "T0" to "T8" with ready previews, the key picture of "Tn" stored
    // for tag n (0: no EXIF data), 1024 x 768 so the quarters meet on MCU
    // borders everywhere.
    std::vector<Folder> tagged_albums()
    {
        std::vector<Folder> list;
        tree.make_dir("card/!pictaviocache");
        for (int tag = 0; tag <= 8; ++tag) {
            const std::string folder = "T" + std::to_string(tag);
            tree.make_dir("card/" + folder);
            EXPECT_TRUE(
                exif_test::write_file(tree.path("card/" + folder + "/key.jpg"),
                                      exif_test::with_distinct_size(exif_test::tagged_picture(tag, {1024, 768}), tag)));
            list.push_back(album_of(folder, "key.jpg", 1));
            EXPECT_EQ(build_preview(list.back().key_picture_path, list.back().drive_path), PreviewBuild::ready);
        }
        return list;
    }
    // The picture row index shows, after filling it.
    const PixelBuffer& row_picture(AlbumScreen& screen, int index)
    {
        m_rows.emplace_back(screen.create_row(*screen.list(), index));
        m_rows.back()->set_index(index);
        m_rows.back()->fill(*screen.list(), true);
        return *static_cast<ImageElement*>(m_rows.back()->find_by_id(u"image"))->picture().bitmap->pixels();
    }

    std::vector<std::unique_ptr<ListRow>> m_rows;
};

}  // namespace

TEST_F(AlbumOrientationTest, EveryTagShowsTheUprightThumbnail)
{
    start_library(tagged_albums());
    auto screen = make_screen();
    ASSERT_EQ(screen->list()->count(), 9);
    const PixelBuffer& upright = row_picture(*screen, 0);
    expect_quarters(upright, exif_test::quarter_colours);
    for (int tag = 1; tag <= 8; ++tag)
        EXPECT_TRUE(pixels_near(row_picture(*screen, tag), upright, 1)) << tag;
}

TEST_F(AlbumOrientationTest, EmbeddedThumbnailStandsInUntilThePreviewIsComplete)
{
    // Each key picture embeds the vivid thumbnail stored for its own tag.
    std::vector<Folder> list;
    tree.make_dir("card/!pictaviocache");
    for (const int tag : {3, 8}) {
        const std::string folder = "E" + std::to_string(tag);
        tree.make_dir("card/" + folder);
        EXPECT_TRUE(exif_test::write_file(
            tree.path("card/" + folder + "/key.jpg"),
            exif_test::with_distinct_size(
                exif_test::tagged_picture(tag, {1024, 768}, exif_test::embedded_thumbnail(tag, {160, 120})), tag)));
        list.push_back(album_of(folder, "key.jpg", 1));
    }
    start_library(list);
    auto screen = make_screen();
    for (int index = 0; index < 2; ++index) {
        expect_quarters(row_picture(*screen, index), exif_test::thumbnail_colours);
        EXPECT_EQ(library->queued_pictures(list[index].folder_path).size(), 1u);
        ASSERT_EQ(build_preview(list[index].key_picture_path, list[index].drive_path), PreviewBuild::ready);
        expect_quarters(row_picture(*screen, index), exif_test::quarter_colours);
    }
}
