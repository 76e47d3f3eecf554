// The key-name table and the virtual-key translation.

#include "platform/key_codes.h"

#include <array>

namespace {

struct KeyRow {
    KeyCode code;
    const char* name;
};

// Rows in code order, except that the call keys come before "*" and "#".
constexpr std::array<KeyRow, 68> key_table = {{
    {key_none, "None"},
    {key_shift, "Shift"},
    {key_ctrl, "Ctrl"},
    {key_alt, "Alt"},
    {key_left, "Left"},
    {key_right, "Right"},
    {key_up, "Up"},
    {key_down, "Down"},
    {key_esc, "Esc"},
    {key_enter, "Enter"},
    {key_space, "Space"},
    {key_backspace, "Backspace"},
    {key_del, "Del"},
    {key_insert, "Insert"},
    {key_home, "Home"},
    {key_end, "End"},
    {key_page_down, "PageDown"},
    {key_page_up, "PageUp"},
    {key_tab, "Tab"},
    {key_context_menu, "ContextMenu"},
    {KeyCode(20), "A"},
    {KeyCode(21), "B"},
    {KeyCode(22), "C"},
    {KeyCode(23), "D"},
    {KeyCode(24), "E"},
    {KeyCode(25), "F"},
    {KeyCode(26), "G"},
    {KeyCode(27), "H"},
    {KeyCode(28), "I"},
    {KeyCode(29), "J"},
    {KeyCode(30), "K"},
    {KeyCode(31), "L"},
    {KeyCode(32), "M"},
    {KeyCode(33), "N"},
    {KeyCode(34), "O"},
    {KeyCode(35), "P"},
    {KeyCode(36), "Q"},
    {KeyCode(37), "R"},
    {KeyCode(38), "S"},
    {KeyCode(39), "T"},
    {KeyCode(40), "U"},
    {KeyCode(41), "V"},
    {KeyCode(42), "W"},
    {KeyCode(43), "X"},
    {KeyCode(44), "Y"},
    {KeyCode(45), "Z"},
    {KeyCode(46), "0"},
    {KeyCode(47), "1"},
    {KeyCode(48), "2"},
    {KeyCode(49), "3"},
    {KeyCode(50), "4"},
    {KeyCode(51), "5"},
    {KeyCode(52), "6"},
    {KeyCode(53), "7"},
    {KeyCode(54), "8"},
    {KeyCode(55), "9"},
    {key_call_make, "CALL_MAKE"},
    {key_call_end, "CALL_END"},
    {key_star, "*"},
    {key_pound, "#"},
    {key_slide, "SLIDE"},
    {key_soft_left, "SOFT_LEFT"},
    {key_soft_right, "SOFT_RIGHT"},
    {key_volume_up, "VOLUME_UP"},
    {key_volume_down, "VOLUME_DOWN"},
    {key_plus, "Plus"},
    {key_minus, "Minus"},
    {key_f11, "F11"},
}};

bool name_equals(const char* ascii, StringView name)
{
    std::size_t i = 0;
    for (; ascii[i] != '\0'; ++i)
        if (i >= name.size() || name[i] != static_cast<char16_t>(ascii[i]))
            return false;
    return i == name.size();
}

}  // namespace

KeyCode key_from_virtual_key(int virtual_key)
{
    if (virtual_key >= 48 && virtual_key <= 57)
        return KeyCode(key_0 + (virtual_key - 48));
    if (virtual_key >= 65 && virtual_key <= 90)
        return KeyCode(key_a + (virtual_key - 65));
    switch (virtual_key) {
    case 8:
    case 27:
        return key_backspace;  // escape is the phone's back key
    case 9:
        return key_tab;
    case 13:
        return key_enter;
    case 16:
        return key_shift;
    case 17:
        return key_ctrl;
    case 18:
        return key_alt;
    case 32:
        return key_space;
    case 33:
        return key_page_up;
    case 34:
        return key_page_down;
    case 35:
        return key_end;
    case 36:
        return key_home;
    case 37:
        return key_left;
    case 38:
        return key_up;
    case 39:
        return key_right;
    case 40:
        return key_down;
    case 45:
        return key_insert;
    case 46:
        return key_del;
    case 93:
        return key_context_menu;
    case 112:
        return key_soft_left;
    case 113:
        return key_soft_right;
    case 114:
        return key_call_make;
    case 115:
        return key_call_end;
    case 117:
        return key_volume_up;
    case 118:
        return key_volume_down;
    case 119:
        return key_star;
    case 120:
        return key_pound;
    case 107:
    case 187:
        return key_plus;  // keypad "+" and the "=" / "+" key
    case 109:
    case 189:
        return key_minus;  // keypad "-" and the "-" key
    case 122:
        return key_f11;
    default:
        return key_none;
    }
}

const char* key_name(KeyCode code)
{
    for (const KeyRow& row : key_table)
        if (row.code == code)
            return row.name;
    return nullptr;
}

bool key_from_name(StringView name, KeyCode& code)
{
    for (const KeyRow& row : key_table) {
        if (name_equals(row.name, name)) {
            code = row.code;
            return true;
        }
    }
    return false;
}

LogStream& operator<<(LogStream& stream, KeyCode code)
{
    if (const char* name = key_name(code))
        stream << name;
    return stream;
}
