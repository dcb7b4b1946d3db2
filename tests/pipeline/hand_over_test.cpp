// The hand-over finishes whatever step a run died at: each work file
// reaches its place exactly once, also when a collector took it away
// before the run after found it there.
#include "pipeline/hand_over.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "shared/file_system.h"
#include "test_support.h"

namespace tralvo {
namespace {

constexpr int64_t kStamp = 1765100672123;  // 2025-12-07T09:44:32.123Z
const int kCost = static_cast<int>(WorkFile::kCostCentre);
const int kMalformed = static_cast<int>(WorkFile::kMalformed);

// Runs the test inside a folder of its own, as a run works in its working
// directory.
class InFolder {
 public:
  InFolder() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder_.path());
  }
  ~InFolder() { std::filesystem::current_path(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  testsupport::TempDir folder_;
  std::filesystem::path previous_;
};

class HandOver : public ::testing::Test {
 protected:
  HandOver() : files_("T1", "outbox") {
    testsupport::MakeDirs("outbox");
    testsupport::MakeDirs(files_.WorkFolder());
    progress_ = NewProgress();
    EXPECT_TRUE(state_.Create(files_.ProgressPath(), "T1", progress_));
  }

  // Work files holding records (and, for the cost centres, the records
  // of a booking the run could not send, which must stay behind).
  void Work() {
    testsupport::WriteFileBytes(files_.WorkPath(WorkFile::kCostCentre), "0123456789rest");
    testsupport::WriteFileBytes(files_.WorkPath(WorkFile::kMalformed), "bad line\r\n");
    progress_.lengths[kCost] = 10;
    progress_.lengths[kMalformed] = 10;
  }

  bool Finish() {
    std::string failure;
    const bool done = FinishHandOver(files_, state_, progress_, failure);
    EXPECT_TRUE(done) << failure;
    return done;
  }

  InFolder cwd_;
  RunFiles files_;
  ProgressFile state_;
  Progress progress_;
};

TEST_F(HandOver, MovesEachWorkFileWholeUnderTheRunsStamp) {
  Work();
  ASSERT_TRUE(BeginHandOver(state_, progress_, kStamp));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(testsupport::ReadFileBytes("outbox/T1-20251207T094432.123Z-costcentre.txt"),
            "0123456789");
  EXPECT_EQ(testsupport::ReadFileBytes("rejected/T1-20251207T094432.123Z-malformed.txt"),
            "bad line\r\n");
  EXPECT_FALSE(testsupport::FileExists(files_.WorkPath(WorkFile::kCostCentre)));
  EXPECT_FALSE(testsupport::FileExists(files_.WorkPath(WorkFile::kTime)));
  EXPECT_FALSE(progress_.handingOver);
  EXPECT_FALSE(progress_.HoldsRecords());
  // The next hand-over has a later stamp even when the clock went back.
  Work();
  ASSERT_TRUE(BeginHandOver(state_, progress_, kStamp - 5000));
  EXPECT_EQ(progress_.stamp, kStamp + 1);
}

TEST_F(HandOver, FinishesWhatADeadRunLeftOnceEach) {
  Work();
  ASSERT_TRUE(BeginHandOver(state_, progress_, kStamp));
  const std::string costTemporary = files_.TemporaryPath(WorkFile::kCostCentre, kStamp);
  const std::string costHanded = files_.HandedPath(WorkFile::kCostCentre, kStamp);
  const std::string malformedTemporary = files_.TemporaryPath(WorkFile::kMalformed, kStamp);
  // The cost centres were renamed into place and a collector took them,
  // but the run died before it recorded that: not handed over again.
  progress_.steps[kCost] = HandOverStep::kReady;
  testsupport::WriteFileBytes(files_.WorkPath(WorkFile::kCostCentre), "0123456789");
  // The malformed lines died half copied: copied again, whole.
  testsupport::MakeDirs("rejected");
  testsupport::WriteFileBytes(malformedTemporary, "bad");
  ASSERT_TRUE(Finish());
  EXPECT_FALSE(testsupport::FileExists(costHanded));
  EXPECT_FALSE(testsupport::FileExists(costTemporary));
  EXPECT_EQ(testsupport::ReadFileBytes(files_.HandedPath(WorkFile::kMalformed, kStamp)),
            "bad line\r\n");

  // Moved under its temporary name just before the run died: renamed.
  Work();
  ASSERT_TRUE(BeginHandOver(state_, progress_, kStamp + 10));
  progress_.lengths[kMalformed] = 0;
  ASSERT_TRUE(ReplaceFile(files_.WorkPath(WorkFile::kCostCentre),
                          files_.TemporaryPath(WorkFile::kCostCentre, progress_.stamp)));
  testsupport::WriteFileBytes(files_.TemporaryPath(WorkFile::kCostCentre, progress_.stamp),
                              "0123456789");
  ASSERT_TRUE(Finish());
  EXPECT_EQ(testsupport::ReadFileBytes(files_.HandedPath(WorkFile::kCostCentre, kStamp + 10)),
            "0123456789");

  // A work file lost with its records is said, never passed over.
  Work();
  ASSERT_TRUE(BeginHandOver(state_, progress_, kStamp + 20));
  ASSERT_TRUE(RemoveFile(files_.WorkPath(WorkFile::kMalformed)));
  std::string failure;
  EXPECT_FALSE(FinishHandOver(files_, state_, progress_, failure));
  EXPECT_NE(failure.find("malformed.txt: missing"), std::string::npos) << failure;
  EXPECT_TRUE(progress_.handingOver);
}

}  // namespace
}  // namespace tralvo
