#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/key_codes.h"
#include "text_log.h"

TEST(KeyCodes, EveryCodeHasOneUniqueNameThatLeadsBack)
{
    std::set<std::string> names;
    for (int code = 0; code <= 67; ++code) {
        const char* name = key_name(KeyCode(code));
        ASSERT_NE(name, nullptr) << code;
        EXPECT_TRUE(names.insert(name).second) << name;
        KeyCode found = key_none;
        ASSERT_TRUE(key_from_name(from_ascii(name), found)) << name;
        EXPECT_EQ(found, code);
    }
    EXPECT_EQ(key_name(KeyCode(68)), nullptr);
    EXPECT_EQ(key_name(KeyCode(-1)), nullptr);
    EXPECT_STREQ(key_name(KeyCode(20)), "A");
    EXPECT_STREQ(key_name(KeyCode(45)), "Z");
    EXPECT_STREQ(key_name(KeyCode(46)), "0");
    EXPECT_STREQ(key_name(KeyCode(55)), "9");
    EXPECT_STREQ(key_name(key_star), "*");
    EXPECT_STREQ(key_name(key_call_make), "CALL_MAKE");
}

TEST(KeyCodes, NamesMatchExactly)
{
    KeyCode code = key_none;
    EXPECT_TRUE(key_from_name(u"SOFT_LEFT", code));
    EXPECT_EQ(code, 61);
    EXPECT_TRUE(key_from_name(u"Enter", code));
    EXPECT_EQ(code, 9);
    code = key_up;
    EXPECT_FALSE(key_from_name(u"enter", code));
    EXPECT_FALSE(key_from_name(u"F1", code));
    EXPECT_FALSE(key_from_name(u"", code));
    EXPECT_FALSE(key_from_name(u"Enter ", code));
    EXPECT_FALSE(key_from_name(u"Ente", code));
    EXPECT_EQ(code, key_up);
}

TEST(KeyCodes, VirtualKeys)
{
    EXPECT_EQ(key_from_virtual_key(8), key_backspace);
    EXPECT_EQ(key_from_virtual_key(27), key_backspace);
    EXPECT_EQ(key_from_virtual_key(13), key_enter);
    EXPECT_EQ(key_from_virtual_key(33), key_page_up);
    EXPECT_EQ(key_from_virtual_key(34), key_page_down);
    EXPECT_EQ(key_from_virtual_key(37), key_left);
    EXPECT_EQ(key_from_virtual_key(38), key_up);
    EXPECT_EQ(key_from_virtual_key(39), key_right);
    EXPECT_EQ(key_from_virtual_key(40), key_down);
    EXPECT_EQ(key_from_virtual_key(48), KeyCode(46));
    EXPECT_EQ(key_from_virtual_key(57), KeyCode(55));
    EXPECT_EQ(key_from_virtual_key(65), KeyCode(20));
    EXPECT_EQ(key_from_virtual_key(90), KeyCode(45));
    EXPECT_EQ(key_from_virtual_key(112), key_soft_left);
    EXPECT_EQ(key_from_virtual_key(113), key_soft_right);
    EXPECT_EQ(key_from_virtual_key(114), key_call_make);
    EXPECT_EQ(key_from_virtual_key(115), key_call_end);
    EXPECT_EQ(key_from_virtual_key(116), key_none);  // F5 has no key
    EXPECT_EQ(key_from_virtual_key(117), key_volume_up);
    EXPECT_EQ(key_from_virtual_key(120), key_pound);
    EXPECT_EQ(key_from_virtual_key(107), key_plus);
    EXPECT_EQ(key_from_virtual_key(187), key_plus);
    EXPECT_EQ(key_from_virtual_key(109), key_minus);
    EXPECT_EQ(key_from_virtual_key(189), key_minus);
    EXPECT_EQ(key_from_virtual_key(122), key_f11);
    EXPECT_EQ(key_from_virtual_key(123), key_none);  // F12 has no key
    for (const int unmapped : {0, 47, 58, 64, 91, 97, 121, 255, -5, 100000})
        EXPECT_EQ(key_from_virtual_key(unmapped), key_none) << unmapped;
}

TEST(KeyCodes, LogWriterShowsTheNameOrNothing)
{
    TextLog stream;
    stream << 27 << " (" << key_from_virtual_key(27) << ") " << 116 << " (" << key_from_virtual_key(116) << ")"
           << KeyCode(99);
    EXPECT_EQ(stream.text, u"27 (Backspace) 116 (None)");
}
