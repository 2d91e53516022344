// Run, Stop, finish order, failures and progress of an output.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "pipeline/MainThreadQueue.h"
#include "tests/pipeline/RecordingWriter.h"
#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

using namespace std::chrono_literals;

// Members that handlers touch come first, so the writer (and its worker)
// goes before them.
struct Chain {
  std::mutex mutex;
  std::vector<std::string> errorList;
  std::vector<std::thread::id> threadList;
  std::atomic<int> done{0};
  ComponentPtr<TMemorySource> source;
  ComponentPtr<TRecordingWriter> writer;

  explicit Chain(size_t bytes = 100000, int chunk = 1000)
      : source(MakeComponent<TMemorySource>(CountingBytes(bytes))),
        writer(MakeComponent<TRecordingWriter>()) {
    source->Chunk = chunk;
    writer->SetInput(source.get());
    writer->OnThreadException = [this](TComponent*, const std::exception& e) {
      std::lock_guard lock(mutex);
      errorList.push_back(e.what());
      threadList.push_back(std::this_thread::get_id());
    };
  }
  std::vector<std::string> errors() {
    std::lock_guard lock(mutex);
    return errorList;
  }
  std::vector<std::thread::id> errorThreads() {
    std::lock_guard lock(mutex);
    return threadList;
  }
};

TEST(RunControl, NormalRunDeliversEverythingInOrder) {
  Chain c;
  std::vector<int> progress;
  std::vector<std::string> order;
  c.writer->OnProgress = [&](TComponent* sender) {
    EXPECT_TRUE(TMainThreadQueue::Instance().IsMainThread());
    progress.push_back(static_cast<TACSOutput*>(sender)->Progress());
    order.push_back("progress");
  };
  c.writer->OnDone = [&](TComponent* sender) {
    EXPECT_EQ(sender, c.writer.get());
    EXPECT_TRUE(TMainThreadQueue::Instance().IsMainThread());
    EXPECT_FALSE(c.writer->Busy());
    EXPECT_EQ(c.writer->EndCalls, 1);
    order.push_back("done");
    ++c.done;
  };
  c.writer->OnRunEnd = [&](TComponent*, const TRunEnd&) { order.push_back("end"); };
  c.writer->Run();
  TRunEnd end = WaitForRunEnd(*c.writer, [] { TMainThreadQueue::Instance().WaitAndServe(2ms); });
  EXPECT_EQ(end.Result, TRunResult::Done);
  ASSERT_TRUE(ServeUntil([&] { return c.writer->WorkerSuspended(); }));

  EXPECT_EQ(c.writer->Data(), c.source->Bytes());
  EXPECT_TRUE(c.errors().empty());
  EXPECT_EQ(c.writer->Status(), 2);
  EXPECT_TRUE(c.writer->EndOnWorker);
  EXPECT_EQ(c.source->CloseCount, 1);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  ASSERT_GE(order.size(), 2u);
  EXPECT_EQ(order[order.size() - 2], "done");
  EXPECT_EQ(order.back(), "end");
  EXPECT_EQ(std::count(order.begin(), order.end(), "done"), 1);
}

TEST(RunControl, RunRefusesBusyOutputAndMissingInput) {
  Chain c;
  std::atomic<bool> release{false};
  c.source->OnRead = [&] {
    while (!release) std::this_thread::sleep_for(1ms);
  };
  c.writer->Run();
  try {
    c.writer->Run();
    FAIL() << "second Run accepted";
  } catch (const EACSException& e) {
    EXPECT_STREQ(e.what(), "Component is Busy");
  }
  release = true;
  AwaitRunEnd(*c.writer);
  EXPECT_EQ(c.writer->Data(), c.source->Bytes()) << "the first run was disturbed";
  EXPECT_EQ(c.source->OpenCount, 1);

  auto lonely = MakeComponent<TRecordingWriter>();
  try {
    lonely->Run();
    FAIL() << "Run without input accepted";
  } catch (const EACSException& e) {
    EXPECT_STREQ(e.what(), "Input is not assigned");
  }
  EXPECT_EQ(lonely->Status(), 2);
}

TEST(RunControl, FailureToOpenIsReportedOnTheCallersThreadAndWorkerStaysUsable) {
  Chain c;
  c.source->FailOnOpen = true;
  EXPECT_NO_THROW(c.writer->Run());
  ASSERT_EQ(c.errors().size(), 1u);
  EXPECT_EQ(c.errors()[0], "open failed");
  EXPECT_EQ(c.errorThreads()[0], std::this_thread::get_id());
  EXPECT_EQ(c.writer->Status(), 2);
  EXPECT_EQ(c.writer->EndCalls, 0);

  c.writer->FailInBegin = true;
  c.source->FailOnOpen = false;
  EXPECT_NO_THROW(c.writer->Run());
  ASSERT_EQ(c.errors().size(), 2u);
  EXPECT_EQ(c.errors()[1], "begin failed");

  c.writer->FailInBegin = false;
  ASSERT_TRUE(RunToEnd(*c.writer));
  EXPECT_EQ(c.writer->Data(), c.source->Bytes());
  EXPECT_EQ(c.errors().size(), 2u);
}

TEST(RunControl, FailureInABlockTearsTheRunDownOnTheWorker) {
  Chain c;
  c.source->FailAtByte = 50000;
  c.writer->OnDone = [&](TComponent*) { ++c.done; };
  c.writer->Run();
  TRunEnd end = AwaitRunEnd(*c.writer);
  EXPECT_EQ(end.Result, TRunResult::Failed);
  EXPECT_EQ(end.Message, "read failed");
  ASSERT_EQ(c.errors().size(), 1u);
  EXPECT_EQ(c.errorThreads()[0], c.writer->WorkerId());
  EXPECT_EQ(c.writer->EndCalls, 1) << "the failure path must close the output";
  EXPECT_EQ(c.source->CloseCount, 1);
  EXPECT_EQ(c.done, 0) << "a failed run must not report done";
  EXPECT_FALSE(c.writer->OutputEnabled());

  c.source->FailAtByte = -1;
  ASSERT_TRUE(RunToEnd(*c.writer));
  EXPECT_EQ(c.writer->Data(), c.source->Bytes());
  EXPECT_EQ(c.done, 1);
}

TEST(RunControl, StopEndsTheRunAfterTheCurrentBlockAndCompletesIt) {
  Chain c(1000000, 4096);
  c.writer->OnBlock = [&](int block) {
    if (block == 10) c.writer->Stop();
  };
  c.writer->OnDone = [&](TComponent*) { ++c.done; };
  c.writer->Run();
  EXPECT_EQ(AwaitRunEnd(*c.writer).Result, TRunResult::Stopped);
  EXPECT_EQ(c.done, 1);
  auto data = c.writer->Data();
  EXPECT_EQ(data.size(), 11u * 4096) << "the block in progress is completed, then the run ends";
  EXPECT_TRUE(std::equal(data.begin(), data.end(), c.source->Bytes().begin()));
  EXPECT_EQ(c.writer->EndCalls, 1);
  EXPECT_TRUE(c.errors().empty());
}

// Progress is posted to the main thread: a main thread busy for two seconds
// holds back neither the reads nor the writes of a run.
TEST(RunControl, AMainThreadThatServesNothingHoldsNoRunBack) {
  Chain c(400000, 4000);
  c.source->OnRead = [] { std::this_thread::sleep_for(1ms); };
  int reports = 0;
  c.writer->OnProgress = [&](TComponent*) { ++reports; };
  c.writer->Run();
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(c.source->Position(), 400000) << "the run waited for the main thread";
  EXPECT_EQ(reports, 0) << "nothing ran on the main thread meanwhile";
  EXPECT_EQ(AwaitRunEnd(*c.writer).Result, TRunResult::Done);
  EXPECT_EQ(c.writer->Data(), c.source->Bytes());
  EXPECT_GT(reports, 0) << "the reports come once the main thread serves";
}

TEST(RunControl, StopWhileIdleIsClearedByTheNextRun) {
  Chain c;
  c.writer->Stop();
  ASSERT_TRUE(RunToEnd(*c.writer));
  EXPECT_EQ(c.writer->Data(), c.source->Bytes());
}

TEST(RunControl, HandlerFailuresTakeTheFailurePath) {
  Chain c;
  // The report is posted, so the worker waits here, past half way, for the
  // handler to have failed: the run is still going when it does.
  std::atomic<bool> failed{false}, waited{false};
  c.source->OnRead = [&] {
    if (c.source->Position() <= 60000 || waited.exchange(true)) return;
    for (int i = 0; i < 5000 && !failed; ++i) std::this_thread::sleep_for(1ms);
    // The failure is kept for the worker a moment after the handler threw.
    std::this_thread::sleep_for(50ms);
  };
  c.writer->OnProgress = [&](TComponent*) {
    if (c.writer->Progress() < 50) return;
    failed = true;
    throw EACSException("progress handler failed");
  };
  c.writer->Run();
  EXPECT_EQ(AwaitRunEnd(*c.writer).Message, "progress handler failed");
  ASSERT_EQ(c.errors().size(), 1u);
  EXPECT_EQ(c.errors()[0], "progress handler failed");
  EXPECT_EQ(c.writer->EndCalls, 1);
  EXPECT_LT(c.writer->Data().size(), c.source->Bytes().size());

  Chain d;
  d.writer->OnDone = [&](TComponent*) { throw EACSException("done handler failed"); };
  d.writer->Run();
  EXPECT_EQ(AwaitRunEnd(*d.writer).Message, "done handler failed");
  ASSERT_EQ(d.errors().size(), 1u);
  EXPECT_EQ(d.errors()[0], "done handler failed");
  EXPECT_EQ(d.writer->Data(), d.source->Bytes()) << "the run was complete before OnDone";
  EXPECT_EQ(d.writer->EndCalls, 1) << "EndOutput must not run twice";
  d.writer->OnDone = nullptr;
  ASSERT_TRUE(RunToEnd(*d.writer)) << "the worker serves the next run";
}

TEST(RunControl, ThrowingExceptionHandlerOnTheWorkerDoesNotKillTheWorker) {
  Chain c;
  c.source->FailAtByte = 10;
  c.writer->OnThreadException = [](TComponent*, const std::exception&) {
    throw std::runtime_error("handler broke");
  };
  c.writer->Run();
  AwaitRunEnd(*c.writer);
  c.source->FailAtByte = -1;
  c.writer->OnThreadException = nullptr;
  ASSERT_TRUE(RunToEnd(*c.writer));
  EXPECT_EQ(c.writer->Data(), c.source->Bytes());
}

TEST(RunControl, SuspendWhenIdleFalseKeepsTheWorkerIterating) {
  Chain c;
  c.writer->SetSuspendWhenIdle(false);
  EXPECT_FALSE(c.writer->SuspendWhenIdle());
  ASSERT_TRUE(RunToEnd(*c.writer));
  int calls = c.writer->WriteCalls;
  ASSERT_TRUE(ServeUntil([&] { return c.writer->WriteCalls > calls + 3; }));
  EXPECT_EQ(c.writer->Status(), 2);
  EXPECT_FALSE(c.writer->WorkerSuspended());
  c.writer->Stop();  // while idle: must not end anything
  calls = c.writer->WriteCalls;
  ASSERT_TRUE(ServeUntil([&] { return c.writer->WriteCalls > calls + 3; }));
  EXPECT_EQ(c.writer->EndCalls, 1);
  ASSERT_TRUE(RunToEnd(*c.writer));
  EXPECT_EQ(c.writer->Data(), c.source->Bytes());
  EXPECT_EQ(c.writer->EndCalls, 2);

  c.writer->SetSuspendWhenIdle(true);
  ASSERT_TRUE(RunToEnd(*c.writer));
  ASSERT_TRUE(ServeUntil([&] { return c.writer->WorkerSuspended(); }));
}

TEST(RunControl, AStopLeftFromIdleTimeDoesNotEndTheNextRun) {
  // A worker iterating idle may already hold the stale Stop as its abort
  // flag when Run starts the next run: that run must still go to the end.
  Chain c;
  std::atomic<int> stage{0};  // 1: worker holds the stale flag, 2: Run returned
  c.writer->OnWrite = [&](bool abort) {
    if (!abort || stage != 0) return;
    stage = 1;
    while (stage != 2) std::this_thread::yield();
  };
  c.writer->SetSuspendWhenIdle(false);
  ASSERT_TRUE(RunToEnd(*c.writer));
  c.writer->Stop();  // while idle
  ASSERT_TRUE(ServeUntil([&] { return stage == 1; }));
  c.writer->Run();
  stage = 2;
  EXPECT_EQ(AwaitRunEnd(*c.writer).Result, TRunResult::Done);
  EXPECT_EQ(c.writer->EndCalls, 2);
  EXPECT_EQ(c.writer->Data(), c.source->Bytes()) << "the new run was cut short";
}

TEST(RunControl, ManyShortRunsInARowNeverLoseAWakeUp) {
  Chain c(3000, 1000);
  for (int i = 0; i < 300; ++i) {
    c.writer->Run();
    ASSERT_EQ(AwaitRunEnd(*c.writer, 10s).Result, TRunResult::Done) << "run " << i;
  }
  EXPECT_EQ(c.source->OpenCount, 300);
  EXPECT_EQ(c.writer->EndCalls, 300);
}

TEST(RunControl, StatusReadsRunningAsSoonAsRunReturns) {
  // A job that polls Status right after Run must see the run (0), never
  // the suspended state, or it starts the next track on a busy writer.
  Chain c(3000, 1000);
  std::atomic<bool> release{false};
  c.source->OnRead = [&] {
    while (!release) std::this_thread::sleep_for(100us);
  };
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(ServeUntil([&] { return c.writer->WorkerSuspended(); })) << "run " << i;
    release = false;
    c.writer->Run();
    EXPECT_EQ(c.writer->Status(), 0) << "run " << i;
    release = true;
    AwaitRunEnd(*c.writer);
  }
  EXPECT_EQ(c.writer->EndCalls, 50);
}

// A source whose position and size are set by the test.
class TFixedSource : public TACSInput {
 public:
  explicit TFixedSource(TComponent* owner) : TACSInput(owner) {}
  int GetBitsPerSample() override { return 16; }
  int GetChannels() override { return 2; }
  int GetSampleRate() override { return 44100; }
  int ReadData(void*, int) override { return 0; }
  void OpenStream() override {}
  void CloseStream() override {}
  void Set(int32_t position, int32_t size) {
    FPosition = position;
    FSize = size;
  }
};

TEST(Progress, RoundsHalvesToEvenAndReportsUnknownLength) {
  auto writer = MakeComponent<TRecordingWriter>();
  EXPECT_EQ(writer->Progress(), 0) << "no input";
  auto source = MakeComponent<TFixedSource>();
  writer->SetInput(source.get());
  struct Case {
    int32_t position, size;
    int expected;
  } cases[] = {{1, 8, 12},  {3, 8, 38}, {5, 8, 62},  {7, 8, 88},  {1, 200, 0},
               {3, 200, 2}, {0, 0, 0},  {5, -1, -1}, {8, 8, 100}, {1, 3, 33}};
  for (const auto& k : cases) {
    source->Set(k.position, k.size);
    EXPECT_EQ(writer->Progress(), k.expected) << k.position << "/" << k.size;
  }
}

}  // namespace
}  // namespace cdx::test
