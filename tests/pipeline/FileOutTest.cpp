// The writer contract: what the base of every file writer opens and closes,
// whichever of the writer's own steps fails.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

// The step a TStepWriter fails in.
enum class TStep { None, Start, Block, Finish };

// Writes "HEAD" at the end of its file, then its input, one 4096-byte block
// at a time, and marks the file's first bytes "DONE" when it finishes, as a
// writer completes its header; counts the steps the base calls.
class TStepWriter : public TACSFileOut {
 public:
  explicit TStepWriter(TComponent* owner) : TACSFileOut(owner) {}

  TStep FailIn = TStep::None;
  int Starts = 0, Finishes = 0, Releases = 0;
  void SetFileMode(TFileOutputMode mode) override { FFileMode = mode; }

 protected:
  void StartFile(TACSInput&) override {
    ++Starts;
    FStream->Seek(0, SEEK_END);
    FStream->Write("HEAD", 4);
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
    FStream->Seek(0, SEEK_SET);
    FStream->Write("DONE", 4);
    if (FailIn == TStep::Finish) throw EACSException("finish failed");
  }
  void ReleaseFile() noexcept override { ++Releases; }

 private:
  uint8_t buffer_[4096];
};

// A writer fed from memory, writing over an earlier file.
struct TFileRun {
  TTempDir dir;
  const std::vector<uint8_t> earlier = std::vector<uint8_t>(30000, 0x5A);
  ComponentPtr<TMemorySource> source = MakeComponent<TMemorySource>(CountingBytes(20000));
  ComponentPtr<TStepWriter> writer = MakeComponent<TStepWriter>();
  TFileRun() {
    writer->SetInput(source.get());
    writer->SetFileName(dir.File("out.raw"));
    WriteFile(writer->FileName(), earlier);
  }
  std::vector<uint8_t> File() const { return ReadFile(writer->FileName()); }
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
  if (k.inputOpened) {
    EXPECT_EQ(run.File(), run.earlier) << "a failed start touched the earlier file";
  }
  EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty());
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
  bool append;
  TStep failIn;
  bool stop;
  TRunResult result;
};
void PrintTo(const EndingCase& c, std::ostream* out) {
  *out << c.name;
}

class EveryEnding : public ::testing::TestWithParam<EndingCase> {};

TEST_P(EveryEnding, FinishesOnceClosesOnceAndKeepsAFileOnlyWhenTheRunDidNotFail) {
  const EndingCase& k = GetParam();
  TFileRun run;
  run.writer->SetFileMode(k.append ? foAppend : foRewrite);
  run.writer->FailIn = k.failIn;
  // The earlier file stands while the run writes its own; looked at from
  // inside the run, since a short run may be over before Run returns.
  bool earlierStoodDuringTheRun = true;
  run.source->OnRead = [&] {
    if (!k.append && run.File() != run.earlier) earlierStoodDuringTheRun = false;
    if (k.stop) run.writer->Stop();
  };
  const int fds = OpenFdCount();
  run.writer->Run();
  EXPECT_EQ(AwaitRunEnd(*run.writer).Result, k.result);
  EXPECT_TRUE(earlierStoodDuringTheRun);
  EXPECT_EQ(run.writer->Finishes, k.failIn == TStep::Start ? 0 : 1);
  EXPECT_GE(run.writer->Releases, 1);
  EXPECT_EQ(run.source->CloseCount, 1);
  EXPECT_EQ(OpenFdCount(), fds) << "the file was left open";
  EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty());

  const std::vector<uint8_t> file = run.File();
  if (k.result == TRunResult::Failed) {
    EXPECT_EQ(file, run.earlier) << "a failed run changed the earlier file";
    return;
  }
  // The run's bytes after what was kept, the first ones marked.
  std::vector<uint8_t> expected = k.append ? run.earlier : std::vector<uint8_t>();
  expected.insert(expected.end(), {'H', 'E', 'A', 'D'});
  const auto& bytes = run.source->Bytes();
  const size_t copied = file.size() - expected.size();
  expected.insert(expected.end(), bytes.begin(), bytes.begin() + static_cast<long>(copied));
  std::copy_n("DONE", 4, expected.begin());
  EXPECT_EQ(file, expected);
  if (k.result == TRunResult::Done) {
    EXPECT_EQ(copied, bytes.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    , EveryEnding,
    ::testing::Values(EndingCase{"InputEnds", false, TStep::None, false, TRunResult::Done},
                      EndingCase{"Stopped", false, TStep::None, true, TRunResult::Stopped},
                      EndingCase{"BlockFails", false, TStep::Block, false, TRunResult::Failed},
                      EndingCase{"FinishFails", false, TStep::Finish, false, TRunResult::Failed},
                      EndingCase{"AppendInputEnds", true, TStep::None, false, TRunResult::Done},
                      EndingCase{"AppendStartFails", true, TStep::Start, false, TRunResult::Failed},
                      EndingCase{"AppendBlockFails", true, TStep::Block, false, TRunResult::Failed},
                      EndingCase{"AppendFinishFails", true, TStep::Finish, false,
                                 TRunResult::Failed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileOut, TwoRunsOnOneNameEachLeaveAWholeFileAndTheLaterOneWins) {
  TTempDir dir;
  const std::string name = dir.File("same.raw");
  std::vector<ComponentPtr<TMemorySource>> sources;
  std::vector<ComponentPtr<TStepWriter>> writers;
  for (uint8_t seed : {1, 2}) {
    std::vector<uint8_t> bytes(300000, seed);
    sources.push_back(MakeComponent<TMemorySource>(std::move(bytes)));
    sources.back()->Chunk = 1000;
    writers.push_back(MakeComponent<TStepWriter>());
    writers.back()->SetInput(sources.back().get());
    writers.back()->SetFileName(name);
  }
  // The first run ends while the second is still writing.
  std::atomic<bool> firstOver{false};
  sources[1]->OnRead = [&] {
    while (sources[1]->ReadCalls == 100 && !firstOver) std::this_thread::yield();
  };
  writers[0]->Run();
  writers[1]->Run();
  EXPECT_EQ(AwaitRunEnd(*writers[0]).Result, TRunResult::Done);
  firstOver = true;
  EXPECT_EQ(AwaitRunEnd(*writers[1]).Result, TRunResult::Done);
  std::vector<uint8_t> expected(300004, 2);
  std::copy_n("DONE", 4, expected.begin());
  EXPECT_EQ(ReadFile(name), expected);
  EXPECT_TRUE(PartFilesIn(dir.Path()).empty());
}

TEST(FileOut, TheBaseRewritesAnExistingFileWhateverModeItIsGiven) {
  struct TRewriter : TACSFileOut {
    explicit TRewriter(TComponent* owner) : TACSFileOut(owner) {}
    void StartFile(TACSInput&) override {}
    bool WriteBlock() override { return false; }
    void FinishFile() override {}
  };
  auto writer = MakeComponent<TRewriter>();
  writer->SetFileMode(foAppend);
  EXPECT_EQ(writer->FileMode(), foRewrite);
}

}  // namespace
}  // namespace cdx::test
