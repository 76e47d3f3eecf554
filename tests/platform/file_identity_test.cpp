// File identities: what stat reports, through links and macros, relative to
// an open directory, and what changes when a file is rewritten or replaced.

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_identity.h"
#include "sandbox.h"

namespace {

FileIdentity identity_of(const std::string& path)
{
    FileIdentity identity;
    EXPECT_TRUE(file_identity(from_utf8(path), identity)) << path;
    return identity;
}

}  // namespace

TEST(FileIdentity, MatchesStatOfTheFile)
{
    const std::string folder = make_folder("identity");
    const std::string path = folder + "/a.jpg";
    write_bytes(path, std::string(4321, 'x'));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    const FileIdentity identity = identity_of(path);
    EXPECT_EQ(identity.size, 4321u);
    EXPECT_EQ(identity.inode, info.st_ino);
    EXPECT_EQ(identity.changed, (FileTime{info.st_ctim.tv_sec, static_cast<std::uint32_t>(info.st_ctim.tv_nsec)}));
    // The birth time, where recorded, cannot lie after the first modification.
    EXPECT_LE(identity.created.seconds, info.st_mtim.tv_sec);
}

TEST(FileIdentity, OnlyRegularFilesHaveOne)
{
    const std::string folder = make_folder("identity_kinds");
    FileIdentity identity;
    EXPECT_FALSE(file_identity(from_utf8(folder), identity));
    EXPECT_FALSE(file_identity(from_utf8(folder + "/missing"), identity));
    EXPECT_FALSE(file_identity(u"", identity));
    ASSERT_EQ(mkfifo((folder + "/pipe").c_str(), 0600), 0);
    EXPECT_FALSE(file_identity(from_utf8(folder + "/pipe"), identity));
    std::filesystem::create_symlink(folder + "/missing", folder + "/dangling");
    EXPECT_FALSE(file_identity(from_utf8(folder + "/dangling"), identity));
}

TEST(FileIdentity, LinksMacrosAndOpenDirectoriesGiveTheSameIdentity)
{
    const std::string folder = make_folder("identity_same");
    write_bytes(folder + "/a.jpg", "abc");
    std::filesystem::create_symlink(folder + "/a.jpg", folder + "/link.jpg");
    const FileIdentity direct = identity_of(folder + "/a.jpg");
    EXPECT_EQ(identity_of(folder + "/link.jpg"), direct);

    setenv("PICTAVIO_MY_DOCUMENTS", folder.c_str(), 1);
    FileIdentity through_macro;
    EXPECT_TRUE(file_identity(u"%my_documents%\\a.jpg", through_macro));
    EXPECT_EQ(through_macro, direct);
    unsetenv("PICTAVIO_MY_DOCUMENTS");

    const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(directory, 0);
    FileIdentity relative;
    EXPECT_TRUE(file_identity_at(directory, "a.jpg", relative));
    EXPECT_EQ(relative, direct);
    EXPECT_TRUE(file_identity_at(directory, "link.jpg", relative));
    EXPECT_EQ(relative, direct);
    EXPECT_FALSE(file_identity_at(directory, "missing.jpg", relative));
    EXPECT_FALSE(file_identity_at(directory, ".", relative));
    close(directory);
}

TEST(FileIdentity, RewritingOrReplacingTheFileChangesIt)
{
    const std::string folder = make_folder("identity_change");
    const std::string path = folder + "/a.jpg";
    write_bytes(path, "first");
    const FileIdentity before = identity_of(path);

    write_bytes(folder + "/b.jpg", "first");
    ASSERT_EQ(std::rename((folder + "/b.jpg").c_str(), path.c_str()), 0);
    const FileIdentity replaced = identity_of(path);
    EXPECT_EQ(replaced.size, before.size);
    EXPECT_NE(replaced.inode, before.inode);
    EXPECT_NE(replaced, before);

    // Same size, same inode: only the change time tells the new content.
    const timespec old_times[2] = {{0, 0}, {0, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old_times, 0), 0);
    const FileIdentity touched = identity_of(path);
    EXPECT_EQ(touched.inode, replaced.inode);
    EXPECT_NE(touched.changed, replaced.changed);
}
