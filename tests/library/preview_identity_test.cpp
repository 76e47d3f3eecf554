// Preview names from identities a walk read: the same name, byte for byte,
// as the one made from the picture's path, and readiness from the file alone.

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unistd.h>

#include "library/drive_search.h"
#include "library/preview_file.h"
#include "platform/file_identity.h"
#include "platform/paths.h"
#include "tests/library/preview_test_support.h"

namespace {

FileIdentity identity_of(const std::string& path)
{
    FileIdentity identity;
    EXPECT_TRUE(file_identity(from_utf8(path), identity)) << path;
    return identity;
}

// The name as the seconds plus milliseconds / 1000 printed as a double with "%f".
String name_through_double(const FileIdentity& identity)
{
    const time_t created = static_cast<time_t>(identity.created.seconds);
    tm fields{};
    localtime_r(&created, &fields);
    const double seconds = fields.tm_sec + static_cast<double>(identity.created.nanoseconds / 1000000) / 1000.0;
    char name[96];
    std::snprintf(name, sizeof name, "%d%d%d%d%d%f", static_cast<int>(static_cast<std::uint32_t>(identity.size)),
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, seconds);
    return from_utf8(name);
}

}  // namespace

TEST(PreviewIdentity, EverySecondAndMillisecondNamesAsTheDoubleWould)
{
    FileIdentity identity;
    identity.size = 0xFFFFFFFFu;  // prints as -1, the low 32 bits taken as a signed number
    for (std::int64_t second = 1700000000; second < 1700000061; ++second) {
        identity.created.seconds = second;
        for (std::uint32_t millisecond = 0; millisecond < 1000; ++millisecond) {
            identity.created.nanoseconds = millisecond * 1000000 + 999999;
            ASSERT_EQ(preview_name(identity), name_through_double(identity)) << second << " " << millisecond;
        }
    }
}

TEST(PreviewIdentity, NamesFromTheWalkEqualNamesFromThePath)
{
    const std::string root = make_root();
    std::filesystem::create_directories(root + "A/B");
    write_bytes(root + "a.jpg", std::vector<std::uint8_t>(1234567, 1));
    write_bytes(root + "A/empty.JPEG", {});
    write_bytes(root + "A/B/c.jpg", std::vector<std::uint8_t>(3, 2));
    std::filesystem::create_symlink(root + "a.jpg", root + "A/link.jpg");

    const String root16 = from_utf8(root);
    const std::vector<PictureFile> pictures = find_pictures(root16, {});
    ASSERT_EQ(pictures.size(), 4u);
    for (const PictureFile& picture : pictures) {
        const String from_path = preview_path(picture.path, root16);
        ASSERT_FALSE(from_path.empty()) << to_utf8(picture.path);
        EXPECT_EQ(preview_path(picture.identity, root16), from_path) << to_utf8(picture.path);
        EXPECT_EQ(String(cache_folder_name) + u"/" + preview_name(picture.identity), from_path.substr(root16.size()));
        // A root without its trailing separator gets one either way.
        EXPECT_EQ(preview_path(picture.identity, strip_trailing_separator(root16)), from_path);
    }
}

TEST(PreviewIdentity, MacroRootsAndLinksNameTheFileBehindThem)
{
    const std::string docs = make_root();
    setenv("PICTAVIO_MY_DOCUMENTS", docs.c_str(), 1);
    write_bytes(docs + "p.jpg", std::vector<std::uint8_t>(77, 3));
    std::filesystem::create_symlink(docs + "p.jpg", docs + "q.jpg");
    const FileIdentity target = identity_of(docs + "p.jpg");

    FileIdentity through_macro;
    ASSERT_TRUE(file_identity(u"%my_documents%/p.jpg", through_macro));
    EXPECT_EQ(through_macro, target);
    EXPECT_EQ(preview_path(through_macro, u"%my_documents%/"),
              preview_path(u"%my_documents%/p.jpg", u"%my_documents%/"));
    EXPECT_EQ(identity_of(docs + "q.jpg"), target);
    unsetenv("PICTAVIO_MY_DOCUMENTS");
}

TEST(PreviewIdentity, OnlyTheLow32BitsOfTheSizeNameThePreview)
{
    FileIdentity small;
    small.size = 7;
    small.created = {1700000000, 250000000};
    FileIdentity huge = small;
    huge.size = (std::uint64_t{1} << 32) + 7;
    EXPECT_EQ(preview_name(huge), preview_name(small));
    EXPECT_EQ(preview_name(small).substr(0, 1), u"7");
    // Only whole milliseconds count: 250.9 ms names the same preview as 250 ms.
    FileIdentity later = small;
    later.created.nanoseconds = 250999999;
    EXPECT_EQ(preview_name(later), preview_name(small));
    later.created.nanoseconds = 251000000;
    EXPECT_NE(preview_name(later), preview_name(small));
}

TEST(PreviewIdentity, ReadinessOfAPreviewFileNeedsTheWholeMagic)
{
    const std::string root = make_root();
    const String path = from_utf8(root + "preview");
    EXPECT_FALSE(is_preview_file_ready(path));
    EXPECT_FALSE(is_preview_file_ready(u""));
    write_bytes(root + "preview", {});
    EXPECT_FALSE(is_preview_file_ready(path));
    write_bytes(root + "preview", {17, 0, 0});
    EXPECT_FALSE(is_preview_file_ready(path));
    write_bytes(root + "preview", {17, 0, 0, 1});
    EXPECT_FALSE(is_preview_file_ready(path));
    write_bytes(root + "preview", {17, 0, 0, 0});
    EXPECT_TRUE(is_preview_file_ready(path));
    std::filesystem::create_directories(root + "folder");
    EXPECT_FALSE(is_preview_file_ready(from_utf8(root + "folder")));
}
