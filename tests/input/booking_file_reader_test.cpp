// The booking file reader: line ends, the line length limit, buffer
// boundaries, read errors.
#include "input/booking_file_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace tralvo {
namespace {

struct Piece {
  std::string bytes;
  bool endsLine;
  bool operator==(const Piece& other) const {
    return bytes == other.bytes && endsLine == other.endsLine;
  }
};

std::ostream& operator<<(std::ostream& out, const Piece& p) {
  return out << "[" << p.bytes.size() << " bytes" << (p.endsLine ? ", ends line]" : "]");
}

std::vector<Piece> ReadAll(const std::string& content, ReadResult* last = nullptr) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "bookings.txt", content);
  BookingFileReader reader;
  EXPECT_TRUE(reader.Open(dir / "bookings.txt"));
  std::vector<Piece> pieces;
  std::string_view piece;
  bool endsLine = false;
  ReadResult result;
  while ((result = reader.Next(piece, endsLine)) == ReadResult::kPiece)
    pieces.push_back({std::string(piece), endsLine});
  if (last) *last = result;
  return pieces;
}

using P = std::vector<Piece>;

TEST(BookingFileReader, LineEnds) {
  EXPECT_EQ(ReadAll("a\nb\r\nc"), (P{{"a\n", true}, {"b\r\n", true}, {"c", true}}));
  // Carriage returns alone end lines too, so no booking after one is lost.
  EXPECT_EQ(ReadAll("a\rb\rc\r"), (P{{"a\r", true}, {"b\r", true}, {"c\r", true}}));
  EXPECT_EQ(ReadAll("a\r\r\nb\n"), (P{{"a\r", true}, {"\r\n", true}, {"b\n", true}}));
  // The same past the first 16 bytes, where line ends are searched for in blocks.
  std::string x(20, 'x'), y(20, 'y');
  EXPECT_EQ(ReadAll(x + "\r" + y + "\n"), (P{{x + "\r", true}, {y + "\n", true}}));
  EXPECT_EQ(ReadAll("\n\n"), (P{{"\n", true}, {"\n", true}}));
  ReadResult last = ReadResult::kPiece;
  EXPECT_TRUE(ReadAll("", &last).empty());
  EXPECT_EQ(last, ReadResult::kEnd);
}

TEST(BookingFileReader, LinesUpToTheLimitAreWhole) {
  for (size_t length : {kMaxLineLength - 1, kMaxLineLength}) {
    std::string line = std::string(length - 1, 'x') + "\n";
    EXPECT_EQ(ReadAll(line + "z\n"), (P{{line, true}, {"z\n", true}})) << length;
    std::string crlf = std::string(length - 2, 'x') + "\r\n";
    EXPECT_EQ(ReadAll(crlf + "z\n"), (P{{crlf, true}, {"z\n", true}})) << length;
  }
  std::string unterminated(kMaxLineLength, 'x');
  EXPECT_EQ(ReadAll(unterminated), (P{{unterminated, true}}));
}

TEST(BookingFileReader, LongerLinesComeInPiecesThatDoNotEndTheLine) {
  std::string full(kMaxLineLength, 'x');
  EXPECT_EQ(ReadAll(full + "\nz\n"), (P{{full, false}, {"\n", true}, {"z\n", true}}));
  std::string crlf = std::string(kMaxLineLength - 1, 'x') + "\r\n";
  EXPECT_EQ(ReadAll(crlf), (P{{crlf.substr(0, kMaxLineLength), false}, {"\n", true}}));
  EXPECT_EQ(ReadAll(full + "y"), (P{{full, false}, {"y", true}}));

  // Over the chunks read ahead, too.
  std::string huge(600000, 'h');
  std::vector<Piece> pieces = ReadAll(huge + "\nz\n");
  ASSERT_EQ(pieces.size(), 600000 / kMaxLineLength + 2);
  std::string joined;
  for (size_t i = 0; i + 1 < pieces.size(); ++i) {
    EXPECT_EQ(pieces[i].endsLine, i + 2 == pieces.size());
    joined += pieces[i].bytes;
  }
  EXPECT_EQ(joined, huge + "\n");
  EXPECT_EQ(pieces.back(), (Piece{"z\n", true}));
}

TEST(BookingFileReader, EveryLineSurvivesTheBufferBoundaries) {
  // Several chunks, each read ahead while the one before is handed out.
  std::string content;
  std::vector<std::string> lines;
  for (int i = 0; i < 40000; ++i) {
    lines.push_back(std::string(static_cast<size_t>(i % 97), 'a') + std::to_string(i) +
                    (i % 3 ? "\n" : "\r\n"));
    content += lines.back();
  }
  std::vector<Piece> pieces = ReadAll(content);
  ASSERT_EQ(pieces.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(pieces[i], (Piece{lines[i], true}));
}

TEST(BookingFileReader, ReadErrorIsNotTheEndOfTheFile) {
  BookingFileReader reader;
  if (!reader.Open("/proc/self/mem")) GTEST_SKIP() << "no file here that opens but cannot be read";
  std::string_view piece;
  bool endsLine;
  EXPECT_EQ(reader.Next(piece, endsLine), ReadResult::kError);
}

TEST(BookingFileReader, MissingFileAndFolderDoNotOpen) {
  testsupport::TempDir dir;
  BookingFileReader reader;
  EXPECT_FALSE(reader.Open("/nonexistent/bookings.txt"));
  EXPECT_FALSE(reader.Open(dir.path()));
  EXPECT_FALSE(reader.isOpen());
}

}  // namespace
}  // namespace tralvo
