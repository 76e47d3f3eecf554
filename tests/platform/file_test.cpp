#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file.h"
#include "sandbox.h"

TEST(File, ReadModeOnMissingFileStaysClosed)
{
    File file(from_utf8(sandbox() + "/missing"), File::read_mode);
    char buffer[4];
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(file.read(buffer, 4), 0u);
    EXPECT_EQ(file.write("ab", 2), 0u);
    EXPECT_EQ(file.size(), 0u);
    EXPECT_FALSE(file.seek(1));
    EXPECT_EQ(file.skip(3), 0u);
    EXPECT_FALSE(std::filesystem::exists(sandbox() + "/missing"));
}

TEST(File, DirectoryDoesNotOpen)
{
    File file;
    EXPECT_FALSE(file.open(from_utf8(sandbox()), File::read_mode));
}

TEST(File, CreateTruncatesAndAppendAddsAtTheEnd)
{
    const String path = from_utf8(sandbox() + "/modes.bin");
    {
        File file(path, File::create_mode);
        ASSERT_TRUE(file.is_open());
        EXPECT_EQ(file.write("hello", 5), 5u);
    }
    {
        File file(path, File::append_mode);
        EXPECT_EQ(file.position(), 5u);
        file.write("!", 1);
    }
    EXPECT_EQ(read_bytes(to_utf8(path)), "hello!");
    {
        File file(path, File::create_mode);
        EXPECT_EQ(file.size(), 0u);
    }
    const String fresh = from_utf8(sandbox() + "/appended.bin");
    File appended(fresh, File::append_mode);
    EXPECT_TRUE(appended.is_open());
    EXPECT_TRUE(std::filesystem::exists(to_utf8(fresh)));
}

TEST(File, ReadWriteSeekAndSkipStayInsideTheFile)
{
    const String path = from_utf8(sandbox() + "/rw.bin");
    File file(path, File::read_write_mode);
    ASSERT_TRUE(file.is_open());
    file.write("0123456789", 10);
    EXPECT_TRUE(file.seek(2));
    EXPECT_EQ(file.skip(3), 3u);
    char buffer[8] = {};
    EXPECT_EQ(file.read(buffer, 2), 2u);
    EXPECT_EQ(std::string(buffer, 2), "56");
    EXPECT_EQ(file.skip(100), 3u);
    EXPECT_EQ(file.position(), 10u);
    EXPECT_EQ(file.skip(1), 0u);
    EXPECT_EQ(file.read(buffer, 8), 0u);
    EXPECT_FALSE(file.seek(~0ull));
}
