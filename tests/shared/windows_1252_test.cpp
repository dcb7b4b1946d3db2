// Windows-1252 against Unicode and UTF-8: every byte comes back as itself,
// the irregular range 0x80..0x9F maps as the code page has it, and UTF-8
// that is not well formed is never taken for a character.
#include "shared/windows_1252.h"

#include <gtest/gtest.h>

#include <string>

namespace tralvo {
namespace {

TEST(Windows1252, EveryByteRoundTripsThroughUnicodeAndUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Windows1252ToUtf8(all);
  std::string back;
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t character;
    ASSERT_TRUE(NextUtf8(utf8, pos, character)) << pos;
    char byte;
    ASSERT_TRUE(UnicodeToWindows1252(character, byte)) << std::hex << character;
    back += byte;
  }
  EXPECT_EQ(back, all);

  const struct {
    unsigned char byte;
    char32_t character;
  } known[] = {{0x41, U'A'},      {0x80, U'\u20AC'}, {0x81, U'\u0081'}, {0x8A, U'\u0160'},
               {0x9D, U'\u009D'}, {0x9F, U'\u0178'}, {0xA0, U'\u00A0'}, {0xD6, U'\u00D6'},
               {0xF6, U'\u00F6'}, {0xFF, U'\u00FF'}};
  for (const auto& k : known) EXPECT_EQ(Windows1252ToUnicode(k.byte), k.character) << +k.byte;
  EXPECT_EQ(Windows1252ToUtf8("P\xF6\x80"), "P\xC3\xB6\xE2\x82\xAC");
}

TEST(Windows1252, CharactersOutsideTheCodePageHaveNoByte) {
  // U+0080 and U+009F are displaced by the euro sign and Y with diaeresis.
  for (char32_t character :
       {U'\u0080', U'\u009F', U'\u0100', U'\u03A9', U'\u2000', U'\uFFFD', U'\U0001F600'}) {
    char byte = 'x';
    EXPECT_FALSE(UnicodeToWindows1252(character, byte)) << std::hex << character;
    EXPECT_EQ(byte, 'x');
  }
}

TEST(Windows1252, MalformedUtf8IsRefusedWhereItStarts) {
  for (const std::string bad :
       {"\x80", "\xBF", "\xC0\x80", "\xC1\xBF", "\xC3", "\xC3\x28", "\xE0\x80\x80", "\xE2\x82",
        "\xED\xA0\x80", "\xF0\x80\x80\x80", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF"}) {
    const std::string text = "a" + bad;
    std::size_t pos = 1;
    char32_t character;
    EXPECT_FALSE(NextUtf8(text, pos, character)) << testing::PrintToString(bad);
    EXPECT_EQ(pos, 1u);
  }
  const std::string longest = "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
  std::size_t pos = 0;
  char32_t character;
  ASSERT_TRUE(NextUtf8(longest, pos, character));
  EXPECT_EQ(character, U'\U0001F600');
  ASSERT_TRUE(NextUtf8(longest, pos, character));
  EXPECT_EQ(character, U'\U0010FFFF');
  EXPECT_EQ(pos, longest.size());
}

}  // namespace
}  // namespace tralvo
