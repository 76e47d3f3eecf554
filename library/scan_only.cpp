#include "library/scan_only.h"

#include <cstdio>
#include "library/photo_library.h"

namespace {

// How often the progress is looked at while the worker runs.
constexpr unsigned progress_interval_ms = 250;

class ProgressPrinter : public LibraryObserver {
public:
    ProgressPrinter(std::ostream& out, PhotoLibrary& library) : m_out(out), m_library(library) {}

    void on_library_event(const LibraryEvent& event) override
    {
        if (event.search_complete)
            m_out << "search complete" << std::endl;
        else if (event.progress)
            m_out << "previews " << static_cast<int>(event.progress_ratio * 100.0) << "%" << std::endl;
        else if (event.cache_complete && !report_unwritten())
            m_out << "previews complete" << std::endl;
    }

    // Prints how many pictures are left without a preview and why; false when there are none.
    bool report_unwritten()
    {
        std::int32_t count = 0;
        String folder;
        m_library.read_unwritten(count, folder);
        if (count == 0)
            return false;
        m_out << "previews incomplete: " << count << (count == 1 ? " picture has" : " pictures have")
              << " no preview: preview files cannot be written in " << to_utf8(folder) << std::endl;
        return true;
    }

private:
    std::ostream& m_out;
    PhotoLibrary& m_library;
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

}  // namespace

int scan_only(std::ostream& out, StringView folders_file)
{
    return scan_only(out, AlbumListFiles{String(folders_file), String()});
}

int scan_only(std::ostream& out, const AlbumListFiles& files)
{
    PhotoLibrary library(files);
    ProgressPrinter printer(out, library);
    library.add_observer(&printer);
    library.need_search();
    bool idle = false;
    while (!idle) {
        idle = library.wait_until_idle(progress_interval_ms);
        library.dispatch_events();
    }
    print_albums(library, out);
    std::int32_t unwritten = 0;
    String folder;
    library.read_unwritten(unwritten, folder);
    return unwritten == 0 ? 0 : 1;
}
