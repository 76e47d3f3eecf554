#include "shell/script_elements.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sstream>
#include "elements/button.h"
#include "elements/image_element.h"
#include "elements/progress_bar.h"
#include "elements/text_element.h"
#include "elements/virtual_list.h"
#include "platform/tick.h"
#include "shell/application.h"

namespace {

bool is_shown(const Element& element)
{
    return element.is_effectively_visible() && element.width() > 0 && element.height() > 0;
}

// An element on screen: rows are placed at the top-left of their list and
// drawn moved by the list's scroll position and the rows above them.
struct Placed {
    Element* element;
    Rect rect;
    int depth;
};

// Calls visit for every shown element of the tree below element, rows included, in drawing order.
template <typename Visit>
bool walk_shown(Element& element, Point shift, int depth, Visit& visit)
{
    if (!is_shown(element))
        return true;
    const Point at{element.x() + shift.x, element.y() + shift.y};
    if (!visit(Placed{&element, Rect::of(at, element.size()), depth}))
        return false;
    for (Element* child : element.children())
        if (!walk_shown(*child, shift, depth + 1, visit))
            return false;
    if (auto* list = dynamic_cast<VirtualList*>(&element)) {
        double top = at.y + std::floor(list->offset());
        for (const auto& row : list->rows()) {
            if (!walk_shown(*row, Point{at.x, static_cast<int>(top)}, depth + 1, visit))
                return false;
            top += static_cast<int>(row->height_now());
        }
    }
    return true;
}

const char* kind_of(const Element& element)
{
    if (dynamic_cast<const Button*>(&element))
        return "button";
    if (dynamic_cast<const VirtualList*>(&element))
        return "vlist";
    if (dynamic_cast<const ListRow*>(&element))
        return "row";
    if (dynamic_cast<const TextElement*>(&element))
        return "text";
    if (dynamic_cast<const ImageElement*>(&element))
        return "image";
    if (dynamic_cast<const ProgressBar*>(&element))
        return "progress";
    return "node";
}

std::vector<DumpDetail> dump_details;
std::mutex dump_details_mutex;

void dump_line(std::ostringstream& out, const Placed& placed)
{
    const Element& element = *placed.element;
    out << std::string(static_cast<std::size_t>(placed.depth) * 2, ' ') << kind_of(element) << " id=\""
        << to_utf8(element.id()) << "\" rect=" << placed.rect.left << "," << placed.rect.top << ","
        << placed.rect.right - placed.rect.left << "x" << placed.rect.bottom - placed.rect.top;
    if (!element.is_effectively_enabled())
        out << " disabled";
    if (auto* text = dynamic_cast<const TextElement*>(&element))
        out << " text=\"" << to_utf8(text->text()) << "\"";
    if (auto* button = dynamic_cast<const Button*>(&element))
        out << " caption=\"" << to_utf8(button->caption()) << "\"";
    if (auto* progress = dynamic_cast<const ProgressBar*>(&element))
        out << " value=" << progress->value();
    if (auto* list = dynamic_cast<const VirtualList*>(&element))
        out << " count=" << list->count() << " offset=" << list->offset() << " first=" << list->before_first() + 1;
    if (auto* row = dynamic_cast<const ListRow*>(&element))
        out << " index=" << row->index();
    std::lock_guard<std::mutex> lock(dump_details_mutex);
    for (DumpDetail detail : dump_details)
        out << detail(element);
    out << "\n";
}

Element* top_screen()
{
    Application* app = Application::instance();
    return app ? app->top_screen() : nullptr;
}

// The element a command names: an id and, optionally, the text it must show (the rest of the line).
struct ElementName {
    String id;
    String text;
    std::string words;
};

bool parse_element_name(const ScriptArguments& arguments, const char* usage, ElementName& name, std::string& error)
{
    if (arguments.empty()) {
        error = std::string("expected ") + usage;
        return false;
    }
    name.id = from_utf8(arguments[0]);
    name.words = arguments[0];
    std::string text;
    for (std::size_t i = 1; i < arguments.size(); ++i)
        text += (i > 1 ? " " : "") + arguments[i];
    name.text = from_utf8(text);
    if (!text.empty())
        name.words += " \"" + text + "\"";
    return true;
}

}  // namespace

void add_dump_detail(DumpDetail detail)
{
    std::lock_guard<std::mutex> lock(dump_details_mutex);
    if (std::find(dump_details.begin(), dump_details.end(), detail) == dump_details.end())
        dump_details.push_back(detail);
}

// The text an element shows: a text's text or a button's caption.
String shown_text(const Element& element)
{
    if (auto* text = dynamic_cast<const TextElement*>(&element))
        return text->text();
    if (auto* button = dynamic_cast<const Button*>(&element))
        return button->caption();
    return {};
}

bool find_visible_element(Element& screen, StringView id, StringView text, Rect& rect)
{
    bool found = false;
    auto visit = [&](const Placed& placed) {
        if (placed.element->id() != id || (!text.empty() && shown_text(*placed.element) != text))
            return true;
        rect = placed.rect;
        found = true;
        return false;
    };
    walk_shown(screen, Point{}, 0, visit);
    return found;
}

std::string dump_element_tree(Element& screen)
{
    std::ostringstream out;
    auto visit = [&](const Placed& placed) {
        dump_line(out, placed);
        return true;
    };
    walk_shown(screen, Point{}, 0, visit);
    return out.str();
}

bool parse_tap_id(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    ElementName name;
    if (!parse_element_name(arguments, "tap-id ID [TEXT]", name, error))
        return false;
    // The pen goes down and up at the centre the element has when the step runs.
    auto centre = std::make_shared<Point>();
    steps.push_back({line, [name, centre](ScriptContext& context) {
                         Element* screen = top_screen();
                         Rect rect;
                         if (!screen || !find_visible_element(*screen, name.id, name.text, rect))
                             return StepResult::fail("tap-id: no visible element " + name.words);
                         *centre = Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
                         context.windows.inject_pen(WM_LBUTTONDOWN, centre->x, centre->y);
                         return StepResult::wait_for(0);
                     }});
    steps.push_back({line, [centre](ScriptContext& context) {
                         context.windows.inject_pen(WM_LBUTTONUP, centre->x, centre->y);
                         return StepResult::wait_for(0);
                     }});
    return true;
}

bool parse_wait_for(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    ElementName name;
    if (!parse_element_name(arguments, "wait-for ID [TEXT]", name, error))
        return false;
    // The first run notes the time; the step runs again until the element shows or the limit passes.
    auto started = std::make_shared<std::uint32_t>(0);
    auto waiting = std::make_shared<bool>(false);
    steps.push_back({line, [name, started, waiting](ScriptContext&) {
                         const std::uint32_t now = get_tick_count();
                         if (!*waiting) {
                             *waiting = true;
                             *started = now;
                         }
                         Element* screen = top_screen();
                         Rect rect;
                         if (screen && find_visible_element(*screen, name.id, name.text, rect)) {
                             *waiting = false;
                             return StepResult::go_on();
                         }
                         if (now - *started > wait_for_limit_ms)
                             return StepResult::fail("wait-for: " + name.words + " did not become visible");
                         return StepResult::again();
                     }});
    return true;
}

bool parse_dump(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    if (!arguments.empty()) {
        error = "expected dump without arguments";
        return false;
    }
    steps.push_back({line, [](ScriptContext&) {
                         Element* screen = top_screen();
                         std::string text =
                             "dump begin\n" + (screen ? dump_element_tree(*screen) : std::string()) + "dump end\n";
                         std::fputs(text.c_str(), stdout);
                         std::fflush(stdout);
                         return StepResult::go_on();
                     }});
    return true;
}
