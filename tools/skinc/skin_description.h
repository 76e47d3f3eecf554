#pragma once
// A parsed skin description: what the compiler's reader produces and its
// writer lays out. Attribute values reuse the file's entry records.

#include <map>
#include <memory>
#include <string>
#include <vector>
#include "platform/text.h"
#include "skin/skin_file.h"

struct DescribedNode {
    String name;   // empty for a node reached only through its parent
    int line = 0;  // where the node was opened
    // std::map keeps each table sorted by the ordinal order of the format.
    std::map<String, IntegerNode> ints;
    std::map<String, IntegerNode> fonts;
    std::map<String, PointNode> points;
    std::map<String, StringNode> strings;
    std::map<String, PictureNode> pictures;
    std::map<String, ColorNode> colors;
    std::vector<std::unique_ptr<DescribedNode>> children;
};

struct SkinDescription {
    std::vector<String> bitmap_names;       // picture index order
    std::vector<String> font_descriptions;  // font index order
    std::vector<String> strings;            // string index order
    std::vector<std::unique_ptr<DescribedNode>> roots;
};

// A description error at a line of the source.
struct SkinDescriptionError {
    int line;
    std::string reason;
};

// Reads the text form; throws SkinDescriptionError.
SkinDescription parse_skin_description(std::string_view source);
// Lays a description out in the binary format; throws SkinDescriptionError
// (line 0 when no single line is to blame).
std::vector<std::uint8_t> write_skin(const SkinDescription& description);
