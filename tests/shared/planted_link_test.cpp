// The file layer never follows a link that another account planted in a
// folder it can write, and follows every other link as before.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "shared/file_system.h"
#include "test_support.h"

namespace tralvo {
namespace {

using testsupport::FileExists;
using testsupport::MakeDirs;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// An ordinary account's number; the tests give it folders and links.
constexpr uid_t kOther = 65534;

class PlantedLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "giving files to another account needs root";
    // The attacker's folder, and a file of root's that must stay untouched.
    MakeDirs(theirs);
    ASSERT_EQ(chown(theirs.c_str(), kOther, kOther), 0);
    WriteFileBytes(secret, "root only\n");
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  }

  // A link at path to target, made by owner.
  void Link(const std::string& target, const std::string& path, uid_t owner) {
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(lchown(path.c_str(), owner, owner), 0);
  }

  static FileOpen Target(const std::string& path) {
    FileOpen outcome;
    SystemError error;
    if (std::FILE* stream = OpenTargetStream(path, outcome, error)) std::fclose(stream);
    return outcome;
  }

  TempDir dir;
  std::string theirs = dir / "theirs";
  std::string secret = dir / "secret";
};

TEST_F(PlantedLinks, AreRefusedWhereverThePathLeadsThrough) {
  Link(secret, theirs + "/log.txt", kOther);
  Link(dir / "created-by-root", theirs + "/dangling.txt", kOther);
  Link(dir.path(), theirs + "/folder", kOther);
  NativeFile file;
  EXPECT_EQ(file.OpenForAppend(theirs + "/log.txt"), FileOpen::kPlantedLink);
  EXPECT_EQ(file.OpenForAppend(theirs + "/dangling.txt"), FileOpen::kPlantedLink);
  EXPECT_EQ(file.CreatePrivate(theirs + "/folder/new.txt"), FileOpen::kPlantedLink);
  EXPECT_EQ(Target(theirs + "/log.txt"), FileOpen::kPlantedLink);
  EXPECT_EQ(Target(theirs + "/folder/secret"), FileOpen::kPlantedLink);
  EXPECT_FALSE(ReplaceFile(theirs + "/folder/secret", dir / "moved"));
  EXPECT_EQ(ReadFileBytes(secret), "root only\n");
  EXPECT_FALSE(FileExists(dir / "created-by-root"));
  EXPECT_FALSE(FileExists(dir / "new.txt"));
}

TEST_F(PlantedLinks, RootsOwnLinksAndLinksInRootsFoldersAreFollowed) {
  Link(secret, theirs + "/by-root.txt", 0);
  MakeDirs(dir / "roots");
  ASSERT_EQ(chmod((dir / "roots").c_str(), 0755), 0);
  Link(secret, dir / "roots/by-other.txt", kOther);
  EXPECT_EQ(Target(theirs + "/by-root.txt"), FileOpen::kOpened);
  EXPECT_EQ(ReadFileBytes(secret), "");
  WriteFileBytes(secret, "again\n");
  NativeFile file;
  EXPECT_EQ(file.OpenForAppend(dir / "roots/by-other.txt"), FileOpen::kOpened);
  EXPECT_TRUE(file.WriteAll("more\n"));
  EXPECT_EQ(ReadFileBytes(secret), "again\nmore\n");
}

// A pipe or a socket is never a target, and opening one never waits for a
// reader; a device is written as it is.
TEST(TargetStream, PipesAreRefusedUnblockedDevicesAreKept) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  FileOpen outcome;
  SystemError error;
  EXPECT_EQ(OpenTargetStream(dir / "pipe", outcome, error), nullptr);
  EXPECT_EQ(outcome, FileOpen::kNotRegular);
  std::FILE* null = OpenTargetStream("/dev/null", outcome, error);
  ASSERT_NE(null, nullptr);
  EXPECT_EQ(std::fwrite("x", 1, 1, null), 1u);
  EXPECT_EQ(std::fclose(null), 0);
}

}  // namespace
}  // namespace tralvo
