// The one end of every run, and the faults around it: a finish that raises,
// a handler that frees its own output, a swap waiting behind a slow read.
#include <gtest/gtest.h>

#include <time.h>

#include <atomic>
#include <thread>

#include "pipeline/MainThreadQueue.h"
#include "tests/pipeline/RecordingWriter.h"
#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

using namespace std::chrono_literals;

// How a run is made to end.
enum class TEnding { InputEnds, Stop, ReadFails, BeginFails, EndFails, DoneHandlerFails };

struct EndCase {
  const char* name;
  TEnding ending;
  TRunResult result;
  const char* message;
};
void PrintTo(const EndCase& c, std::ostream* out) {
  *out << c.name;
}

class EveryRunEndsOnce : public ::testing::TestWithParam<EndCase> {};

TEST_P(EveryRunEndsOnce, AfterTheOutputIsIdleAndItsChainClosed) {
  const EndCase& k = GetParam();
  auto source = MakeComponent<TMemorySource>(CountingBytes(200000));
  source->Chunk = 1000;
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(source.get());
  std::vector<std::string> order;
  std::vector<TRunEnd> ends;
  writer->OnThreadException = [&](TComponent*, const std::exception&) {
    if (TMainThreadQueue::Instance().IsMainThread()) order.push_back("failure");
  };
  writer->OnDone = [&](TComponent*) {
    order.push_back("done");
    if (k.ending == TEnding::DoneHandlerFails) throw EACSException("done handler failed");
  };
  writer->OnRunEnd = [&](TComponent*, const TRunEnd& end) {
    EXPECT_EQ(writer->Status(), 2) << "the end came while the output was busy";
    EXPECT_FALSE(source->Busy()) << "the end came before the chain was closed";
    order.push_back("end");
    ends.push_back(end);
  };
  writer->FailInBegin = k.ending == TEnding::BeginFails;
  writer->FailInEnd = k.ending == TEnding::EndFails;
  if (k.ending == TEnding::ReadFails) source->FailAtByte = 50000;
  if (k.ending == TEnding::Stop)
    writer->OnBlock = [&](int block) {
      if (block == 3) writer->Stop();
    };

  writer->Run();
  TRunEnd end = AwaitRunEnd(*writer);
  // Nothing more arrives for this run, however long the queue is served.
  ASSERT_TRUE(ServeUntil([&] { return writer->WorkerSuspended(); }));
  TMainThreadQueue::Instance().Serve();

  EXPECT_EQ(end.Result, k.result);
  EXPECT_EQ(end.Message, k.message);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].Message, k.message);
  EXPECT_EQ(order.back(), "end");
  EXPECT_EQ(writer->EndCalls, k.ending == TEnding::BeginFails ? 0 : 1)
      << "a writer is finished once per run, also when its finish raises";
  EXPECT_EQ(source->CloseCount, source->OpenCount);

  writer->FailInBegin = writer->FailInEnd = false;
  source->FailAtByte = -1;
  writer->OnBlock = nullptr;
  writer->OnDone = nullptr;
  writer->OnRunEnd = nullptr;
  EXPECT_TRUE(RunToEnd(*writer)) << "the worker serves the next run";
  EXPECT_EQ(writer->Data(), source->Bytes());
}

INSTANTIATE_TEST_SUITE_P(
    , EveryRunEndsOnce,
    ::testing::Values(EndCase{"InputEnds", TEnding::InputEnds, TRunResult::Done, ""},
                      EndCase{"Stop", TEnding::Stop, TRunResult::Stopped, ""},
                      EndCase{"ReadFails", TEnding::ReadFails, TRunResult::Failed, "read failed"},
                      EndCase{"BeginFails", TEnding::BeginFails, TRunResult::Failed,
                              "begin failed"},
                      EndCase{"EndFails", TEnding::EndFails, TRunResult::Failed, "end failed"},
                      EndCase{"DoneHandlerFails", TEnding::DoneHandlerFails, TRunResult::Failed,
                              "done handler failed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunEnd, ANewRunWaitsUntilTheLastOnesEndHasBeenDelivered) {
  // A caller that starts the next run as soon as the writer reads idle
  // would take the old run's end for the new one's: it is refused instead.
  auto source = MakeComponent<TMemorySource>(CountingBytes(5000));
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(source.get());
  writer->Run();
  // The queue is not served, so the end stays on its way.
  while (writer->Status() != 2) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(writer->RunEndPending());
  EXPECT_THROW(writer->Run(), EACSException);
  EXPECT_EQ(AwaitRunEnd(*writer).Result, TRunResult::Done);
  EXPECT_TRUE(RunToEnd(*writer));
  EXPECT_EQ(source->OpenCount, 2);
}

TEST(RunEnd, WaitingWithoutARunReturnsAtOnce) {
  auto writer = MakeComponent<TRecordingWriter>();
  bool served = false;
  TRunEnd end = WaitForRunEnd(*writer, [&] { served = true; });
  EXPECT_EQ(end.Result, TRunResult::Failed);
  EXPECT_FALSE(served);
}

// Something a handler owns; it marks itself when destroyed.
struct TCanary {
  std::string state = "alive, and long enough to live on the heap";
  TCanary() = default;
  TCanary(const TCanary&) = default;
  ~TCanary() { state = "destroyed"; }
};

TEST(RunEnd, AnOnDoneHandlerMayFreeItsOwnOutput) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(10000));
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(source.get());
  std::string seen;
  bool freed = false;
  writer->OnDone = [&writer, &seen, &freed, canary = TCanary()](TComponent*) {
    writer.reset();  // joins the worker that handed this call over
    seen = canary.state;
    freed = true;
  };
  writer->Run();
  ASSERT_TRUE(ServeUntil([&] { return freed; }));
  EXPECT_EQ(seen, TCanary().state) << "the handler's own state was destroyed while it ran";
  EXPECT_FALSE(source->Busy());
  EXPECT_EQ(source->CloseCount, 1);
}

// CPU time of the calling thread.
std::chrono::nanoseconds ThreadCpuTime() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

TEST(InputLock, ASwapWaitingBehindASlowReadSleeps) {
  // A CD read with retries can take seconds; the main thread that swaps the
  // input meanwhile must not burn a core waiting for it.
  auto slow = MakeComponent<TMemorySource>(CountingBytes(100000));
  auto next = MakeComponent<TMemorySource>(CountingBytes(100000));
  slow->Chunk = 1000;
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(slow.get());
  std::atomic<bool> inRead{false};
  slow->OnRead = [&] {
    if (slow->ReadCalls != 3) return;
    inRead = true;
    std::this_thread::sleep_for(400ms);
  };
  writer->Run();
  while (!inRead) std::this_thread::sleep_for(1ms);
  const auto wallStart = std::chrono::steady_clock::now();
  const auto cpuStart = ThreadCpuTime();
  writer->SetInput(next.get());
  const auto cpu = ThreadCpuTime() - cpuStart;
  const auto wall = std::chrono::steady_clock::now() - wallStart;
  EXPECT_GT(wall, 100ms) << "the swap did not wait for the read";
  EXPECT_LT(cpu * 4, wall) << "the swap spun while it waited";
  writer->Stop();
  AwaitRunEnd(*writer);
  EXPECT_EQ(slow->CloseCount, 1);
}

}  // namespace
}  // namespace cdx::test
