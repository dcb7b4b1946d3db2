// Windows-1252 against Unicode, and UTF-8; see windows_1252.h.
#include "shared/windows_1252.h"

#include <cstdint>

namespace tralvo {
namespace {

// 0x80..0x9F are the only bytes whose character is not the byte's own
// number; the undefined ones keep their number.
const char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char32_t Windows1252ToUnicode(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

bool UnicodeToWindows1252(char32_t character, char& byte) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
    byte = static_cast<char>(character);
    return true;
  }
  for (unsigned i = 0; i < 32; ++i) {
    if (kHighControls[i] == character) {
      byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

void AppendUtf8(std::string& out, char32_t character) {
  const uint32_t c = character;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool NextUtf8(std::string_view text, std::size_t& pos, char32_t& character) {
  if (pos >= text.size()) return false;
  const unsigned char lead = static_cast<unsigned char>(text[pos]);
  std::size_t length;
  uint32_t c;
  uint32_t least;  // the smallest character of this length: below it is overlong
  if (lead < 0x80) {
    character = lead;
    ++pos;
    return true;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    length = 2, c = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3, c = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4, c = lead & 0x07u, least = 0x10000;
  } else {
    return false;
  }
  if (text.size() - pos < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    c = (c << 6) | (next & 0x3Fu);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
  character = c;
  pos += length;
  return true;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char byte : text) AppendUtf8(out, Windows1252ToUnicode(static_cast<unsigned char>(byte)));
  return out;
}

}  // namespace tralvo
