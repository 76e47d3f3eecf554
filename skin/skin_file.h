#pragma once
// The skin file: its byte layout and a reader that checks every offset,
// index, count and string before anything is used in place.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>
#include "platform/text.h"

struct FontSpec;

static_assert(std::endian::native == std::endian::little, "skin records are read in place as little-endian words");

// ---- Byte layout -------------------------------------------------------

// The fixed header at offset 0.
struct SkinHeader {
    char16_t magic[4];
    std::uint8_t reserved[64];
    std::int32_t root_node_offset;
    std::uint32_t picture_count;
    std::uint32_t font_count;
    std::uint32_t string_area_offset;
    std::uint32_t string_count;
};
static_assert(sizeof(SkinHeader) == 92);

// The magic code units, U+0421 U+043A U+0438 U+043D.
inline constexpr char16_t skin_magic[4] = {0x0421, 0x043A, 0x0438, 0x043D};

// A node name tree entry; its SkinNode record follows it directly.
struct SkinTreeEntry {
    std::int32_t left;
    std::int32_t right;
    std::int32_t name_offset;
};
static_assert(sizeof(SkinTreeEntry) == 12);

// The head every attribute entry starts with: the name's file offset.
struct Node {
    std::uint16_t name;
};
struct IntegerNode {
    std::uint16_t name;
    std::uint16_t padding;
    std::int32_t value;
    static constexpr std::size_t Size = 8;
};
struct PointNode {
    std::uint16_t name;
    std::uint16_t padding;
    std::int16_t x;
    std::int16_t y;
    static constexpr std::size_t Size = 8;
};
struct StringNode {
    std::uint16_t name;
    std::uint16_t index;
    static constexpr std::size_t Size = 4;
};
struct PictureNode {
    std::uint16_t name;
    std::uint16_t x0, y0, x1, y1, x2, y2, x3, y3;
    std::uint8_t picture;
    std::uint8_t flag;
    static constexpr std::size_t Size = 20;
};
struct ColorNode {
    std::uint16_t name;
    std::uint16_t padding;
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t unused;
    static constexpr std::size_t Size = 8;
};
static_assert(sizeof(Node) == 2 && sizeof(IntegerNode) == IntegerNode::Size && sizeof(PointNode) == PointNode::Size &&
              sizeof(StringNode) == StringNode::Size && sizeof(PictureNode) == PictureNode::Size &&
              sizeof(ColorNode) == ColorNode::Size);

// A node record: six table offsets and the child count, then the children's
// file offsets, then the tables. Table offsets count from the record's start.
struct SkinNode {
    std::uint16_t int_table;
    std::uint16_t font_table;
    std::uint16_t point_table;
    std::uint16_t string_table;
    std::uint16_t picture_table;
    std::uint16_t color_table;
    std::uint16_t table_end;
    std::uint16_t child_count;

    // File offset of child i (0 <= i < child_count), as stored.
    std::int32_t child_offset(int index) const;
    // Entries of one typed table, as a pointer range inside the record.
    template <class Entry>
    const Entry* table_begin(std::uint16_t start) const
    {
        return reinterpret_cast<const Entry*>(reinterpret_cast<const std::uint8_t*>(this) + start);
    }
};
static_assert(sizeof(SkinNode) == 16);

// ---- Limits a loadable file must keep -------------------------------------

// Deepest chain of children below a node (the element tree recurses this deep).
inline constexpr int skin_max_child_depth = 64;
// Most elements one node may expand into, counting shared children every time.
inline constexpr std::uint32_t skin_max_expanded_nodes = 1u << 16;
// Deepest path in the node name tree.
inline constexpr int skin_max_tree_depth = 1024;

// ---- Reader ----------------------------------------------------------------

// The whole file in memory, shared by every holder of the loaded skin.
using SkinBuffer = std::shared_ptr<const std::vector<std::uint8_t>>;

// A checked skin file. Once open() succeeded, every lookup stays inside the
// buffer without further checks.
class SkinFile {
public:
    // Takes the bytes of a skin file; false (and an empty reader) when they break any rule.
    bool open(std::vector<std::uint8_t> bytes);
    // Whether a valid file is held.
    bool is_open() const { return m_header != nullptr; }
    const SkinHeader* header() const { return m_header; }
    const SkinBuffer& buffer() const { return m_buffer; }
    // Exchanges the held files.
    void swap(SkinFile& other) noexcept;

    // The strings of the string area in file order: bitmap names, font
    // descriptions, then plain strings.
    const std::vector<StringView>& area_strings() const { return m_area_strings; }
    StringView bitmap_name(std::uint32_t index) const;
    StringView font_description(std::uint32_t index) const;
    StringView string(std::uint32_t index) const;

    // The named node from the node name tree, or null.
    const SkinNode* find_node(StringView name) const;
    // Child i of node (0 <= i < node.child_count).
    const SkinNode* child(const SkinNode& node, int index) const;

    // Attribute lookups by binary search in one typed table; null when absent.
    const IntegerNode* find_int(const SkinNode& node, StringView key) const;
    const IntegerNode* find_font(const SkinNode& node, StringView key) const;
    const PointNode* find_point(const SkinNode& node, StringView key) const;
    const StringNode* find_string(const SkinNode& node, StringView key) const;
    const PictureNode* find_picture(const SkinNode& node, StringView key) const;
    const ColorNode* find_color(const SkinNode& node, StringView key) const;

    // The zero-terminated name at a checked file offset.
    StringView name_at(std::uint32_t offset) const;

private:
    template <class Entry>
    const Entry* find_entry(const SkinNode& node, std::uint16_t start, std::uint16_t end, StringView key) const;
    const std::uint8_t* bytes() const { return m_buffer->data(); }

    SkinBuffer m_buffer;
    const SkinHeader* m_header = nullptr;
    std::vector<StringView> m_area_strings;
};

// Parses a font description ("size bold italic underline face") into spec;
// fields not reached keep their values, a size that is no number becomes 0.
void parse_font_description(StringView text, FontSpec& spec);
