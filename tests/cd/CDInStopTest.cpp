// Interrupting a CD read in progress, on an image whose reads the
// preloaded shim slows: at the source, and through Stop on a WAV writer.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "cd/ACS_CDROM.h"
#include "tests/cd/DiscFolder.h"
#include "tests/support/TestSources.h"
#include "tests/support/slowread/SlowReads.h"
#include "tools/discmaker.h"
#include "writers/ACS_Wave.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

constexpr int kChunk = TCDIn::kChunkBytes;

// Paranoia reads about 1,200 sectors ahead: the first sector of this track
// reads most of it, and the next reads of the image come inside the
// sixteenth chunk, after some of its sectors are in.
const std::vector<dm::TrackSpec> kDisc = {dm::Noise(1500, 11), dm::Sine(75, 440)};

uint32_t LittleEndian32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

class CDInStop : public ::testing::Test {
 protected:
  void SetUp() override {
    slow_ = TSlowReads::Find();
    ASSERT_TRUE(slow_) << TSlowReads::kMissing;
    folder_.Add("slow", kDisc);
    cd_ = MakeComponent<TCDIn>();
    cd_->SetStartTrack(1);
    cd_->SetEndTrack(1);
  }
  void TearDown() override {
    if (slow_) slow_->Off();
  }

  std::optional<TSlowReads> slow_;
  DiscFolder folder_;
  std::vector<uint8_t> track_ = dm::TrackBytes(kDisc[0], 0);
  ComponentPtr<TCDIn> cd_;
};

TEST_F(CDInStop, AnInterruptedChunkIsHandedOutInWholeSectorsThenTheStreamEnds) {
  cd_->OpenStream();
  std::vector<uint8_t> buffer(kChunk);
  ASSERT_EQ(cd_->ReadData(buffer.data(), kChunk), kChunk);
  slow_->Slow(".bin", 200);

  // Chunks come whole until the one that the interrupt cuts short.
  std::vector<uint8_t> delivered;
  int last = -1;
  long before = slow_->Count();
  TCallWatch calls;
  std::thread reader([&] {
    do {
      calls.Enter();
      last = cd_->ReadData(buffer.data(), kChunk);
      calls.Leave();
      delivered.insert(delivered.end(), buffer.begin(), buffer.begin() + last);
    } while (last == kChunk);
  });
  bool slowed = slow_->WaitForSlowedRead(before);
  EXPECT_TRUE(calls.WaitForWaitingCall()) << "no call waited for the slowed read";
  cd_->InterruptRead();
  reader.join();
  ASSERT_TRUE(slowed) << "no slowed read of the image";

  EXPECT_GT(last, 0) << "the sectors read before the interrupt are kept";
  EXPECT_LT(last, kChunk);
  EXPECT_EQ(last % TCDIn::kSectorBytes, 0);
  ASSERT_LT(kChunk + delivered.size(), track_.size());
  EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), track_.begin() + kChunk))
      << "the track's PCM from the second chunk on";
  EXPECT_EQ(cd_->Position(), kChunk + static_cast<int32_t>(delivered.size()));
  EXPECT_EQ(cd_->ReadData(buffer.data(), kChunk), 0) << "the end of the stream, not an error";
  EXPECT_EQ(cd_->ReadData(buffer.data(), kChunk), 0);
  cd_->CloseStream();
}

TEST_F(CDInStop, StopDuringASlowReadEndsTheRunWithAFileOfWhatWasRead) {
  TTempDir dir;
  std::string file = dir.File("stopped.wav");
  auto writer = MakeComponent<TWaveOut>();
  writer->SetInput(cd_.get());
  writer->SetFileName(file);
  // Fast enough for the first chunk's read-ahead, about a hundred reads.
  slow_->Slow(".bin", 5);
  writer->Run();
  ASSERT_TRUE(ServeUntil([&] { return cd_->Position() >= kChunk || !writer->RunEndPending(); }));
  long before = slow_->Count();
  slow_->Slow(".bin", 200);
  ASSERT_TRUE(slow_->WaitForSlowedRead(before)) << "no slowed read after the first chunk";
  int32_t handedOut = cd_->Position();
  writer->Stop();
  long atStop = slow_->Count();
  TRunEnd end = AwaitRunEnd(*writer);

  // Without the interrupt the chunk's read-ahead, some thirty reads, would
  // run to its end.
  EXPECT_LE(slow_->Count() - atStop, 1) << "at most a read that was starting as Stop came";
  EXPECT_EQ(end.Result, TRunResult::Stopped) << end.Message;
  auto wav = ReadFile(file);
  ASSERT_GE(wav.size(), 44u);
  std::vector<uint8_t> data(wav.begin() + 44, wav.end());
  EXPECT_EQ(LittleEndian32(wav, 40), data.size()) << "the header describes the data";
  EXPECT_EQ(LittleEndian32(wav, 4), wav.size() - 8);
  // The writer ends with the block it was reading, so the file ends on a
  // sample frame, not necessarily on a sector.
  EXPECT_EQ(data.size() % 4, 0u);
  EXPECT_GE(data.size(), static_cast<size_t>(handedOut)) << "the chunks before it are all there";
  EXPECT_LT(data.size(), static_cast<size_t>(handedOut + kChunk))
      << "the slowed chunk was not read to its end";
  EXPECT_TRUE(std::equal(data.begin(), data.end(), track_.begin())) << "a prefix of the track";
}

}  // namespace
}  // namespace cdx::test
