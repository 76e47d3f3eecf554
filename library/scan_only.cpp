#include "library/scan_only.h"

#include <cstdio>
#include "library/photo_library.h"

namespace {

// How often the progress is looked at while the worker runs.
constexpr unsigned progress_interval_ms = 250;

class ProgressPrinter : public LibraryObserver {
public:
    explicit ProgressPrinter(std::ostream& out) : m_out(out) {}

    void on_library_event(const LibraryEvent& event) override
    {
        if (event.search_complete)
            m_out << "search complete" << std::endl;
        else if (event.progress)
            m_out << "previews " << static_cast<int>(event.progress_ratio * 100.0) << "%" << std::endl;
        else if (event.cache_complete)
            m_out << "previews complete" << std::endl;
    }

private:
    std::ostream& m_out;
};

void print_albums(PhotoLibrary& library, std::ostream& out)
{
    const int count = library.get_folders_size();
    out << count << " albums" << std::endl;
    for (int i = 0; i < count; ++i) {
        const Folder folder = library.get_folder(i);
        out << to_utf8(PhotoLibrary::album_name(folder.folder_path)) << '\t' << folder.size << '\t'
            << to_utf8(folder.key_picture_path) << std::endl;
    }
}

} // namespace

int scan_only(std::ostream& out, StringView folders_file)
{
    PhotoLibrary library(folders_file);
    ProgressPrinter printer(out);
    library.add_observer(&printer);
    library.need_search();
    bool idle = false;
    while (!idle) {
        idle = library.wait_until_idle(progress_interval_ms);
        library.dispatch_events();
    }
    print_albums(library, out);
    return 0;
}
