// The album list file: its exact bytes, the text-ordered load with position
// matching, and damaged files.

#include <gtest/gtest.h>

#include <filesystem>

#include "library/folders_ini.h"
#include "platform/language.h"
#include "tests/library/library_test_support.h"

namespace {

// The UTF-16LE bytes (with byte-order mark) of ASCII text.
std::string utf16_file(const std::string& text)
{
    std::string bytes = "\xFF\xFE";
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::string entry(int i, const std::string& key_picture, const std::string& drive, const std::string& size)
{
    const std::string n = std::to_string(i);
    return "KeyPicturePath" + n + "\t" + key_picture + "\nDrivePath" + n + "\t" + drive + "\nFolderSize" + n + "\t" +
           size + "\n";
}

TEST(FoldersIni, TwelveFoldersComeBackInTheTextOrderOfTheirNumbers)
{
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += entry(i, "/card/a" + std::to_string(i) + "/p.jpg", "/card" + std::to_string(i) + "/",
                      std::to_string(100 + i));
    const std::vector<Folder> folders = folders_from_text(from_utf8(text));
    const int order[] = {0, 1, 10, 11, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(folders.size(), 12u);
    for (int k = 0; k < 12; ++k) {
        const std::string n = std::to_string(order[k]);
        EXPECT_EQ(to_utf8(folders[k].key_picture_path), "/card/a" + n + "/p.jpg");
        EXPECT_EQ(to_utf8(folders[k].folder_path), "/card/a" + n + "/");
        EXPECT_EQ(to_utf8(folders[k].drive_path), "/card" + n + "/");
        EXPECT_EQ(folders[k].size, 100 + order[k]);
    }
}

TEST(FoldersIni, SizesAndDrivesGoByPositionAmongTheMatchingKeys)
{
    const std::string text = "KeyPicturePath0\t/c/a/0.jpg\nKeyPicturePath1\t/c/b/1.jpg\nKeyPicturePath2\t/c/c/2.jpg\n"
                             "KeyPicturePath3\t/c/d/3.jpg\nFolderSize0\t5\nFolderSize1\t6\nFolderSize3\t8\n"
                             "DrivePath2\t/x/\n";
    const std::vector<Folder> folders = folders_from_text(from_utf8(text));
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0].size, 5);
    EXPECT_EQ(folders[1].size, 6);
    EXPECT_EQ(folders[2].size, 8);
    EXPECT_EQ(folders[3].size, 0);
    EXPECT_EQ(to_utf8(folders[0].drive_path), "/x/");
    EXPECT_EQ(folders[1].drive_path, u"");
}

TEST(FoldersIni, EntriesBeyondTheKeyPicturesAddressNoFolder)
{
    const std::string text = "KeyPicturePath0\t/c/a/0.jpg\nFolderSize0\t1\nFolderSize1\t2\nFolderSize2\t3\n"
                             "DrivePath0\t/c/\nDrivePath1\t/d/\n";
    const std::vector<Folder> folders = folders_from_text(from_utf8(text));
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].size, 1);
    EXPECT_EQ(to_utf8(folders[0].drive_path), "/c/");
}

TEST(FoldersIni, SizesThatAreNotNumbersStayZeroAndHugeOnesSaturate)
{
    const std::string text = "KeyPicturePath0\ta/0.jpg\nKeyPicturePath1\tb/1.jpg\nKeyPicturePath2\tc/2.jpg\n"
                             "KeyPicturePath3\td/3.jpg\nFolderSize0\tmany\nFolderSize1\t12abc\n"
                             "FolderSize2\t99999999999999999999\nFolderSize3\t-7\n";
    const std::vector<Folder> folders = folders_from_text(from_utf8(text));
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0].size, 0);
    EXPECT_EQ(folders[1].size, 12);
    EXPECT_EQ(folders[2].size, 2147483647);
    EXPECT_EQ(folders[3].size, -7);
}

TEST(FoldersIni, KeyValueLinesFollowTheLanguageFileRules)
{
    const auto pairs =
        parse_key_values(u"  Exit   Quit now  \r\nCancel = Abbrechen\nBack=Zur\u00fcck\n=abc\n   \nBack2\r\n");
    EXPECT_EQ(pairs.at(u"Exit"), u"Quit now  ");
    EXPECT_EQ(pairs.at(u"Cancel"), u"= Abbrechen");
    EXPECT_EQ(pairs.at(u"Back"), u"Zur\u00fcck");
    EXPECT_EQ(pairs.at(u"Back2"), u"");
    EXPECT_EQ(pairs.size(), 4u);
    EXPECT_EQ(parse_key_values(u"K\t1\nK\t2\n").at(u"K"), u"2");
}

TEST(FoldersIni, EveryWideSpaceLeadsAndSeparatesAsInLanguageFiles)
{
    TempTree tree;
    const String text = u"\u2003KeyPicturePath0\u2003/c/a/0.jpg\n"
                        u"\u1680DrivePath0\u00A0\u2003/c/\n"
                        u"FolderSize0=\u20037\n"
                        u"KeyPicturePath1\u3000\u205F/c/b\u2009c/1.jpg\n"
                        u"FolderSize1\u000B12\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    tree.file("folders.ini", bytes);
    const std::vector<Folder> folders = read_folders_file(tree.path16("folders.ini"));
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].key_picture_path, u"/c/a/0.jpg");
    EXPECT_EQ(folders[0].folder_path, u"/c/a/");
    EXPECT_EQ(folders[0].drive_path, u"/c/");
    EXPECT_EQ(folders[0].size, 7);  // white space before a number is skipped, as "%d" does
    // Inside the value white space is kept.
    EXPECT_EQ(folders[1].key_picture_path, u"/c/b\u2009c/1.jpg");
    EXPECT_EQ(folders[1].size, 12);
}

TEST(FoldersIni, SavedFileHasTheExactBytesAndLoadsBack)
{
    TempTree tree;
    std::vector<Folder> folders(2);
    folders[0] = {u"%my_documents%/", u"%my_documents%/", u"%my_documents%/a.jpg", 3};
    folders[1] = {u"/media/card/", u"/media/card/Photos/", u"/media/card/Photos/\u0416.jpg", 12};
    const String path = tree.path16("folders.ini");
    ASSERT_TRUE(write_folders_file(path, folders));

    const std::string bytes = tree.read("folders.ini");
    const std::string expected_ascii = entry(0, "%my_documents%/a.jpg", "%my_documents%/", "3");
    ASSERT_GE(bytes.size(), 2 + expected_ascii.size() * 2);
    EXPECT_EQ(bytes.substr(0, 2 + expected_ascii.size() * 2), utf16_file(expected_ascii));
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(tree.path("folders.ini.tmp")));

    const std::vector<Folder> loaded = read_folders_file(path);
    ASSERT_EQ(loaded.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(loaded[i].key_picture_path, folders[i].key_picture_path);
        EXPECT_EQ(loaded[i].folder_path, folders[i].folder_path);
        EXPECT_EQ(loaded[i].drive_path, folders[i].drive_path);
        EXPECT_EQ(loaded[i].size, folders[i].size);
    }
}

TEST(FoldersIni, AFailedSaveLeavesThePreviousListInPlace)
{
    TempTree tree;
    const String path = tree.path16("folders.ini");
    std::vector<Folder> folders(1);
    folders[0] = {u"/c/", u"/c/a/", u"/c/a/1.jpg", 1};
    ASSERT_TRUE(write_folders_file(path, folders));
    const std::string before = tree.read("folders.ini");

    // The temporary file cannot be created when a folder stands in its place.
    tree.make_dir("folders.ini.tmp");
    folders.push_back(folders[0]);
    EXPECT_FALSE(write_folders_file(path, folders));
    EXPECT_EQ(tree.read("folders.ini"), before);
}

TEST(FoldersIni, DamagedFilesLoadWhateverParses)
{
    TempTree tree;
    EXPECT_TRUE(read_folders_file(tree.path16("missing.ini")).empty());

    tree.file("empty.ini", "");
    EXPECT_TRUE(read_folders_file(tree.path16("empty.ini")).empty());

    // Cut in the middle of the second entry and of a character.
    const std::string whole = utf16_file(entry(0, "/c/a/1.jpg", "/c/", "4") + entry(1, "/c/b/2.jpg", "/c/", "9"));
    tree.file("truncated.ini", whole.substr(0, whole.size() - 31));
    std::vector<Folder> folders = read_folders_file(tree.path16("truncated.ini"));
    ASSERT_GE(folders.size(), 1u);
    EXPECT_EQ(to_utf8(folders[0].key_picture_path), "/c/a/1.jpg");
    EXPECT_EQ(folders[0].size, 4);

    std::string binary;
    for (int i = 0; i < 5000; ++i)
        binary += static_cast<char>((i * 7919) >> 3);
    // Bytes that hold no key make no album, with or without the byte-order mark.
    tree.file("binary.ini", binary);
    EXPECT_TRUE(read_folders_file(tree.path16("binary.ini")).empty());
    tree.file("binary16.ini", "\xFF\xFE" + binary);
    EXPECT_TRUE(read_folders_file(tree.path16("binary16.ini")).empty());

    // Without the byte-order mark each byte is one character.
    tree.file("ascii.ini", "KeyPicturePath0\t/c/a/1.jpg\r\nFolderSize0 7\r\n");
    folders = read_folders_file(tree.path16("ascii.ini"));
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].size, 7);
}

}  // namespace
