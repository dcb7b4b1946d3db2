// The line splitter. One pass over the line; a field's characters are
// collected into a fixed buffer the size of the longest field, then copied
// once into the record.
#include "input/booking_splitter.h"

#include <array>

namespace tralvo {

namespace {

class Splitter {
 public:
  Splitter(std::string_view line, FieldList& record) : line_(line), record_(record) {}

  SplitResult Run() {
    FreeFieldList(record_);
    for (;;) {
      SkipBlanks();
      length_ = 0;
      if (AtEnd()) {
        if (commaPending_) Append();
        break;
      }
      char c = line_[pos_++];
      if (c == ',') {
        Append();
        commaPending_ = false;
        continue;
      }
      bool quoted = c == '"';
      if (!quoted && !Add(c)) return SplitResult::kFieldTooLong;
      if (!(quoted ? QuotedBody() : UnquotedBody())) return SplitResult::kFieldTooLong;
    }
    return record_.count() > 0 ? SplitResult::kRecord : SplitResult::kNone;
  }

 private:
  bool AtEnd() const {
    if (pos_ >= line_.size()) return true;
    char c = line_[pos_];
    return c == '\0' || c == '\n' || c == '\r';
  }

  void SkipBlanks() {
    while (pos_ < line_.size() && line_[pos_] == ' ') ++pos_;
  }

  bool Add(char c) {
    if (length_ == field_.size()) return false;
    field_[length_++] = c;
    return true;
  }

  void Append() { AppendField(record_, std::string_view(field_.data(), length_)); }

  // An unquoted field runs to the next comma or the end of the line; the
  // comma that ends it leaves a pending empty field should the line end
  // right after it.
  bool UnquotedBody() {
    commaPending_ = false;
    while (!AtEnd()) {
      char c = line_[pos_++];
      if (c == ',') {
        Append();
        commaPending_ = true;
        return true;
      }
      if (!Add(c)) return false;
    }
    Append();
    return true;
  }

  // A quoted field runs to its closing quote; a doubled quote inside is one
  // quote character, and whatever follows the closing quote other than a
  // comma starts the next field.
  bool QuotedBody() {
    commaPending_ = false;
    while (!AtEnd()) {
      char c = line_[pos_++];
      if (c != '"') {
        if (!Add(c)) return false;
        continue;
      }
      if (pos_ < line_.size() && line_[pos_] == '"') {
        ++pos_;
        if (!Add('"')) return false;
        continue;
      }
      if (pos_ < line_.size() && line_[pos_] == ',') ++pos_;
      Append();
      return true;
    }
    Append();
    return true;
  }

  std::string_view line_;
  FieldList& record_;
  size_t pos_ = 0;
  std::array<char, kMaxFieldLength> field_{};
  size_t length_ = 0;
  bool commaPending_ = false;
};

}  // namespace

SplitResult SplitBookingLine(std::string_view line, FieldList& record) {
  return Splitter(line, record).Run();
}

}  // namespace tralvo
