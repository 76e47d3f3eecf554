// PhotoLibrary's album operations, its single instance and its observers.

#include <gtest/gtest.h>

#include "library/folders_ini.h"
#include "library/preview_file.h"
#include "tests/library/library_test_support.h"

namespace {

std::vector<Folder> three_albums()
{
    return {
        {u"/c/", u"/c/a/", u"/c/a/1.jpg", 4},
        {u"/c/", u"/c/b/", u"/c/b/2.jpg", 5},
        {u"%my_documents%/", u"%my_documents%/", u"%my_documents%/3.jpg", 6},
    };
}

TEST(LibraryAlbums, AlbumNameIsTheLastComponentOfTheFolder)
{
    EXPECT_EQ(PhotoLibrary::album_name(u"%my_documents%/"), u"Pictures folder");
    EXPECT_EQ(PhotoLibrary::album_name(u"%my_documents%\\"), u"Pictures folder");
    EXPECT_EQ(PhotoLibrary::album_name(u"/media/card/Photos/"), u"Photos");
    EXPECT_EQ(PhotoLibrary::album_name(u"\\Storage Card\\DCIM\\100MEDIA\\"), u"100MEDIA");
    EXPECT_EQ(PhotoLibrary::album_name(u"%my_documents%/Holiday/"), u"Holiday");
}

TEST(LibraryAlbums, TheSavedListIsLoadedAtConstruction)
{
    TempTree tree;
    ASSERT_TRUE(write_folders_file(tree.path16("folders.ini"), three_albums()));
    PhotoLibrary library(tree.path16("folders.ini"), false);
    ASSERT_EQ(library.get_folders_size(), 3);
    const Folder second = library.get_folder(1);
    EXPECT_EQ(second.folder_path, u"/c/b/");
    EXPECT_EQ(second.size, 5);
    EXPECT_EQ(library.search_folder_num(u"%my_documents%/3.jpg"), 2);
    EXPECT_EQ(library.search_folder_num(u"/c/b/9.jpg"), -1);
    EXPECT_EQ(library.search_folder_num(u"/C/B/2.JPG"), -1);
    EXPECT_EQ(library.get_folder(3).folder_path, u"");
}

TEST(LibraryAlbums, ChangesToAnAlbumAreSavedAndAnnounced)
{
    TempTree tree;
    const String ini = tree.path16("folders.ini");
    ASSERT_TRUE(write_folders_file(ini, three_albums()));
    PhotoLibrary library(ini, false);
    EventRecorder recorder;
    library.add_observer(&recorder);

    library.set_folder_size(u"/c/b/7.jpg", 9);
    library.set_key_picture(u"/c/a/1.jpg", u"/c/a/8.jpg");
    std::vector<Folder> saved = read_folders_file(ini);
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[1].size, 9);
    EXPECT_EQ(saved[0].key_picture_path, u"/c/a/8.jpg");
    EXPECT_EQ(library.get_folder(0).folder_path, u"/c/a/");
    EXPECT_EQ(recorder.count(&LibraryEvent::folders_changed), 2);

    // No album matches: the list is still saved and the change announced.
    std::filesystem::remove(tree.path("folders.ini"));
    library.set_folder_size(u"/nowhere/x.jpg", 1);
    EXPECT_EQ(read_folders_file(ini).size(), 3u);
    EXPECT_EQ(recorder.count(&LibraryEvent::folders_changed), 3);
}

TEST(LibraryAlbums, ABadPreviewIsAnEmptyFile)
{
    TempTree tree;
    tree.file("empty", "");
    tree.file("full", "x");
    EXPECT_TRUE(PhotoLibrary::is_bad_preview(tree.path16("empty")));
    EXPECT_FALSE(PhotoLibrary::is_bad_preview(tree.path16("full")));
    EXPECT_FALSE(PhotoLibrary::is_bad_preview(tree.path16("missing")));
}

TEST(LibrarySingleton, ASecondLibraryEndsTheProcess)
{
    TempTree tree;
    const String ini = tree.path16("folders.ini");
    EXPECT_EXIT(
        {
            PhotoLibrary first(ini, false);
            PhotoLibrary second(ini, false);
        },
        testing::ExitedWithCode(0), "");
    PhotoLibrary alone(ini, false);
    EXPECT_EQ(PhotoLibrary::instance(), &alone);
}

// Removes itself and another observer while handling an event.
class LeavingObserver : public LibraryObserver {
public:
    void on_library_event(const LibraryEvent&) override
    {
        ++calls;
        PhotoLibrary::instance()->remove_observer(this);
        if (other)
            PhotoLibrary::instance()->remove_observer(other);
    }
    LibraryObserver* other = nullptr;
    int calls = 0;
};

TEST(LibraryObservers, ObserversMayLeaveWhileAnEventIsDelivered)
{
    TempTree tree;
    PhotoLibrary library(tree.path16("folders.ini"), false);
    LeavingObserver leaving;
    EventRecorder removed;
    EventRecorder staying;
    leaving.other = &removed;
    library.add_observer(&leaving);
    library.add_observer(&removed);
    library.add_observer(&staying);
    library.set_folder_size(u"/x/y.jpg", 1);
    library.set_folder_size(u"/x/y.jpg", 2);
    EXPECT_EQ(leaving.calls, 1);
    EXPECT_TRUE(removed.events.empty());
    EXPECT_EQ(staying.events.size(), 2u);
}

TEST(LibraryObservers, ADestroyedObserverIsNoLongerCalled)
{
    TempTree tree;
    PhotoLibrary library(tree.path16("folders.ini"), false);
    auto gone = std::make_unique<EventRecorder>();
    EventRecorder staying;
    library.add_observer(gone.get());
    library.add_observer(&staying);
    gone.reset();
    library.set_folder_size(u"/x/y.jpg", 1);
    EXPECT_EQ(staying.events.size(), 1u);
}

// Queues a picture from inside the handler, as the picture viewer does.
class CallingBackObserver : public LibraryObserver {
public:
    explicit CallingBackObserver(String root) : m_root(std::move(root)) {}
    void on_library_event(const LibraryEvent& event) override
    {
        if (!event.picture_complete)
            return;
        PhotoLibrary& library = *PhotoLibrary::instance();
        library.get_folders_size();
        library.add_picture(m_root + u"again/" + to_string16(++calls) + u".jpg", m_root);
        library.read_progress(m_value, m_maximum);
    }
    int calls = 0;

private:
    String m_root;
    std::int32_t m_value = 0;
    std::int32_t m_maximum = 0;
};

TEST(LibraryObservers, HandlersMayCallBackIntoTheLibraryDuringDispatch)
{
    TempTree tree;
    const String root = tree.path16() + u"/";
    PhotoLibrary library(tree.path16("folders.ini"));
    CallingBackObserver observer(root);
    library.add_observer(&observer);
    // Pictures that do not exist: each is taken from the queue without a preview.
    library.add_picture(root + u"missing.jpg", root);
    while (observer.calls < 3) {
        library.wait_until_idle(50);
        library.dispatch_events();
    }
    library.remove_observer(&observer);
    EXPECT_TRUE(library.wait_until_idle(60000));
}

}  // namespace
