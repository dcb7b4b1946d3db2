// The line splitter. A line of plain fields, the usual kind, is cut at its
// commas, which are found 16 bytes at a time; from the first field that
// starts with a blank or a double quote on, the line goes byte by byte
// through the path that knows quoting. A field is cut out of the line in
// place, and only a quoted field with doubled quotes in it is copied,
// since its text differs from the line's bytes.
#include "input/booking_splitter.h"

#include <algorithm>
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tralvo {

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

// The byte-at-a-time path, taking the line over at a field's start: pos
// is where the field starts, commaPending whether the comma before it
// ended a field with text.
class Splitter {
 public:
  Splitter(std::string_view line, FieldList& record, size_t pos, bool commaPending)
      : line_(line), record_(record), pos_(pos), commaPending_(commaPending) {}

  // Out of line: the fast path keeps the registers to itself.
  [[gnu::noinline]] SplitResult Run() {
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
  size_t pos_;
  bool commaPending_;
};

// Where the bytes the fast path looks at stand in up to 64 bytes of a
// line: bit i stands for the byte at the block's start plus i.
struct Marks {
  uint64_t commas = 0;
  uint64_t lineEnds = 0;      // zero byte, line feed, carriage return
  uint64_t quoteOrBlank = 0;  // a field that starts with one needs the byte path
};

// Byte by byte, for a line too short for a 16-byte load and for machines
// without SSE2.
Marks MarkBytes(const char* bytes, size_t count) {
  Marks marks;
  for (size_t i = 0; i < count; ++i) {
    uint64_t bit = uint64_t{1} << i;
    char c = bytes[i];
    if (c == ',') marks.commas |= bit;
    if (kStops.lineEnd[static_cast<unsigned char>(c)]) marks.lineEnds |= bit;
    if (c == '"' || c == ' ') marks.quoteOrBlank |= bit;
  }
  return marks;
}

#ifdef __SSE2__
__m128i Equal(__m128i bytes, char c) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

// Marks the 16 bytes at bytes, which stand at bit shift of the block.
[[gnu::always_inline]] inline void MarkChunk(Marks& marks, const char* bytes, unsigned shift) {
  __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  auto bits = [shift](__m128i hits) {
    return uint64_t{static_cast<unsigned>(_mm_movemask_epi8(hits))} << shift;
  };
  marks.commas |= bits(Equal(chunk, ','));
  marks.lineEnds |=
      bits(_mm_or_si128(_mm_or_si128(Equal(chunk, '\0'), Equal(chunk, '\n')), Equal(chunk, '\r')));
  marks.quoteOrBlank |= bits(_mm_or_si128(Equal(chunk, '"'), Equal(chunk, ' ')));
}

// The 64 bytes of the line from base on (fewer at its end), 16 at a time.
// A load never reaches past the line: the last one ends with the line,
// and the bytes it shares with the one before are marked alike by both.
[[gnu::always_inline]] inline Marks MarkBlock(std::string_view line, size_t base) {
  size_t count = std::min<size_t>(64, line.size() - base);
  if (count < 16) {
    if (line.size() < 16) return MarkBytes(line.data() + base, count);
    // The end of a long line: the last 16 bytes, those before the block
    // shifted out.
    Marks marks;
    MarkChunk(marks, line.data() + line.size() - 16, 0);
    unsigned before = static_cast<unsigned>(16 - count);
    marks.commas >>= before;
    marks.lineEnds >>= before;
    marks.quoteOrBlank >>= before;
    return marks;
  }
  Marks marks;
  const char* block = line.data() + base;
  size_t offset = 0;
  for (; offset + 16 <= count; offset += 16)
    MarkChunk(marks, block + offset, static_cast<unsigned>(offset));
  if (offset < count) MarkChunk(marks, block + count - 16, static_cast<unsigned>(count - 16));
  return marks;
}
#else
[[gnu::always_inline]] inline Marks MarkBlock(std::string_view line, size_t base) {
  return MarkBytes(line.data() + base, std::min<size_t>(64, line.size() - base));
}
#endif

// The bits below the lowest one set in bits; all of them when none is.
uint64_t BelowFirst(uint64_t bits) {
  return (bits - 1) & ~bits;
}

size_t FirstBit(uint64_t bits) {
  return static_cast<unsigned>(__builtin_ctzll(bits));
}

// The bits set, without the instruction x86-64's baseline lacks.
int32_t CountBits(uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555;
  bits = (bits & 0x3333333333333333) + ((bits >> 2) & 0x3333333333333333);
  bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0f;
  return static_cast<int32_t>((bits * 0x0101010101010101) >> 56);
}

// Where the split of the plain fields stopped.
struct PlainSplit {
  size_t handOver = std::string_view::npos;  // the field the byte path takes on
  bool commaPending = false;                 // for the byte path
  bool tooLong = false;
};

// Cuts the fields that end at the commas (bit i: the byte at base + i),
// the first from start on, leaving start after the last comma and split's
// commaPending set when the last field has text; false at a field that is
// too long. Only a field that may be that long is measured.
template <bool kMayBeTooLong>
bool CutAtCommas(const char* text, size_t base, uint64_t commas, size_t& start,
                 InPlaceAppender& fields, PlainSplit& split) {
  size_t length = 0;
  for (; commas != 0; commas &= commas - 1) {
    size_t comma = base + FirstBit(commas);
    length = comma - start;
    if (kMayBeTooLong && length > kMaxFieldLength) return false;
    fields.Append(text + start, length);
    start = comma + 1;
  }
  split.commaPending = length != 0;
  return true;
}

// Where the plain split stands between blocks: the field in hand starts
// at start; end is the first line end, once found.
struct PlainCut {
  const char* text;
  size_t start = 0;
  size_t end;
};

// Cuts the plain fields that end in the block of 64 bytes at base. False
// where the split stops in it: split then says why.
[[gnu::always_inline]] inline bool CutBlock(std::string_view line, size_t base, PlainCut& cut,
                                            InPlaceAppender& fields, PlainSplit& split) {
  Marks marks = MarkBlock(line, base);
  uint64_t inLine = BelowFirst(marks.lineEnds);
  uint64_t starts = (marks.commas << 1) | (cut.start == base ? 1 : 0);
  uint64_t handOver = marks.quoteOrBlank & starts & inLine;
  uint64_t commas = marks.commas & inLine & BelowFirst(handOver);
  if (commas != 0) {
    if (!fields.Reserve(CountBits(commas))) {
      split.handOver = cut.start;
      return false;
    }
    // No field that ends in this block can be too long when the block
    // ends within the longest field's reach of start.
    bool cutAll = base + 64 - cut.start > kMaxFieldLength + 1
                      ? CutAtCommas<true>(cut.text, base, commas, cut.start, fields, split)
                      : CutAtCommas<false>(cut.text, base, commas, cut.start, fields, split);
    if (!cutAll) {
      split.tooLong = true;
      return false;
    }
  }
  if (handOver != 0) {
    split.handOver = base + FirstBit(handOver);
    return false;
  }
  if (marks.lineEnds != 0) cut.end = base + FirstBit(marks.lineEnds);
  return true;
}

// Up to the line end, the fields are what lies between the commas, as long
// as none starts with a blank or a quote: an empty one stays a field, and
// so does the empty field after the last comma, but only when that comma
// ended a field with text (the byte path's rule). Stops at the first field
// that starts with a blank or a quote, at one that is too long, and where
// memory runs out (the byte path then drops the fields it has no room for).
PlainSplit SplitPlainFields(std::string_view line, FieldList& record) {
  PlainSplit split;
  InPlaceAppender fields(record);
  PlainCut cut{line.data(), 0, line.size()};
  if (line.size() <= 64) {
    // The usual line, one block: what holds for its start is known here.
    if (!CutBlock(line, 0, cut, fields, split)) return split;
  } else {
    for (size_t base = 0; base < cut.end; base += 64)
      if (!CutBlock(line, base, cut, fields, split)) return split;
  }
  if (cut.end > cut.start || split.commaPending) {
    if (cut.end - cut.start > kMaxFieldLength) {
      split.tooLong = true;
      return split;
    }
    if (!fields.Reserve(1)) {
      split.handOver = cut.start;
      return split;
    }
    fields.Append(cut.text + cut.start, cut.end - cut.start);
  }
  return split;
}

}  // namespace

SplitResult SplitBookingLine(std::string_view line, FieldList& record) {
  FreeFieldList(record);
  PlainSplit split = SplitPlainFields(line, record);
  if (split.tooLong) return SplitResult::kFieldTooLong;
  if (split.handOver != std::string_view::npos)
    return Splitter(line, record, split.handOver, split.commaPending).Run();
  return record.count() > 0 ? SplitResult::kRecord : SplitResult::kNone;
}

}  // namespace tralvo
