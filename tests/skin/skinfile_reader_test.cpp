// Reading skin files: header checks, the name tree, attribute lookups and
// font descriptions.

#include <gtest/gtest.h>
#include "skin/font.h"
#include "skin/skin_file.h"
#include "skinfile_support.h"

// A header with the magic, all counts zero and an empty name tree.
static std::vector<std::uint8_t> empty_skin()
{
    std::vector<std::uint8_t> bytes(sizeof(SkinHeader), 0);
    std::memcpy(bytes.data(), skin_magic, sizeof skin_magic);
    patch<std::int32_t>(bytes, 72, -1);
    return bytes;
}

static void put_name(std::vector<std::uint8_t>& bytes, std::size_t offset, std::u16string_view name)
{
    std::memcpy(bytes.data() + offset, name.data(), 2 * name.size());
}

// The 152-byte file of one node "Main" with the integer "cache" = 1, laid
// out by hand byte for byte.
static std::vector<std::uint8_t> hand_made_skin()
{
    std::vector<std::uint8_t> bytes = empty_skin();
    bytes.resize(152, 0);
    patch<std::int32_t>(bytes, 72, 116);
    patch<std::uint32_t>(bytes, 84, 152);
    put_name(bytes, 92, u"cache");
    put_name(bytes, 104, u"Main");
    patch<std::int32_t>(bytes, 116, -1);
    patch<std::int32_t>(bytes, 120, -1);
    patch<std::int32_t>(bytes, 124, 104);
    const std::uint16_t record[8] = {16, 24, 24, 24, 24, 24, 24, 0};
    std::memcpy(bytes.data() + 128, record, sizeof record);
    patch<std::uint16_t>(bytes, 144, 92);
    patch<std::int32_t>(bytes, 148, 1);
    return bytes;
}

TEST(SkinfileReader, HandMadeFileIsReadInPlace)
{
    SkinFile file;
    ASSERT_TRUE(file.open(hand_made_skin()));
    const SkinNode* main = file.find_node(u"Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(offset_in(file, main), 128u);
    const IntegerNode* cache = file.find_int(*main, u"cache");
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->value, 1);
    EXPECT_EQ(file.find_int(*main, u"cach"), nullptr);
    EXPECT_EQ(file.find_int(*main, u"caches"), nullptr);
    EXPECT_EQ(file.find_point(*main, u"cache"), nullptr);  // only the table of the asked type
    EXPECT_EQ(file.find_node(u"main"), nullptr);           // case is significant
}

TEST(SkinfileReader, CompilerLaysTheSmallestSkinOutByteForByte)
{
    EXPECT_EQ(compile_or_fail("node Main {\n    int cache = 1\n}\n"), hand_made_skin());
}

TEST(SkinfileReader, HeaderOnlyFileLoadsWithNothingInIt)
{
    SkinFile file;
    ASSERT_TRUE(file.open(empty_skin()));
    EXPECT_TRUE(file.area_strings().empty());
    EXPECT_EQ(file.find_node(u"Main"), nullptr);
    EXPECT_EQ(file.find_node(u""), nullptr);
}

TEST(SkinfileReader, HeaderChecks)
{
    std::vector<std::uint8_t> short_file = empty_skin();
    short_file.pop_back();
    EXPECT_FALSE(opens(short_file));
    EXPECT_FALSE(opens({}));

    std::vector<std::uint8_t> foreign = empty_skin();
    patch<char16_t>(foreign, 6, u'n');  // first unit right, fourth wrong
    EXPECT_FALSE(opens(foreign));

    std::vector<std::uint8_t> fifth_unit = empty_skin();
    patch<char16_t>(fifth_unit, 8, u'X');  // not part of the magic
    EXPECT_TRUE(opens(fifth_unit));
}

TEST(SkinfileReader, FailedOpenLeavesNothingBehind)
{
    SkinFile file;
    ASSERT_TRUE(file.open(hand_made_skin()));
    EXPECT_FALSE(file.open({1, 2, 3}));
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(file.find_node(u"Main"), nullptr);
}

TEST(SkinfileReader, PrefixNamesAreOrderedShorterFirstAndAllFound)
{
    SkinFile file;
    ASSERT_TRUE(file.open(compile_or_fail(R"(
node text2 {
    int text2 = 2
    int text = 1
    int tex = 0
}
node text {
    int t = 5
}
node tex {
}
)")));
    const SkinNode* text2 = file.find_node(u"text2");
    const SkinNode* text = file.find_node(u"text");
    ASSERT_NE(text2, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(file.find_node(u"tex"), nullptr);
    EXPECT_NE(text, text2);
    EXPECT_EQ(file.find_int(*text2, u"tex")->value, 0);
    EXPECT_EQ(file.find_int(*text2, u"text")->value, 1);
    EXPECT_EQ(file.find_int(*text2, u"text2")->value, 2);
    EXPECT_EQ(file.find_int(*text2, u"te"), nullptr);
    EXPECT_EQ(file.find_int(*text2, u"text3"), nullptr);
    EXPECT_EQ(file.find_int(*text, u"t")->value, 5);
}

TEST(SkinfileReader, AttributeSearchFindsEveryEntryOfLargeTables)
{
    std::string source = "node N {\n";
    for (int i = 0; i < 300; ++i)
        source += "int k" + std::to_string(i) + " = " + std::to_string(i * 7) + "\n";
    source += "}\n";
    SkinFile file;
    ASSERT_TRUE(file.open(compile_or_fail(source)));
    const SkinNode* node = file.find_node(u"N");
    for (int i = 0; i < 300; ++i) {
        const IntegerNode* entry = file.find_int(*node, from_ascii("k" + std::to_string(i)));
        ASSERT_NE(entry, nullptr) << i;
        EXPECT_EQ(entry->value, i * 7);
    }
    EXPECT_EQ(file.find_int(*node, u"k300"), nullptr);
    EXPECT_EQ(file.find_int(*node, u"a"), nullptr);
    EXPECT_EQ(file.find_int(*node, u"z"), nullptr);
}

static FontSpec parsed(StringView description)
{
    FontSpec spec;
    parse_font_description(description, spec);
    return spec;
}

TEST(SkinfileReader, FontDescriptions)
{
    const FontSpec courier = parsed(u"10 1 1 0 Courier New");
    EXPECT_EQ(courier.point_size, 10);
    EXPECT_TRUE(courier.bold);
    EXPECT_TRUE(courier.italic);
    EXPECT_FALSE(courier.underline);
    EXPECT_EQ(courier.face, u"Courier New");

    const FontSpec signs = parsed(u"  +9\t-3 0 +0   Face with blanks  ");
    EXPECT_EQ(signs.point_size, 9);
    EXPECT_TRUE(signs.bold);  // any non-zero value switches a flag on
    EXPECT_FALSE(signs.italic);
    EXPECT_EQ(signs.face, u"Face with blanks  ");

    EXPECT_EQ(parsed(u"9 0 0 0").face, u"");  // an empty rest gives an empty face
    EXPECT_EQ(parsed(u"-7 0 0 0 F").point_size, -7);
}

TEST(SkinfileReader, FontDescriptionsStoppingEarlyKeepDefaults)
{
    const FontSpec empty = parsed(u"");
    EXPECT_EQ(empty.point_size, 12);
    EXPECT_EQ(empty.face, u"Tahoma");

    EXPECT_EQ(parsed(u"Tahoma").point_size, 0);  // no size: no font
    EXPECT_EQ(parsed(u"-").point_size, 12);      // a lone sign stops before the size

    const FontSpec partial = parsed(u"14 1 x 1 Face");
    EXPECT_EQ(partial.point_size, 14);
    EXPECT_TRUE(partial.bold);
    EXPECT_FALSE(partial.italic);
    EXPECT_FALSE(partial.underline);
    EXPECT_EQ(partial.face, u"Tahoma");

    EXPECT_EQ(parsed(u"99999999999999999999 0 0 0 F").point_size, 2147483647);
    EXPECT_EQ(parsed(u"-99999999999999999999 0 0 0 F").point_size, -2147483647);
}
