#include <gtest/gtest.h>

#include "platform/text.h"

TEST(Text, Utf8RoundTripKeepsEveryPlane)
{
    const std::string utf8 = "Zur\xC3\xBC"
                             "ck \xD0\x9F\xD1\x80\xD0\xB8 \xF0\x9F\x93\xB7";
    const String text = from_utf8(utf8);
    EXPECT_EQ(text, u"Zurück При \U0001F4F7");
    EXPECT_EQ(to_utf8(text), utf8);
}

TEST(Text, InvalidUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(from_utf8("a\xFF"
                        "b"),
              u"a\uFFFDb");
    EXPECT_EQ(from_utf8("\xC0\xAF"), u"\uFFFD\uFFFD");                      // overlong "/"
    EXPECT_EQ(from_utf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");            // encoded surrogate
    EXPECT_EQ(from_utf8("x\xE2\x82"), u"x\uFFFD\uFFFD");                    // cut short at the end
    EXPECT_EQ(from_utf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
}

TEST(Text, UnpairedSurrogatesBecomeReplacementCharacters)
{
    EXPECT_EQ(to_utf8(String(1, char16_t(0xD800)) + u"a"), "\xEF\xBF\xBD"
                                                           "a");
    EXPECT_EQ(to_utf8(String{u'a', char16_t(0xDC00)}), "a\xEF\xBF\xBD");
}

TEST(Text, AsciiBytesWidenAsSignedValues)
{
    EXPECT_EQ(from_ascii("Ab"), u"Ab");
    EXPECT_EQ(from_ascii("\xC3\xBC"), String({char16_t(0xFFC3), char16_t(0xFFBC)}));
}

TEST(Text, CaseMappingCoversLatinGreekCyrillic)
{
    EXPECT_EQ(lower_case_copy(u"IMG_0001.JPG"), u"img_0001.jpg");
    EXPECT_EQ(upper_case_copy(u"zurück"), u"ZURÜCK");
    EXPECT_EQ(upper_case_copy(u"русский ёж"), u"РУССКИЙ ЁЖ");
    EXPECT_EQ(lower_case_copy(u"ΑΛΦΑ"), u"αλφα");
    EXPECT_EQ(lower_case_copy(u"ŁÓDŹ ČESKÝ"), u"łódź český");
    EXPECT_EQ(upper_case_copy(u"łódź český"), u"ŁÓDŹ ČESKÝ");
    EXPECT_EQ(to_upper(u'ÿ'), char16_t(0x178));
    EXPECT_EQ(to_lower(u'×'), u'×');
    EXPECT_EQ(to_upper(u'÷'), u'÷');
    EXPECT_EQ(to_lower(u'1'), u'1');
}

// Every script with case, the process's own locale notwithstanding.
TEST(Text, CaseMappingCoversEveryScript)
{
    EXPECT_EQ(lower_case_copy(u"ԱՐԱՐԱՏ"), u"արարատ");            // Armenian
    EXPECT_EQ(upper_case_copy(u"ǆemal"), u"ǄEMAL");              // Latin Extended-B
    EXPECT_EQ(lower_case_copy(u"ＪＰＧ"), u"ｊｐｇ");            // full-width forms
    EXPECT_EQ(lower_case_copy(u"ẞ ႠႡ"), u"ß ⴀⴁ");                // capital sharp s, Georgian
    EXPECT_EQ(lower_case_copy(u"\U00010400x"), u"\U00010428x");  // Deseret, a surrogate pair
    EXPECT_EQ(upper_case_copy(u"\U00010428"), u"\U00010400");
    EXPECT_EQ(to_lower(char16_t(0xD801)), char16_t(0xD801));
    EXPECT_EQ(lower_case_copy(String(1, char16_t(0xDC00))), String(1, char16_t(0xDC00)));
    EXPECT_EQ(lower_case_copy(u"東京 1.JPG"), u"東京 1.jpg");
}

TEST(Text, DecimalNumbers)
{
    EXPECT_EQ(to_string16(-42), u"-42");
    EXPECT_EQ(to_string16(0), u"0");
}
