#pragma once
// The system's own key numbering and key names ("SOFT_LEFT", "Enter", ...),
// independent of the platform's virtual-key codes.

#include <cstdint>
#include "platform/log.h"
#include "platform/text.h"

enum KeyCode : std::int32_t {
    key_none = 0,
    key_shift = 1,
    key_ctrl = 2,
    key_alt = 3,
    key_left = 4,
    key_right = 5,
    key_up = 6,
    key_down = 7,
    key_esc = 8,
    key_enter = 9,
    key_space = 10,
    key_backspace = 11,
    key_del = 12,
    key_insert = 13,
    key_home = 14,
    key_end = 15,
    key_page_down = 16,
    key_page_up = 17,
    key_tab = 18,
    key_context_menu = 19,
    key_a = 20,  // "A" ... "Z" are 20 ... 45
    key_z = 45,
    key_0 = 46,  // "0" ... "9" are 46 ... 55
    key_9 = 55,
    key_star = 56,
    key_pound = 57,
    key_call_make = 58,
    key_call_end = 59,
    key_slide = 60,
    key_soft_left = 61,
    key_soft_right = 62,
    key_volume_up = 63,
    key_volume_down = 64,
    // Desktop keyboard keys: "+" (with "="), "-" and the full-screen key.
    key_plus = 65,
    key_minus = 66,
    key_f11 = 67,
};

// The code for a platform virtual-key number; key_none for keys without one.
KeyCode key_from_virtual_key(int virtual_key);
// The key's name; nullptr for a code outside the table.
const char* key_name(KeyCode code);
// The code whose name equals name exactly (letter case counts); false when none does.
bool key_from_name(StringView name, KeyCode& code);

// Writes the key's name; nothing for a code without a name.
LogStream& operator<<(LogStream& stream, KeyCode code);
