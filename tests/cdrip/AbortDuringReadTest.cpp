// An abort that arrives while a chunk is being read, on an image whose
// reads the preloaded shim slows.
#include <atomic>
#include <optional>
#include <thread>

#include "tests/cdrip/CdripFixture.h"
#include "tests/support/slowread/SlowReads.h"

namespace cdx::test {
namespace {

using namespace cdrip;

constexpr int kChunk = 176400;
constexpr int kSlowMs = 200;

// Paranoia reads about 1,200 sectors ahead: the first sector of this track
// reads (and re-reads) most of it, and a second batch of reads comes inside
// the sixteenth chunk, after some of that chunk's sectors are in.
const std::vector<dm::TrackSpec> kLongTrack = {dm::Noise(1500, 7)};

// Rips chunks on another thread until one of them fails or aborts.
struct TChunkReader {
  std::vector<uint8_t> delivered;  // every byte handed out, the last chunk too
  int lastResult = CR_OK;
  int lastBytes = -1;
  bool abort = false;
  TCallWatch calls;

  void Run() {
    std::vector<uint8_t> buffer(kChunk);
    do {
      calls.Enter();
      lastResult = CR_RipChunk(buffer.data(), &lastBytes, &abort);
      calls.Leave();
      delivered.insert(delivered.end(), buffer.begin(), buffer.begin() + std::max(lastBytes, 0));
    } while (lastResult == CR_OK && lastBytes > 0);
  }
  void Abort() { std::atomic_ref<bool>(abort).store(true); }
};

class CdripAbortDuringRead : public CdripTest {
 protected:
  void SetUp() override {
    CdripTest::SetUp();
    slow_ = TSlowReads::Find();
    ASSERT_TRUE(slow_) << TSlowReads::kMissing;
    MakeDisc("long", kLongTrack);
    Init();
    int capacity = kChunk;
    ASSERT_EQ(CR_OpenRipper(&capacity, 0, 1500), CR_OK);
  }
  void TearDown() override {
    if (slow_) slow_->Off();
    CR_CloseRipper();
    CdripTest::TearDown();
  }

  // Starts `reader` on another thread, aborts it once a slowed read is in
  // progress and the reader waits for its chunk, and returns the slowed
  // reads that began after the abort.
  long AbortDuringASlowedRead(TChunkReader& reader) {
    long before = slow_->Count();
    std::thread thread([&] { reader.Run(); });
    bool slowed = slow_->WaitForSlowedRead(before);
    EXPECT_TRUE(reader.calls.WaitForWaitingCall()) << "no call waited for the slowed read";
    reader.Abort();
    long atAbort = slow_->Count();
    thread.join();
    EXPECT_TRUE(slowed) << "no slowed read of the image";
    return slow_->Count() - atAbort;
  }

  std::optional<TSlowReads> slow_;
};

TEST_F(CdripAbortDuringRead, KeepsTheWholeSectorsOfTheChunkReadBeforeIt) {
  std::vector<uint8_t> first(kChunk);
  int numBytes = -1;
  bool noAbort = false;
  ASSERT_EQ(CR_RipChunk(first.data(), &numBytes, &noAbort), CR_OK);
  slow_->Slow(".bin", kSlowMs);
  TChunkReader reader;
  AbortDuringASlowedRead(reader);

  EXPECT_EQ(reader.lastResult, CR_ABORTED);
  EXPECT_GT(reader.lastBytes, 0) << "the sectors of the chunk read before the abort are kept";
  EXPECT_LT(reader.lastBytes, kChunk);
  EXPECT_EQ(reader.lastBytes % CR_SECTOR_BYTES, 0);
  auto track = dm::TrackBytes(kLongTrack[0], 0);
  ASSERT_LT(kChunk + reader.delivered.size(), track.size());
  EXPECT_TRUE(std::equal(reader.delivered.begin(), reader.delivered.end(), track.begin() + kChunk))
      << "what was delivered is the track from the second chunk on";
  EXPECT_EQ(CR_RipChunk(first.data(), &numBytes, &noAbort), CR_ABORTED) << "aborted for good";
  EXPECT_EQ(numBytes, 0);
}

TEST_F(CdripAbortDuringRead, CutsParanoiasReadAheadShort) {
  // The first sector's read-ahead is about a hundred reads of the image.
  slow_->Slow(".bin", kSlowMs);
  TChunkReader reader;
  long readsAfterAbort = AbortDuringASlowedRead(reader);

  EXPECT_LE(readsAfterAbort, 1) << "at most a read that was starting as the abort came";
  EXPECT_EQ(reader.lastResult, CR_ABORTED);
  EXPECT_EQ(reader.lastBytes, 0) << "no sector was complete";
  EXPECT_TRUE(reader.delivered.empty());
}

}  // namespace
}  // namespace cdx::test
