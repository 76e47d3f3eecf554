#pragma once
// Death tests of fatal checks: fatal_error ends the process with status 0 and
// leaves its "Gluck: message @ place" line as the log's last line. A FatalLog
// switches the log on in a folder of the test's own, which the death test's
// child process (started afresh, "threadsafe" style) finds in the environment.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <string>
#include "platform/log.h"
#include "platform/registry.h"

// The log file's text with each UTF-16 unit narrowed (the lines checked are ASCII).
inline std::string read_log_text()
{
    std::ifstream in(to_utf8(log_file_path()), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string narrowed;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        narrowed += bytes[i];
    return narrowed;
}

class FatalLog {
public:
    // Points the temporary folder and the registry at the test's folder and switches the log on.
    void open()
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        if (const char* inherited = std::getenv("PICTAVIO_FATAL_TEST_FOLDER")) {
            m_folder = inherited;
        } else {
            const auto* info = testing::UnitTest::GetInstance()->current_test_info();
            m_folder = testing::TempDir() + "pictavio_fatal_" + info->name();
            std::filesystem::create_directories(m_folder);
            setenv("PICTAVIO_FATAL_TEST_FOLDER", m_folder.c_str(), 1);
        }
        setenv("TMPDIR", m_folder.c_str(), 1);
        setenv("PICTAVIO_REGISTRY", (m_folder + "/registry").c_str(), 1);
        ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 1));
        std::filesystem::remove(to_utf8(log_file_path()));
    }
    // Restores the environment and removes the folder.
    void close()
    {
        unsetenv("TMPDIR");
        unsetenv("PICTAVIO_REGISTRY");
        unsetenv("PICTAVIO_FATAL_TEST_FOLDER");
        std::filesystem::remove_all(m_folder);
    }
    // Whether the log holds a line matching pattern (a regular expression).
    bool has(const std::string& pattern) const { return std::regex_search(text(), std::regex(pattern)); }
    std::string text() const { return read_log_text(); }

private:
    std::string m_folder;
};
