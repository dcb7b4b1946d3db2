// What both platforms share of reading values; see terminal.h.
#include "shared/terminal.h"

namespace tralvo {

LineRead ReadByteLine(std::FILE* in, std::size_t limit, std::string& line) {
  line.clear();
  line.reserve(limit);
  bool any = false;
  bool tooLong = false;
  int c;
  while ((c = std::getc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() < limit) {
      line.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
  }
  if (!any) return LineRead::kEnd;
  if (!line.empty() && line.back() == '\r' && c == '\n') line.pop_back();
  return tooLong ? LineRead::kTooLong : LineRead::kRead;
}

}  // namespace tralvo
