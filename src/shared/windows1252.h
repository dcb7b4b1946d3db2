// Windows-1252, the character set of every text the tool reads and writes,
// as UTF-8 for the few readers that take nothing else.
#pragma once

#include <string>
#include <string_view>

namespace tralvo {

// Appends text, read as Windows-1252, to out as UTF-8. The five bytes the
// code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the
// control characters of the same number, as Windows converts them, so no
// byte is lost.
void AppendUtf8(std::string_view text, std::string& out);

}  // namespace tralvo
