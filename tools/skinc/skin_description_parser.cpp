// Reads the text form of a skin, one statement per line (see
// data/skins/README.md), into a SkinDescription.

#include <charconv>
#include <limits>
#include "skin/font.h"
#include "skin_description.h"

struct DescriptionToken {
    enum Kind { word, quoted, symbol } kind;
    std::string text;  // UTF-8; a quoted token without its quotes and escapes
};

class SkinDescriptionParser {
public:
    explicit SkinDescriptionParser(std::string_view source) : m_source(source) {}
    SkinDescription parse();

private:
    [[noreturn]] void fail(const std::string& reason) const { throw SkinDescriptionError{m_line, reason}; }
    std::vector<DescriptionToken> tokenize(std::string_view line) const;
    std::string read_quoted(std::string_view line, std::size_t& at) const;
    void statement(std::vector<DescriptionToken>& tokens);
    void declaration(const std::vector<DescriptionToken>& tokens);
    void open_node(const std::vector<DescriptionToken>& tokens);
    void attribute(const std::vector<DescriptionToken>& tokens);
    template <class Entry>
    void insert(std::map<String, Entry>& table, const std::string& type, const std::string& key, Entry entry);

    // Helpers for the parts of a statement.
    void expect_symbol(const std::vector<DescriptionToken>& tokens, std::size_t index, const char* symbol) const;
    std::string name_token(const std::vector<DescriptionToken>& tokens, std::size_t index, const char* what) const;
    std::string quoted_token(const std::vector<DescriptionToken>& tokens, std::size_t index, const char* what) const;
    std::int64_t number(const DescriptionToken& token, std::int64_t low, std::int64_t high, const char* what) const;
    void expect_count(const std::vector<DescriptionToken>& tokens, std::size_t count, const char* form) const;
    std::uint16_t string_index(const String& text);
    std::uint32_t lookup(const std::map<std::string, std::uint32_t>& ids, const std::string& id,
                         const char* what) const;

    std::string_view m_source;
    int m_line = 0;
    SkinDescription m_description;
    std::vector<DescribedNode*> m_open;  // innermost last
    std::map<std::string, std::uint32_t> m_bitmap_ids;
    std::map<std::string, std::uint32_t> m_font_ids;
    std::map<String, std::uint32_t> m_string_indices;
    std::map<String, int> m_node_lines;  // node name -> line that named it
};

SkinDescription parse_skin_description(std::string_view source)
{
    return SkinDescriptionParser(source).parse();
}

SkinDescription SkinDescriptionParser::parse()
{
    // Editors may start a UTF-8 file with a byte-order mark.
    std::size_t at = m_source.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (at <= m_source.size()) {
        ++m_line;
        std::size_t end = m_source.find('\n', at);
        if (end == std::string_view::npos)
            end = m_source.size();
        std::string_view line = m_source.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::vector<DescriptionToken> tokens = tokenize(line);
        if (!tokens.empty())
            statement(tokens);
        at = end + 1;
    }
    if (!m_open.empty()) {
        m_line = m_open.back()->line;
        fail("node is not closed with '}'");
    }
    return std::move(m_description);
}

std::vector<DescriptionToken> SkinDescriptionParser::tokenize(std::string_view line) const
{
    std::vector<DescriptionToken> tokens;
    std::size_t at = 0;
    while (at < line.size()) {
        const char c = line[at];
        if (c == ' ' || c == '\t') {
            ++at;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            tokens.push_back({DescriptionToken::quoted, read_quoted(line, at)});
        } else if (c == '=' || c == '{' || c == '}') {
            tokens.push_back({DescriptionToken::symbol, std::string(1, c)});
            ++at;
        } else {
            const std::size_t start = at;
            while (at < line.size() && std::string_view(" \t#\"={}").find(line[at]) == std::string_view::npos)
                ++at;
            tokens.push_back({DescriptionToken::word, std::string(line.substr(start, at - start))});
        }
    }
    return tokens;
}

// A quoted text starting at at (on the opening quote); at ends after the closing one.
std::string SkinDescriptionParser::read_quoted(std::string_view line, std::size_t& at) const
{
    std::string text;
    for (++at; at < line.size(); ++at) {
        const char c = line[at];
        if (c == '"') {
            ++at;
            return text;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++at == line.size())
            break;
        switch (line[at]) {
        case '\\':
            text += '\\';
            break;
        case '"':
            text += '"';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'u': {
            unsigned code = 0;
            const auto [end, error] =
                std::from_chars(line.data() + at + 1, line.data() + std::min(line.size(), at + 5), code, 16);
            if (error != std::errc() || end != line.data() + at + 5 || code == 0)
                fail("\\u needs four hexadecimal digits naming a character other than 0");
            text += to_utf8(String(1, static_cast<char16_t>(code)));
            at += 4;
            break;
        }
        default:
            fail(std::string("unknown escape \\") + line[at]);
        }
    }
    fail("quoted text is not closed on its line");
}

void SkinDescriptionParser::statement(std::vector<DescriptionToken>& tokens)
{
    if (tokens[0].kind == DescriptionToken::symbol && tokens[0].text == "}") {
        expect_count(tokens, 1, "}");
        if (m_open.empty())
            fail("'}' without an open node");
        m_open.pop_back();
        return;
    }
    if (tokens[0].kind != DescriptionToken::word)
        fail("a statement starts with a keyword");
    if (tokens[0].text == "node")
        open_node(tokens);
    else if (m_open.empty())
        declaration(tokens);
    else
        attribute(tokens);
}

// bitmap ID = "file name"  |  font ID = "size bold italic underline face"
void SkinDescriptionParser::declaration(const std::vector<DescriptionToken>& tokens)
{
    const std::string& keyword = tokens[0].text;
    if (keyword != "bitmap" && keyword != "font")
        fail("unknown statement '" + keyword + "' outside a node (bitmap, font or node)");
    expect_count(tokens, 4, (keyword + " ID = \"text\"").c_str());
    const std::string id = name_token(tokens, 1, "an id");
    expect_symbol(tokens, 2, "=");
    const String text = from_utf8(quoted_token(tokens, 3, "a quoted text"));
    if (keyword == "bitmap") {
        if (text.empty())
            fail("a bitmap needs a file name");
        if (!m_bitmap_ids.emplace(id, m_description.bitmap_names.size()).second)
            fail("bitmap '" + id + "' is declared twice");
        m_description.bitmap_names.push_back(text);
        return;
    }
    // The viewer's own parser reads the description; started from two
    // different records, it leaves a difference behind for every field it
    // did not reach, so both agree only when all four numbers were read.
    FontSpec first;
    FontSpec second{13, 1, true, true, true, u"?"};
    parse_font_description(text, first);
    parse_font_description(text, second);
    if (first.point_size != second.point_size || first.bold != second.bold || first.italic != second.italic ||
        first.underline != second.underline || first.face != second.face || first.point_size <= 0)
        fail("a font is \"size bold italic underline face\" with a positive size");
    if (!m_font_ids.emplace(id, m_description.font_descriptions.size()).second)
        fail("font '" + id + "' is declared twice");
    m_description.font_descriptions.push_back(text);
}

// node [NAME] {
void SkinDescriptionParser::open_node(const std::vector<DescriptionToken>& tokens)
{
    if (tokens.size() != 2 && tokens.size() != 3)
        fail("expected: node [NAME] {");
    expect_symbol(tokens, tokens.size() - 1, "{");
    if (m_open.empty() && tokens.size() == 2)
        fail("a top-level node needs a name");
    if (static_cast<int>(m_open.size()) >= skin_max_child_depth)
        fail("nodes are nested too deeply");
    auto node = std::make_unique<DescribedNode>();
    node->line = m_line;
    if (tokens.size() == 3) {
        node->name = from_utf8(name_token(tokens, 1, "a node name"));
        const auto [previous, fresh] = m_node_lines.emplace(node->name, m_line);
        if (!fresh)
            fail("node name '" + tokens[1].text + "' is already used on line " + std::to_string(previous->second));
    }
    DescribedNode* opened = node.get();
    auto& siblings = m_open.empty() ? m_description.roots : m_open.back()->children;
    if (siblings.size() >= std::numeric_limits<std::uint16_t>::max())
        fail("a node has too many children");
    siblings.push_back(std::move(node));
    m_open.push_back(opened);
}

// TYPE KEY = VALUE...
void SkinDescriptionParser::attribute(const std::vector<DescriptionToken>& tokens)
{
    const std::string& type = tokens[0].text;
    if (tokens.size() < 4)
        fail("expected: " + type + " KEY = VALUE");
    const std::string key = name_token(tokens, 1, "an attribute name");
    expect_symbol(tokens, 2, "=");
    DescribedNode& node = *m_open.back();
    if (type == "int") {
        expect_count(tokens, 4, "int KEY = NUMBER");
        const auto value = number(tokens[3], INT32_MIN, INT32_MAX, "an integer");
        insert(node.ints, type, key, IntegerNode{0, 0, static_cast<std::int32_t>(value)});
    } else if (type == "font") {
        expect_count(tokens, 4, "font KEY = FONT_ID");
        const auto index = lookup(m_font_ids, name_token(tokens, 3, "a font id"), "font");
        insert(node.fonts, type, key, IntegerNode{0, 0, static_cast<std::int32_t>(index)});
    } else if (type == "point") {
        expect_count(tokens, 5, "point KEY = X Y");
        insert(node.points, type, key,
               PointNode{0, 0, static_cast<std::int16_t>(number(tokens[3], INT16_MIN, INT16_MAX, "x")),
                         static_cast<std::int16_t>(number(tokens[4], INT16_MIN, INT16_MAX, "y"))});
    } else if (type == "string") {
        expect_count(tokens, 4, "string KEY = \"text\"");
        const std::uint16_t index = string_index(from_utf8(quoted_token(tokens, 3, "a quoted text")));
        insert(node.strings, type, key, StringNode{0, index});
    } else if (type == "picture") {
        const bool flag = tokens.back().kind == DescriptionToken::word && tokens.back().text == "flag";
        const std::size_t numbers = tokens.size() - 4 - (flag ? 1 : 0);
        if (numbers != 4 && numbers != 8)
            fail("expected: picture KEY = BITMAP_ID X0 Y0 X1 Y1 X2 Y2 X3 Y3 [flag] or BITMAP_ID X0 Y0 X3 Y3 [flag]");
        const auto index = lookup(m_bitmap_ids, name_token(tokens, 3, "a bitmap id"), "bitmap");
        if (index > 255)
            fail("only the first 256 bitmaps can be used by pictures");
        std::uint16_t c[8];
        for (std::size_t i = 0; i < numbers; ++i)
            c[i] = static_cast<std::uint16_t>(number(tokens[4 + i], 0, UINT16_MAX, "a picture coordinate"));
        if (numbers == 4) {  // repeated as a whole: inner corners on the outer ones
            const std::uint16_t x0 = c[0], y0 = c[1], x3 = c[2], y3 = c[3];
            std::uint16_t full[8] = {x0, y0, x0, y0, x3, y3, x3, y3};
            std::copy(std::begin(full), std::end(full), c);
        }
        const PictureNode entry{0,
                                c[0],
                                c[1],
                                c[2],
                                c[3],
                                c[4],
                                c[5],
                                c[6],
                                c[7],
                                static_cast<std::uint8_t>(index),
                                std::uint8_t(flag ? 1 : 0)};
        if (!(c[0] <= c[2] && c[2] <= c[4] && c[4] <= c[6] && c[1] <= c[3] && c[3] <= c[5] && c[5] <= c[7]))
            fail("picture corners must satisfy x0 <= x1 <= x2 <= x3 and y0 <= y1 <= y2 <= y3");
        insert(node.pictures, type, key, entry);
    } else if (type == "color") {
        expect_count(tokens, 6, "color KEY = RED GREEN BLUE");
        insert(node.colors, type, key,
               ColorNode{0, 0, static_cast<std::uint8_t>(number(tokens[3], 0, 255, "red")),
                         static_cast<std::uint8_t>(number(tokens[4], 0, 255, "green")),
                         static_cast<std::uint8_t>(number(tokens[5], 0, 255, "blue")), 0});
    } else {
        fail("unknown attribute type '" + type + "' (int, font, point, string, picture, color or node)");
    }
}

template <class Entry>
void SkinDescriptionParser::insert(std::map<String, Entry>& table, const std::string& type, const std::string& key,
                                   Entry entry)
{
    if (!table.emplace(from_utf8(key), entry).second)
        fail(type + " attribute '" + key + "' is given twice in this node");
}

void SkinDescriptionParser::expect_symbol(const std::vector<DescriptionToken>& tokens, std::size_t index,
                                          const char* symbol) const
{
    if (tokens[index].kind != DescriptionToken::symbol || tokens[index].text != symbol)
        fail(std::string("expected '") + symbol + "'");
}

std::string SkinDescriptionParser::name_token(const std::vector<DescriptionToken>& tokens, std::size_t index,
                                              const char* what) const
{
    const DescriptionToken& token = tokens[index];
    if (token.kind == DescriptionToken::symbol || token.text.empty())
        fail(std::string("expected ") + what);
    if (token.text.find('\0') != std::string::npos)
        fail(std::string(what) + " cannot hold the character 0");
    return token.text;
}

std::string SkinDescriptionParser::quoted_token(const std::vector<DescriptionToken>& tokens, std::size_t index,
                                                const char* what) const
{
    if (tokens[index].kind != DescriptionToken::quoted)
        fail(std::string("expected ") + what);
    if (tokens[index].text.find('\0') != std::string::npos)
        fail("a quoted text cannot hold the character 0");
    return tokens[index].text;
}

std::int64_t SkinDescriptionParser::number(const DescriptionToken& token, std::int64_t low, std::int64_t high,
                                           const char* what) const
{
    std::int64_t value = 0;
    const char* first = token.text.data();
    const char* last = first + token.text.size();
    if (token.kind == DescriptionToken::word && first != last && *first == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (token.kind != DescriptionToken::word || error != std::errc() || end != last)
        fail(std::string("expected ") + what + ", found '" + token.text + "'");
    if (value < low || value > high)
        fail(std::string(what) + " " + token.text + " is outside " + std::to_string(low) + ".." + std::to_string(high));
    return value;
}

void SkinDescriptionParser::expect_count(const std::vector<DescriptionToken>& tokens, std::size_t count,
                                         const char* form) const
{
    if (tokens.size() != count)
        fail(std::string("expected: ") + form);
}

// Equal texts share one entry of the string list.
std::uint16_t SkinDescriptionParser::string_index(const String& text)
{
    const auto found = m_string_indices.find(text);
    if (found != m_string_indices.end())
        return static_cast<std::uint16_t>(found->second);
    if (m_description.strings.size() > std::numeric_limits<std::uint16_t>::max())
        fail("more than 65536 different strings");
    m_string_indices.emplace(text, m_description.strings.size());
    m_description.strings.push_back(text);
    return static_cast<std::uint16_t>(m_description.strings.size() - 1);
}

std::uint32_t SkinDescriptionParser::lookup(const std::map<std::string, std::uint32_t>& ids, const std::string& id,
                                            const char* what) const
{
    const auto found = ids.find(id);
    if (found == ids.end())
        fail(std::string(what) + " '" + id + "' is not declared (declare it before the nodes that use it)");
    return found->second;
}
