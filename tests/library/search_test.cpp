// The drive search over real folders: album formation in walk order, the
// My Documents overlap rule, and the treatment of existing previews.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>

#include "library/drive_search.h"
#include "library/folders_ini.h"
#include "library/preview_file.h"
#include "platform/paths.h"
#include "tests/library/library_test_support.h"

namespace {

const String my_documents = u"%my_documents%/";

std::vector<std::string> cache_files(const TempTree& tree, const std::string& root)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tree.path(root + "!pictaviocache"), error)) {
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The lock lines of operation, each start line with its end line folded into
// one entry "operation lock"; empty when a start is not followed by its end.
std::vector<std::string> lock_pairs(const std::vector<std::string>& lines, const std::string& operation)
{
    std::vector<std::string> pairs;
    std::string open;
    const std::string prefix = operation + " ";
    for (const std::string& line : lines) {
        if (!line.starts_with(prefix) || line.find("_mutex ") == std::string::npos)
            continue;
        if (line.ends_with(" start") && open.empty()) {
            open = line.substr(0, line.size() - 6);
        } else if (line == open + " end") {
            pairs.push_back(open);
            open.clear();
        } else {
            ADD_FAILURE() << "unpaired lock line: " << line;
            return {};
        }
    }
    EXPECT_TRUE(open.empty()) << open;
    return pairs;
}

TEST(SearchAlbums, AlbumsAndKeyPicturesFollowTheWalkOrder)
{
    TempTree tree;
    tree.picture("card/DCIM/one.jpg");
    tree.picture("card/DCIM/a.jpeg");
    tree.picture("card/DCIM/b.jpeg");
    tree.picture("card/Only/x.jpeg");
    for (const char* name : {"f1.jpg", "f2.JPG", "f3.jpg", "f4.jpeg", "f5.JPEG"})
        tree.picture(std::string("card/Five/") + name);
    tree.file("card/readme.txt", "text");
    tree.picture("docs/root.jpg");
    tree.picture("docs/Holiday/h.JPG");
    use_library_environment(tree, {"card"}, "docs");

    PhotoLibrary library(tree.path16("folders.ini"));
    EventRecorder recorder;
    library.add_observer(&recorder);
    search_until_idle(library);
    EXPECT_EQ(recorder.count(&LibraryEvent::search_complete), 1);
    EXPECT_EQ(recorder.count(&LibraryEvent::cache_complete), 1);

    const String card = tree.path16("card") + u"/";
    const std::vector<Folder> albums = albums_of(library);
    ASSERT_EQ(albums.size(), 5u);
    // The ".jpg" pass finds DCIM and Five (in file-system order); "Only" has
    // no ".jpg", so the ".jpeg" pass adds it after them; My Documents comes last.
    std::vector<String> first_two = {albums[0].folder_path, albums[1].folder_path};
    std::sort(first_two.begin(), first_two.end());
    EXPECT_EQ(first_two, (std::vector<String>{card + u"DCIM/", card + u"Five/"}));
    for (const Folder& album : albums) {
        if (album.folder_path == card + u"DCIM/") {
            EXPECT_EQ(album.key_picture_path, card + u"DCIM/one.jpg");
            EXPECT_EQ(album.size, 3);
        } else if (album.folder_path == card + u"Five/") {
            EXPECT_EQ(album.size, 5);
            EXPECT_TRUE(album.key_picture_path.ends_with(u".jpg") || album.key_picture_path.ends_with(u".JPG"));
        }
    }
    EXPECT_EQ(albums[2].folder_path, card + u"Only/");
    EXPECT_EQ(albums[2].key_picture_path, card + u"Only/x.jpeg");
    EXPECT_EQ(albums[2].drive_path, card);

    EXPECT_EQ(albums[3].folder_path, my_documents);
    EXPECT_EQ(albums[3].drive_path, my_documents);
    EXPECT_EQ(albums[3].key_picture_path, my_documents + u"root.jpg");
    EXPECT_EQ(PhotoLibrary::album_name(albums[3].folder_path), u"Pictures folder");
    EXPECT_EQ(albums[4].key_picture_path, my_documents + u"Holiday/h.JPG");
    EXPECT_EQ(albums[4].size, 1);

    // The previews of My Documents live in its own preview folder.
    EXPECT_TRUE(is_preview_ready(my_documents + u"root.jpg", my_documents));
    EXPECT_EQ(cache_files(tree, "docs/").size(), 2u);
    EXPECT_EQ(cache_files(tree, "card/").size(), 9u);

    // The list was saved: a new library starts with the same albums.
    const std::vector<Folder> saved = read_folders_file(tree.path16("folders.ini"));
    ASSERT_EQ(saved.size(), albums.size());
    for (std::size_t i = 0; i < saved.size(); ++i) {
        EXPECT_EQ(saved[i].key_picture_path, albums[i].key_picture_path);
        EXPECT_EQ(saved[i].drive_path, albums[i].drive_path);
        EXPECT_EQ(saved[i].size, albums[i].size);
    }
}

TEST(SearchAlbums, ACardHoldingMyDocumentsIsLeftToTheMyDocumentsSearch)
{
    TempTree tree;
    tree.picture("c/Other/o.jpg");
    tree.picture("c2/Extra/e.jpg");
    tree.picture("c2/Pictures/p.jpg");
    // "c" only shares the beginning of its name with the card of My Documents.
    use_library_environment(tree, {"c", "c2"}, "c2/Pictures");

    std::vector<String> drives;
    find_drives(drives);
    EXPECT_EQ(drives, std::vector<String>{tree.path16("c")});

    PhotoLibrary library(tree.path16("folders.ini"));
    search_until_idle(library);
    const std::vector<Folder> albums = albums_of(library);
    ASSERT_EQ(albums.size(), 2u);
    EXPECT_EQ(albums[0].key_picture_path, tree.path16("c/Other/o.jpg"));
    EXPECT_EQ(albums[1].key_picture_path, my_documents + u"p.jpg");
}

// A first search (an empty preview folder) walks without reading identities:
// it must find exactly the pictures, in the order, of a walk that reads them.
TEST(SearchAlbums, AWalkWithoutIdentitiesFindsThePicturesOfOneWithThem)
{
    TempTree tree;
    tree.picture("card/A/one.jpg");
    tree.picture("card/A/two.JPEG");
    tree.file("card/A/notes.txt", "text");
    tree.file("card/A/jpg", "no ending");
    tree.picture("card/A/B/three.Jpg");
    tree.make_dir("card/Empty");
    std::filesystem::create_symlink(tree.path("card/A/one.jpg"), tree.path("card/linked.jpg"));
    std::filesystem::create_symlink(tree.path("card/gone.jpg"), tree.path("card/dangling.jpg"));
    std::filesystem::create_directory_symlink(tree.path("card/A"), tree.path("card/Empty/loop"));
    std::filesystem::create_directory(tree.path("card/folder.jpg"));
    const String root = tree.path16("card") + u"/";

    const std::vector<PictureFile> identified = find_pictures(root, {}, true);
    const std::vector<PictureFile> listed = find_pictures(root, {}, false);
    ASSERT_EQ(identified.size(), 4u);
    ASSERT_EQ(listed.size(), identified.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].path, identified[i].path) << i;
        EXPECT_EQ(listed[i].folder_length, identified[i].folder_length) << i;
        EXPECT_EQ(StringView(listed[i].path).substr(listed[i].folder_length).find(u'/'), StringView::npos);
        EXPECT_GT(identified[i].identity.size, 0u) << i;
    }
}

TEST(SearchAlbums, CardsComeFromTheCardListWithoutEmptyEntries)
{
    setenv("PICTAVIO_CARDS", "/media/a/::/media/b", 1);
    EXPECT_EQ(storage_card_folders(), (std::vector<String>{u"/media/a", u"/media/b"}));
    setenv("PICTAVIO_CARDS", "", 1);
    EXPECT_TRUE(storage_card_folders().empty());
}

TEST(SearchPreviews, StaleAndEmptyPreviewsGoReadyOnesStay)
{
    TempTree tree;
    tree.picture("card/A/ready.jpg", 40, 30, 1);
    tree.picture("card/A/bad.jpg", 40, 30, 2);
    tree.picture("card/A/new.jpg", 40, 30, 3);
    use_library_environment(tree, {"card"}, "docs");
    tree.make_dir("docs");
    const String root = tree.path16("card") + u"/";
    const String ready_preview = preview_path(root + u"A/ready.jpg", root);
    const String bad_preview = preview_path(root + u"A/bad.jpg", root);
    const std::string ready_bytes("\x11\x00\x00\x00kept as it is", 17);
    tree.file("card/!pictaviocache/" + to_utf8(file_name_of(ready_preview)), ready_bytes);
    tree.file("card/!pictaviocache/" + to_utf8(file_name_of(bad_preview)), "");
    tree.file("card/!pictaviocache/1234567745612.250000", "a picture that is gone");
    tree.file("card/!pictaviocache/sub/keep", "folders inside are left alone");

    PhotoLibrary library(tree.path16("folders.ini"), false);
    EventRecorder recorder;
    library.add_observer(&recorder);
    library.start();
    search_until_idle(library);

    EXPECT_EQ(tree.read("card/!pictaviocache/" + to_utf8(file_name_of(ready_preview))), ready_bytes);
    EXPECT_TRUE(is_preview_ready(root + u"A/bad.jpg", root));
    EXPECT_TRUE(is_preview_ready(root + u"A/new.jpg", root));
    EXPECT_EQ(cache_files(tree, "card/").size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(tree.path("card/!pictaviocache/sub/keep")));
    ASSERT_EQ(library.get_folders_size(), 1);
    EXPECT_EQ(library.get_folder(0).size, 3);
    EXPECT_EQ(recorder.count(&LibraryEvent::cache_complete), 1);
}

TEST(SearchPreviews, ABadPictureIsTriedAgainByTheNextSearch)
{
    TempTree tree;
    tree.file("card/A/broken.jpg", "not a picture");
    tree.picture("card/A/good.jpg");
    use_library_environment(tree, {"card"}, "docs");
    tree.make_dir("docs");
    const String root = tree.path16("card") + u"/";
    PhotoLibrary library(tree.path16("folders.ini"));
    EventRecorder recorder;
    library.add_observer(&recorder);
    search_until_idle(library);
    const String bad = preview_path(root + u"A/broken.jpg", root);
    EXPECT_TRUE(PhotoLibrary::is_bad_preview(bad));

    // Mended meanwhile: the next search deletes the empty preview and builds it.
    tree.picture("card/A/fixed.jpg");
    std::filesystem::rename(tree.path("card/A/fixed.jpg"), tree.path("card/A/broken.jpg"));
    search_until_idle(library);
    const String rebuilt = preview_path(root + u"A/broken.jpg", root);
    EXPECT_TRUE(is_preview_ready(root + u"A/broken.jpg", root));
    EXPECT_EQ(recorder.count(&LibraryEvent::cache_complete), 2);
    EXPECT_EQ(recorder.count(&LibraryEvent::search_complete), 2);
    EXPECT_NE(rebuilt, bad);  // another size: another name; the old one is gone
    EXPECT_FALSE(std::filesystem::exists(to_utf8(bad)));
}

TEST(SearchLocks, EveryLockIsLoggedAsItIsTakenTheAlbumsAndTheStatusOncePerPicture)
{
    TempTree tree;
    // Sizes of their own, so that no two share a preview name.
    tree.picture("card/A/ready.jpg", 40, 30);
    tree.picture("card/A/one.jpg", 64, 48);
    tree.picture("card/A/two.jpg", 96, 72);
    tree.make_dir("docs");
    use_library_environment(tree, {"card"}, "docs");
    const String root = tree.path16("card") + u"/";
    const std::string ready = to_utf8(file_name_of(preview_path(root + u"A/ready.jpg", root)));
    ASSERT_NE(preview_path(root + u"A/one.jpg", root), preview_path(root + u"A/ready.jpg", root));
    ASSERT_NE(preview_path(root + u"A/two.jpg", root), preview_path(root + u"A/ready.jpg", root));
    tree.file("card/!pictaviocache/" + ready, std::string("\x11\x00\x00\x00", 4));
    TreeLog log(tree);

    PhotoLibrary library(tree.path16("folders.ini"));
    search_until_idle(library);
    const std::vector<std::string> lines = log.lines();

    // Each lock's start line, then its end line once it is held.
    EXPECT_EQ(lock_pairs(lines, "search"), (std::vector<std::string>{"search m_map_mutex", "search m_folders_mutex",
                                                                     "search m_progress_max_mutex"}));
    const std::string queue = "check_drive m_map_mutex";
    const std::string albums = "check_drive m_folders_mutex";
    const std::string status = "check_drive m_progress_max_mutex";
    // The card: the queue for the whole drive; the albums once for each
    // picture and once to drop empty ones; the status once for each of the
    // two pictures queued, right after that picture's albums. My Documents,
    // empty, only drops empty albums.
    const std::vector<std::string> pairs = lock_pairs(lines, "check_drive");
    ASSERT_EQ(pairs.size(), 9u);
    EXPECT_EQ(pairs.front(), queue);
    EXPECT_EQ(std::count(pairs.begin(), pairs.begin() + 7, albums), 4);
    EXPECT_EQ(std::count(pairs.begin(), pairs.begin() + 7, status), 2);
    for (std::size_t i = 1; i < 7; ++i) {
        if (pairs[i] == status) {
            EXPECT_EQ(pairs[i - 1], albums) << i;
        }
    }
    EXPECT_EQ(pairs[6], albums);
    EXPECT_EQ(std::vector<std::string>(pairs.begin() + 7, pairs.end()), (std::vector<std::string>{queue, albums}));
}

TEST(SearchLocks, TheAlbumsCanBeReadWhileTheSearchSortsALongDrive)
{
    constexpr int per_album = 100;
    constexpr int held_at = per_album + per_album / 2;
    TempTree tree;
    for (const char* album : {"a", "b"}) {
        for (int n = 0; n < per_album; ++n)
            tree.picture(std::string("card/") + album + "/" + std::to_string(n) + ".jpg", 16, 16);
    }
    tree.make_dir("docs");
    use_library_environment(tree, {"card"}, "docs");

    // The search is held in the middle of the second album, its queue lock taken.
    HoldPoint hold;
    int searched = 0;  // on the search's thread only
    PhotoLibrary library(tree.path16("folders.ini"), false, 1);
    LibraryProbes probes;
    probes.picture_searched = [&](StringView) {
        if (++searched == held_at)
            hold.arrive();
    };
    library.set_probes(probes);
    OpenAtExit open_at_exit(hold);
    library.start();
    library.need_search();
    ASSERT_TRUE(hold.wait_for_waiting(1));
    // Read on another thread, so that a read waiting for the search fails the
    // test instead of holding it up for good.
    auto reading = std::async(std::launch::async, [&] { return albums_of(library); });
    const bool read = reading.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    hold.open();
    ASSERT_TRUE(read) << "the albums stay locked while the search sorts the drive";
    const std::vector<Folder> partial = reading.get();
    ASSERT_EQ(partial.size(), 2u);
    EXPECT_EQ(partial[0].size + partial[1].size, held_at);
    EXPECT_EQ(std::max(partial[0].size, partial[1].size), per_album);

    while (!library.wait_until_idle(50))
        library.dispatch_events();
    const std::vector<Folder> whole = albums_of(library);
    ASSERT_EQ(whole.size(), 2u);
    EXPECT_EQ(whole[0].size, per_album);
    EXPECT_EQ(whole[1].size, per_album);
}

}  // namespace
