#pragma once
// A temporary folder for one test, under the test temp dir.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// A folder named after name plus a unique ending, removed with everything in
// it at the end; its path is empty when it could not be made.
class TempFolder {
public:
    explicit TempFolder(const std::string& name)
    {
        std::string pattern = testing::TempDir() + name + "XXXXXX";
        const char* made = mkdtemp(pattern.data());
        m_path = made ? made : "";
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};
