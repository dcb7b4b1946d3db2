// Which bytes a run feeds: after what was fed while the file begins with
// it, else the whole file; never a line without its end.
#include "pipeline/part.h"

#include <gtest/gtest.h>

#include <string>

#include "input/booking_file_reader.h"
#include "pipeline/progress_file.h"
#include "test_support.h"

namespace tralvo {
namespace {

struct Found {
  int64_t from;
  int64_t to;
  bool newDelivery;
};

// The part of a file holding now, after fed was fed; and the lines the
// restricted reader then hands out, joined.
Found PartOf(const std::string& fed, const std::string& now, std::string* lines = nullptr) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "b.txt", now);
  Progress progress = NewProgress();
  progress.fed = static_cast<int64_t>(fed.size());
  progress.fedFingerprint = FingerprintOf(fed);
  BookingFileReader reader;
  EXPECT_TRUE(reader.Open(dir / "b.txt"));
  Part part;
  EXPECT_TRUE(FindPart(reader, progress, part));
  // The fingerprint goes on from the bytes before the part.
  EXPECT_EQ(part.fed.Value(), FingerprintOf(now.substr(0, static_cast<size_t>(part.from))));
  if (lines) {
    EXPECT_TRUE(reader.Restrict(part.from, part.to));
    std::string_view piece;
    bool endsLine;
    while (reader.Next(piece, endsLine) == ReadResult::kPiece) lines->append(piece);
  }
  return {part.from, part.to, part.newDelivery};
}

TEST(Part, FollowsWhatWasFedWhileTheFileBeginsWithIt) {
  const std::string a = "a,1\r\n", b = "b,2\r\n", c = "c,3\n";
  std::string lines;
  // Appended to: the new lines only, as the reader hands them out.
  Found found = PartOf(a, a + b + c, &lines);
  EXPECT_EQ(found.from, 5);
  EXPECT_EQ(found.to, 14);
  EXPECT_FALSE(found.newDelivery);
  EXPECT_EQ(lines, b + c);
  // Nothing new, from the first run on.
  found = PartOf(a + b, a + b);
  EXPECT_EQ(found.to, found.from);
  EXPECT_EQ(PartOf("", "").to, 0);
  // A last line without its end waits, a carriage return at the very end
  // too (its line feed may follow); one that a line goes on after ends its
  // line.
  EXPECT_EQ(PartOf(a, a + b + "c,3").to, 10);
  EXPECT_EQ(PartOf(a, a + "b,2\r").to, 5);
  EXPECT_EQ(PartOf(a, a + "b,2\rc").to, 9);
  EXPECT_EQ(PartOf("", "no end at all").to, 0);
}

TEST(Part, AFileThatDoesNotBeginWithWhatWasFedIsANewDelivery) {
  const std::string a = "a,1\r\n", b = "b,2\r\n";
  // Rewritten, shorter, or one byte changed within what was fed.
  for (const std::string& now : {b + a, std::string("a,1"), "a,X\r\n" + b}) {
    std::string lines;
    const Found found = PartOf(a, now, &lines);
    EXPECT_TRUE(found.newDelivery) << now;
    EXPECT_EQ(found.from, 0);
  }
  // A long history: the check reads it in several chunks.
  std::string history;
  while (history.size() < 3u << 20) history += "4711,-,20090715,073005,-,T1,3,001\r\n";
  EXPECT_FALSE(PartOf(history, history + a).newDelivery);
  std::string changed = history;
  changed[changed.size() - 10] = 'X';
  EXPECT_TRUE(PartOf(history, changed + a).newDelivery);
}

}  // namespace
}  // namespace tralvo
