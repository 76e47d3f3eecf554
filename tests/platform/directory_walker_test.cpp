#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/directory_walker.h"
#include "sandbox.h"

namespace {

// Records everything in walk order as "F path" / "D path"; ends the walk
// after stop_after calls when that is set.
class Recorder : public DirectoryCollector {
public:
    bool on_file(const String& path) override { return record(u"F " + path); }
    bool on_directory(const String& path) override { return record(u"D " + path); }

    std::vector<String> seen;
    std::size_t stop_after = 0;

private:
    bool record(const String& entry)
    {
        seen.push_back(entry);
        return stop_after == 0 || seen.size() < stop_after;
    }
};

void touch(const std::string& path)
{
    write_bytes(path, "x");
}

// A tree whose file order within a directory is left to the file system:
// every directory holds at most one matching file.
std::string make_tree()
{
    const std::string root = make_folder("tree");
    std::filesystem::create_directories(root + "/a/deep");
    std::filesystem::create_directories(root + "/b");
    touch(root + "/IMG_0001.JPG");
    touch(root + "/notes.txt");
    touch(root + "/a/x.jpg");
    touch(root + "/a/deep/y.Jpg");
    touch(root + "/b/z.jpeg");
    return root;
}

}  // namespace

TEST(WildcardMatch, StarQuestionMarkAndLetterCase)
{
    EXPECT_TRUE(wildcard_match(u"*.jpg", u"IMG_0001.JPG"));
    EXPECT_TRUE(wildcard_match(u"*.jpg", u".jpg"));
    EXPECT_FALSE(wildcard_match(u"*.jpg", u"x.jpeg"));
    EXPECT_FALSE(wildcard_match(u"*.jpg", u"x.jpg.txt"));
    EXPECT_TRUE(wildcard_match(u"*.JPEG", u"ёлка.jpeg"));
    EXPECT_TRUE(wildcard_match(u"*", u""));
    EXPECT_TRUE(wildcard_match(u"*", u"anything"));
    EXPECT_FALSE(wildcard_match(u"", u"a"));
    EXPECT_TRUE(wildcard_match(u"a?c", u"AbC"));
    EXPECT_FALSE(wildcard_match(u"a?c", u"ac"));
    EXPECT_TRUE(wildcard_match(u"*a*b*c", u"xxaxxbxxbxc"));
    EXPECT_TRUE(wildcard_match(u"ДОМ*", u"дом.lng"));
    // Many stars against a long non-matching name ends quickly.
    EXPECT_FALSE(wildcard_match(String(30, u'*') + u"b", String(5000, u'a')));
}

TEST(DirectoryWalker, FilesBeforeSubdirectoriesDepthFirst)
{
    const std::string root = make_tree();
    const String base = from_utf8(root);
    Recorder recorder;
    EXPECT_TRUE(walk_directory(base, u"*.jpg", u"*", true, recorder));
    std::vector<String> expected_a = {u"F " + base + u"/IMG_0001.JPG", u"D " + base + u"/a", u"F " + base + u"/a/x.jpg",
                                      u"D " + base + u"/a/deep", u"F " + base + u"/a/deep/y.Jpg"};
    std::vector<String> expected_b = {u"D " + base + u"/b"};
    // The file system decides whether a or b comes first.
    std::vector<String> a_first = expected_a;
    a_first.insert(a_first.end(), expected_b.begin(), expected_b.end());
    std::vector<String> b_first = {expected_a[0]};
    b_first.insert(b_first.end(), expected_b.begin(), expected_b.end());
    b_first.insert(b_first.end(), expected_a.begin() + 1, expected_a.end());
    EXPECT_TRUE(recorder.seen == a_first || recorder.seen == b_first);
}

TEST(DirectoryWalker, NotRecursiveAndDirectoryPattern)
{
    const std::string root = make_tree();
    const String base = from_utf8(root);
    Recorder flat;
    walk_directory(base + u"/", u"*.jpeg", u"b", false, flat);
    EXPECT_EQ(flat.seen, (std::vector<String>{u"D " + base + u"/b"}));
    Recorder deep;
    walk_directory(base, u"*.jpeg", u"b", true, deep);
    EXPECT_EQ(deep.seen, (std::vector<String>{u"D " + base + u"/b", u"F " + base + u"/b/z.jpeg"}));
}

TEST(DirectoryWalker, CollectorEndsTheWholeWalk)
{
    const std::string root = make_tree();
    Recorder recorder;
    recorder.stop_after = 3;
    EXPECT_FALSE(walk_directory(from_utf8(root), u"*", u"*", true, recorder));
    EXPECT_EQ(recorder.seen.size(), 3u);
}

TEST(DirectoryWalker, MacroRootStaysInThePaths)
{
    const std::string root = make_folder("documents");
    touch(root + "/p.jpg");
    setenv("PICTAVIO_MY_DOCUMENTS", root.c_str(), 1);
    Recorder recorder;
    walk_directory(u"%my_documents%\\", u"*.jpg", u"*", true, recorder);
    unsetenv("PICTAVIO_MY_DOCUMENTS");
    EXPECT_EQ(recorder.seen, (std::vector<String>{u"F %my_documents%/p.jpg"}));
}

TEST(DirectoryWalker, LinksToDirectoriesAreNotFollowedLinksToFilesAre)
{
    const std::string root = make_folder("links");
    std::filesystem::create_directories(root + "/real");
    touch(root + "/real/a.jpg");
    std::filesystem::create_directory_symlink(root, root + "/real/loop");
    std::filesystem::create_directory_symlink(root + "/real", root + "/alias");
    std::filesystem::create_symlink(root + "/real/a.jpg", root + "/linked.jpg");
    std::filesystem::create_symlink(root + "/missing.jpg", root + "/broken.jpg");
    const String base = from_utf8(root);
    Recorder recorder;
    EXPECT_TRUE(walk_directory(base, u"*", u"*", true, recorder));
    EXPECT_EQ(recorder.seen, (std::vector<String>{u"F " + base + u"/linked.jpg", u"D " + base + u"/real",
                                                  u"F " + base + u"/real/a.jpg"}));
}

TEST(DirectoryWalker, SpecialFilesBadNamesAndMissingFoldersYieldNothing)
{
    const std::string root = make_folder("special");
    mkfifo((root + "/pipe.jpg").c_str(), 0600);
    touch(root + "/bad\xFF.jpg");
    Recorder recorder;
    EXPECT_TRUE(walk_directory(from_utf8(root), u"*", u"*", true, recorder));
    EXPECT_TRUE(recorder.seen.empty());
    EXPECT_TRUE(walk_directory(from_utf8(root + "/none"), u"*", u"*", true, recorder));
    EXPECT_TRUE(recorder.seen.empty());
}

namespace {

// Asks for the identities of the ".jpg" files only and records what arrives
// through which call.
class IdentityRecorder : public Recorder {
public:
    bool wants_identity(StringView name) const override { return wildcard_match(u"*.jpg", name); }
    bool on_identified_file(const String& path, const FileIdentity& identity) override
    {
        identities.emplace_back(path, identity);
        return on_file(path);
    }

    std::vector<std::pair<String, FileIdentity>> identities;
};

}  // namespace

TEST(DirectoryWalkerIdentity, TheWalksIdentitiesEqualAStatOfTheSameFile)
{
    const std::string root = make_tree();
    write_bytes(root + "/a/x.jpg", std::string(70000, 'p'));
    std::filesystem::create_symlink(root + "/a/x.jpg", root + "/b/linked.jpg");
    const String base = from_utf8(root);
    IdentityRecorder recorder;
    EXPECT_TRUE(walk_directory(base, u"*", u"*", true, recorder));

    std::vector<String> identified;
    for (const auto& [path, identity] : recorder.identities) {
        identified.push_back(path);
        FileIdentity stated;
        ASSERT_TRUE(file_identity(path, stated)) << to_utf8(path);
        EXPECT_EQ(identity, stated) << to_utf8(path);
    }
    std::sort(identified.begin(), identified.end());
    EXPECT_EQ(identified, (std::vector<String>{base + u"/IMG_0001.JPG", base + u"/a/deep/y.Jpg", base + u"/a/x.jpg",
                                               base + u"/b/linked.jpg"}));
    // Files without a wish for their identity still reach on_file, in the same walk order.
    EXPECT_NE(std::find(recorder.seen.begin(), recorder.seen.end(), u"F " + base + u"/notes.txt"), recorder.seen.end());
    EXPECT_NE(std::find(recorder.seen.begin(), recorder.seen.end(), u"F " + base + u"/b/z.jpeg"), recorder.seen.end());
    EXPECT_EQ(recorder.identities[0].second.size, 1u);  // IMG_0001.JPG, the root's only file of the kind
}

TEST(DirectoryWalkerIdentity, FilesWithoutAnIdentityAreLeftOutAndTheMacroRootKept)
{
    const std::string root = make_folder("identity_walk");
    std::filesystem::create_symlink(root + "/missing.jpg", root + "/dangling.jpg");
    touch(root + "/p.jpg");
    setenv("PICTAVIO_MY_DOCUMENTS", root.c_str(), 1);
    IdentityRecorder recorder;
    EXPECT_TRUE(walk_directory(u"%my_documents%/", u"*", u"*", true, recorder));
    unsetenv("PICTAVIO_MY_DOCUMENTS");
    ASSERT_EQ(recorder.identities.size(), 1u);
    EXPECT_EQ(recorder.identities[0].first, u"%my_documents%/p.jpg");
    FileIdentity stated;
    ASSERT_TRUE(file_identity(from_utf8(root + "/p.jpg"), stated));
    EXPECT_EQ(recorder.identities[0].second, stated);
    EXPECT_EQ(recorder.seen, (std::vector<String>{u"F %my_documents%/p.jpg"}));
}

TEST(DirectoryWalkerIdentity, NonAsciiNamesKeepTheirTextAndIdentity)
{
    const std::string root = make_folder("identity_names");
    touch(root + "/ёлка.jpg");
    touch(root + "/日本.JPG");
    IdentityRecorder recorder;
    EXPECT_TRUE(walk_directory(from_utf8(root), u"*", u"*", false, recorder));
    ASSERT_EQ(recorder.identities.size(), 2u);
    for (const auto& [path, identity] : recorder.identities) {
        FileIdentity stated;
        ASSERT_TRUE(file_identity(path, stated)) << to_utf8(path);
        EXPECT_EQ(identity, stated);
    }
}
