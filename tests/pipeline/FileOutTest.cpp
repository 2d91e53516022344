// The writer contract: what the base of every file writer opens and closes,
// whichever of the writer's own steps fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

// The step a TStepWriter fails in.
enum class TStep { None, Start, Block, Finish };

// Copies its input to its file, one 4096-byte block at a time, and counts
// the steps the base calls.
class TStepWriter : public TACSFileOut {
 public:
  explicit TStepWriter(TComponent* owner) : TACSFileOut(owner) {}

  TStep FailIn = TStep::None;
  int Starts = 0, Finishes = 0, Releases = 0;

 protected:
  void StartFile(TACSInput&) override {
    ++Starts;
    if (FailIn == TStep::Start) throw EACSException("start failed");
  }
  bool WriteBlock() override {
    int n = ReadInput(buffer_, sizeof buffer_);
    FStream->Write(buffer_, n);
    if (FailIn == TStep::Block) throw EACSException("block failed");
    return n > 0;
  }
  void FinishFile() override {
    ++Finishes;
    if (FailIn == TStep::Finish) throw EACSException("finish failed");
  }
  void ReleaseFile() noexcept override { ++Releases; }

 private:
  uint8_t buffer_[4096];
};

struct TFileRun {
  TTempDir dir;
  ComponentPtr<TMemorySource> source = MakeComponent<TMemorySource>(CountingBytes(20000));
  ComponentPtr<TStepWriter> writer = MakeComponent<TStepWriter>();
  TFileRun() {
    writer->SetInput(source.get());
    writer->SetFileName(dir.File("out.raw"));
  }
};

struct StartCase {
  const char* name;
  std::function<void(TFileRun&)> breakIt;
  std::string message;  // start of the failure's message
  bool inputOpened;
};
void PrintTo(const StartCase& c, std::ostream* out) {
  *out << c.name;
}

class FailedStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(FailedStart, LeavesNothingOpen) {
  const StartCase& k = GetParam();
  TFileRun run;
  k.breakIt(run);
  const int fds = OpenFdCount();
  run.writer->Run();
  TRunEnd end = AwaitRunEnd(*run.writer);
  EXPECT_EQ(end.Result, TRunResult::Failed);
  EXPECT_EQ(end.Message.substr(0, k.message.size()), k.message) << end.Message;
  EXPECT_EQ(OpenFdCount(), fds) << "a file was left open";
  EXPECT_EQ(run.source->OpenCount, k.inputOpened ? 1 : 0);
  EXPECT_EQ(run.source->CloseCount, run.source->OpenCount) << "the input was left open";
  EXPECT_EQ(run.writer->Finishes, 0) << "a writer that did not start was finished";
  EXPECT_EQ(run.writer->Status(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    , FailedStart,
    ::testing::Values(
        StartCase{"NoFileName", [](TFileRun& r) { r.writer->SetFileName(""); },
                  "File name is not assigned.", false},
        StartCase{"FileCannotBeCreated",
                  [](TFileRun& r) { r.writer->SetFileName(r.dir.File("missing/out.raw")); },
                  "Cannot create file", false},
        StartCase{"InputCannotOpen", [](TFileRun& r) { r.source->FailOnOpen = true; },
                  "open failed", false},
        StartCase{"WriterCannotStart", [](TFileRun& r) { r.writer->FailIn = TStep::Start; },
                  "start failed", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct EndingCase {
  const char* name;
  TStep failIn;
  bool stop;
  TRunResult result;
};
void PrintTo(const EndingCase& c, std::ostream* out) {
  *out << c.name;
}

class EveryEnding : public ::testing::TestWithParam<EndingCase> {};

TEST_P(EveryEnding, FinishesTheWriterOnceAndClosesFileAndInputOnce) {
  const EndingCase& k = GetParam();
  TFileRun run;
  run.writer->FailIn = k.failIn;
  if (k.stop) run.source->OnRead = [&] { run.writer->Stop(); };
  const int fds = OpenFdCount();
  run.writer->Run();
  EXPECT_EQ(AwaitRunEnd(*run.writer).Result, k.result);
  EXPECT_EQ(run.writer->Finishes, 1);
  EXPECT_GE(run.writer->Releases, 1);
  EXPECT_EQ(run.source->CloseCount, 1);
  EXPECT_EQ(OpenFdCount(), fds) << "the file was left open";
  // What was written stays, whatever ended the run.
  auto data = ReadFile(run.dir.File("out.raw"));
  auto& bytes = run.source->Bytes();
  ASSERT_LE(data.size(), bytes.size());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin()));
  if (k.result == TRunResult::Done) {
    EXPECT_EQ(data, bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    , EveryEnding,
    ::testing::Values(EndingCase{"InputEnds", TStep::None, false, TRunResult::Done},
                      EndingCase{"Stopped", TStep::None, true, TRunResult::Stopped},
                      EndingCase{"BlockFails", TStep::Block, false, TRunResult::Failed},
                      EndingCase{"FinishFails", TStep::Finish, false, TRunResult::Failed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileOut, TheBaseRewritesAnExistingFileWhateverModeItIsGiven) {
  TFileRun run;
  WriteFile(run.writer->FileName(), std::vector<uint8_t>(50000, 0xEE));
  run.writer->SetFileMode(foAppend);
  EXPECT_EQ(run.writer->FileMode(), foRewrite);
  ASSERT_TRUE(RunToEnd(*run.writer));
  EXPECT_EQ(ReadFile(run.writer->FileName()), run.source->Bytes());
}

}  // namespace
}  // namespace cdx::test
