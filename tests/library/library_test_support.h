#pragma once
// Shared pieces of the photo library tests: a temporary tree of real files
// (JPEG pictures among them), the environment that points the library at it,
// and an observer that records the library's events.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "library/library_event.h"
#include "library/photo_library.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/library/preview_pictures.h"
#include "tests/scoped_variable.h"

// A fresh temporary folder, removed with everything in it at the end.
class TempTree {
public:
    // In base when given (a folder ending in "/"), else in the test temp dir.
    explicit TempTree(const std::string& base = {})
    {
        std::string pattern = (base.empty() ? testing::TempDir() : base) + "pictavio_libraryXXXXXX";
        const char* made = mkdtemp(pattern.data());
        m_root = made ? std::string(made) : std::string();
    }
    ~TempTree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Absolute path of relative (the root itself when empty).
    std::string path(const std::string& relative = {}) const
    {
        return relative.empty() ? m_root : m_root + "/" + relative;
    }
    String path16(const std::string& relative = {}) const { return from_utf8(path(relative)); }

    void make_dir(const std::string& relative) const { std::filesystem::create_directories(path(relative)); }

    // A real JPEG of width x height at relative (folders created as needed).
    // Without a seed each picture gets its own content, so that pictures made
    // within one millisecond still differ in size and thus in preview name.
    void picture(const std::string& relative, int width = 48, int height = 32, unsigned seed = 0) const
    {
        static unsigned next_seed = 1000;
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        PictureSpec spec;
        spec.width = width;
        spec.height = height;
        spec.seed = seed != 0 ? seed : next_seed++;
        spec.quality = 50 + static_cast<int>(spec.seed % 50);
        ASSERT_TRUE(write_picture(path(relative), spec)) << relative;
    }

    void file(const std::string& relative, const std::string& bytes) const
    {
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        std::ofstream out(path(relative), std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    std::string read(const std::string& relative) const
    {
        std::ifstream in(path(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_root;
};

// Points the library at the tree: cards, My Documents and a registry of its own.
inline void use_library_environment(const TempTree& tree, const std::vector<std::string>& cards,
                                    const std::string& my_documents)
{
    std::string list;
    for (const std::string& card : cards)
        list += (list.empty() ? "" : ":") + tree.path(card);
    setenv("PICTAVIO_CARDS", list.c_str(), 1);
    setenv("PICTAVIO_MY_DOCUMENTS", tree.path(my_documents).c_str(), 1);
    setenv("PICTAVIO_REGISTRY", tree.path("registry").c_str(), 1);
}

// Switches the log on, into the tree's folder, for the life of the object
// (through the registry that use_library_environment points at).
class TreeLog {
public:
    explicit TreeLog(const TempTree& tree) : m_temp_folder("TMPDIR", tree.path()) { switch_log(1); }
    ~TreeLog() { switch_log(0); }
    TreeLog(const TreeLog&) = delete;
    TreeLog& operator=(const TreeLog&) = delete;

    // The lines written so far (the lines checked are ASCII: each unit narrowed).
    std::vector<std::string> lines() const
    {
        std::ifstream in(to_utf8(log_file_path()), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<std::string> lines(1);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            if (bytes[i] == '\n')
                lines.emplace_back();
            else
                lines.back() += bytes[i];
        }
        lines.pop_back();
        return lines;
    }

private:
    static void switch_log(std::uint32_t on)
    {
        ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", on));
        log();  // opens or closes the file now
    }

    ScopedVariable m_temp_folder;
};

// A point in the library's work (reached through a probe) where its threads
// wait while the test looks at what they are in the middle of.
class HoldPoint {
public:
    // On a library thread: while the point is closed, waits until it opens.
    void arrive()
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        --m_waiting;
    }
    // Waits (two minutes at most) until count threads wait here; false when they do not.
    bool wait_for_waiting(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::minutes(2), [&] { return m_waiting >= count; });
    }
    // The threads that wait now.
    int waiting()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }
    // Lets every thread go on, for good.
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_waiting = 0;
    bool m_open = false;
};

// Opens a hold point when it goes out of scope. Declared after the library
// (and the point before it), it lets the library's threads go on before the
// library stops them, whichever way the test ends.
class OpenAtExit {
public:
    explicit OpenAtExit(HoldPoint& point) : m_point(point) {}
    ~OpenAtExit() { m_point.open(); }
    OpenAtExit(const OpenAtExit&) = delete;
    OpenAtExit& operator=(const OpenAtExit&) = delete;

private:
    HoldPoint& m_point;
};

// Records every event the library delivers.
class EventRecorder : public LibraryObserver {
public:
    void on_library_event(const LibraryEvent& event) override { events.push_back(event); }

    int count(bool LibraryEvent::*flag) const
    {
        int n = 0;
        for (const LibraryEvent& event : events)
            n += (event.*flag) ? 1 : 0;
        return n;
    }

    std::vector<LibraryEvent> events;
};

// Runs one search and the preview building after it to the end, delivering
// the events on this thread.
inline void search_until_idle(PhotoLibrary& library)
{
    library.need_search();
    while (!library.wait_until_idle(50))
        library.dispatch_events();
    library.dispatch_events();
}

// The albums as they are now.
inline std::vector<Folder> albums_of(PhotoLibrary& library)
{
    std::vector<Folder> folders;
    const int count = library.get_folders_size();
    for (int i = 0; i < count; ++i)
        folders.push_back(library.get_folder(i));
    return folders;
}
