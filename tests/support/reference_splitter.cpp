// The byte-at-a-time splitter, unchanged but for its namespace: a field
// is cut out of the line in place, and only a quoted field with doubled
// quotes in it is copied.
#include "reference_splitter.h"

namespace reference {

using tralvo::AppendField;
using tralvo::AppendFieldInPlace;
using tralvo::FieldList;
using tralvo::FreeFieldList;
using tralvo::kMaxFieldLength;
using tralvo::SplitResult;

namespace {

// Which bytes end a scan: the line ends (zero byte, line feed, carriage
// return) end every scan; a comma ends an unquoted field, a double quote
// a quoted one. Tables, so a field costs one lookup per byte.
struct StopTable {
  bool unquoted[256] = {};
  bool quoted[256] = {};
  bool lineEnd[256] = {};
};

constexpr StopTable MakeStopTable() {
  StopTable t;
  for (unsigned char c : {'\0', '\n', '\r'}) t.unquoted[c] = t.quoted[c] = t.lineEnd[c] = true;
  t.unquoted[static_cast<unsigned char>(',')] = true;
  t.quoted[static_cast<unsigned char>('"')] = true;
  return t;
}

constexpr StopTable kStops = MakeStopTable();

class Splitter {
 public:
  Splitter(std::string_view line, FieldList& record) : line_(line), record_(record) {}

  SplitResult Run() {
    FreeFieldList(record_);
    for (;;) {
      while (pos_ < line_.size() && line_[pos_] == ' ') ++pos_;
      if (AtEnd()) {
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
  static size_t Byte(char c) { return static_cast<unsigned char>(c); }

  bool AtEnd() const { return pos_ == line_.size() || kStops.lineEnd[Byte(line_[pos_])]; }

  // Moves on to the next byte of the line that `stops` marks, or its end.
  void ScanTo(const bool (&stops)[256]) {
    while (pos_ < line_.size() && !stops[Byte(line_[pos_])]) ++pos_;
  }

  // An unquoted field runs from start to the next comma or the end of the
  // line; the comma that ends it leaves a pending empty field should the
  // line end right after it.
  bool UnquotedBody(size_t start) {
    ScanTo(kStops.unquoted);
    std::string_view text = line_.substr(start, pos_ - start);
    if (text.size() > kMaxFieldLength) return false;
    AppendFieldInPlace(record_, text);
    commaPending_ = pos_ < line_.size() && line_[pos_] == ',';
    if (commaPending_) ++pos_;
    return true;
  }

  // A quoted field runs to its closing quote; a doubled quote inside is one
  // quote character, and whatever follows the closing quote other than a
  // comma starts the next field.
  bool QuotedBody() {
    commaPending_ = false;
    size_t start = pos_;
    ScanTo(kStops.quoted);
    if (AtEnd()) return Close(line_.substr(start, pos_ - start));
    if (pos_ + 1 < line_.size() && line_[pos_ + 1] == '"') return UnescapedCopy(start);
    return Close(line_.substr(start, pos_++ - start));
  }

  // A quoted field that holds doubled quotes, collected from start into a
  // buffer the size of the longest field and then copied into the record.
  bool UnescapedCopy(size_t start) {
    char text[kMaxFieldLength];
    size_t length = 0;
    pos_ = start;
    while (!AtEnd()) {
      char c = line_[pos_];
      if (c == '"') {
        if (pos_ + 1 == line_.size() || line_[pos_ + 1] != '"') {
          ++pos_;  // the closing quote
          break;
        }
        ++pos_;
      }
      if (length == sizeof text) return false;
      text[length++] = c;
      ++pos_;
    }
    if (pos_ < line_.size() && line_[pos_] == ',') ++pos_;
    AppendField(record_, std::string_view(text, length));
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

}  // namespace reference
