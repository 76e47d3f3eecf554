// The user-interface side calls every public operation in a loop while the
// worker searches and builds previews; run it under ThreadSanitizer too.

#include <gtest/gtest.h>

#include "library/preview_file.h"
#include "tests/library/library_test_support.h"

namespace {

class BusyObserver : public LibraryObserver {
public:
    void on_library_event(const LibraryEvent& event) override
    {
        // Handlers call back into the library, as the screens do.
        PhotoLibrary& library = *PhotoLibrary::instance();
        if (event.picture_complete)
            library.set_current_folder(directory_of(event.picture_path));
        if (event.folders_changed || event.search_complete)
            library.get_folders_size();
        ++events;
    }
    int events = 0;
};

TEST(LibraryStress, EveryOperationRunsBesideTheWorker)
{
    TempTree tree;
    std::vector<String> pictures;
    for (int album = 0; album < 4; ++album) {
        for (int n = 0; n < 6; ++n) {
            const std::string name = "card/a" + std::to_string(album) + "/p" + std::to_string(n) + ".jpg";
            tree.picture(name, 64 + n * 8, 48, static_cast<unsigned>(album * 10 + n + 1));
            pictures.push_back(tree.path16(name));
        }
    }
    tree.picture("docs/d.jpeg");
    use_library_environment(tree, {"card"}, "docs");
    const String root = tree.path16("card") + u"/";

    PhotoLibrary library(tree.path16("folders.ini"));
    BusyObserver observer;
    library.add_observer(&observer);
    for (int i = 0; i < 600; ++i) {
        const String& picture = pictures[static_cast<std::size_t>(i) % pictures.size()];
        if (i % 150 == 0)
            library.need_search();
        const int size = library.get_folders_size();
        if (size > 0) {
            const Folder folder = library.get_folder(i % size);
            library.search_folder_num(folder.key_picture_path);
            PhotoLibrary::album_name(folder.folder_path);
            PhotoLibrary::is_bad_preview(preview_path(folder.key_picture_path, folder.drive_path));
        }
        library.set_current_folder(directory_of(picture));
        library.add_picture(picture, root);
        library.prioritise_picture(picture);
        library.queued_pictures(directory_of(picture));
        std::int32_t value = 0, maximum = 0;
        library.read_progress(value, maximum);
        if (i % 100 == 50) {
            library.set_folder_size(picture, 6);
            library.set_key_picture(picture, picture);
        }
        library.dispatch_events();
    }
    while (!library.wait_until_idle(50))
        library.dispatch_events();
    library.dispatch_events();

    for (const String& picture : pictures)
        EXPECT_TRUE(is_preview_ready(picture, root)) << to_utf8(picture);
    EXPECT_EQ(library.get_folders_size(), 5);
    EXPECT_GT(observer.events, 0);
}

}  // namespace
