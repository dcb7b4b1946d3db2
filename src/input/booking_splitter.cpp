// The line splitter. One pass over the line; a field is cut out of the
// line in place, and only a quoted field with doubled quotes in it is
// copied, since its text differs from the line's bytes.
#include "input/booking_splitter.h"

namespace tralvo {

namespace {

class Splitter {
 public:
  Splitter(std::string_view line, FieldList& record)
      : line_(line.substr(0, LineEnd(line))), record_(record) {}

  SplitResult Run() {
    FreeFieldList(record_);
    for (;;) {
      while (pos_ < line_.size() && line_[pos_] == ' ') ++pos_;
      if (pos_ == line_.size()) {
        if (commaPending_) AppendFieldInPlace(record_, line_.substr(pos_, 0));
        break;
      }
      char c = line_[pos_++];
      if (c == ',') {
        AppendFieldInPlace(record_, line_.substr(pos_ - 1, 0));
        commaPending_ = false;
        continue;
      }
      bool fits = c == '"' ? QuotedBody() : UnquotedBody(pos_ - 1);
      if (!fits) return SplitResult::kFieldTooLong;
    }
    return record_.count() > 0 ? SplitResult::kRecord : SplitResult::kNone;
  }

 private:
  // A zero byte, line feed or carriage return ends the line.
  static size_t LineEnd(std::string_view line) {
    size_t end = 0;
    while (end < line.size() && line[end] != '\0' && line[end] != '\n' && line[end] != '\r') ++end;
    return end;
  }

  // An unquoted field runs from start to the next comma or the end of the
  // line; the comma that ends it leaves a pending empty field should the
  // line end right after it.
  bool UnquotedBody(size_t start) {
    while (pos_ < line_.size() && line_[pos_] != ',') ++pos_;
    std::string_view text = line_.substr(start, pos_ - start);
    if (text.size() > kMaxFieldLength) return false;
    AppendFieldInPlace(record_, text);
    commaPending_ = pos_ < line_.size();
    if (commaPending_) ++pos_;
    return true;
  }

  // A quoted field runs to its closing quote; a doubled quote inside is one
  // quote character, and whatever follows the closing quote other than a
  // comma starts the next field.
  bool QuotedBody() {
    commaPending_ = false;
    size_t start = pos_;
    while (pos_ < line_.size()) {
      if (line_[pos_] != '"') {
        ++pos_;
      } else if (pos_ + 1 < line_.size() && line_[pos_ + 1] == '"') {
        return UnescapedCopy(start);
      } else {
        return Close(line_.substr(start, pos_++ - start));
      }
    }
    return Close(line_.substr(start));
  }

  // The rest of a quoted field that holds doubled quotes, collected into a
  // buffer the size of the longest field and then copied into the record.
  bool UnescapedCopy(size_t start) {
    char text[kMaxFieldLength];
    size_t length = 0;
    pos_ = start;
    while (pos_ < line_.size()) {
      char c = line_[pos_++];
      if (c == '"') {
        if (pos_ < line_.size() && line_[pos_] == '"') {
          ++pos_;
        } else {
          --pos_;
          break;
        }
      }
      if (length == sizeof text) return false;
      text[length++] = c;
    }
    std::string_view copied(text, length);
    if (pos_ < line_.size()) ++pos_;  // the closing quote
    if (pos_ < line_.size() && line_[pos_] == ',') ++pos_;
    AppendField(record_, copied);
    return true;
  }

  // Ends a quoted field without doubled quotes, its closing quote (if any)
  // already passed.
  bool Close(std::string_view text) {
    if (text.size() > kMaxFieldLength) return false;
    if (pos_ < line_.size() && line_[pos_] == ',') ++pos_;
    AppendFieldInPlace(record_, text);
    return true;
  }

  std::string_view line_;
  FieldList& record_;
  size_t pos_ = 0;
  bool commaPending_ = false;
};

}  // namespace

SplitResult SplitBookingLine(std::string_view line, FieldList& record) {
  return Splitter(line, record).Run();
}

}  // namespace tralvo
