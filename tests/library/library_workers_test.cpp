// Several preview workers on the one queue: the order rules, stopping in the
// middle of builds, and searches asked for while previews are built.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "library/preview_file.h"
#include "platform/tick.h"
#include "tests/library/library_test_support.h"

namespace {

String numbered(const String& folder, int n)
{
    return folder + to_string16(n) + u".jpg";
}

// Each completion the events report, with the number of previews done when it was reported.
class CompletionRecorder : public LibraryObserver {
public:
    explicit CompletionRecorder(int maximum) : m_maximum(maximum) {}

    void on_library_event(const LibraryEvent& event) override
    {
        if (event.picture_complete)
            m_pending = event.picture_path;
        // A completion always changes the value: a progress or the end follows in the same dispatch.
        const int done = event.cache_complete ? m_maximum
                         : event.progress     ? static_cast<int>(std::lround(event.progress_ratio * m_maximum))
                                              : -1;
        if (done >= 0 && !m_pending.empty()) {
            completions.push_back({m_pending, done});
            m_pending.clear();
        }
        if (event.cache_complete)
            ++ends;
    }

    struct Completion {
        String picture;
        int done;
    };
    std::vector<Completion> completions;
    int ends = 0;

private:
    int m_maximum;
    String m_pending;
};

std::string file_bytes(const String& path)
{
    std::ifstream in(to_utf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The preview of picture built afresh, alone, in a root of its own.
std::string fresh_preview(const String& picture)
{
    TempTree other;
    const String root = other.path16() + u"/";
    EXPECT_FALSE(make_preview_folder(root).empty());
    EXPECT_EQ(build_preview(picture, root), PreviewBuild::ready) << to_utf8(picture);
    return file_bytes(preview_path(picture, root));
}

// No preview of the pictures is marked bad (every one of them decodes), and
// each one marked ready holds, byte for byte, what a build of its own gives.
void expect_sound_previews(const std::vector<String>& pictures, const String& root)
{
    for (const String& picture : pictures) {
        const String preview = preview_path(picture, root);
        EXPECT_FALSE(PhotoLibrary::is_bad_preview(preview)) << to_utf8(picture);
        if (is_preview_ready(picture, root)) {
            EXPECT_TRUE(file_bytes(preview) == fresh_preview(picture)) << to_utf8(picture);
        }
    }
}

// Holds every preview build at its first step while the hold point is closed.
LibraryProbes holding_builds(HoldPoint& hold)
{
    LibraryProbes probes;
    probes.build_step = [&hold](StringView) { hold.arrive(); };
    return probes;
}

// A library whose workers stop at the hold in every build, recording each
// build that ends, with pictures queued before it starts. The members go in
// reverse order: the hold opens before the library waits for its workers.
struct LibraryWithHeldBuilds {
    LibraryWithHeldBuilds(const TempTree& tree, int workers, const std::vector<String>& pictures, const String& root)
        : library(tree.path16("folders.ini"), false, workers), open_at_exit(hold)
    {
        LibraryProbes probes = holding_builds(hold);
        probes.build_ends = [this](StringView picture) {
            std::lock_guard lock(mutex);
            built.emplace_back(picture);
        };
        library.set_probes(probes);
        library.add_observer(&recorder);
        for (const String& picture : pictures)
            library.add_picture(picture, root);
        library.start();
    }
    // The builds that ended so far, in order.
    std::vector<String> builds()
    {
        std::lock_guard lock(mutex);
        return built;
    }
    // Opens the hold and waits until the queue is done, passing events on.
    void finish()
    {
        hold.open();
        while (!library.wait_until_idle(50))
            library.dispatch_events();
        library.dispatch_events();
    }

    HoldPoint hold;
    std::mutex mutex;
    std::vector<String> built;
    PhotoLibrary library;
    OpenAtExit open_at_exit;
    EventRecorder recorder;
};

TEST(LibraryWorkers, SeveralWorkersFollowTheCurrentFolderAndThePriorities)
{
    constexpr int workers = 3;
    constexpr int per_folder = 8;
    TempTree tree;
    const String root = tree.path16() + u"/";
    const String first = root + u"a/";
    const String second = root + u"b/";
    for (int n = 0; n < per_folder; ++n) {
        tree.picture("a/" + std::to_string(n) + ".jpg", 640, 480);
        tree.picture("b/" + std::to_string(n) + ".jpg", 640, 480);
    }
    HoldPoint hold;
    PhotoLibrary library(tree.path16("folders.ini"), false, workers);
    library.set_probes(holding_builds(hold));
    OpenAtExit open_at_exit(hold);
    CompletionRecorder recorder(2 * per_folder);
    library.add_observer(&recorder);
    for (int n = 0; n < per_folder; ++n)
        library.add_picture(numbered(first, n), root);
    for (int n = 0; n < per_folder; ++n)
        library.add_picture(numbered(second, n), root);  // b becomes the current folder
    library.prioritise_picture(numbered(second, 5));

    library.start();
    // While every worker builds one of b's 5, 4 and 6, the viewer moves to b's 1.
    ASSERT_TRUE(hold.wait_for_waiting(workers));
    library.prioritise_picture(numbered(second, 1));
    hold.open();
    // The order the rules give: b around 5 as far as it was taken, the rest
    // of b around 1, then a in its own order.
    std::vector<String> expected;
    for (int n : {5, 4, 6, 1, 2, 0, 3, 7})
        expected.push_back(numbered(second, n));
    for (int n = 0; n < per_folder; ++n)
        expected.push_back(numbered(first, n));

    while (!library.wait_until_idle(5))
        library.dispatch_events();
    library.dispatch_events();

    // Pictures begin in queue order and at most `workers` are built at once,
    // so the picture reported when `done` previews were finished is at most at
    // position done + workers - 2 of the order.
    ASSERT_FALSE(recorder.completions.empty());
    std::vector<String> seen;
    for (const auto& completion : recorder.completions) {
        const auto at = std::find(expected.begin(), expected.end(), completion.picture);
        ASSERT_NE(at, expected.end());
        EXPECT_LE(at - expected.begin(), completion.done + workers - 2) << to_utf8(completion.picture);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), completion.picture), 0) << "reported twice";
        seen.push_back(completion.picture);
    }
    EXPECT_EQ(recorder.completions.back().done, 2 * per_folder);
    EXPECT_EQ(recorder.ends, 1);
    for (const String& picture : expected)
        EXPECT_TRUE(is_preview_ready(picture, root)) << to_utf8(picture);
}

TEST(LibraryWorkers, ClosingWhileEveryWorkerBuildsLeavesNoWrongPreview)
{
    constexpr int workers = 3;
    TempTree tree;
    const String root = tree.path16() + u"/";
    std::vector<String> pictures;
    for (int n = 0; n < workers; ++n) {
        tree.picture("big/" + std::to_string(n) + ".jpg", 2400, 1600);
        pictures.push_back(numbered(root + u"big/", n));
    }
    {
        HoldPoint hold;
        PhotoLibrary library(tree.path16("folders.ini"), false, workers);
        library.set_probes(holding_builds(hold));
        OpenAtExit open_at_exit(hold);
        for (const String& picture : pictures)
            library.add_picture(picture, root);
        library.start();
        // The library closes while every worker is in the middle of a build.
        ASSERT_TRUE(hold.wait_for_waiting(workers));
        library.request_stop();
    }
    // Every build was cut short: its file begun, neither ready nor bad.
    for (const String& picture : pictures) {
        EXPECT_FALSE(is_preview_ready(picture, root)) << to_utf8(picture);
        EXPECT_FALSE(file_bytes(preview_path(picture, root)).empty()) << to_utf8(picture);
    }
    expect_sound_previews(pictures, root);
    // A later library builds them all.
    PhotoLibrary library(tree.path16("folders.ini"), true, workers);
    for (const String& picture : pictures)
        library.add_picture(picture, root);
    ASSERT_TRUE(library.wait_until_idle(120000));
    for (const String& picture : pictures)
        EXPECT_TRUE(is_preview_ready(picture, root)) << to_utf8(picture);
    expect_sound_previews(pictures, root);
}

TEST(LibraryWorkers, ASearchStopsTheBuildsAndTheProgressStaysExact)
{
    constexpr int workers = 2;
    TempTree tree;
    const std::string card = "card/";
    std::vector<String> pictures;
    // The last one ends in ".jpeg": the search reaches the folder a second
    // time, after queueing nothing in the first, and must still find it queued.
    for (int n = 0; n < 4; ++n) {
        std::string name = card + "big/" + std::to_string(n);
        name += n == 3 ? ".jpeg" : ".jpg";
        tree.picture(name, 1600, 1200);
        pictures.push_back(tree.path16(name));
    }
    tree.make_dir("docs");
    use_library_environment(tree, {"card"}, "docs");
    const String root = tree.path16("card") + u"/";

    LibraryWithHeldBuilds held(tree, workers, pictures, root);
    PhotoLibrary& library = held.library;
    // The search is asked for while every worker is in the middle of a build.
    ASSERT_TRUE(held.hold.wait_for_waiting(workers));
    library.need_search();
    // The search finds the queued pictures not ready: they are not queued twice.
    held.finish();

    // The two builds the search stopped were made again after it: six builds.
    const std::vector<String> built = held.builds();
    ASSERT_EQ(built.size(), 6u);
    for (int n : {0, 1})
        EXPECT_EQ(std::count(built.begin(), built.end(), pictures[n]), 2) << n;
    for (const String& picture : pictures)
        EXPECT_TRUE(is_preview_ready(picture, root)) << to_utf8(picture);
    expect_sound_previews(pictures, root);
    EXPECT_TRUE(library.queued_pictures(root + u"big/").empty());
    std::int32_t value = -1, maximum = -1;
    library.read_progress(value, maximum);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(maximum, 0);
    // The progress rose to its end: never past it, and the last word is the end.
    const LibraryEvent* last = nullptr;
    for (const LibraryEvent& event : held.recorder.events) {
        if (event.progress) {
            EXPECT_LT(event.progress_ratio, 1.0);
        }
        if (event.progress || event.cache_complete)
            last = &event;
    }
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->cache_complete);
    EXPECT_EQ(held.recorder.count(&LibraryEvent::search_complete), 1);
}

TEST(LibraryWorkers, ALinkAndItsTargetAreBuiltOnceIntoTheirOnePreview)
{
    constexpr int workers = 3;
    TempTree tree;
    const String root = tree.path16() + u"/";
    tree.picture("a/target.jpg", 1600, 1200);
    std::filesystem::create_symlink(tree.path("a/target.jpg"), tree.path("a/symbolic.jpg"));
    std::filesystem::create_hard_link(tree.path("a/target.jpg"), tree.path("a/hard.jpg"));
    tree.picture("a/other.jpg", 1600, 1000);
    const std::vector<String> pictures = {root + u"a/target.jpg", root + u"a/symbolic.jpg", root + u"a/hard.jpg",
                                          root + u"a/other.jpg"};
    ASSERT_EQ(preview_path(pictures[1], root), preview_path(pictures[0], root));
    ASSERT_EQ(preview_path(pictures[2], root), preview_path(pictures[0], root));
    ASSERT_NE(preview_path(pictures[3], root), preview_path(pictures[0], root));

    LibraryWithHeldBuilds held(tree, workers, pictures, root);
    // The target and the other picture are in the middle of their builds: the
    // links wait for the target's preview instead of writing it too.
    ASSERT_TRUE(held.hold.wait_for_waiting(2));
    held.finish();

    std::vector<String> built = held.builds();
    std::sort(built.begin(), built.end());
    EXPECT_EQ(built, (std::vector<String>{pictures[3], pictures[0]}));  // other.jpg, target.jpg
    for (const String& picture : pictures)
        EXPECT_TRUE(is_preview_ready(picture, root)) << to_utf8(picture);
    expect_sound_previews(pictures, root);
    EXPECT_EQ(held.recorder.count(&LibraryEvent::cache_complete), 1);
}

TEST(LibraryWorkers, APictureRemovedOrChangedDuringItsBuildLeavesNoWrongPreview)
{
    constexpr int workers = 2;
    TempTree tree;
    const String root = tree.path16() + u"/";
    const String removed = root + u"big/removed.jpg";
    const String changed = root + u"big/changed.jpg";
    tree.picture("big/removed.jpg", 2400, 1600);
    tree.picture("big/changed.jpg", 2400, 1600);
    const String removed_preview = preview_path(removed, root);
    const String changed_preview = preview_path(changed, root);

    HoldPoint hold;
    PhotoLibrary library(tree.path16("folders.ini"), false, workers);
    library.set_probes(holding_builds(hold));
    OpenAtExit open_at_exit(hold);
    library.add_picture(removed, root);
    library.add_picture(changed, root);
    library.start();
    // Both pictures go while their builds are in the middle.
    ASSERT_TRUE(hold.wait_for_waiting(2));
    std::filesystem::remove(tree.path("big/removed.jpg"));
    tree.picture("big/changed.jpg", 320, 200);
    hold.open();
    ASSERT_TRUE(library.wait_until_idle(120000));

    // Neither is marked bad, nor ready under the name of the picture that was.
    EXPECT_FALSE(PhotoLibrary::is_bad_preview(removed_preview));
    EXPECT_FALSE(PhotoLibrary::is_bad_preview(changed_preview));
    EXPECT_FALSE(is_preview_file_ready(removed_preview));
    EXPECT_FALSE(is_preview_file_ready(changed_preview));
    EXPECT_TRUE(library.queued_pictures(root + u"big/").empty());
    // The changed picture, queued again, gets a preview under its new name.
    library.add_picture(changed, root);
    ASSERT_TRUE(library.wait_until_idle(120000));
    EXPECT_NE(preview_path(changed, root), changed_preview);
    EXPECT_TRUE(is_preview_ready(changed, root));
}

// Searches asked for again and again while several workers build: run under
// ThreadSanitizer too.
TEST(LibraryWorkers, SearchesAskedForWhileWorkersBuild)
{
    TempTree tree;
    std::vector<String> pictures;
    for (int album = 0; album < 3; ++album) {
        for (int n = 0; n < 5; ++n) {
            const std::string name = "card/a" + std::to_string(album) + "/p" + std::to_string(n) + ".jpg";
            tree.picture(name, 400 + 40 * n, 300, static_cast<unsigned>(album * 10 + n + 1));
            pictures.push_back(tree.path16(name));
        }
    }
    tree.make_dir("docs");
    use_library_environment(tree, {"card"}, "docs");
    const String root = tree.path16("card") + u"/";

    PhotoLibrary library(tree.path16("folders.ini"), true, 3);
    EventRecorder recorder;
    library.add_observer(&recorder);
    for (int i = 0; i < 40; ++i) {
        const String& picture = pictures[static_cast<std::size_t>(i * 7) % pictures.size()];
        library.add_picture(picture, root);
        library.prioritise_picture(picture);
        if (i % 8 == 0)
            library.need_search();
        library.dispatch_events();
        sleep_ms(1);
    }
    while (!library.wait_until_idle(20))
        library.dispatch_events();
    library.dispatch_events();

    for (const String& picture : pictures)
        EXPECT_TRUE(is_preview_ready(picture, root)) << to_utf8(picture);
    std::int32_t value = -1, maximum = -1;
    library.read_progress(value, maximum);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(library.get_folders_size(), 3);
    EXPECT_GE(recorder.count(&LibraryEvent::search_complete), 1);
}

}  // namespace
