// The test read's output: it takes every block of its input to the end
// and keeps none, ends as stopped or failed like any writer, and leaves
// its input closed whatever the end.
#include <gtest/gtest.h>

#include "tests/support/TestSources.h"
#include "writers/ACS_Discard.h"

namespace cdx::test {
namespace {

struct DiscardCase {
  const char* name;
  int64_t failAt;  // the source's FailAtByte
  int stopAtRead;  // the read during which Stop comes; 0 never
  TRunResult result;
};

TEST(DiscardOut, ReadsItsInputToTheEndOrUntilItsRunEnds) {
  // 300,000 bytes handed out at most 25,000 at a time: 12 reads, and one
  // that finds the end.
  constexpr int kReadsOfAll = 13;
  const DiscardCase cases[] = {
      {"to the end", -1, 0, TRunResult::Done},
      {"a read fails", 100000, 0, TRunResult::Failed},
      {"stopped", -1, 3, TRunResult::Stopped},
  };
  for (const DiscardCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto source = MakeComponent<TMemorySource>(CountingBytes(300000));
    auto out = MakeComponent<TDiscardOut>();
    source->Chunk = 25000;
    source->FailAtByte = c.failAt;
    source->OnRead = [&] {
      if (source->ReadCalls == c.stopAtRead) out->Stop();
    };
    out->SetInput(source.get());
    out->Run();
    const TRunEnd end = AwaitRunEnd(*out);
    EXPECT_EQ(end.Result, c.result) << end.Message;
    if (c.result == TRunResult::Failed) {
      EXPECT_EQ(end.Message, "read failed");
    }
    // A stopped or failed run reads no further.
    if (c.result == TRunResult::Done) {
      EXPECT_EQ(source->ReadCalls, kReadsOfAll);
    } else {
      EXPECT_LT(source->ReadCalls, kReadsOfAll);
    }
    EXPECT_EQ(source->OpenCount, 1);
    EXPECT_EQ(source->CloseCount, 1);
  }
}

}  // namespace
}  // namespace cdx::test
