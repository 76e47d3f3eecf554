// Lays a SkinDescription out in the binary skin format:
//   header | attribute names | node names | nodes (tree entries before the
//   named ones) | string area (bitmap names, font descriptions, strings).
// Attribute names come first so that their 16-bit offsets reach them; every
// record and word table lands on a multiple of 4 because all entry sizes
// and record heads are multiples of 4.

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include "skin_description.h"

class SkinWriter {
public:
    explicit SkinWriter(const SkinDescription& description) : m_description(description) {}
    std::vector<std::uint8_t> write();

private:
    void collect(const DescribedNode& node, std::set<String>& attribute_names);
    void write_attribute_names(const std::set<String>& names);
    void write_node_names();
    std::uint32_t write_node(const DescribedNode& node);
    template <class Entry>
    void write_table(const std::map<String, Entry>& table);
    std::int32_t write_tree(std::size_t first, std::size_t last);
    void write_string_area(SkinHeader& header);
    std::size_t append_string(StringView text);
    std::size_t append_zeros(std::size_t count);
    void align(std::size_t boundary) { append_zeros((boundary - m_bytes.size() % boundary) % boundary); }
    template <class T>
    void put(std::size_t offset, const T& value)
    {
        std::memcpy(m_bytes.data() + offset, &value, sizeof value);
    }

    const SkinDescription& m_description;
    std::vector<std::uint8_t> m_bytes;
    std::map<String, std::uint16_t> m_attribute_offsets;
    std::vector<const DescribedNode*> m_named;  // sorted by name
    std::map<const DescribedNode*, std::size_t> m_name_offsets;
    std::map<const DescribedNode*, std::size_t> m_entry_offsets;
};

std::vector<std::uint8_t> write_skin(const SkinDescription& description)
{
    return SkinWriter(description).write();
}

std::vector<std::uint8_t> SkinWriter::write()
{
    std::set<String> attribute_names;
    for (const auto& root : m_description.roots)
        collect(*root, attribute_names);
    std::sort(m_named.begin(), m_named.end(),
              [](const DescribedNode* a, const DescribedNode* b) { return a->name < b->name; });

    SkinHeader header{};
    std::copy(std::begin(skin_magic), std::end(skin_magic), header.magic);
    append_zeros(sizeof(SkinHeader));
    write_attribute_names(attribute_names);
    write_node_names();
    for (const auto& root : m_description.roots)
        write_node(*root);
    header.root_node_offset = write_tree(0, m_named.size());
    write_string_area(header);
    if (m_bytes.size() > std::size_t(std::numeric_limits<std::int32_t>::max()))
        throw SkinDescriptionError{0, "the skin would be larger than 2 GiB"};
    put(0, header);

    // The reader must accept what was written; anything else is a fault here.
    if (!SkinFile().open(m_bytes))
        throw SkinDescriptionError{0, "internal error: the written skin fails the reader's checks"};
    return std::move(m_bytes);
}

void SkinWriter::collect(const DescribedNode& node, std::set<String>& attribute_names)
{
    if (!node.name.empty())
        m_named.push_back(&node);
    auto add_keys = [&](const auto& table) {
        for (const auto& [key, entry] : table)
            attribute_names.insert(key);
    };
    add_keys(node.ints);
    add_keys(node.fonts);
    add_keys(node.points);
    add_keys(node.strings);
    add_keys(node.pictures);
    add_keys(node.colors);
    for (const auto& child : node.children)
        collect(*child, attribute_names);
}

// One shared pool right after the header, inside the first 64 KiB.
void SkinWriter::write_attribute_names(const std::set<String>& names)
{
    for (const String& name : names) {
        const std::size_t offset = append_string(name);
        if (m_bytes.size() > 0x10000)
            throw SkinDescriptionError{0, "attribute names do not fit in the first 64 KiB of the file"};
        m_attribute_offsets.emplace(name, static_cast<std::uint16_t>(offset));
    }
}

void SkinWriter::write_node_names()
{
    for (const DescribedNode* node : m_named)
        m_name_offsets.emplace(node, append_string(node->name));
}

// The record, its children's offsets patched in as the children are written
// after it; a named node gets its tree entry right before the record.
std::uint32_t SkinWriter::write_node(const DescribedNode& node)
{
    align(4);
    if (!node.name.empty())
        m_entry_offsets.emplace(&node, append_zeros(sizeof(SkinTreeEntry)));
    const std::size_t head = sizeof(SkinNode) + 4 * node.children.size();
    SkinNode record{};
    std::size_t end = head;
    std::uint16_t* bounds[] = {&record.int_table,     &record.font_table,  &record.point_table, &record.string_table,
                               &record.picture_table, &record.color_table, &record.table_end};
    const std::size_t sizes[] = {node.ints.size() * IntegerNode::Size,     node.fonts.size() * IntegerNode::Size,
                                 node.points.size() * PointNode::Size,     node.strings.size() * StringNode::Size,
                                 node.pictures.size() * PictureNode::Size, node.colors.size() * ColorNode::Size};
    for (std::size_t i = 0; i < 7; ++i) {
        if (end > std::numeric_limits<std::uint16_t>::max())
            throw SkinDescriptionError{node.line, "the node's attributes and children exceed 64 KiB"};
        *bounds[i] = static_cast<std::uint16_t>(end);
        if (i < 6)
            end += sizes[i];
    }
    record.child_count = static_cast<std::uint16_t>(node.children.size());
    const std::size_t offset = append_zeros(head);
    put(offset, record);
    write_table(node.ints);
    write_table(node.fonts);
    write_table(node.points);
    write_table(node.strings);
    write_table(node.pictures);
    write_table(node.colors);
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        const std::uint32_t child = write_node(*node.children[i]);
        put(offset + sizeof(SkinNode) + 4 * i, static_cast<std::int32_t>(child));
    }
    return static_cast<std::uint32_t>(offset);
}

template <class Entry>
void SkinWriter::write_table(const std::map<String, Entry>& table)
{
    for (const auto& [key, value] : table) {
        Entry entry = value;
        entry.name = m_attribute_offsets.at(key);
        put(append_zeros(sizeof(Entry)), entry);
    }
}

// A balanced tree over the sorted names: the middle one is the root.
std::int32_t SkinWriter::write_tree(std::size_t first, std::size_t last)
{
    if (first == last)
        return -1;
    const std::size_t middle = first + (last - first) / 2;
    const DescribedNode* node = m_named[middle];
    const std::size_t offset = m_entry_offsets.at(node);
    const SkinTreeEntry entry{write_tree(first, middle), write_tree(middle + 1, last),
                              static_cast<std::int32_t>(m_name_offsets.at(node))};
    put(offset, entry);
    return static_cast<std::int32_t>(offset);
}

void SkinWriter::write_string_area(SkinHeader& header)
{
    header.string_area_offset = static_cast<std::uint32_t>(m_bytes.size());
    header.picture_count = static_cast<std::uint32_t>(m_description.bitmap_names.size());
    header.font_count = static_cast<std::uint32_t>(m_description.font_descriptions.size());
    header.string_count = static_cast<std::uint32_t>(m_description.strings.size());
    for (const auto* list : {&m_description.bitmap_names, &m_description.font_descriptions, &m_description.strings})
        for (const String& text : *list)
            append_string(text);
}

std::size_t SkinWriter::append_string(StringView text)
{
    const std::size_t offset = append_zeros(2 * (text.size() + 1));
    std::memcpy(m_bytes.data() + offset, text.data(), 2 * text.size());
    return offset;
}

std::size_t SkinWriter::append_zeros(std::size_t count)
{
    const std::size_t offset = m_bytes.size();
    m_bytes.resize(offset + count, 0);
    return offset;
}
