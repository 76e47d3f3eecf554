// The rules that turn the worker's status into events: at most one event of
// each kind per dispatch, and a finished queue reported as cache_complete.

#include <gtest/gtest.h>

#include "library/photo_library_status.h"

namespace {

struct Kinds {
    int search = 0, picture = 0, progress = 0, cache = 0;
};

Kinds kinds_of(const std::vector<LibraryEvent>& events)
{
    Kinds kinds;
    for (const LibraryEvent& event : events) {
        EXPECT_EQ(event.folders_changed + event.search_complete + event.cache_complete + event.progress +
                      event.picture_complete,
                  1);
        kinds.search += event.search_complete;
        kinds.picture += event.picture_complete;
        kinds.progress += event.progress;
        kinds.cache += event.cache_complete;
    }
    return kinds;
}

void queue(PhotoLibraryStatus& status, int pictures)
{
    status.add_to_maximum("test", pictures);
}

TEST(LibraryStatus, AFinishedQueueGivesCacheCompleteInsteadOfAHundredPercent)
{
    PhotoLibraryStatus status;
    queue(status, 5);
    for (int i = 0; i < 5; ++i)
        status.picture_done("test", u"/c/p.jpg");
    const std::vector<LibraryEvent> events = status.take_events();
    const Kinds kinds = kinds_of(events);
    EXPECT_EQ(kinds.cache, 1);
    EXPECT_EQ(kinds.progress, 0);
    EXPECT_EQ(kinds.picture, 1);
    std::int32_t value = -1, maximum = -1;
    status.read_progress(value, maximum);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(maximum, 0);
    EXPECT_TRUE(status.take_events().empty());
}

TEST(LibraryStatus, ProgressIsReportedOnlyWhenTheValueMoved)
{
    PhotoLibraryStatus status;
    queue(status, 4);
    EXPECT_TRUE(status.take_events().empty());  // value 0: nothing built yet

    std::vector<double> ratios;
    const int values[] = {1, 1, 2};
    int built = 0;
    for (int value : values) {
        while (built < value) {
            status.picture_done("test", u"/c/p.jpg");
            ++built;
        }
        for (const LibraryEvent& event : status.take_events()) {
            if (event.progress)
                ratios.push_back(event.progress_ratio);
        }
    }
    ASSERT_EQ(ratios.size(), 2u);
    EXPECT_DOUBLE_EQ(ratios[0], 0.25);
    EXPECT_DOUBLE_EQ(ratios[1], 0.5);
}

TEST(LibraryStatus, OnlyTheLaterOfTwoFinishedPicturesIsReportedButBothCount)
{
    PhotoLibraryStatus status;
    queue(status, 3);
    status.picture_done("test", u"/c/first.jpg");
    status.picture_done("test", u"/c/second.jpg");
    const std::vector<LibraryEvent> events = status.take_events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].picture_complete);
    EXPECT_EQ(events[0].picture_path, u"/c/second.jpg");
    EXPECT_TRUE(events[1].progress);
    EXPECT_DOUBLE_EQ(events[1].progress_ratio, 2.0 / 3.0);
}

TEST(LibraryStatus, EventsComeInDispatchOrderAtMostOneOfEachKind)
{
    PhotoLibraryStatus status;
    queue(status, 2);
    status.search_done("test");
    status.search_done("test");
    status.picture_done("test", u"/c/a.jpg");
    const std::vector<LibraryEvent> events = status.take_events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[0].search_complete);
    EXPECT_TRUE(events[1].picture_complete);
    EXPECT_TRUE(events[2].progress);
    EXPECT_EQ(events[1].picture_path, u"/c/a.jpg");
    EXPECT_TRUE(events[0].picture_path.empty());
    EXPECT_TRUE(status.take_events().empty());
}

TEST(LibraryStatus, ANewSearchStartsTheCountersAgain)
{
    PhotoLibraryStatus status;
    // Previews left from an earlier round must not complete the new one early.
    queue(status, 6);
    for (int i = 0; i < 3; ++i)
        status.picture_done("test", u"/c/p.jpg");
    status.take_events();
    status.reset_progress("test", 3);  // the three not yet built stay queued
    queue(status, 3);
    EXPECT_EQ(kinds_of(status.take_events()).cache, 0);
    status.search_done("test");
    queue(status, 1);
    status.picture_done("test", u"/c/p.jpg");
    const Kinds kinds = kinds_of(status.take_events());
    EXPECT_EQ(kinds.search, 1);
    EXPECT_EQ(kinds.progress, 1);
    EXPECT_EQ(kinds.cache, 0);
}

TEST(LibraryStatus, TheRoundAfterACompleteOneReportsItsFirstStep)
{
    PhotoLibraryStatus status;
    queue(status, 1);
    status.picture_done("test", u"/c/p.jpg");
    EXPECT_EQ(kinds_of(status.take_events()).cache, 1);
    queue(status, 2);
    status.picture_done("test", u"/c/q.jpg");
    const std::vector<LibraryEvent> events = status.take_events();
    ASSERT_EQ(kinds_of(events).progress, 1);
    EXPECT_DOUBLE_EQ(events.back().progress_ratio, 0.5);
}

}  // namespace
