// The progress file: the latest whole step wins, a step cut short falls
// back to the one before, and a file that is not this terminal's is never
// taken for "nothing fed".
#include "pipeline/progress_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace tralvo {
namespace {

TEST(ProgressFile, KeepsTheLatestWholeStep) {
  testsupport::TempDir dir;
  const std::string path = dir / "p.state";
  ProgressFile file;
  Progress loaded;
  ASSERT_EQ(file.Load(path, "T1", loaded), ProgressLoad::kMissing);
  Progress progress = NewProgress();
  ASSERT_TRUE(file.Create(path, "T1", progress));
  for (int64_t fed : {100, 200, 300}) {
    progress.fed = fed;
    progress.fedFingerprint = static_cast<uint64_t>(fed) * 7;
    progress.lengths[static_cast<int>(WorkFile::kCostCentre)] = fed / 10;
    progress.running = fed != 300;
    ASSERT_TRUE(file.Save(progress, false));
  }
  progress.handingOver = true;
  progress.stamp = 1765100672123;
  progress.steps[1] = HandOverStep::kReady;
  ASSERT_TRUE(file.Save(progress, false));

  ProgressFile again;
  ASSERT_EQ(again.Load(path, "T1", loaded), ProgressLoad::kLoaded);
  EXPECT_EQ(loaded.sequence, progress.sequence);
  EXPECT_EQ(loaded.fed, 300);
  EXPECT_EQ(loaded.fedFingerprint, 2100u);
  EXPECT_EQ(loaded.lengths[1], 30);
  EXPECT_FALSE(loaded.running);
  EXPECT_TRUE(loaded.handingOver);
  EXPECT_EQ(loaded.stamp, 1765100672123);
  EXPECT_EQ(loaded.steps[1], HandOverStep::kReady);
  EXPECT_EQ(loaded.steps[0], HandOverStep::kPending);

  // The last step cut short: the one before it stands.
  std::string bytes = testsupport::ReadFileBytes(path);
  const size_t latest = bytes.size() - (loaded.sequence % 2 == 0 ? 1024 : 512);
  bytes[latest + 40] ^= 1;
  testsupport::WriteFileBytes(path, bytes);
  ASSERT_EQ(again.Load(path, "T1", loaded), ProgressLoad::kLoaded);
  EXPECT_EQ(loaded.sequence, progress.sequence - 1);
  EXPECT_FALSE(loaded.handingOver);
  EXPECT_EQ(loaded.fed, 300);
}

TEST(ProgressFile, RefusesAnotherTerminalsFileAndDamage) {
  testsupport::TempDir dir;
  const std::string path = dir / "p.state";
  ProgressFile file;
  ASSERT_TRUE(file.Create(path, "T1", NewProgress()));
  Progress loaded;
  EXPECT_EQ(file.Load(path, "T2", loaded), ProgressLoad::kOtherTerminal);
  EXPECT_EQ(file.Load(path, "T10", loaded), ProgressLoad::kOtherTerminal);
  const std::string whole = testsupport::ReadFileBytes(path);
  for (const std::string& damaged : {std::string(), whole.substr(0, whole.size() - 1),
                                     std::string(whole.size(), '\0'), std::string("garbage\n")}) {
    testsupport::WriteFileBytes(path, damaged);
    EXPECT_EQ(file.Load(path, "T1", loaded), ProgressLoad::kDamaged) << damaged.size();
  }
  // Both slots broken.
  std::string bytes = whole;
  bytes[bytes.size() - 600] ^= 1;
  bytes[bytes.size() - 100] ^= 1;
  testsupport::WriteFileBytes(path, bytes);
  EXPECT_EQ(file.Load(path, "T1", loaded), ProgressLoad::kDamaged);
}

}  // namespace
}  // namespace tralvo
