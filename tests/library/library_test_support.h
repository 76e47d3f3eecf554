#pragma once
// Shared pieces of the photo library tests: a temporary tree of real files
// (JPEG pictures among them), the environment that points the library at it,
// and an observer that records the library's events.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library/library_event.h"
#include "library/photo_library.h"
#include "platform/text.h"
#include "tests/library/preview_pictures.h"

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

// Sets an environment variable for one test and puts the old value back.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name)
    {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old)
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
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
