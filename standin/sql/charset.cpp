// Character set conversions; see charset.h.
#include "sql/charset.h"

#include <cstdint>
#include <vector>

namespace standin {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned codes, which
// map to themselves as the system's converters do.
const uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes UTF-8 leniently: a malformed sequence yields U+FFFD for its first
// byte and decoding goes on with the next one.
std::vector<uint32_t> DecodeUtf8(const std::string& s) {
  std::vector<uint32_t> cps;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    bool ok = extra >= 0 && i + extra < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      cps.push_back(0xFFFD);
      ++i;
      continue;
    }
    cps.push_back(cp);
    i += extra + 1;
  }
  return cps;
}

}  // namespace

std::string Utf16ToUtf8(const std::string& in) {
  std::string out;
  for (size_t i = 0; i + 1 < in.size(); i += 2) {
    uint32_t u = static_cast<unsigned char>(in[i]) | (static_cast<unsigned char>(in[i + 1]) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < in.size()) {
      uint32_t lo =
          static_cast<unsigned char>(in[i + 2]) | (static_cast<unsigned char>(in[i + 3]) << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

std::string Utf8ToUtf16(const std::string& utf8) {
  std::string out;
  auto put = [&out](uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (uint32_t cp : DecodeUtf8(utf8)) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

std::string Utf8ToCp1252(const std::string& utf8) {
  std::string out;
  for (uint32_t cp : DecodeUtf8(utf8)) {
    if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == cp || (kCp1252High[k] == 0 && cp == 0x80u + k)) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

std::string Cp1252ToUtf8(const std::string& cp1252) {
  std::string out;
  for (char ch : cp1252) {
    unsigned char c = static_cast<unsigned char>(ch);
    uint32_t cp = c;
    if (c >= 0x80 && c < 0xA0 && kCp1252High[c - 0x80] != 0) cp = kCp1252High[c - 0x80];
    AppendUtf8(out, cp);
  }
  return out;
}

size_t Utf8Length(const std::string& utf8) {
  size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::string Utf8Prefix(const std::string& utf8, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
      if (seen == count) return utf8.substr(0, i);
      ++seen;
    }
  }
  return utf8;
}

}  // namespace standin
