// Windows-1252, the character set of every text the tool stores, and its
// characters in Unicode: for the places where text meets a terminal or a
// format that speaks Unicode.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tralvo {

// The character a Windows-1252 byte stands for. The five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the
// control characters of the same number, as Windows maps them, so every
// byte survives a round trip.
char32_t Windows1252ToUnicode(unsigned char byte);

// The Windows-1252 byte of a character; false when the code page has none.
bool UnicodeToWindows1252(char32_t character, char& byte);

// Appends the UTF-8 form of a character.
void AppendUtf8(std::string& out, char32_t character);

// Reads the UTF-8 character at text[pos] and moves pos past it. False for
// a sequence that is malformed, overlong, cut short, a surrogate or beyond
// U+10FFFF; pos is then left where it was.
bool NextUtf8(std::string_view text, std::size_t& pos, char32_t& character);

// The UTF-8 form of a Windows-1252 text.
std::string Windows1252ToUtf8(std::string_view text);

}  // namespace tralvo
