// Damaged skin files: every broken offset, index, count or string is
// refused as a whole, and nothing a damaged file holds is ever read outside
// the file.

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include "skin/skin_file.h"
#include "skinfile_support.h"

static const char* const sample_description = R"(
bitmap buttons = "buttons"
bitmap back = "back"
font caption = "9 1 0 0 Tahoma"
node Main {
    string type = "node"
    int cache = 1
    int cache_alpha = 128
    point border_min = 3 -2
    color outside_color = 1 2 3
    node {
        string type = "color"
        font font = caption
        picture normal = buttons 0 0 4 4 28 28 32 32
        node {
            string type = "text"
        }
    }
    node Button {
        string type = "button"
        string id = "btnSearch"
        picture back = back 0 0 8 8 flag
    }
}
node Splash {
    string text = "Albums"
}
)";

static const char16_t* const sample_names[] = {u"Main", u"Button", u"Splash", u"Nothing"};
static const char16_t* const sample_keys[] = {u"type",          u"cache", u"cache_alpha", u"border_min",
                                              u"outside_color", u"font",  u"normal",      u"id",
                                              u"back",          u"text",  u"missing"};

// Whether the whole record lies inside the file's buffer.
template <class Record>
static bool inside(const SkinFile& file, const Record* record)
{
    const auto start = reinterpret_cast<std::uintptr_t>(file.buffer()->data());
    const auto at = reinterpret_cast<std::uintptr_t>(record);
    return at >= start && at - start + sizeof(Record) <= file.buffer()->size();
}

// Whether the text lies inside the file's buffer (an empty view may be anywhere).
static bool inside(const SkinFile& file, StringView text)
{
    if (text.empty())
        return true;
    const auto start = reinterpret_cast<std::uintptr_t>(file.buffer()->data());
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    return at >= start && at - start + text.size() * sizeof(char16_t) <= file.buffer()->size();
}

// Touches everything a loaded skin offers, the way the viewer would, and
// checks that every record a lookup hands out lies inside the file.
static int walk_node(const SkinFile& file, const SkinNode& node)
{
    const SkinHeader& header = *file.header();
    int sum = 0;
    for (const char16_t* key : sample_keys) {
        if (const IntegerNode* e = file.find_int(node, key)) {
            EXPECT_TRUE(inside(file, e));
            sum += e->value;
        }
        if (const IntegerNode* e = file.find_font(node, key)) {
            EXPECT_TRUE(inside(file, e));
            const StringView description = file.font_description(static_cast<std::uint32_t>(e->value));
            EXPECT_TRUE(inside(file, description));
            sum += static_cast<int>(description.size());
        }
        if (const PointNode* e = file.find_point(node, key)) {
            EXPECT_TRUE(inside(file, e));
            sum += e->x + e->y;
        }
        if (const StringNode* e = file.find_string(node, key)) {
            EXPECT_TRUE(inside(file, e));
            EXPECT_TRUE(inside(file, file.string(e->index)));
            sum += static_cast<int>(file.string(e->index).size());
        }
        if (const PictureNode* e = file.find_picture(node, key)) {
            EXPECT_TRUE(inside(file, e));
            EXPECT_LT(e->picture, header.picture_count);
            EXPECT_TRUE(inside(file, file.bitmap_name(e->picture)));
            sum += static_cast<int>(file.bitmap_name(e->picture).size()) + e->x3;
        }
        if (const ColorNode* e = file.find_color(node, key)) {
            EXPECT_TRUE(inside(file, e));
            sum += e->red;
        }
    }
    for (int i = 0; i < node.child_count; ++i) {
        const SkinNode* child = file.child(node, i);
        EXPECT_TRUE(inside(file, child));
        sum += walk_node(file, *child);
    }
    return sum;
}

static void walk(const SkinFile& file)
{
    for (const char16_t* name : sample_names)
        if (const SkinNode* node = file.find_node(name)) {
            EXPECT_TRUE(inside(file, node));
            walk_node(file, *node);
        }
}

// Opens bytes and, when they are accepted, reads everything in them.
static bool open_and_walk(std::vector<std::uint8_t> bytes)
{
    SkinFile file;
    if (!file.open(std::move(bytes)))
        return false;
    walk(file);
    return true;
}

class SkinfileDamage : public testing::Test {
protected:
    void SetUp() override
    {
        m_bytes = compile_or_fail(sample_description);
        ASSERT_TRUE(m_file.open(m_bytes));
        m_main = m_file.find_node(u"Main");
        m_button = m_file.find_node(u"Button");
        ASSERT_NE(m_main, nullptr);
        ASSERT_NE(m_button, nullptr);
        m_first_child = m_file.child(*m_main, 0);
    }
    std::size_t at(const void* record) const { return offset_in(m_file, record); }
    // A copy of the file with value written at offset.
    template <class T>
    std::vector<std::uint8_t> with(std::size_t offset, T value) const
    {
        std::vector<std::uint8_t> bytes = m_bytes;
        patch(bytes, offset, value);
        return bytes;
    }

    std::vector<std::uint8_t> m_bytes;
    SkinFile m_file;
    const SkinNode* m_main = nullptr;
    const SkinNode* m_button = nullptr;
    const SkinNode* m_first_child = nullptr;
};

TEST_F(SkinfileDamage, TruncationAtEveryLengthIsRefused)
{
    for (std::size_t length = 0; length < m_bytes.size(); ++length)
        EXPECT_FALSE(opens(std::vector<std::uint8_t>(m_bytes.begin(), m_bytes.begin() + length))) << length;
}

TEST_F(SkinfileDamage, EverySingleByteChangeIsRefusedOrSafe)
{
    int accepted = 0, refused = 0;
    for (std::size_t offset = 0; offset < m_bytes.size(); ++offset)
        for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            std::vector<std::uint8_t> bytes = m_bytes;
            bytes[offset] = static_cast<std::uint8_t>(value);
            ++(open_and_walk(std::move(bytes)) ? accepted : refused);
        }
    // Changed values and names still make a file; changed structure does not.
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}

TEST_F(SkinfileDamage, RandomBytesBehindTheMagicAreRefusedOrSafe)
{
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bytes(92 + random() % 400);
        for (auto& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        std::memcpy(bytes.data(), skin_magic, sizeof skin_magic);
        // Small header values, so that some offsets and counts land inside the file.
        patch<std::int32_t>(bytes, 72, round % 3 == 0 ? -1 : static_cast<std::int32_t>(92 + 4 * (random() % 60)));
        patch<std::uint32_t>(bytes, 76, random() % 3);
        patch<std::uint32_t>(bytes, 80, random() % 3);
        patch<std::uint32_t>(bytes, 84, static_cast<std::uint32_t>(92 + 2 * (random() % 150)));
        patch<std::uint32_t>(bytes, 88, random() % 4);
        open_and_walk(std::move(bytes));
        if (HasFailure())
            FAIL() << "round " << round;
    }
}

TEST_F(SkinfileDamage, RootOffsetMustPointAtATreeEntry)
{
    for (std::int32_t root :
         {0, 4, 88, -2, static_cast<std::int32_t>(m_bytes.size()), static_cast<std::int32_t>(m_bytes.size()) - 8,
          0x7FFFFFFF, static_cast<std::int32_t>(at(m_main)) - 12 + 2})
        EXPECT_FALSE(opens(with<std::int32_t>(72, root))) << root;
}

TEST_F(SkinfileDamage, NameTreeLinksMustFormASearchTree)
{
    const std::int32_t root = *reinterpret_cast<const std::int32_t*>(m_bytes.data() + 72);
    EXPECT_FALSE(opens(with<std::int32_t>(root, root)));      // left points at itself
    EXPECT_FALSE(opens(with<std::int32_t>(root + 4, root)));  // right points at itself
    const std::int32_t left = *reinterpret_cast<const std::int32_t*>(m_bytes.data() + root);
    ASSERT_NE(left, -1);
    EXPECT_FALSE(opens(with<std::int32_t>(root + 4, left)));  // one entry reached twice
    EXPECT_FALSE(opens(with<std::int32_t>(left + 4, root)));  // a loop back to the root
    // Two entries with one name: the search order no longer holds.
    const std::int32_t left_name = *reinterpret_cast<const std::int32_t*>(m_bytes.data() + left + 8);
    EXPECT_FALSE(opens(with<std::int32_t>(root + 8, left_name)));
    for (std::int32_t name : {0, 40, 93, static_cast<std::int32_t>(m_bytes.size()), -1})
        EXPECT_FALSE(opens(with<std::int32_t>(root + 8, name))) << name;
}

TEST_F(SkinfileDamage, ChildListsMustNotLoop)
{
    const std::size_t main_children = at(m_main) + sizeof(SkinNode);
    EXPECT_FALSE(opens(with<std::int32_t>(main_children, static_cast<std::int32_t>(at(m_main)))));
    // The first child's own child becomes Main: a loop of two.
    ASSERT_EQ(m_first_child->child_count, 1);
    EXPECT_FALSE(
        opens(with<std::int32_t>(at(m_first_child) + sizeof(SkinNode), static_cast<std::int32_t>(at(m_main)))));
    // A child shared by two parents is no loop.
    EXPECT_TRUE(opens(with<std::int32_t>(main_children + 4, static_cast<std::int32_t>(at(m_first_child)))));
}

TEST_F(SkinfileDamage, ChildOffsetsMustPointAtRecords)
{
    const std::size_t slot = at(m_main) + sizeof(SkinNode);
    for (std::int32_t child : {0, 8, 90, -1, static_cast<std::int32_t>(at(m_first_child)) + 2,
                               static_cast<std::int32_t>(m_bytes.size()) - 4, 0x7FFFFFF0})
        EXPECT_FALSE(opens(with<std::int32_t>(slot, child))) << child;
    EXPECT_FALSE(opens(with<std::uint16_t>(at(m_main) + 14, 0xFFFF)));  // child count past the end
}

TEST_F(SkinfileDamage, IndicesMustLieInsideTheirLists)
{
    const StringNode* type = m_file.find_string(*m_main, u"type");
    EXPECT_FALSE(opens(with<std::uint16_t>(at(type) + 2, static_cast<std::uint16_t>(m_file.header()->string_count))));
    EXPECT_TRUE(
        opens(with<std::uint16_t>(at(type) + 2, static_cast<std::uint16_t>(m_file.header()->string_count - 1))));

    const IntegerNode* font = m_file.find_font(*m_first_child, u"font");
    EXPECT_FALSE(opens(with<std::int32_t>(at(font) + 4, 1)));
    EXPECT_FALSE(opens(with<std::int32_t>(at(font) + 4, -1)));

    const PictureNode* normal = m_file.find_picture(*m_first_child, u"normal");
    EXPECT_FALSE(opens(with<std::uint8_t>(at(normal) + 18, 2)));
    EXPECT_TRUE(opens(with<std::uint8_t>(at(normal) + 18, 1)));
    EXPECT_FALSE(opens(with<std::uint16_t>(at(normal) + 2, 5)));    // x0 beyond x1
    EXPECT_FALSE(opens(with<std::uint16_t>(at(normal) + 12, 40)));  // y2 beyond y3
}

TEST_F(SkinfileDamage, AttributeNamesMustBeTerminatedStringsPastTheHeader)
{
    const IntegerNode* cache = m_file.find_int(*m_main, u"cache");
    for (std::uint16_t name :
         {std::uint16_t(0), std::uint16_t(10), std::uint16_t(90), std::uint16_t(93),
          static_cast<std::uint16_t>(m_bytes.size()), static_cast<std::uint16_t>(m_bytes.size() - 1)})
        EXPECT_FALSE(opens(with<std::uint16_t>(at(cache), name))) << name;
}

TEST_F(SkinfileDamage, TablesMustBeOrderedWholeAlignedAndInside)
{
    const std::size_t record = at(m_main);
    const SkinNode node = *m_main;
    EXPECT_FALSE(opens(with<std::uint16_t>(record + 0, node.font_table + 8)));    // int table after font table
    EXPECT_FALSE(opens(with<std::uint16_t>(record + 0, 12)));                     // over the children list
    EXPECT_FALSE(opens(with<std::uint16_t>(record + 2, node.font_table - 4)));    // half an entry
    EXPECT_FALSE(opens(with<std::uint16_t>(record + 12, 0xFFF0)));                // past the end of the file
    EXPECT_FALSE(opens(with<std::uint16_t>(record + 6, node.string_table + 2)));  // string table misplaced
}

TEST_F(SkinfileDamage, AttributeTablesMustBeSorted)
{
    // Main's integers are cache, cache_alpha: swapping the names breaks the order.
    const IntegerNode* first = m_file.find_int(*m_main, u"cache");
    const IntegerNode* second = m_file.find_int(*m_main, u"cache_alpha");
    ASSERT_EQ(second, first + 1);
    std::vector<std::uint8_t> bytes = with<std::uint16_t>(at(first), second->name);
    patch<std::uint16_t>(bytes, at(second), first->name);
    EXPECT_FALSE(opens(bytes));
    EXPECT_FALSE(opens(with<std::uint16_t>(at(second), first->name)));  // a duplicate name
}

TEST_F(SkinfileDamage, StringAreaMustHoldEveryCountedString)
{
    std::vector<std::uint8_t> unterminated = m_bytes;
    unterminated[unterminated.size() - 2] = 'x';
    EXPECT_FALSE(opens(unterminated));
    EXPECT_FALSE(opens(with<std::uint32_t>(88, 0xFFFFFFFF)));
    EXPECT_FALSE(opens(with<std::uint32_t>(76, 0x80000000)));
    EXPECT_FALSE(opens(with<std::uint32_t>(84, 40)));  // into the header
    EXPECT_FALSE(opens(with<std::uint32_t>(84, static_cast<std::uint32_t>(m_bytes.size()) + 2)));
    EXPECT_FALSE(opens(with<std::uint32_t>(84, m_file.header()->string_area_offset + 1)));
}

// A chain of unnamed records below one named root, each the only child of the one before.
static std::vector<std::uint8_t> chain_skin(int levels, int children_per_level)
{
    std::vector<std::uint8_t> bytes(92, 0);
    std::memcpy(bytes.data(), skin_magic, sizeof skin_magic);
    bytes.insert(bytes.end(), {'R', 0, 0, 0});  // the root's name at 92
    patch<std::int32_t>(bytes, 72, 96);
    const std::int32_t entry[3] = {-1, -1, 92};
    bytes.resize(96 + 12);
    std::memcpy(bytes.data() + 96, entry, sizeof entry);
    for (int level = 0; level < levels; ++level) {
        const bool last = level == levels - 1;
        const std::uint16_t count = last ? 0 : static_cast<std::uint16_t>(children_per_level);
        const std::uint16_t end = static_cast<std::uint16_t>(16 + 4 * count);
        const std::size_t record = bytes.size();
        const std::uint16_t head[8] = {end, end, end, end, end, end, end, count};
        bytes.resize(record + end);
        std::memcpy(bytes.data() + record, head, sizeof head);
        for (int i = 0; i < count; ++i)
            patch<std::int32_t>(bytes, record + 16 + 4 * i, static_cast<std::int32_t>(record + end));
    }
    patch<std::uint32_t>(bytes, 84, static_cast<std::uint32_t>(bytes.size()));
    return bytes;
}

TEST(SkinfileLimits, ChildChainsDeeperThanTheLimitAreRefused)
{
    EXPECT_TRUE(open_and_walk(chain_skin(skin_max_child_depth + 1, 1)));
    EXPECT_FALSE(opens(chain_skin(skin_max_child_depth + 2, 1)));
    EXPECT_FALSE(opens(chain_skin(5000, 1)));
}

TEST(SkinfileLimits, SharedChildrenMayNotMultiplyBeyondTheLimit)
{
    // Every level names the next record twice: 2^levels elements in all.
    EXPECT_TRUE(opens(chain_skin(10, 2)));
    EXPECT_FALSE(opens(chain_skin(20, 2)));
}

// A name tree that is a single path of ascending names linked to the right.
static std::vector<std::uint8_t> path_tree_skin(int entries)
{
    std::vector<std::uint8_t> bytes(92, 0);
    std::memcpy(bytes.data(), skin_magic, sizeof skin_magic);
    std::vector<std::size_t> names;
    for (int i = 0; i < entries; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "n%05d", i);
        names.push_back(bytes.size());
        for (const char* c = text; *c; ++c)
            bytes.insert(bytes.end(), {static_cast<std::uint8_t>(*c), 0});
        bytes.insert(bytes.end(), {0, 0, 0, 0});  // terminator and alignment (names are 6 units)
    }
    patch<std::int32_t>(bytes, 72, static_cast<std::int32_t>(bytes.size()));
    for (int i = 0; i < entries; ++i) {
        const std::size_t entry = bytes.size();
        bytes.resize(entry + 12 + 16);
        const std::int32_t next = i + 1 < entries ? static_cast<std::int32_t>(entry + 28) : -1;
        const std::int32_t links[3] = {-1, next, static_cast<std::int32_t>(names[i])};
        std::memcpy(bytes.data() + entry, links, sizeof links);
        const std::uint16_t head[8] = {16, 16, 16, 16, 16, 16, 16, 0};
        std::memcpy(bytes.data() + entry + 12, head, sizeof head);
    }
    return bytes;
}

TEST(SkinfileLimits, NameTreesDeeperThanTheLimitAreRefused)
{
    SkinFile file;
    ASSERT_TRUE(file.open(path_tree_skin(skin_max_tree_depth)));
    EXPECT_NE(file.find_node(u"n01023"), nullptr);
    EXPECT_NE(file.find_node(u"n00000"), nullptr);
    EXPECT_EQ(file.find_node(u"n01024"), nullptr);
    EXPECT_FALSE(opens(path_tree_skin(skin_max_tree_depth + 1)));
}
