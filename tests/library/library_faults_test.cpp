// Faults the library must survive: a card that goes away during a search,
// links that loop, a process killed in the middle of a preview.

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "library/preview_file.h"
#include "platform/tick.h"
#include "tests/library/library_test_support.h"

namespace {

TEST(LibraryFaults, ALinkLoopTwentyDeepAmongManyFilesEndsTheSearch)
{
    // A hundred thousand files are made in memory where it can.
    TempTree tree(std::filesystem::is_directory("/dev/shm") ? "/dev/shm/" : "");
    std::string folder = "card";
    for (int depth = 0; depth < 20; ++depth) {
        folder += "/d" + std::to_string(depth);
        tree.make_dir(folder);
        for (int n = 0; n < 5000; ++n)
            std::ofstream(tree.path(folder + "/f" + std::to_string(n) + ".txt"));
        tree.picture(folder + "/p.jpg", 16, 16, static_cast<unsigned>(depth + 1));
    }
    std::filesystem::create_directory_symlink(tree.path("card"), tree.path(folder + "/loop"));
    std::filesystem::create_directory_symlink(tree.path(folder), tree.path("card/d0/back"));
    // A link to a picture counts as a picture; a dangling one is no picture.
    std::filesystem::create_symlink(tree.path(folder + "/p.jpg"), tree.path("card/d0/linked.jpg"));
    std::filesystem::create_symlink(tree.path("card/nothing.jpg"), tree.path("card/d0/dangling.jpg"));
    use_library_environment(tree, {"card"}, "docs");
    tree.make_dir("docs");

    PhotoLibrary library(tree.path16("folders.ini"));
    search_until_idle(library);
    const std::vector<Folder> albums = albums_of(library);
    ASSERT_EQ(albums.size(), 20u);
    EXPECT_EQ(albums[0].size, 2);
    for (std::size_t i = 1; i < albums.size(); ++i)
        EXPECT_EQ(albums[i].size, 1);
}

TEST(LibraryFaults, ACardRemovedDuringTheSearchLeavesTheRestRight)
{
    TempTree tree;
    for (int n = 0; n < 400; ++n)
        tree.file("card/f" + std::to_string(n % 20) + "/p" + std::to_string(n) + ".jpg", "");
    tree.picture("docs/Trip/t.jpg");
    use_library_environment(tree, {"card"}, "docs");

    PhotoLibrary library(tree.path16("folders.ini"));
    library.need_search();
    // The worker may make the preview folder again while the card goes away.
    std::error_code error;
    for (int attempt = 0; attempt < 100 && std::filesystem::exists(tree.path("card/f0")); ++attempt)
        std::filesystem::remove_all(tree.path("card"), error);
    while (!library.wait_until_idle(50))
        library.dispatch_events();
    std::vector<Folder> albums = albums_of(library);
    ASSERT_FALSE(albums.empty());
    EXPECT_EQ(albums.back().key_picture_path, u"%my_documents%/Trip/t.jpg");
    EXPECT_EQ(albums.back().size, 1);

    // The next search repairs the list: the card's albums are gone.
    search_until_idle(library);
    albums = albums_of(library);
    ASSERT_EQ(albums.size(), 1u);
    EXPECT_EQ(albums[0].key_picture_path, u"%my_documents%/Trip/t.jpg");
}

// Searches a card with an unreadable folder and an unreadable picture; 0 when
// the rest of the library came out right, else the number of the failed check.
int search_with_unreadable_parts(const TempTree& tree)
{
    PhotoLibrary library(tree.path16("folders.ini"));
    search_until_idle(library);
    const String card = tree.path16("card") + u"/";
    const std::vector<Folder> albums = albums_of(library);
    if (albums.size() != 1)
        return 1;
    if (albums[0].folder_path != card + u"Open/" || albums[0].size != 2)
        return 2;
    if (!is_preview_ready(card + u"Open/a.jpg", card))
        return 3;
    if (is_preview_ready(card + u"Open/locked.jpg", card))
        return 4;
    return 0;
}

TEST(LibraryFaults, UnreadableFoldersAndPicturesLeaveTheRestRight)
{
    TempTree tree;
    tree.picture("card/Open/a.jpg");
    tree.picture("card/Open/locked.jpg");
    tree.picture("card/Hidden/h.jpg");
    tree.make_dir("docs");
    use_library_environment(tree, {"card"}, "docs");
    for (const char* writable : {"", "card", "docs"})
        chmod(tree.path(writable).c_str(), 0777);
    chmod(tree.path("card/Hidden").c_str(), 0);
    chmod(tree.path("card/Open/locked.jpg").c_str(), 0);

    if (geteuid() != 0) {
        EXPECT_EQ(search_with_unreadable_parts(tree), 0);
    } else {
        // Permissions do not hold for the super-user: search as nobody.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(100);
            _exit(search_with_unreadable_parts(tree));
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    chmod(tree.path("card/Hidden").c_str(), 0755);
}

// Waits until the preview folder holds a file that is being written.
bool wait_for_build_in_progress(const TempTree& tree, const std::string& root)
{
    const std::uint32_t start = get_tick_count();
    while (get_tick_count() - start < 120000) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(tree.path(root + "!pictaviocache"), error)) {
            if (entry.is_regular_file() && entry.file_size(error) > 0)
                return true;
        }
        sleep_ms(2);
    }
    return false;
}

TEST(LibraryFaults, APreviewCutShortByAKilledProcessIsRebuiltAfterTheNextSearch)
{
    TempTree tree;
    tree.picture("card/Big/huge.jpg", 5000, 3750);
    use_library_environment(tree, {"card"}, "docs");
    tree.make_dir("docs");
    const String root = tree.path16("card") + u"/";
    const String picture = root + u"Big/huge.jpg";

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        PhotoLibrary library(tree.path16("folders.ini"));
        library.need_search();
        library.wait_until_idle(600000);
        _exit(0);
    }
    const bool building = wait_for_build_in_progress(tree, "card/");
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(building);
    ASSERT_FALSE(is_preview_ready(picture, root)) << "the build ended before the process was killed";
    EXPECT_FALSE(PhotoLibrary::is_bad_preview(preview_path(picture, root)));

    PhotoLibrary library(tree.path16("folders.ini"));
    search_until_idle(library);
    EXPECT_TRUE(is_preview_ready(picture, root));
}

// Closing the library in the middle of a build: the picture is not marked bad.
TEST(LibraryFaults, APreviewCutShortByClosingIsNotMarkedBad)
{
    TempTree tree;
    tree.picture("card/Big/huge.jpg", 4000, 3000);
    use_library_environment(tree, {"card"}, "docs");
    tree.make_dir("docs");
    const String root = tree.path16("card") + u"/";
    const String picture = root + u"Big/huge.jpg";
    {
        PhotoLibrary library(tree.path16("folders.ini"));
        library.need_search();
        ASSERT_TRUE(wait_for_build_in_progress(tree, "card/"));
    }
    EXPECT_FALSE(PhotoLibrary::is_bad_preview(preview_path(picture, root)));
    EXPECT_FALSE(is_preview_ready(picture, root));
}

TEST(LibraryFaults, APictureReplacedRightAfterItsFailedBuildIsNotTheOneMarkedBad)
{
    TempTree tree;
    const String root = tree.path16() + u"/";
    const String picture = root + u"a/broken.jpg";
    tree.file("a/broken.jpg", "not a picture");
    const String broken_preview = preview_path(picture, root);

    PhotoLibrary library(tree.path16("folders.ini"), false, 1);
    LibraryProbes probes;
    bool replaced = false;  // on the one preview worker only
    probes.build_ends = [&](StringView) {
        if (!replaced)
            tree.picture("a/broken.jpg", 64, 48);
        replaced = true;
    };
    library.set_probes(probes);
    library.add_picture(picture, root);
    library.start();
    ASSERT_TRUE(library.wait_until_idle(120000));

    // The empty preview goes to the name of the file that failed; the mended
    // picture's name stays free, and its preview is built when it is asked for.
    const String mended_preview = preview_path(picture, root);
    ASSERT_NE(mended_preview, broken_preview);
    EXPECT_TRUE(PhotoLibrary::is_bad_preview(broken_preview));
    EXPECT_FALSE(PhotoLibrary::is_bad_preview(mended_preview));
    library.add_picture(picture, root);
    ASSERT_TRUE(library.wait_until_idle(120000));
    EXPECT_TRUE(is_preview_ready(picture, root));
}

}  // namespace
