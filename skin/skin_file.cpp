#include "skin/skin_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>
#include "skin/font.h"

// Walks everything a skin file refers to before any of it is used: the
// string area, the node name tree and every node reachable from it with its
// tables and children. A file that breaks a rule is refused as a whole, so
// the lookups afterwards need no checks of their own.
class SkinFileChecker {
public:
    SkinFileChecker(const std::vector<std::uint8_t>& bytes, std::vector<StringView>& strings)
        : m_data(bytes.data()), m_size(bytes.size()), m_strings(strings)
    {
    }

    bool check();

private:
    struct NodeFacts {
        bool done = false;
        int height = 0;              // longest chain of children below
        std::uint32_t expanded = 1;  // elements the node turns into
    };

    const SkinHeader& header() const { return *reinterpret_cast<const SkinHeader*>(m_data); }
    const SkinTreeEntry& entry_at(std::int64_t offset) const
    {
        return *reinterpret_cast<const SkinTreeEntry*>(m_data + offset);
    }
    bool check_string_area();
    bool check_name_tree();
    bool check_tree_entry(std::int64_t offset);
    const NodeFacts* check_node(std::int64_t offset, int depth);
    bool check_children(const SkinNode& node, NodeFacts& facts, int depth);
    bool check_tables(const SkinNode& node, std::size_t offset);
    template <class Entry, class Rule>
    bool check_table(const SkinNode& node, std::uint16_t start, std::uint16_t end, Rule rule);
    bool check_picture(const PictureNode& entry) const;
    // A record of size bytes at offset, 4-aligned and past the header.
    bool is_record(std::int64_t offset, std::size_t size) const;
    // Length of the zero-terminated name at offset, or -1 when it breaks a rule.
    std::int64_t name_length(std::int64_t offset);
    bool is_name(std::int64_t offset) { return name_length(offset) >= 0; }
    StringView name(std::int64_t offset)
    {
        return StringView(reinterpret_cast<const char16_t*>(m_data + offset),
                          static_cast<std::size_t>(name_length(offset)));
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::vector<StringView>& m_strings;
    std::unordered_map<std::uint32_t, NodeFacts> m_nodes;
    std::unordered_map<std::uint32_t, std::int64_t> m_name_lengths;
};

bool SkinFileChecker::check()
{
    if (m_size < sizeof(SkinHeader) || std::memcmp(header().magic, skin_magic, sizeof(skin_magic)) != 0)
        return false;
    return check_string_area() && check_name_tree();
}

bool SkinFileChecker::check_string_area()
{
    const SkinHeader& h = header();
    const std::uint64_t count = std::uint64_t(h.picture_count) + h.font_count + h.string_count;
    if (count == 0)
        return true;  // the offset is never used
    const std::uint64_t offset = h.string_area_offset;
    if (offset < sizeof(SkinHeader) || offset % 2 != 0 || offset > m_size)
        return false;
    // Each string needs at least its terminator: this bounds the list before allocating it.
    if (count > (m_size - offset) / 2)
        return false;
    m_strings.reserve(count);
    const char16_t* unit = reinterpret_cast<const char16_t*>(m_data + offset);
    const char16_t* end = reinterpret_cast<const char16_t*>(m_data + offset + (m_size - offset) / 2 * 2);
    for (std::uint64_t i = 0; i < count; ++i) {
        const char16_t* terminator = std::find(unit, end, u'\0');
        if (terminator == end)
            return false;
        m_strings.emplace_back(unit, static_cast<std::size_t>(terminator - unit));
        unit = terminator + 1;
    }
    return true;
}

// An in-order walk of the tree with an explicit stack: the names must come
// out strictly ascending, which also rules out cycles and shared entries.
bool SkinFileChecker::check_name_tree()
{
    struct Pending {
        std::int64_t offset;
        int depth;
    };
    std::vector<Pending> stack;
    std::int64_t current = header().root_node_offset;
    int depth = 1;
    std::int64_t previous_name = -1;
    while (current != -1 || !stack.empty()) {
        for (; current != -1; ++depth) {
            if (depth > skin_max_tree_depth || !check_tree_entry(current))
                return false;
            stack.push_back({current, depth});
            current = entry_at(current).left;
        }
        const Pending visited = stack.back();
        stack.pop_back();
        const std::int64_t name_offset = entry_at(visited.offset).name_offset;
        if (previous_name != -1 && !(name(previous_name) < name(name_offset)))
            return false;
        previous_name = name_offset;
        current = entry_at(visited.offset).right;
        depth = visited.depth + 1;
    }
    return true;
}

bool SkinFileChecker::check_tree_entry(std::int64_t offset)
{
    if (!is_record(offset, sizeof(SkinTreeEntry)))
        return false;
    const SkinTreeEntry& entry = entry_at(offset);
    for (std::int32_t link : {entry.left, entry.right})
        if (link != -1 && !is_record(link, sizeof(SkinTreeEntry)))
            return false;
    return is_name(entry.name_offset) && check_node(offset + sizeof(SkinTreeEntry), 0) != nullptr;
}

const SkinFileChecker::NodeFacts* SkinFileChecker::check_node(std::int64_t offset, int depth)
{
    if (depth > skin_max_child_depth || !is_record(offset, sizeof(SkinNode)))
        return nullptr;
    auto [slot, fresh] = m_nodes.try_emplace(static_cast<std::uint32_t>(offset));
    NodeFacts& facts = slot->second;
    if (!fresh)
        return facts.done ? &facts : nullptr;  // not done: the node is its own ancestor
    const SkinNode& node = *reinterpret_cast<const SkinNode*>(m_data + offset);
    if (!is_record(offset, sizeof(SkinNode) + 4 * std::size_t(node.child_count)) ||
        !check_tables(node, static_cast<std::size_t>(offset)) || !check_children(node, facts, depth))
        return nullptr;
    facts.done = true;
    return &facts;
}

bool SkinFileChecker::check_children(const SkinNode& node, NodeFacts& facts, int depth)
{
    for (int i = 0; i < node.child_count; ++i) {
        const NodeFacts* child = check_node(node.child_offset(i), depth + 1);
        if (child == nullptr)
            return false;
        facts.height = std::max(facts.height, child->height + 1);
        facts.expanded += child->expanded;
        if (facts.height > skin_max_child_depth || facts.expanded > skin_max_expanded_nodes)
            return false;
    }
    return true;
}

bool SkinFileChecker::check_tables(const SkinNode& node, std::size_t offset)
{
    const std::size_t head = sizeof(SkinNode) + 4 * std::size_t(node.child_count);
    const std::uint16_t bounds[] = {node.int_table,     node.font_table,  node.point_table, node.string_table,
                                    node.picture_table, node.color_table, node.table_end};
    if (node.int_table < head || !std::is_sorted(std::begin(bounds), std::end(bounds)) ||
        offset + node.table_end > m_size)
        return false;
    // Word-sized tables on 4-byte boundaries, the others on 2-byte ones.
    if ((offset + node.int_table) % 4 || (offset + node.font_table) % 4 || (offset + node.point_table) % 4 ||
        (offset + node.string_table) % 2 || (offset + node.picture_table) % 2 || (offset + node.color_table) % 4)
        return false;
    const SkinHeader& h = header();
    auto any = [](const auto&) { return true; };
    return check_table<IntegerNode>(node, node.int_table, node.font_table, any) &&
           check_table<IntegerNode>(
               node, node.font_table, node.point_table,
               [&](const IntegerNode& e) { return e.value >= 0 && std::uint32_t(e.value) < h.font_count; }) &&
           check_table<PointNode>(node, node.point_table, node.string_table, any) &&
           check_table<StringNode>(node, node.string_table, node.picture_table,
                                   [&](const StringNode& e) { return e.index < h.string_count; }) &&
           check_table<PictureNode>(node, node.picture_table, node.color_table,
                                    [&](const PictureNode& e) { return check_picture(e); }) &&
           check_table<ColorNode>(node, node.color_table, node.table_end, any);
}

// A table of whole entries, names valid and strictly ascending, each entry
// passing the rule of its type.
template <class Entry, class Rule>
bool SkinFileChecker::check_table(const SkinNode& node, std::uint16_t start, std::uint16_t end, Rule rule)
{
    if ((end - start) % sizeof(Entry) != 0)
        return false;
    const Entry* first = node.table_begin<Entry>(start);
    const Entry* last = node.table_begin<Entry>(end);
    for (const Entry* entry = first; entry != last; ++entry) {
        if (!is_name(entry->name) || !rule(*entry))
            return false;
        if (entry != first && !(name((entry - 1)->name) < name(entry->name)))
            return false;
    }
    return true;
}

bool SkinFileChecker::check_picture(const PictureNode& e) const
{
    return e.picture < header().picture_count && e.x0 <= e.x1 && e.x1 <= e.x2 && e.x2 <= e.x3 && e.y0 <= e.y1 &&
           e.y1 <= e.y2 && e.y2 <= e.y3;
}

bool SkinFileChecker::is_record(std::int64_t offset, std::size_t size) const
{
    return offset >= std::int64_t(sizeof(SkinHeader)) && offset % 4 == 0 && std::uint64_t(offset) + size <= m_size;
}

std::int64_t SkinFileChecker::name_length(std::int64_t offset)
{
    if (offset < std::int64_t(sizeof(SkinHeader)) || offset % 2 != 0 || std::uint64_t(offset) >= m_size)
        return -1;
    auto [slot, fresh] = m_name_lengths.try_emplace(static_cast<std::uint32_t>(offset), -1);
    if (fresh) {
        const char16_t* first = reinterpret_cast<const char16_t*>(m_data + offset);
        const char16_t* end = first + (m_size - offset) / 2;
        const char16_t* terminator = std::find(first, end, u'\0');
        if (terminator != end)
            slot->second = terminator - first;
    }
    return slot->second;
}

// ---- SkinNode ----------------------------------------------------------------

std::int32_t SkinNode::child_offset(int index) const
{
    return reinterpret_cast<const std::int32_t*>(this + 1)[index];
}

// ---- SkinFile ----------------------------------------------------------------

bool SkinFile::open(std::vector<std::uint8_t> bytes)
{
    SkinFile empty;
    swap(empty);
    std::vector<StringView> strings;
    auto buffer = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    if (!SkinFileChecker(*buffer, strings).check())
        return false;
    m_buffer = std::move(buffer);
    m_area_strings = std::move(strings);
    m_header = reinterpret_cast<const SkinHeader*>(m_buffer->data());
    return true;
}

void SkinFile::swap(SkinFile& other) noexcept
{
    m_buffer.swap(other.m_buffer);
    std::swap(m_header, other.m_header);
    m_area_strings.swap(other.m_area_strings);
}

StringView SkinFile::bitmap_name(std::uint32_t index) const
{
    return m_area_strings[index];
}

StringView SkinFile::font_description(std::uint32_t index) const
{
    return m_area_strings[m_header->picture_count + index];
}

StringView SkinFile::string(std::uint32_t index) const
{
    return m_area_strings[m_header->picture_count + m_header->font_count + index];
}

StringView SkinFile::name_at(std::uint32_t offset) const
{
    return StringView(reinterpret_cast<const char16_t*>(bytes() + offset));
}

const SkinNode* SkinFile::find_node(StringView name) const
{
    if (m_header == nullptr)
        return nullptr;
    std::int32_t offset = m_header->root_node_offset;
    while (offset != -1) {
        const SkinTreeEntry& entry = *reinterpret_cast<const SkinTreeEntry*>(bytes() + offset);
        const int order = name.compare(name_at(static_cast<std::uint32_t>(entry.name_offset)));
        if (order == 0)
            return reinterpret_cast<const SkinNode*>(&entry + 1);
        offset = order < 0 ? entry.left : entry.right;
    }
    return nullptr;
}

const SkinNode* SkinFile::child(const SkinNode& node, int index) const
{
    return reinterpret_cast<const SkinNode*>(bytes() + node.child_offset(index));
}

template <class Entry>
const Entry* SkinFile::find_entry(const SkinNode& node, std::uint16_t start, std::uint16_t end, StringView key) const
{
    const Entry* entries = node.table_begin<Entry>(start);
    std::size_t lo = 0;
    std::size_t hi = (end - start) / sizeof(Entry);
    while (lo != hi) {
        const std::size_t mid = (lo + hi) / 2;
        const int order = key.compare(name_at(entries[mid].name));
        if (order == 0)
            return &entries[mid];
        if (order < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return nullptr;
}

const IntegerNode* SkinFile::find_int(const SkinNode& node, StringView key) const
{
    return find_entry<IntegerNode>(node, node.int_table, node.font_table, key);
}

const IntegerNode* SkinFile::find_font(const SkinNode& node, StringView key) const
{
    return find_entry<IntegerNode>(node, node.font_table, node.point_table, key);
}

const PointNode* SkinFile::find_point(const SkinNode& node, StringView key) const
{
    return find_entry<PointNode>(node, node.point_table, node.string_table, key);
}

const StringNode* SkinFile::find_string(const SkinNode& node, StringView key) const
{
    return find_entry<StringNode>(node, node.string_table, node.picture_table, key);
}

const PictureNode* SkinFile::find_picture(const SkinNode& node, StringView key) const
{
    return find_entry<PictureNode>(node, node.picture_table, node.color_table, key);
}

const ColorNode* SkinFile::find_color(const SkinNode& node, StringView key) const
{
    return find_entry<ColorNode>(node, node.color_table, node.table_end, key);
}

// ---- Font descriptions ---------------------------------------------------------

// The white space of the wide-character classification.
static bool is_wide_space(char16_t c)
{
    return c == u' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1680 || (c >= 0x2000 && c <= 0x2006) ||
           (c >= 0x2008 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x205F || c == 0x3000;
}

static void skip_spaces(StringView text, std::size_t& at)
{
    while (at < text.size() && is_wide_space(text[at]))
        ++at;
}

enum class NumberRead { number, end, not_a_number };

// A decimal number with an optional sign at at. The value saturates instead
// of overflowing, so an absurd size in a hand-edited skin stays a plain number.
static NumberRead read_number(StringView text, std::size_t& at, std::int32_t& value)
{
    skip_spaces(text, at);
    if (at == text.size())
        return NumberRead::end;
    const bool negative = text[at] == u'-';
    if (negative || text[at] == u'+') {
        if (++at == text.size())
            return NumberRead::end;
    }
    if (text[at] < u'0' || text[at] > u'9')
        return NumberRead::not_a_number;
    std::int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at)
        magnitude =
            std::min<std::int64_t>(magnitude * 10 + (text[at] - u'0'), std::numeric_limits<std::int32_t>::max());
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return NumberRead::number;
}

void parse_font_description(StringView text, FontSpec& spec)
{
    std::size_t at = 0;
    for (int field = 0; field < 4; ++field) {
        std::int32_t value = 0;
        const NumberRead read = read_number(text, at, value);
        if (read == NumberRead::not_a_number && field == 0)
            spec.point_size = 0;
        if (read != NumberRead::number)
            return;
        switch (field) {
        case 0:
            spec.point_size = value;
            break;
        case 1:
            spec.bold = value != 0;
            break;
        case 2:
            spec.italic = value != 0;
            break;
        default:
            spec.underline = value != 0;
            break;
        }
    }
    skip_spaces(text, at);
    spec.face = String(text.substr(at));
}
