// The preview queue: adding, prioritising and building, with real pictures.

#include <gtest/gtest.h>

#include "library/preview_file.h"
#include "tests/library/library_test_support.h"

namespace {

String numbered(const String& folder, int n)
{
    return folder + to_string16(n) + u".jpg";
}

std::vector<String> numbered_list(const String& folder, std::initializer_list<int> numbers)
{
    std::vector<String> list;
    for (int n : numbers)
        list.push_back(numbered(folder, n));
    return list;
}

class QueueTest : public testing::Test {
protected:
    QueueTest() : m_root(m_tree.path16() + u"/"), m_folder(m_root + u"album/") {}

    TempTree m_tree;
    String m_root;
    String m_folder;
};

TEST_F(QueueTest, PrioritisingSortsTheCurrentFolderByDistanceKeepingTheOrderOfEqualOnes)
{
    PhotoLibrary library(m_tree.path16("folders.ini"), false);
    for (int n = 0; n < 10; ++n)
        library.add_picture(numbered(m_folder, n), m_root);

    library.prioritise_picture(numbered(m_folder, 5));
    EXPECT_EQ(library.queued_pictures(m_folder), numbered_list(m_folder, {5, 4, 6, 3, 7, 2, 8, 1, 9, 0}));

    // Distances from 4 tie for 5 and 3, 6 and 2, ...: they keep the order above.
    library.prioritise_picture(numbered(m_folder, 4));
    EXPECT_EQ(library.queued_pictures(m_folder), numbered_list(m_folder, {4, 5, 3, 6, 2, 7, 1, 8, 0, 9}));
}

TEST_F(QueueTest, AddingAPictureTwiceQueuesItOnce)
{
    PhotoLibrary library(m_tree.path16("folders.ini"), false);
    library.add_picture(numbered(m_folder, 1), m_root);
    library.add_picture(numbered(m_folder, 2), m_root);
    library.add_picture(numbered(m_folder, 1), m_root);
    EXPECT_EQ(library.queued_pictures(m_folder), numbered_list(m_folder, {1, 2}));
    std::int32_t value = 0, maximum = 0;
    library.read_progress(value, maximum);
    EXPECT_EQ(maximum, 2);
}

TEST_F(QueueTest, APictureThatIsNotPendingIsReportedCompleteAtOnce)
{
    PhotoLibrary library(m_tree.path16("folders.ini"), false);
    EventRecorder recorder;
    library.add_observer(&recorder);

    // No queue entry for the current folder: nothing happens.
    library.prioritise_picture(numbered(m_folder, 1));
    EXPECT_TRUE(recorder.events.empty());

    library.add_picture(numbered(m_folder, 1), m_root);
    library.prioritise_picture(numbered(m_folder, 7));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_TRUE(recorder.events[0].picture_complete);
    EXPECT_EQ(recorder.events[0].picture_path, numbered(m_folder, 7));
}

TEST_F(QueueTest, APicturePendingOutsideTheCurrentFolderIsBroughtForwardNotReported)
{
    PhotoLibrary library(m_tree.path16("folders.ini"), false);
    EventRecorder recorder;
    library.add_observer(&recorder);
    const String other = m_root + u"other/";
    for (int n = 0; n < 3; ++n)
        library.add_picture(numbered(m_folder, n), m_root);
    library.add_picture(numbered(other, 0), m_root);  // the current folder is now "other"

    library.prioritise_picture(numbered(m_folder, 2));
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(library.queued_pictures(m_folder), numbered_list(m_folder, {2, 1, 0}));
}

TEST_F(QueueTest, TheWorkerBuildsEveryQueuedPreviewAndReportsTheEnd)
{
    for (int n = 0; n < 4; ++n)
        m_tree.picture("album/" + std::to_string(n) + ".jpg", 300, 200, n + 1);
    PhotoLibrary library(m_tree.path16("folders.ini"));
    EventRecorder recorder;
    library.add_observer(&recorder);
    for (int n = 0; n < 4; ++n)
        library.add_picture(numbered(m_folder, n), m_root);
    ASSERT_TRUE(library.wait_until_idle(60000));
    library.dispatch_events();
    for (int n = 0; n < 4; ++n)
        EXPECT_TRUE(is_preview_ready(numbered(m_folder, n), m_root)) << n;
    EXPECT_TRUE(library.queued_pictures(m_folder).empty());
    EXPECT_EQ(recorder.count(&LibraryEvent::cache_complete), 1);
    EXPECT_EQ(recorder.count(&LibraryEvent::progress), 0);
}

TEST_F(QueueTest, APictureThatCannotBeDecodedGetsAnEmptyPreview)
{
    m_tree.file("album/broken.jpg", std::string("\xFF\xD8\xFF\xE0 not a picture at all", 26));
    PhotoLibrary library(m_tree.path16("folders.ini"));
    library.add_picture(m_folder + u"broken.jpg", m_root);
    ASSERT_TRUE(library.wait_until_idle(60000));
    const String preview = preview_path(m_folder + u"broken.jpg", m_root);
    ASSERT_FALSE(preview.empty());
    EXPECT_TRUE(PhotoLibrary::is_bad_preview(preview));
}

TEST_F(QueueTest, AMissingPictureLeavesNoFileButStillCounts)
{
    PhotoLibrary library(m_tree.path16("folders.ini"));
    EventRecorder recorder;
    library.add_observer(&recorder);
    library.add_picture(m_folder + u"gone.jpg", m_root);
    ASSERT_TRUE(library.wait_until_idle(60000));
    library.dispatch_events();
    EXPECT_EQ(recorder.count(&LibraryEvent::cache_complete), 1);
    EXPECT_EQ(recorder.count(&LibraryEvent::picture_complete), 1);
    EXPECT_FALSE(std::filesystem::exists(m_tree.path("!pictaviocache/gone.jpg")));
}

TEST_F(QueueTest, APreviewFolderThatCannotBeCreatedDoesNotStopTheQueue)
{
    // A plain file where the preview folder belongs, and one where the user's
    // cache folder would hold it instead: nothing can be written anywhere.
    m_tree.file("!pictaviocache", "");
    m_tree.file("cache", "");
    ScopedVariable cache("XDG_CACHE_HOME", m_tree.path("cache"));
    m_tree.picture("album/0.jpg");
    m_tree.picture("album/1.jpg", 48, 32, 2);
    PhotoLibrary library(m_tree.path16("folders.ini"));
    EventRecorder recorder;
    library.add_observer(&recorder);
    library.add_picture(numbered(m_folder, 0), m_root);
    library.add_picture(numbered(m_folder, 1), m_root);
    ASSERT_TRUE(library.wait_until_idle(60000));
    library.dispatch_events();
    EXPECT_EQ(recorder.count(&LibraryEvent::cache_complete), 1);
    EXPECT_TRUE(library.queued_pictures(m_folder).empty());
}

}  // namespace
