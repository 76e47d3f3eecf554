// The scan without the screen: one search, every preview, the album list.

#include <gtest/gtest.h>

#include <sstream>

#include "library/preview_file.h"
#include "library/scan_only.h"
#include "tests/library/library_test_support.h"

namespace {

TEST(LibraryScanOnly, SearchesBuildsAndPrintsTheAlbums)
{
    TempTree tree;
    tree.picture("card/Beach/1.jpg", 320, 240, 1);
    tree.picture("card/Beach/2.jpeg", 320, 240, 2);
    tree.picture("docs/x.jpg", 100, 80, 3);
    use_library_environment(tree, {"card"}, "docs");

    std::ostringstream out;
    EXPECT_EQ(scan_only(out, tree.path16("folders.ini")), 0);
    const std::string text = out.str();
    EXPECT_NE(text.find("search complete\n"), std::string::npos) << text;
    EXPECT_NE(text.find("previews complete\n"), std::string::npos) << text;
    EXPECT_NE(text.find("2 albums\nBeach\t2\t" + tree.path("card/Beach/1.jpg") +
                        "\nPictures folder\t1\t%my_documents%/x.jpg\n"),
              std::string::npos)
        << text;
    const String root = tree.path16("card") + u"/";
    EXPECT_TRUE(is_preview_ready(root + u"Beach/2.jpeg", root));
    EXPECT_TRUE(std::filesystem::exists(tree.path("folders.ini")));
}

}  // namespace
