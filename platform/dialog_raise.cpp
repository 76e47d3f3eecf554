// Raising a dialog through a connection of its own, so that it can be done on
// any thread while the main thread waits in a modal message box. XCB hands
// errors back with the replies (a window that goes while it is looked at is
// no error), where Xlib would call one handler for the whole process.

#include "platform/dialog_raise.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// What the window manager conventions name; XCB_ATOM_NONE where unknown.
struct Atoms {
    xcb_atom_t name = XCB_ATOM_NONE;
    xcb_atom_t window_type = XCB_ATOM_NONE;
    xcb_atom_t dialog_type = XCB_ATOM_NONE;
    xcb_atom_t client_list = XCB_ATOM_NONE;
    xcb_atom_t active_window = XCB_ATOM_NONE;
};

// Source indication of an activation request made for the user, as a pager
// or task bar makes it: starting the program again is the user asking for it.
constexpr std::uint32_t activation_by_user = 2;
// Properties read here are short; longer ones are cut (and then match nothing).
constexpr std::uint32_t max_property_words = 1024;

xcb_atom_t intern(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

Atoms intern_atoms(xcb_connection_t* connection)
{
    Atoms atoms;
    atoms.name = intern(connection, "_NET_WM_NAME");
    atoms.window_type = intern(connection, "_NET_WM_WINDOW_TYPE");
    atoms.dialog_type = intern(connection, "_NET_WM_WINDOW_TYPE_DIALOG");
    atoms.client_list = intern(connection, "_NET_CLIENT_LIST");
    atoms.active_window = intern(connection, "_NET_ACTIVE_WINDOW");
    return atoms;
}

Reply<xcb_get_property_reply_t> property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name)
{
    if (name == XCB_ATOM_NONE)
        return nullptr;
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, max_property_words);
    return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(connection, cookie, nullptr));
}

// The bytes of an 8-bit (text) property; empty when it is missing.
std::string text_property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name)
{
    const Reply<xcb_get_property_reply_t> reply = property(connection, window, name);
    if (!reply || reply->format != 8)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

// The values of a 32-bit (atom or window list) property; empty when it is missing.
std::vector<std::uint32_t> word_property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name)
{
    const Reply<xcb_get_property_reply_t> reply = property(connection, window, name);
    if (!reply || reply->format != 32)
        return {};
    const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(words, words + xcb_get_property_value_length(reply.get()) / 4);
}

// The windows a window manager manages; without one, the children of the root.
std::vector<std::uint32_t> top_level_windows(xcb_connection_t* connection, xcb_window_t root, const Atoms& atoms)
{
    std::vector<std::uint32_t> windows = word_property(connection, root, atoms.client_list);
    if (!windows.empty())
        return windows;
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return std::vector<std::uint32_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

bool is_dialog_titled(xcb_connection_t* connection, xcb_window_t window, const std::string& title, const Atoms& atoms)
{
    const std::vector<std::uint32_t> types = word_property(connection, window, atoms.window_type);
    if (atoms.dialog_type == XCB_ATOM_NONE || std::find(types.begin(), types.end(), atoms.dialog_type) == types.end())
        return false;
    std::string name = text_property(connection, window, atoms.name);
    if (name.empty())
        name = text_property(connection, window, XCB_ATOM_WM_NAME);
    return name == title;
}

// Asks a window manager, as far as one runs, to activate window (which also
// raises and restores it).
void ask_for_activation(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, xcb_atom_t active_window)
{
    xcb_client_message_event_t activate{};
    activate.response_type = XCB_CLIENT_MESSAGE;
    activate.format = 32;
    activate.window = window;
    activate.type = active_window;
    activate.data.data32[0] = activation_by_user;
    activate.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&activate));
}

void raise(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, const Atoms& atoms)
{
    // Without a window manager this restacks the window itself; a manager
    // receives it as a request to restack the window's frame.
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    if (atoms.active_window != XCB_ATOM_NONE)
        ask_for_activation(connection, root, window, atoms.active_window);
    // A round trip: the server has carried the requests out when this returns.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

}  // namespace

bool raise_dialog_window(const std::string& title)
{
    int screen_number = 0;
    const Connection connection(xcb_connect(nullptr, &screen_number));
    if (xcb_connection_has_error(connection.get()) != 0)
        return false;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screen_number && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        return false;
    const xcb_window_t root = screens.data->root;
    const Atoms atoms = intern_atoms(connection.get());
    for (const xcb_window_t window : top_level_windows(connection.get(), root, atoms)) {
        if (is_dialog_titled(connection.get(), window, title, atoms)) {
            raise(connection.get(), root, window, atoms);
            return true;
        }
    }
    return false;
}
