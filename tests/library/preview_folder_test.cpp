// Where the previews of a search root live: in the root itself, or in the
// user's cache folder when the root cannot hold them, always in one folder per
// root; and what happens when neither place can be written.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "library/cache_piece_creator.h"
#include "library/preview_file.h"
#include "library/scan_only.h"
#include "pixels/render_surface.h"
#include "platform/paths.h"
#include "tests/library/library_test_support.h"
#include "tests/library/preview_test_support.h"

namespace {

std::vector<std::string> files_in(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A root whose own preview folder cannot be made: a file has its name.
void block_root_folder(const TempTree& tree, const std::string& root)
{
    tree.file(root + "/!pictaviocache", "a file where the preview folder would go");
}

TEST(PreviewFolder, ARootThatCannotHoldItsPreviewsGetsAFolderOfItsOwnInTheUserCache)
{
    TempTree tree;
    ScopedVariable cache("XDG_CACHE_HOME", tree.path("cache"));
    tree.make_dir("card");
    tree.make_dir("card-2");
    block_root_folder(tree, "card-2");
    const String card = tree.path16("card") + u"/";
    const String blocked = tree.path16("card-2") + u"/";

    // A writable root keeps its previews inside itself.
    EXPECT_EQ(make_preview_folder(card), card + u"!pictaviocache/");
    EXPECT_EQ(preview_folder(card), card + u"!pictaviocache/");

    const String user = make_preview_folder(blocked);
    const String user_base = tree.path16("cache") + u"/pictavio/";
    ASSERT_EQ(user.substr(0, user_base.size()), user_base) << to_utf8(user);
    EXPECT_EQ(file_name_of(strip_trailing_separator(user)), u"!pictaviocache");
    EXPECT_EQ(user.substr(user_base.size(), 7), u"card-2-") << "the folder's name starts with the root's name";
    EXPECT_TRUE(std::filesystem::is_directory(to_utf8(user)));
    // Found the same way with or without the root's trailing separator.
    EXPECT_EQ(preview_folder(blocked), user);
    EXPECT_EQ(preview_folder(strip_trailing_separator(blocked)), user);

    // A root of the same last name elsewhere gets a folder of its own.
    tree.make_dir("other/card-2");
    block_root_folder(tree, "other/card-2");
    const String other = make_preview_folder(tree.path16("other/card-2") + u"/");
    EXPECT_NE(other, user);
    EXPECT_EQ(other.substr(0, user_base.size()), user_base);

    // A relative XDG_CACHE_HOME is ignored: the folder is under HOME/.cache.
    ScopedVariable home("HOME", tree.path("home"));
    ScopedVariable relative("XDG_CACHE_HOME", "relative/cache");
    const String in_home = make_preview_folder(blocked);
    const String home_base = tree.path16("home") + u"/.cache/pictavio/";
    EXPECT_EQ(in_home.substr(0, home_base.size()), home_base) << to_utf8(in_home);
}

// The previews made for a root while it was read-only stay in use when it
// becomes writable: thumbnails and tiles come from there, new previews join
// them, stale ones there are deleted by the next search, and the root itself
// never gets a preview folder.
TEST(PreviewFolder, ARootKeepsUsingTheUserFolderThatHoldsItsPreviews)
{
    TempTree tree;
    ScopedVariable cache("XDG_CACHE_HOME", tree.path("cache"));
    tree.picture("card/A/big.jpg", 700, 500, 11);
    tree.picture("card/A/small.jpg", 90, 70, 12);
    tree.make_dir("docs");
    use_library_environment(tree, {"card"}, "docs");
    const String root = tree.path16("card") + u"/";

    // Made while the root could not be written.
    block_root_folder(tree, "card");
    const String user = make_preview_folder(root);
    std::filesystem::remove(tree.path("card/!pictaviocache"));
    const std::string user_folder = to_utf8(user);
    tree.file(user_folder.substr(tree.path().size() + 1) + "1234567745612.250000",
              "a preview of a picture that is gone");

    {
        PhotoLibrary library(tree.path16("folders.ini"));
        search_until_idle(library);
    }
    EXPECT_FALSE(std::filesystem::exists(tree.path("card/!pictaviocache")));
    const std::vector<std::string> previews = files_in(user_folder);
    ASSERT_EQ(previews.size(), 2u) << "the stale preview is gone, both pictures have theirs";
    for (const String& picture : {root + u"A/big.jpg", root + u"A/small.jpg"}) {
        EXPECT_TRUE(is_preview_ready(picture, root)) << to_utf8(picture);
        EXPECT_EQ(folder_of(preview_path(picture, root)), user);
        EXPECT_NE(load_thumbnail(picture, root), nullptr) << to_utf8(picture);
    }

    // The same picture with its preview in its own root gives the same tiles.
    tree.make_dir("reference");
    std::filesystem::copy_file(tree.path("card/A/big.jpg"), tree.path("reference/big.jpg"));
    const String reference_root = tree.path16("reference") + u"/";
    ASSERT_FALSE(make_preview_folder(reference_root).empty());
    ASSERT_EQ(build_preview(reference_root + u"big.jpg", reference_root), PreviewBuild::ready);
    CachePieceCreator from_cache(root + u"A/big.jpg", root);
    CachePieceCreator from_reference(reference_root + u"big.jpg", reference_root);
    ASSERT_TRUE(from_cache.ok());
    ASSERT_TRUE(from_reference.ok());
    const int full = 2;  // 700 x 500: L = 2, zoom L is the picture itself
    for (int z : {0, full}) {
        for (int tx = 0; tx < (z == full ? 3 : 1); ++tx) {
            std::vector<std::uint8_t> a, b;
            Size wa, wb;
            ASSERT_TRUE(from_cache.get_piece_rgb(tx, 0, z, a, wa)) << tx << " z " << z;
            ASSERT_TRUE(from_reference.get_piece_rgb(tx, 0, z, b, wb));
            EXPECT_EQ(a, b) << tx << " z " << z;
        }
    }
    EXPECT_EQ(file_bytes(to_utf8(preview_path(root + u"A/big.jpg", root))),
              file_bytes(to_utf8(preview_path(reference_root + u"big.jpg", reference_root))));
}

// Neither the root nor the user's cache folder can hold a preview: the
// pictures stay pending (no preview, not bad, no picture_complete that would
// make a screen queue them again at once), the progress still ends, and
// --scan-only says how many pictures have no preview and where it failed.
TEST(PreviewFolder, PreviewsThatCannotBeWrittenAnywhereLeaveThePicturesPending)
{
    TempTree tree;
    tree.file("cache", "a file where the cache folder would go");
    ScopedVariable cache("XDG_CACHE_HOME", tree.path("cache"));
    tree.picture("card/A/1.jpg", 60, 40, 21);
    tree.picture("card/A/2.jpg", 60, 40, 22);
    tree.make_dir("docs");
    block_root_folder(tree, "card");
    use_library_environment(tree, {"card"}, "docs");
    const String root = tree.path16("card") + u"/";

    EXPECT_EQ(make_preview_folder(root), u"");
    {
        PhotoLibrary library(tree.path16("folders.ini"), false);
        EventRecorder recorder;
        library.add_observer(&recorder);
        library.start();
        search_until_idle(library);
        EXPECT_EQ(recorder.count(&LibraryEvent::picture_complete), 0);
        EXPECT_EQ(recorder.count(&LibraryEvent::cache_complete), 1);
        std::int32_t unwritten = 0;
        String folder;
        library.read_unwritten(unwritten, folder);
        EXPECT_EQ(unwritten, 2);
        EXPECT_EQ(folder, root + u"!pictaviocache/");
    }
    for (const String& picture : {root + u"A/1.jpg", root + u"A/2.jpg"}) {
        EXPECT_FALSE(is_preview_ready(picture, root));
        EXPECT_FALSE(PhotoLibrary::is_bad_preview(preview_path(picture, root)));
    }

    std::ostringstream out;
    EXPECT_EQ(scan_only(out, tree.path16("folders.ini")), 1);
    const std::string text = out.str();
    EXPECT_EQ(text.find("previews complete"), std::string::npos) << text;
    EXPECT_NE(text.find("previews incomplete: 2 pictures have no preview: preview files cannot be written in " +
                        tree.path("card") + "/!pictaviocache/\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("1 albums\nA\t2\t"), std::string::npos) << text;
}

TEST(AlbumList, AnOlderListInTheOtherPlaceIsReadOnlyWhileTheUsualOneIsMissing)
{
    TempTree tree;
    tree.picture("card/A/1.jpg");
    const String picture = tree.path16("card/A/1.jpg");
    const AlbumListFiles files{tree.path16("data/folders.ini"), tree.path16("program/folders.ini")};
    tree.make_dir("data");
    tree.make_dir("program");
    ASSERT_TRUE(write_folders_file(files.fallback, {{tree.path16("card") + u"/", directory_of(picture), picture, 1}}));

    {
        PhotoLibrary library(files, false);
        ASSERT_EQ(library.get_folders_size(), 1);
        EXPECT_EQ(library.get_folder(0).key_picture_path, picture);
        // A change is saved in the usual place; the older list stays as it was.
        library.set_folder_size(picture, 4);
    }
    EXPECT_EQ(read_folders_file(files.file).size(), 1u);
    EXPECT_EQ(read_folders_file(files.file)[0].size, 4);
    EXPECT_EQ(read_folders_file(files.fallback)[0].size, 1);

    // Once the usual list exists it is the one read, even when it is empty.
    ASSERT_TRUE(write_folders_file(files.file, {}));
    EXPECT_TRUE(read_folders_file(files).empty());
    PhotoLibrary library(files, false);
    EXPECT_EQ(library.get_folders_size(), 0);
}

}  // namespace
