// The block cipher against the published test vectors, and the stored form
// of configuration values built on it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "config/blowfish.h"
#include "config/secret.h"
#include "config/value_cipher.h"

namespace tralvo {
namespace {

std::string Bytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// The published vectors take each 32-bit half most significant byte first;
// stored values take it least significant first.
std::string ReverseHalves(const std::string& hex) {
  std::string out;
  for (std::size_t half = 0; half < hex.size(); half += 8) {
    for (int i = 3; i >= 0; --i) out += hex.substr(half + 2 * i, 2);
  }
  return out;
}

std::uint32_t Word(const std::string& hex) {
  return static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
}

struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

const Vector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    // Keys of other lengths exercise the cycling through the key bytes.
    {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
    {"F0E1D2C3B4A596", "FEDCBA9876543210", "8BB77032F960629D"},
    {"F0E1D2C3B4A59687", "FEDCBA9876543210", "E87A244E2CC85E82"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
};

TEST(BlowfishTest, PublishedVectorsBothWays) {
  for (const Vector& v : kEcbVectors) {
    SCOPED_TRACE(v.key);
    const std::string key = Bytes(v.key);
    BlowfishSchedule schedule;
    BlowfishSetKey(schedule, reinterpret_cast<const unsigned char*>(key.data()), key.size());
    const std::string plain = v.plain;
    const std::string cipher = v.cipher;
    std::uint32_t left = Word(plain.substr(0, 8));
    std::uint32_t right = Word(plain.substr(8));
    BlowfishEncryptBlock(schedule, left, right);
    EXPECT_EQ(left, Word(cipher.substr(0, 8)));
    EXPECT_EQ(right, Word(cipher.substr(8)));
    BlowfishDecryptBlock(schedule, left, right);
    EXPECT_EQ(left, Word(plain.substr(0, 8)));
    EXPECT_EQ(right, Word(plain.substr(8)));
  }
}

TEST(BlowfishTest, ScheduleIsWipedOnRequestAndKeyRebuildsFromScratch) {
  BlowfishSchedule schedule;
  const unsigned char key[] = {'P', 'L', 'O', 'V', 'M', 'A', 'R'};
  BlowfishSetKey(schedule, key, sizeof key);
  std::uint32_t l1 = 1, r1 = 2;
  BlowfishEncryptBlock(schedule, l1, r1);
  schedule.Wipe();
  for (std::uint32_t w : schedule.p) EXPECT_EQ(w, 0u);
  for (const auto& box : schedule.s) {
    for (std::uint32_t w : box) EXPECT_EQ(w, 0u);
  }
  // A second key setting must not depend on what was there before.
  BlowfishSetKey(schedule, key, sizeof key);
  std::uint32_t l2 = 1, r2 = 2;
  BlowfishEncryptBlock(schedule, l2, r2);
  EXPECT_EQ(l1, l2);
  EXPECT_EQ(r1, r2);
}

TEST(ValueCipherTest, StoredFormUsesLeastSignificantByteFirstHalves) {
  // Vector: key 1111111111111111, 0123456789ABCDEF -> 7D0CC630AFDA1EC7.
  const std::string key = Bytes("1111111111111111");
  const std::string plain = Bytes(ReverseHalves("0123456789ABCDEF"));
  const std::string stored = ReverseHalves("7D0CC630AFDA1EC7");
  EXPECT_EQ(DecryptConfigValue(stored, key), plain);
  EXPECT_EQ(EncryptConfigValue(plain, key), stored);
  // Read most significant byte first, the same digits give other bytes.
  EXPECT_NE(DecryptConfigValue("7D0CC630AFDA1EC7", key), plain);
  EXPECT_NE(DecryptConfigValue("7D0CC630AFDA1EC7", key), Bytes("0123456789ABCDEF"));
}

TEST(ValueCipherTest, PaddingAndBlockBoundaries) {
  EXPECT_EQ(DecryptConfigValue(""), "");
  EXPECT_EQ(EncryptConfigValue(""), "");
  // Five characters are padded to one block; eight fill it exactly; nine
  // take a second block.
  for (const std::string plain : {"abcde", "abcdefgh", "abcdefghi"}) {
    const std::string stored = EncryptConfigValue(plain);
    EXPECT_EQ(stored.size(), 16 * ((plain.size() + 7) / 8)) << plain;
    EXPECT_EQ(DecryptConfigValue(stored), plain);
  }
  const std::string fiveStored = EncryptConfigValue("abcde");
  EXPECT_EQ(fiveStored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(ValueCipherTest, ZeroByteEndsTheValueButLaterBlocksStayHarmless) {
  const std::string plain("ab\0cdefghijklmno", 16);
  const std::string stored = EncryptConfigValue(plain);
  ASSERT_EQ(stored.size(), 32u);
  EXPECT_EQ(DecryptConfigValue(stored), "ab");
  EXPECT_EQ(ConfigValueProblem(plain), ValueProblem::kZeroByte);
}

TEST(ValueCipherTest, IncompleteLastBlockIsDropped) {
  const std::string stored = EncryptConfigValue("password");
  EXPECT_EQ(DecryptConfigValue(stored + "0123456"), "password");
  EXPECT_EQ(DecryptConfigValue(stored.substr(0, 15)), "");
  EXPECT_EQ(DecryptConfigValue("\n"), "");
  EXPECT_EQ(DecryptConfigValue("A"), "");
}

TEST(ValueCipherTest, HexDigitArithmeticKeepsItsQuirks) {
  unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(HexToBytes("0A9fFF", 6, out), 3u);
  EXPECT_EQ(out[0], 0x0A);
  // 'f' is not a digit: ('f' - '0') = 54 leaves 6 in the low nibble, and
  // 16 * 9 + 54 = 198.
  EXPECT_EQ(out[1], 198);
  EXPECT_EQ(out[2], 0xFF);
  EXPECT_EQ(out[3], 0xEE);
  // An odd count rounds down; nothing is read beyond the text.
  EXPECT_EQ(HexToBytes("1234", 3, out), 1u);
  EXPECT_EQ(HexToBytes("1234", 1, out), 0u);
  EXPECT_EQ(HexToBytes("1234", -2, out), 0u);
  EXPECT_EQ(HexToBytes("123", 16, out), 1u);
  EXPECT_EQ(out[0], 0x12);

  const std::string stored = EncryptConfigValue("secret");
  std::string lower = stored;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_NE(lower, stored);
  EXPECT_NE(DecryptConfigValue(lower), "secret");
}

TEST(ValueCipherTest, EqualBlocksEncipherAlikeAndWindows1252BytesPassThrough) {
  const std::string stored = EncryptConfigValue("12345678123456789");
  EXPECT_EQ(stored.substr(0, 16), stored.substr(16, 16));
  const std::string latin =
      "Stra\xDF"
      "e \xE4\xF6\xFC \x80\xFF";
  EXPECT_EQ(DecryptConfigValue(EncryptConfigValue(latin)), latin);
}

TEST(ValueCipherTest, StorableValuesAndStoredForms) {
  EXPECT_EQ(ConfigValueProblem(std::string(96, 'x')), ValueProblem::kNone);
  EXPECT_EQ(ConfigValueProblem(std::string(97, 'x')), ValueProblem::kPlainTooLong);
  EXPECT_EQ(StoredValueProblem(EncryptConfigValue(std::string(96, 'x'))), ValueProblem::kNone);
  EXPECT_EQ(StoredValueProblem(""), ValueProblem::kNone);
  EXPECT_EQ(StoredValueProblem("0123456789abcdef"), ValueProblem::kNotHexDigit);
  EXPECT_EQ(StoredValueProblem("0123456789ABCDE"), ValueProblem::kPartialBlock);
  EXPECT_EQ(StoredValueProblem(std::string(208, '0')), ValueProblem::kStoredTooLong);
}

TEST(SecretTest, WipeSecretClearsTheWholeBuffer) {
  std::string secret(64, 's');
  const char* data = secret.data();
  secret.resize(3);
  WipeSecret(secret);
  EXPECT_TRUE(secret.empty());
  // The buffer is still owned by the string, so reading it is defined.
  for (std::size_t i = 0; i < 64; ++i) EXPECT_EQ(data[i], '\0') << i;
}

}  // namespace
}  // namespace tralvo
