// Exchange of inputs during a run, removal notification and destruction of
// busy components.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "pipeline/MainThreadQueue.h"
#include "tests/pipeline/RecordingWriter.h"
#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

using namespace std::chrono_literals;

// 4-byte records (source id, counter) so the output tells where each byte
// came from.
std::vector<uint8_t> Records(uint8_t id, int count) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < count; ++i) {
    bytes.push_back(id);
    bytes.push_back(static_cast<uint8_t>(i));
    bytes.push_back(static_cast<uint8_t>(i >> 8));
    bytes.push_back(static_cast<uint8_t>(i >> 16));
  }
  return bytes;
}

// Checks that `data` is a sequence of prefixes of the sources' records:
// each segment starts at counter 0 and never skips a record. Returns the
// number of segments.
int CountIntactSegments(const std::vector<uint8_t>& data) {
  EXPECT_EQ(data.size() % 4, 0u);
  int segments = 0, expected = 0, id = -1;
  for (size_t i = 0; i + 3 < data.size(); i += 4) {
    int rid = data[i];
    int counter = data[i + 1] | (data[i + 2] << 8) | (data[i + 3] << 16);
    // An input may come back after the ones between got no read at all.
    if (rid != id || (counter == 0 && expected != 0)) {
      EXPECT_EQ(counter, 0) << "a new input started in the middle, at byte " << i;
      id = rid;
      expected = 0;
      ++segments;
    }
    EXPECT_EQ(counter, expected) << "a record was lost or repeated at byte " << i;
    if (counter != expected) return -1;
    expected = counter + 1;
  }
  return segments;
}

class SwapUnderLoad : public ::testing::TestWithParam<bool> {};

TEST_P(SwapUnderLoad, LosesNoBlockAndNeverReadsAClosedInput) {
  const bool throughConverter = GetParam();
  std::vector<ComponentPtr<TMemorySource>> sources;
  for (uint8_t id = 1; id <= 3; ++id) {
    sources.push_back(MakeComponent<TMemorySource>(Records(id, 200000)));
    sources.back()->Chunk = 4 * 37;  // odd sizes, many reads
    // Slow enough that the swaps land while the run is going on.
    sources.back()->OnRead = [] { std::this_thread::sleep_for(std::chrono::microseconds(50)); };
  }
  auto converter = MakeComponent<TPassThrough>();
  auto writer = MakeComponent<TRecordingWriter>(1024);
  writer->RecordErrors();
  TACSInput* first = sources[0].get();
  if (throughConverter) {
    converter->SetInput(first);
    writer->SetInput(converter.get());
  } else {
    writer->SetInput(first);
  }
  writer->Run();

  int swaps = 0;
  while (writer->Status() != 2 && swaps < 60) {
    TACSInput* next = sources[(swaps + 1) % sources.size()].get();
    if (throughConverter)
      converter->SetInput(next);
    else
      writer->SetInput(next);
    ++swaps;
    std::this_thread::sleep_for(1ms);
    TMainThreadQueue::Instance().Serve();
  }
  writer->Stop();
  AwaitRunEnd(*writer);
  EXPECT_TRUE(writer->Errors().empty()) << writer->Errors().front();
  int segments = CountIntactSegments(writer->Data());
  EXPECT_GE(segments, 2);
  EXPECT_LE(segments, swaps + 1);
  int opens = 0, closes = 0;
  for (auto& s : sources) {
    opens += s->OpenCount;
    closes += s->CloseCount;
    EXPECT_FALSE(s->Busy()) << "an input was left open";
  }
  EXPECT_EQ(opens, swaps + 1);
  EXPECT_EQ(closes, opens);
}

INSTANTIATE_TEST_SUITE_P(OutputAndConverter, SwapUnderLoad, ::testing::Bool());

TEST(InputSwap, ASwapRacingTheEndOfTheRunClosesEveryInputOnce) {
  // The run ends (EndOutput closes the input) while the main thread swaps
  // in another input: whichever wins, each input opened is closed once and
  // none is left open for its next run.
  for (int i = 0; i < 20; ++i) {
    auto old = MakeComponent<TMemorySource>(CountingBytes(1000));
    auto next = MakeComponent<TMemorySource>(CountingBytes(1000));
    auto writer = MakeComponent<TRecordingWriter>();
    writer->RecordErrors();
    writer->SetInput(old.get());
    std::atomic<bool> ending{false};
    writer->OnEnd = [&] {
      ending = true;
      while (next->OpenCount == 0) std::this_thread::yield();
    };
    writer->Run();
    while (!ending) std::this_thread::yield();
    writer->SetInput(next.get());
    AwaitRunEnd(*writer);
    EXPECT_EQ(writer->Input(), next.get());
    EXPECT_FALSE(old->Busy()) << "iteration " << i;
    EXPECT_FALSE(next->Busy()) << "iteration " << i;
    EXPECT_EQ(old->CloseCount, 1) << "iteration " << i;
    EXPECT_EQ(next->CloseCount, 1) << "iteration " << i;
    EXPECT_TRUE(writer->Errors().empty());
    if (HasFailure()) break;
  }
}

TEST(InputLock, AThreadThatWaitsGoesBeforeTheHolderTakesItAgain) {
  // The reader takes the lock again microseconds after releasing it; a
  // swap that waits must still get its turn at the next release.
  TInputLock lock;
  auto reading = std::make_optional<TInputLockGuard>(lock);
  std::atomic<bool> swapped{false};
  std::thread swapper([&] {
    TInputLockGuard swap(lock);
    swapped = true;
  });
  while (lock.Waiters() == 0) std::this_thread::yield();
  reading.reset();
  reading.emplace(lock);
  EXPECT_TRUE(swapped) << "the holder took the lock again before the waiting thread";
  reading.reset();
  swapper.join();
}

TEST(InputSwap, ConverterIgnoresItselfAsInput) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(10));
  auto converter = MakeComponent<TPassThrough>();
  converter->SetInput(source.get());
  converter->SetInput(converter.get());
  EXPECT_EQ(converter->Input(), source.get());
}

TEST(InputSwap, AFailedReadLeavesNoLockHeldDownTheChain) {
  // A read that fails halfway leaves no lock held: the next run through
  // the same chain must not spin forever.
  auto source = MakeComponent<TMemorySource>(CountingBytes(100000));
  auto inner = MakeComponent<TPassThrough>();
  auto outer = MakeComponent<TPassThrough>();
  auto writer = MakeComponent<TRecordingWriter>();
  inner->SetInput(source.get());
  outer->SetInput(inner.get());
  writer->SetInput(outer.get());
  source->FailAtByte = 5000;
  writer->RecordErrors();
  writer->Run();
  EXPECT_EQ(AwaitRunEnd(*writer).Message, "read failed");
  EXPECT_FALSE(source->Busy());
  source->FailAtByte = -1;
  ASSERT_TRUE(RunToEnd(*writer, 5s));
  EXPECT_EQ(writer->Data(), source->Bytes());
  inner->SetInput(source.get());  // an idle swap must not wait on a stale lock
}

TEST(Removal, DestroyingAnInputClearsEveryLinkToIt) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(10));
  auto converter = MakeComponent<TPassThrough>();
  auto writer = MakeComponent<TRecordingWriter>();
  auto other = MakeComponent<TRecordingWriter>();
  converter->SetInput(source.get());
  writer->SetInput(converter.get());
  other->SetInput(source.get());
  source.reset();
  EXPECT_EQ(converter->Input(), nullptr);
  EXPECT_EQ(other->Input(), nullptr);
  EXPECT_EQ(writer->Input(), converter.get());
  converter.reset();
  EXPECT_EQ(writer->Input(), nullptr);
}

TEST(Removal, RelinkingStopsNotificationsFromTheOldInput) {
  auto a = MakeComponent<TMemorySource>(CountingBytes(10));
  auto b = MakeComponent<TMemorySource>(CountingBytes(10));
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(a.get());
  writer->SetInput(b.get());
  a.reset();
  EXPECT_EQ(writer->Input(), b.get());
  writer.reset();
  b.reset();  // must not notify a writer that is gone
}

TEST(Removal, DestroyingTheInputOfARunningChainFailsTheRunCleanly) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(10000000));
  source->Chunk = 512;
  auto converter = MakeComponent<TPassThrough>();
  auto writer = MakeComponent<TRecordingWriter>();
  converter->SetInput(source.get());
  writer->SetInput(converter.get());
  writer->RecordErrors();
  // The run waits before its seventh block until the source is gone, so it
  // is still going when the source is destroyed, however slow the machine.
  writer->OnBlock = [&](int block) {
    if (block == 6)
      while (converter->Input()) std::this_thread::yield();
  };
  writer->Run();
  ASSERT_TRUE(ServeUntil([&] { return writer->Blocks > 5; }));
  source.reset();
  EXPECT_EQ(AwaitRunEnd(*writer).Message, "Input not assigned");
  ASSERT_EQ(writer->Errors().size(), 1u);
  EXPECT_FALSE(converter->Busy());
}

TEST(Ownership, OwnerFreesWhatItOwnsLastCreatedFirst) {
  struct TProbe : TComponent {
    TProbe(TComponent* owner, std::vector<std::string>* log, std::string n)
        : TComponent(owner), log_(log) {
      SetName(std::move(n));
    }
    ~TProbe() override { log_->push_back(Name()); }
    std::vector<std::string>* log_;
  };
  std::vector<std::string> log;
  {
    auto root = MakeComponent<TProbe>(&log, "root");
    CreateComponent<TProbe>(*root, &log, "first");
    CreateComponent<TProbe>(*root, &log, "second");
    EXPECT_EQ(root->ComponentCount(), 2);
    EXPECT_NE(root->FindComponent("second"), nullptr);
    EXPECT_EQ(root->FindComponent("third"), nullptr);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"second", "first", "root"}));
}

TEST(Ownership, AComponentWhoseConstructorThrowsLeavesItsOwner) {
  struct TBroken : TComponent {
    explicit TBroken(TComponent* owner) : TComponent(owner) { throw std::runtime_error("no"); }
  };
  auto root = MakeComponent<TPassThrough>();
  EXPECT_THROW(CreateComponent<TBroken>(*root), std::runtime_error);
  EXPECT_EQ(root->ComponentCount(), 0);
}

// --- destruction of busy outputs -------------------------------------------

TEST(Destruction, WhileRunningStopsTheWorkerAndReleasesTheChain) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(50000000));
  source->Chunk = 1024;
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(source.get());
  writer->Run();
  ASSERT_TRUE(ServeUntil([&] { return writer->Blocks > 3; }));
  writer.reset();
  EXPECT_FALSE(source->Busy()) << "the chain must not stay open";
  EXPECT_EQ(source->CloseCount, 1);
}

TEST(Destruction, WhileTheWorkerWaitsForAHandOffNeitherDeadlocksNorRunsIt) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(100000));
  source->Chunk = 1000;
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(source.get());
  std::atomic<int> handlerRuns{0};
  writer->OnProgress = [&](TComponent*) { ++handlerRuns; };
  writer->Run();
  // Nobody serves the queue: the worker blocks in its first hand-off.
  while (TMainThreadQueue::Instance().Pending() == 0) std::this_thread::sleep_for(1ms);
  writer.reset();
  EXPECT_EQ(handlerRuns, 0);
  EXPECT_EQ(TMainThreadQueue::Instance().Pending(), 0) << "the dropped call is gone";
  EXPECT_FALSE(source->Busy());
}

TEST(Destruction, FromInsideItsOwnProgressHandler) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(100000));
  source->Chunk = 1000;
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(source.get());
  bool destroyed = false;
  writer->OnProgress = [&](TComponent*) {
    if (!destroyed && writer->Blocks > 2) {
      destroyed = true;
      writer.reset();
    }
  };
  writer->Run();
  ASSERT_TRUE(ServeUntil([&] { return destroyed; }));
  EXPECT_FALSE(source->Busy());
}

TEST(Destruction, IdleAndSuspendedOrNeverRun) {
  auto never = MakeComponent<TRecordingWriter>();
  never.reset();
  auto source = MakeComponent<TMemorySource>(CountingBytes(1000));
  auto writer = MakeComponent<TRecordingWriter>();
  writer->SetInput(source.get());
  ASSERT_TRUE(RunToEnd(*writer));
  ASSERT_TRUE(ServeUntil([&] { return writer->WorkerSuspended(); }));
  writer.reset();
  EXPECT_EQ(source->CloseCount, 1);
}

// --- the hand-off itself -----------------------------------------------------

TEST(MainThreadQueue, RunsCallsOnTheMainThreadAndCarriesExceptionsBack) {
  auto& queue = TMainThreadQueue::Instance();
  int tag = 0;
  std::atomic<bool> ran{false}, threw{false}, finished{false};
  std::thread worker([&] {
    std::function<void()> good = [&] { ran = queue.IsMainThread(); };
    queue.Synchronize(&tag, good);
    std::function<void()> bad = [] { throw EACSException("handler failed"); };
    try {
      queue.Synchronize(&tag, bad);
    } catch (const EACSException& e) {
      threw = std::string(e.what()) == "handler failed";
    }
    finished = true;
  });
  ASSERT_TRUE(ServeUntil([&] { return finished.load(); }));
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(threw);

  bool direct = false;
  std::function<void()> call = [&] { direct = true; };
  EXPECT_TRUE(queue.Synchronize(&tag, call)) << "on the main thread the call runs directly";
  EXPECT_TRUE(direct);
}

TEST(MainThreadQueue, ClosedTagsAreRefusedUntilReopened) {
  auto& queue = TMainThreadQueue::Instance();
  int tag = 0;
  queue.Close(&tag);
  std::atomic<int> result{-1};
  std::thread worker([&] {
    std::function<void()> call = [] {};
    result = queue.Synchronize(&tag, call) ? 1 : 0;
  });
  worker.join();
  EXPECT_EQ(result, 0);
  queue.Reopen(&tag);
  std::thread again([&] {
    std::function<void()> call = [] {};
    result = queue.Synchronize(&tag, call) ? 1 : 0;
  });
  ASSERT_TRUE(ServeUntil([&] { return result == 1; }));
  again.join();
}

TEST(MainThreadQueue, ACallThatServesTheQueueItselfStillReleasesItsWorker) {
  // A handler may serve the queue (a nested event loop does): the call it
  // runs and its own call must both return to their workers.
  auto& queue = TMainThreadQueue::Instance();
  int outerTag = 0, innerTag = 0;
  std::atomic<bool> innerRan{false}, outerBack{false}, innerBack{false};
  std::thread inner;
  std::thread outer([&] {
    std::function<void()> call = [&] {
      inner = std::thread([&] {
        std::function<void()> innerCall = [&] { innerRan = true; };
        queue.Synchronize(&innerTag, innerCall);
        innerBack = true;
      });
      ServeUntil([&] { return innerRan.load(); }, 10s);
    };
    queue.Synchronize(&outerTag, call);
    outerBack = true;
  });
  bool back = ServeUntil([&] { return outerBack && innerBack; }, 10s);
  if (!back) {
    // Release the stranded worker so the test can end.
    queue.Close(&outerTag);
    queue.Close(&innerTag);
  }
  outer.join();
  inner.join();
  queue.Reopen(&outerTag);
  queue.Reopen(&innerTag);
  EXPECT_TRUE(back) << "a worker was never released";
  EXPECT_TRUE(innerRan);
}

TEST(MainThreadQueue, WakeHandlerIsCalledForEveryQueuedCall) {
  auto& queue = TMainThreadQueue::Instance();
  std::atomic<int> wakes{0};
  queue.SetWakeHandler([&] { ++wakes; });
  int tag = 0;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    std::function<void()> call = [] {};
    for (int i = 0; i < 3; ++i) queue.Synchronize(&tag, call);
    finished = true;
  });
  ASSERT_TRUE(ServeUntil([&] { return finished.load(); }));
  worker.join();
  queue.SetWakeHandler(nullptr);
  EXPECT_EQ(wakes, 3);
}

}  // namespace
}  // namespace cdx::test
