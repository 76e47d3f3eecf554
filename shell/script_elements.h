#pragma once
// Script commands that work on the topmost screen's elements by id:
// "tap-id ID [TEXT]" taps the centre of the visible element with that id
// (and, when given, that text or caption), "wait-for ID [TEXT]" waits until
// such an element is visible, "dump" writes the screen's element tree (list
// rows included) to standard output.

#include <string>
#include "pixels/pixel_types.h"
#include "shell/script_runner.h"

class Element;

// The screen rectangle of the first shown element with id (and text, unless empty) in
// screen's tree, list rows included.
bool find_visible_element(Element& screen, StringView id, StringView text, Rect& rect);
// One line per visible element: depth, id, kind, rectangle, state and text.
std::string dump_element_tree(Element& screen);

// Extra " name=value" fields of the dump line for element kinds the shell
// does not know; empty for other elements.
using DumpDetail = std::string (*)(const Element& element);
// Adds a detail writer (kept for the run; adding one twice keeps one).
void add_dump_detail(DumpDetail detail);

// Longest time "wait-for" waits before the script fails.
constexpr std::uint32_t wait_for_limit_ms = 20000;

bool parse_tap_id(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error);
bool parse_wait_for(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error);
bool parse_dump(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error);
