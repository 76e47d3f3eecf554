// The skin compiler: what it writes reads back exactly, its layout keeps the
// format's rules, and bad descriptions are refused with file, line and reason.

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include "skin/skin_file.h"
#include "skinfile_support.h"

static const char* const every_type = R"(# every attribute type once or more
bitmap buttons = "art/buttons"
bitmap back = "back"
font caption = "9 1 0 0 Tahoma"
font title = "10 1 1 0 Courier New"

node Main {
    int low = -2147483648
    int high = +2147483647
    int zero = 0
    font font = title
    font small = caption
    point corner = -32768 32767
    point border_min = 3 -2
    string type = "node"
    string quote = "say \"hi\"\\ \u00e9 Zürich"
    string again = "node"
    picture normal = buttons 0 1 4 5 28 29 32 33
    picture whole = back 2 3 40 50 flag
    color outside_color = 255 128 0
    node {
        string type = "color"
    }
    node Inner {
        int depth = 1
        node {
            int depth = 2
        }
    }
}
node Splash {
}
)";

TEST(SkinfileCompiler, EveryAttributeReadsBack)
{
    SkinFile file;
    ASSERT_TRUE(file.open(compile_or_fail(every_type)));
    const SkinHeader& header = *file.header();
    EXPECT_EQ(header.picture_count, 2u);
    EXPECT_EQ(header.font_count, 2u);
    EXPECT_EQ(file.bitmap_name(0), u"art/buttons");
    EXPECT_EQ(file.font_description(1), u"10 1 1 0 Courier New");

    const SkinNode& main = *file.find_node(u"Main");
    EXPECT_EQ(file.find_int(main, u"low")->value, INT32_MIN);
    EXPECT_EQ(file.find_int(main, u"high")->value, INT32_MAX);
    EXPECT_EQ(file.find_int(main, u"zero")->value, 0);
    EXPECT_EQ(file.find_font(main, u"font")->value, 1);
    EXPECT_EQ(file.find_font(main, u"small")->value, 0);
    EXPECT_EQ(file.find_point(main, u"corner")->x, -32768);
    EXPECT_EQ(file.find_point(main, u"corner")->y, 32767);
    EXPECT_EQ(file.find_point(main, u"border_min")->y, -2);
    EXPECT_EQ(file.string(file.find_string(main, u"type")->index), u"node");
    EXPECT_EQ(file.string(file.find_string(main, u"quote")->index), u"say \"hi\"\\ \u00e9 Z\u00fcrich");
    // Equal texts share one string.
    EXPECT_EQ(file.find_string(main, u"again")->index, file.find_string(main, u"type")->index);

    const PictureNode& normal = *file.find_picture(main, u"normal");
    EXPECT_EQ(normal.picture, 0);
    EXPECT_EQ(normal.flag, 0);
    EXPECT_EQ(
        (std::vector<int>{normal.x0, normal.y0, normal.x1, normal.y1, normal.x2, normal.y2, normal.x3, normal.y3}),
        (std::vector<int>{0, 1, 4, 5, 28, 29, 32, 33}));
    // Four coordinates: repeated as a whole, inner corners on the outer ones.
    const PictureNode& whole = *file.find_picture(main, u"whole");
    EXPECT_EQ(whole.picture, 1);
    EXPECT_NE(whole.flag, 0);
    EXPECT_EQ((std::vector<int>{whole.x0, whole.y0, whole.x1, whole.y1, whole.x2, whole.y2, whole.x3, whole.y3}),
              (std::vector<int>{2, 3, 2, 3, 40, 50, 40, 50}));

    const ColorNode& outside = *file.find_color(main, u"outside_color");
    EXPECT_EQ(outside.red, 255);
    EXPECT_EQ(outside.green, 128);
    EXPECT_EQ(outside.blue, 0);
}

TEST(SkinfileCompiler, ChildrenKeepTheirOrderAndOnlyNamedNodesAreInTheTree)
{
    SkinFile file;
    ASSERT_TRUE(file.open(compile_or_fail(every_type)));
    const SkinNode& main = *file.find_node(u"Main");
    ASSERT_EQ(main.child_count, 2);
    const SkinNode& first = *file.child(main, 0);
    EXPECT_EQ(file.string(file.find_string(first, u"type")->index), u"color");
    const SkinNode* inner = file.find_node(u"Inner");
    EXPECT_EQ(file.child(main, 1), inner);
    ASSERT_EQ(inner->child_count, 1);
    EXPECT_EQ(file.find_int(*file.child(*inner, 0), u"depth")->value, 2);
    EXPECT_EQ(file.find_node(u"Splash")->child_count, 0);
}

// Depth of the name tree below the entry at offset.
static int tree_depth(const SkinFile& file, std::int32_t offset)
{
    if (offset == -1)
        return 0;
    const auto& entry = *reinterpret_cast<const SkinTreeEntry*>(file.buffer()->data() + offset);
    return 1 + std::max(tree_depth(file, entry.left), tree_depth(file, entry.right));
}

TEST(SkinfileCompiler, NameTreeIsBalancedAndFindsEveryNode)
{
    std::string source;
    for (int i = 0; i < 100; ++i)
        source += "node n" + std::to_string(i * 37 % 100) + " {\n}\n";
    SkinFile file;
    ASSERT_TRUE(file.open(compile_or_fail(source)));
    EXPECT_LE(tree_depth(file, file.header()->root_node_offset), 7);
    for (int i = 0; i < 100; ++i)
        EXPECT_NE(file.find_node(from_ascii("n" + std::to_string(i))), nullptr) << i;
}

TEST(SkinfileCompiler, AttributeNamesComeFirstAndRecordsAreAligned)
{
    SkinFile file;
    ASSERT_TRUE(file.open(compile_or_fail(every_type)));
    const SkinNode& main = *file.find_node(u"Main");
    EXPECT_EQ(file.name_at(92), u"again");  // the sorted pool starts right after the header
    EXPECT_EQ(offset_in(file, &main) % 4, 0u);
    EXPECT_EQ(offset_in(file, file.find_color(main, u"outside_color")) % 4, 0u);
    EXPECT_EQ(file.header()->string_area_offset % 2, 0u);
}

TEST(SkinfileCompiler, AttributeNamesBeyondTheFirst64KiBAreRefused)
{
    std::string source = "node N {\n";
    for (int i = 0; i < 2000; ++i)
        source += "int a_rather_long_attribute_name_" + std::to_string(100000 + i) + " = 1\n";
    source += "}\n";
    EXPECT_NE(compile_error(source).find("64 KiB"), std::string::npos);
}

TEST(SkinfileCompiler, ByteOrderMarkAndWindowsLineEndsAreAccepted)
{
    SkinFile file;
    ASSERT_TRUE(file.open(compile_or_fail("\xEF\xBB\xBFnode Main {\r\n  string s = \"x\"\r\n}\r\n")));
    const SkinNode* main = file.find_node(u"Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(file.string(file.find_string(*main, u"s")->index), u"x");
}

TEST(SkinfileCompiler, EmptyDescriptionGivesAnEmptySkin)
{
    SkinFile file;
    ASSERT_TRUE(file.open(compile_or_fail("# nothing\n\n")));
    EXPECT_EQ(file.header()->root_node_offset, -1);
    EXPECT_EQ(file.buffer()->size(), 92u);
}

TEST(SkinfileCompiler, BadDescriptionsNameFileLineAndReason)
{
    const struct {
        const char* source;
        const char* where;
        const char* reason;
    } cases[] = {
        {"node Main {\n  int a = 1\n  int a = 2\n}\n", "test.txt:3: ", "given twice"},
        {"node Main {\n  picture p = nowhere 0 0 1 1\n}\n", "test.txt:2: ", "not declared"},
        {"node Main {\n  point p = 1 40000\n}\n", "test.txt:2: ", "outside"},
        {"node Main {\n  color c = 1 2\n}\n", "test.txt:2: ", "color KEY = RED GREEN BLUE"},
        {"node Main {\n  int x = 12abc\n}\n", "test.txt:2: ", "expected an integer"},
        {"\n\nnode Main {\n  int x = 1\n", "test.txt:3: ", "not closed"},
        {"}\n", "test.txt:1: ", "without an open node"},
        {"node A {\n}\nnode A {\n}\n", "test.txt:3: ", "already used on line 1"},
        {"node {\n}\n", "test.txt:1: ", "needs a name"},
        {"bitmap b = \"b\"\nnode M {\n  picture p = b 0 0 5 4 3 3 8 8\n}\n", "test.txt:3: ", "corners"},
        {"font f = \"Tahoma\"\n", "test.txt:1: ", "size bold italic underline face"},
        {"font f = \"9 1\"\n", "test.txt:1: ", "size bold italic underline face"},
        {"node M {\n  string s = \"open\n}\n", "test.txt:2: ", "not closed"},
        {"node M {\n  string s = \"\\q\"\n}\n", "test.txt:2: ", "unknown escape"},
        {"node M {\n  bool b = 1\n}\n", "test.txt:2: ", "unknown attribute type"},
        {"widget W\n", "test.txt:1: ", "unknown statement"},
        {"bitmap b = \"b\"\nbitmap b = \"c\"\n", "test.txt:2: ", "declared twice"},
        {"node M {\n  string s = \"a\\u0000b\"\n}\n", "test.txt:2: ", "\\u"},
    };
    for (const auto& c : cases) {
        const std::string error = compile_error(c.source);
        EXPECT_EQ(error.rfind(c.where, 0), 0u) << c.source << " -> " << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.source << " -> " << error;
    }
}

TEST(SkinfileCompiler, NestingBeyondWhatTheReaderTakesIsRefused)
{
    std::string source = "node Deep {\n";
    for (int i = 1; i < skin_max_child_depth; ++i)
        source += "node {\n";
    std::string closing;
    for (int i = 0; i < skin_max_child_depth; ++i)
        closing += "}\n";
    EXPECT_TRUE(opens(compile_or_fail(source + closing)));
    EXPECT_NE(compile_error(source + "node {\n}\n" + closing).find("too deeply"), std::string::npos);
}

TEST(SkinfileCompiler, OnlyTheFirst256BitmapsServePictures)
{
    std::string source;
    for (int i = 0; i < 257; ++i)
        source += "bitmap b" + std::to_string(i) + " = \"b\"\n";
    EXPECT_TRUE(opens(compile_or_fail(source + "node M {\n picture p = b255 0 0 1 1\n}\n")));
    EXPECT_NE(compile_error(source + "node M {\n picture p = b256 0 0 1 1\n}\n").find("256"), std::string::npos);
}

static std::vector<std::uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

static int run_skinc(const std::string& input, const std::string& output, const std::string& messages)
{
    const std::string command =
        std::string(PICTAVIO_TOOLS_DIR) + "/skinc '" + input + "' '" + output + "' 2>'" + messages + "'";
    return std::system(command.c_str());
}

TEST(SkinfileCompiler, ToolWritesWhatTheLibraryCompilesAndRefusesBadFiles)
{
    const std::string folder = testing::TempDir() + "skinfile_tool/";
    std::system(("mkdir -p '" + folder + "'").c_str());
    std::ofstream(folder + "good.txt") << every_type;
    std::ofstream(folder + "bad.txt") << "node M {\n  int a = x\n}\n";
    std::remove((folder + "bad.skin").c_str());

    EXPECT_EQ(run_skinc(folder + "good.txt", folder + "good.skin", folder + "good.log"), 0);
    EXPECT_EQ(read_file(folder + "good.skin"), compile_or_fail(every_type));

    EXPECT_NE(run_skinc(folder + "bad.txt", folder + "bad.skin", folder + "bad.log"), 0);
    const std::vector<std::uint8_t> log = read_file(folder + "bad.log");
    EXPECT_NE(std::string(log.begin(), log.end()).find("bad.txt:2: "), std::string::npos);
    EXPECT_FALSE(std::ifstream(folder + "bad.skin").good());
}
