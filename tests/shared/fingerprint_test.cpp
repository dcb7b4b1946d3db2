// Fingerprints are kept in progress files: the same bytes must give the
// same value in every build, on every platform, however they are fed.
#include "shared/fingerprint.h"

#include <gtest/gtest.h>

#include <string>

namespace tralvo {
namespace {

TEST(Fingerprint, KeepsItsValuesWhateverThePieces) {
  EXPECT_EQ(FingerprintOf(""), 0xEF46DB3751D8E999ULL);
  EXPECT_EQ(FingerprintOf("abc"), 0x44BC2CF5AD770999ULL);
  std::string text;
  for (int i = 0; i < 1000; ++i) text += std::to_string(i) + ",";
  ASSERT_EQ(FingerprintOf(text), 0x0D16464ED17E31EAULL);
  for (size_t piece : {1, 7, 31, 32, 33, 100}) {
    Fingerprint fed;
    for (size_t at = 0; at < text.size(); at += piece)
      fed.Add(std::string_view(text).substr(at, piece));
    EXPECT_EQ(fed.Value(), 0x0D16464ED17E31EAULL) << piece;
    EXPECT_EQ(fed.length(), text.size());
  }
}

}  // namespace
}  // namespace tralvo
