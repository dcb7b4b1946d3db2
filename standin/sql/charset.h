// Conversions between the encodings the stand-in meets: UCS-2/UTF-16LE on
// the wire, UTF-8 in storage, Windows-1252 for varchar columns.
#pragma once

#include <string>

namespace standin {

// UTF-16LE bytes to UTF-8; unpaired surrogates become U+FFFD so that no
// client can smuggle invalid UTF-8 into storage.
std::string Utf16ToUtf8(const std::string& utf16le);
std::string Utf8ToUtf16(const std::string& utf8);

// Characters without a Windows-1252 code become '?', as a server does when
// it stores Unicode text in a varchar column of that code page.
std::string Utf8ToCp1252(const std::string& utf8);
std::string Cp1252ToUtf8(const std::string& cp1252);

// Number of characters (code points) in a UTF-8 text; column lengths count
// characters, not bytes.
size_t Utf8Length(const std::string& utf8);
// The first `count` characters of a UTF-8 text.
std::string Utf8Prefix(const std::string& utf8, size_t count);

}  // namespace standin
