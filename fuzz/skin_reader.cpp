// Fuzz target of the skin file reader: any bytes are either refused or give
// a skin whose every node, attribute, string and font description can be
// read without leaving the file, and whose lookups find every stored name.

#include <cstdlib>
#include <vector>
#include "skin/font.h"
#include "skin/skin_file.h"

// Every entry of one table must be found again by its own name.
template <class Entry, class Find>
static void check_table(const SkinFile& file, const SkinNode& node, std::uint16_t start, std::uint16_t end, Find find)
{
    const Entry* first = node.table_begin<Entry>(start);
    const Entry* last = node.table_begin<Entry>(end);
    for (const Entry* entry = first; entry != last; ++entry)
        if ((file.*find)(node, file.name_at(entry->name)) != entry)
            std::abort();
}

static void check_node(const SkinFile& file, const SkinNode& node)
{
    check_table<IntegerNode>(file, node, node.int_table, node.font_table, &SkinFile::find_int);
    check_table<IntegerNode>(file, node, node.font_table, node.point_table, &SkinFile::find_font);
    check_table<PointNode>(file, node, node.point_table, node.string_table, &SkinFile::find_point);
    check_table<StringNode>(file, node, node.string_table, node.picture_table, &SkinFile::find_string);
    check_table<PictureNode>(file, node, node.picture_table, node.color_table, &SkinFile::find_picture);
    check_table<ColorNode>(file, node, node.color_table, node.table_end, &SkinFile::find_color);
    for (const StringNode* e = node.table_begin<StringNode>(node.string_table);
         e != node.table_begin<StringNode>(node.picture_table); ++e)
        file.string(e->index);
    for (int i = 0; i < node.child_count; ++i)
        check_node(file, *file.child(node, i));
}

// Every tree entry is found by its name and leads to its node.
static void check_tree(const SkinFile& file, std::int32_t offset)
{
    if (offset == -1)
        return;
    const auto& entry = *reinterpret_cast<const SkinTreeEntry*>(file.buffer()->data() + offset);
    const SkinNode* node = file.find_node(file.name_at(static_cast<std::uint32_t>(entry.name_offset)));
    if (node != reinterpret_cast<const SkinNode*>(&entry + 1))
        std::abort();
    check_node(file, *node);
    check_tree(file, entry.left);
    check_tree(file, entry.right);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SkinFile file;
    if (!file.open(std::vector<std::uint8_t>(data, data + size)))
        return 0;
    check_tree(file, file.header()->root_node_offset);
    for (std::uint32_t i = 0; i < file.header()->font_count; ++i) {
        FontSpec spec;
        parse_font_description(file.font_description(i), spec);
    }
    return 0;
}
