// The reader thread and the paced image drives: the chunks handed out must
// be those that reading each chunk there and then gives (the Ripper on its
// own), read faults included; a stop must end a wait at once; work given to
// do while waiting must be done there and hold nothing up; and an image
// given a speed must take its time.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "platform/cdrip/Drives.h"
#include "platform/cdrip/Pacing.h"
#include "platform/cdrip/ReadAhead.h"
#include "platform/cdrip/Ripper.h"
#include "tests/cdrip/CdripFixture.h"
#include "tests/support/slowread/FreadFaults.h"
#include "tests/support/slowread/SlowReads.h"

namespace cdx::test {
namespace {

using namespace cdrip;
using Clock = std::chrono::steady_clock;

constexpr int kChunk = 176400;
constexpr int kChunkSectors = kChunk / CR_SECTOR_BYTES;

// Lengths that end mid-chunk; noise shows any byte out of place.
const std::vector<dm::TrackSpec> kDisc = {dm::Noise(230, 1), dm::Noise(400, 2), dm::Noise(310, 3)};

struct Chunk {
  int result;
  int bytes;
  bool operator==(const Chunk&) const = default;
};

struct RipLog {
  std::vector<Chunk> chunks;
  std::vector<uint8_t> bytes;
  uint32_t errorSector = 0;
  bool failed = false;
  int refusedReads = 0;
};

// Calls `read` until it ends or fails, and once more after that.
template <typename ReadFn>
RipLog Log(ReadFn read) {
  RipLog log;
  std::vector<uint8_t> buffer(kChunk);
  for (int guard = 0; guard < 1000; ++guard) {
    int bytes = -1;
    int result = read(buffer.data(), &bytes);
    log.chunks.push_back({result, bytes});
    log.bytes.insert(log.bytes.end(), buffer.begin(), buffer.begin() + std::max(bytes, 0));
    if (result != CR_OK || bytes == 0) break;
  }
  int bytes = -1;
  log.chunks.push_back({read(buffer.data(), &bytes), bytes});
  return log;
}

struct SameChunksCase {
  const char* name;
  int track;            // 0-based
  int speed;            // CDX_IMAGE_SPEED; 0 unpaced
  long badSector = -1;  // of the image; -1 for none
};
void PrintTo(const SameChunksCase& c, std::ostream* out) {
  *out << c.name;
}

class ReadAheadGivesTheSameChunks : public CdripTest,
                                    public ::testing::WithParamInterface<SameChunksCase> {
 protected:
  void SetUp() override {
    CdripTest::SetUp();
    faults_ = TFreadFaults::Find();
    ASSERT_TRUE(faults_) << TFreadFaults::kMissing;
  }
  void TearDown() override {
    if (faults_) faults_->Off();
    CdripTest::TearDown();
  }

  // The Ripper on its own, chunk by chunk, as CR_RipChunk read before it had
  // a reader.
  RipLog Direct(const std::string& cue, uint32_t start, uint32_t end) {
    auto drive = ImageDrive(cue);
    auto ripper = drive ? Ripper::Open(*drive, start, end) : nullptr;
    if (!ripper) return {};
    bool abort = false;
    RipLog log = Log([&](uint8_t* out, int* bytes) {
      int result = ripper->Read(out, kChunkSectors, bytes, &abort);
      if (result == CR_READ_ERROR) log.errorSector = ripper->ErrorSector();
      return result;
    });
    log.errorSector = ripper->ErrorSector();
    log.refusedReads = ripper->RefusedReads();
    return log;
  }
  RipLog Library(uint32_t start, uint32_t end) {
    int capacity = kChunk;
    std::vector<uint8_t> asRead;
    auto onRead = [&](const uint8_t* pcm, int bytes) {
      asRead.insert(asRead.end(), pcm, pcm + bytes);
    };
    if (CR_OpenRipper(&capacity, start, end, {}, onRead) != CR_OK) return {};
    bool abort = false;
    RipLog log = Log([&](uint8_t* out, int* bytes) { return CR_RipChunk(out, bytes, &abort); });
    log.errorSector = CR_GetLastErrorSector();
    CR_CloseRipper();
    EXPECT_TRUE(asRead == log.bytes) << "handed on as read: what the chunks hand out";
    return log;
  }

  std::optional<TFreadFaults> faults_;
};

TEST_P(ReadAheadGivesTheSameChunks, AsReadingEachChunkThereAndThen) {
  const auto& c = GetParam();
  auto cue = MakeDisc("disc", kDisc);
  auto starts = dm::StartSectors(kDisc);
  const uint32_t start = starts[c.track], end = starts[c.track + 1];
  if (c.badSector >= 0)
    faults_->FailBytes("disc.bin", c.badSector * CR_SECTOR_BYTES,
                       (c.badSector + 1) * CR_SECTOR_BYTES, EIO);
  Init();
  RipLog direct = Direct(cue, start, end);
  std::string speed = std::to_string(c.speed);
  ScopedEnv paced("CDX_IMAGE_SPEED", speed.c_str());
  RipLog library = Library(start, end);

  ASSERT_FALSE(direct.chunks.empty());
  EXPECT_EQ(library.chunks, direct.chunks) << "chunk by chunk: result and byte count";
  EXPECT_TRUE(library.bytes == direct.bytes);
  if (c.badSector < 0) {
    EXPECT_TRUE(library.bytes == dm::TrackBytes(kDisc[c.track], start)) << "bit-exact";
    EXPECT_EQ(library.chunks.back(), (Chunk{CR_OK, 0}));
  } else {
    EXPECT_EQ(library.chunks.back(), (Chunk{CR_READ_ERROR, 0})) << "the failure sticks";
    EXPECT_EQ(library.errorSector, direct.errorSector);
    EXPECT_EQ(library.errorSector, static_cast<uint32_t>(c.badSector));
    // Paranoia lets a failed sector go after some hundreds of refused
    // reads; at the start of a range it once took 32768.
    EXPECT_LT(direct.refusedReads, 2000);
    // Whole chunks of the track before the bad sector (paranoia reads
    // ahead, so the failing chunk may come before the one holding it).
    auto track = dm::TrackBytes(kDisc[c.track], start);
    EXPECT_LE(library.bytes.size(), (c.badSector - start) * size_t{CR_SECTOR_BYTES});
    EXPECT_EQ(library.bytes.size() % kChunk, 0u);
    EXPECT_TRUE(std::equal(library.bytes.begin(), library.bytes.end(), track.begin()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    , ReadAheadGivesTheSameChunks,
    ::testing::Values(SameChunksCase{"FirstTrack", 0, 0}, SameChunksCase{"MiddleTrack", 1, 0},
                      SameChunksCase{"LastTrack", 2, 0}, SameChunksCase{"FirstTrackPaced", 0, 40},
                      SameChunksCase{"MiddleTrackPaced", 1, 40},
                      SameChunksCase{"LastTrackPaced", 2, 40},
                      SameChunksCase{"FaultMidTrack", 1, 0, 230 + 170},
                      SameChunksCase{"FaultMidTrackPaced", 1, 40, 230 + 170},
                      SameChunksCase{"FaultInTheLastTrack", 2, 40, 630 + 200},
                      // Beside a range's ends, where paranoia re-read for ever.
                      SameChunksCase{"FaultOnTheDiscsFirstSector", 0, 0, 0},
                      SameChunksCase{"FaultOnATracksFirstSector", 1, 0, 230},
                      SameChunksCase{"FaultOnATracksSecondSector", 1, 0, 231},
                      SameChunksCase{"FaultOnATracksLastSector", 1, 0, 629},
                      SameChunksCase{"FaultOnATracksLastSectorPaced", 1, 40, 629}),
    [](const auto& info) { return std::string(info.param.name); });

// --- pacing ------------------------------------------------------------------

class PacedImage : public CdripTest {
 protected:
  // Starts a consumer taking chunks of the whole of kDisc's track 2.
  void StartConsumer() {
    auto starts = dm::StartSectors(kDisc);
    int capacity = kChunk;
    ASSERT_EQ(CR_OpenRipper(&capacity, starts[1], starts[2]), CR_OK);
    consumer_ = std::thread([this] {
      std::vector<uint8_t> buffer(kChunk);
      do {
        calls_.Enter();
        last_ = CR_RipChunk(buffer.data(), &lastBytes_, &abort_);
        if (lastBytes_ > 0) chunks_++;
        calls_.Leave();
      } while (last_ == CR_OK && lastBytes_ > 0);
    });
  }
  // Aborts once a call waits; false when that came after `deadline`, the
  // machine being too busy for the wait the test means.
  bool AbortWhileWaiting(Clock::time_point deadline) {
    EXPECT_TRUE(calls_.WaitForWaitingCall());
    std::atomic_ref<bool>(abort_).store(true);
    bool inTime = Clock::now() < deadline;
    consumer_.join();
    return inTime;
  }
  void TearDown() override {
    if (consumer_.joinable()) consumer_.join();
    CR_CloseRipper();
    CdripTest::TearDown();
  }

  std::thread consumer_;
  TCallWatch calls_;
  alignas(std::atomic_ref<bool>::required_alignment) bool abort_ = false;
  int last_ = -1, lastBytes_ = -1;
  std::atomic<int> chunks_{0};
};

TEST_F(PacedImage, TakesAtLeastHalfItsPacedTime) {
  MakeDisc("disc", kDisc);
  ScopedEnv paced("CDX_IMAGE_SPEED", "8");
  Init();
  auto begin = Clock::now();
  StartConsumer();
  consumer_.join();
  double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  EXPECT_EQ(last_, CR_OK);
  EXPECT_EQ(lastBytes_, 0);
  // 400 sectors at 8 x 75 a second, after a spin-up of 0.2 s.
  EXPECT_GE(seconds, 0.5 * (0.2 + 400.0 / 600));
}

TEST_F(PacedImage, AStopDuringTheSpinUpHandsOutNothing) {
  MakeDisc("disc", kDisc);
  ScopedEnv paced("CDX_IMAGE_SPEED", "60");  // a spin-up of 1.5 s
  Init();
  auto spunUp = Clock::now() + std::chrono::milliseconds(1500);
  StartConsumer();
  if (!AbortWhileWaiting(spunUp)) GTEST_SKIP() << "the abort came after the spin-up";
  EXPECT_EQ(last_, CR_ABORTED);
  EXPECT_EQ(lastBytes_, 0) << "no sector had come";
  EXPECT_EQ(chunks_, 0);
}

TEST_F(PacedImage, AStopDuringAPacedReadHandsOutWhatHadCome) {
  MakeDisc("disc", kDisc);
  ScopedEnv paced("CDX_IMAGE_SPEED", "1");  // a chunk a second
  Init();
  StartConsumer();
  // The first chunk, then a wait of a second for the next.
  while (chunks_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto firstTaken = Clock::now();
  if (!AbortWhileWaiting(firstTaken + std::chrono::milliseconds(900)))
    GTEST_SKIP() << "the abort came after the second chunk";
  EXPECT_EQ(last_, CR_ABORTED);
  EXPECT_LT(lastBytes_, kChunk) << "the chunk was cut short";
  EXPECT_EQ(lastBytes_ % CR_SECTOR_BYTES, 0);
  EXPECT_EQ(chunks_, lastBytes_ > 0 ? 2 : 1);
  int bytes = -1;
  std::vector<uint8_t> buffer(kChunk);
  EXPECT_EQ(CR_RipChunk(buffer.data(), &bytes, &abort_), CR_ABORTED);
  EXPECT_EQ(bytes, 0);
}

// --- work done where the threads would wait ---------------------------------

constexpr int kSlots = ReadAhead::kRingSectors / kChunkSectors;

struct WaitingWorkCase {
  const char* name;
  // 0: the consumer waits for a full ring, and the reader's first piece
  // lasts until the ring is emptied; paced: the consumer waits.
  int speed;
};

class WaitingWork : public CdripTest, public ::testing::WithParamInterface<WaitingWorkCase> {};

TEST_P(WaitingWork, IsDoneWhereAThreadWouldWaitAndHoldsNothingUp) {
  const auto& c = GetParam();
  MakeDisc("disc", kDisc);
  std::string speed = std::to_string(c.speed);
  ScopedEnv paced("CDX_IMAGE_SPEED", speed.c_str());
  Init();
  std::thread::id consumer;  // set before the reader starts
  std::atomic<int> taken{0}, onReader{0}, onConsumer{0};
  const auto awaitForAWhile = [](auto done) {
    for (auto until = Clock::now() + std::chrono::seconds(2); !done() && Clock::now() < until;)
      std::this_thread::yield();
  };
  auto work = [&] {
    if (std::this_thread::get_id() == consumer) {
      onConsumer++;
      return false;
    }
    // The ring is full: it is empty once kSlots more are taken.
    if (onReader++ == 0) awaitForAWhile([&, empty = taken + kSlots] { return taken >= empty; });
    return false;
  };
  alignas(std::atomic_ref<bool>::required_alignment) bool abort = false;
  auto starts = dm::StartSectors(kDisc);
  auto rip = std::async(std::launch::async, [&] {
    consumer = std::this_thread::get_id();
    int capacity = kChunk;
    EXPECT_EQ(CR_OpenRipper(&capacity, starts[1], starts[2], work), CR_OK);
    RipLog log = Log([&](uint8_t* out, int* bytes) {
      int result = CR_RipChunk(out, bytes, &abort);
      taken++;
      if (c.speed == 0) awaitForAWhile([&] { return onReader > 0; });
      return result;
    });
    CR_CloseRipper();
    return log;
  });
  // A thread left waiting for good is let go with a stop.
  const bool stuck = rip.wait_for(std::chrono::seconds(10)) == std::future_status::timeout;
  if (stuck) std::atomic_ref<bool>(abort).store(true);
  const RipLog log = rip.get();

  EXPECT_FALSE(stuck) << "a thread waited for good";
  EXPECT_EQ(log.chunks.back(), (Chunk{CR_OK, 0})) << "read to the end";
  EXPECT_TRUE(log.bytes == dm::TrackBytes(kDisc[1], starts[1])) << "bit-exact";
  EXPECT_GT(c.speed == 0 ? onReader.load() : onConsumer.load(), 0) << "done by the waiting thread";
}

INSTANTIATE_TEST_SUITE_P(
    , WaitingWork,
    ::testing::Values(WaitingWorkCase{"ByTheReaderWhileTheRingIsFullSeeingRoomMadeMeanwhile", 0},
                      WaitingWorkCase{"ByTheConsumerWhileNoChunkHasCome", 8}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the speed an image drive gets ---------------------------------------------

struct SpeedCase {
  const char* name;
  const char* env;  // CDX_IMAGE_SPEED; nullptr unset
  const char* ini;  // cdr.ini, "%s" standing for the image's section name
  int speed;
};
void PrintTo(const SpeedCase& c, std::ostream* out) {
  *out << c.name;
}

class ImageSpeedOf : public CdripTest, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(ImageSpeedOf, TheImage) {
  const auto& c = GetParam();
  auto cue = MakeDisc("disc", kDisc);
  auto drive = ImageDrive(cue);
  ASSERT_TRUE(drive);
  std::string section = discs_ + "/../discs/disc.cue";  // written another way
  std::string ini = c.ini;
  if (auto at = ini.find("%s"); at != std::string::npos) ini.replace(at, 2, section);
  std::string iniPath = temp_.File("cdr.ini");
  WriteFile(iniPath, std::vector<uint8_t>(ini.begin(), ini.end()));
  ScopedEnv env("CDX_IMAGE_SPEED", c.env);

  EXPECT_EQ(ImageSpeed(*drive, iniPath), c.speed);
  drive->image = false;
  EXPECT_EQ(ImageSpeed(*drive, iniPath), 0) << "a device is never paced";
}

INSTANTIATE_TEST_SUITE_P(
    , ImageSpeedOf,
    ::testing::Values(
        SpeedCase{"Unset", nullptr, "[CD-ROM]\nnActive=0\n", 0},
        SpeedCase{"FromItsSection", nullptr, "[CD-ROM]\nnActive=0\n[%s]\nnSpeed=24\n", 24},
        SpeedCase{"NotFromAnotherImagesSection", nullptr, "[/x/disc.cue]\nnSpeed=24\n", 0},
        SpeedCase{"NotFromTheDriveSection", nullptr, "[CD-ROM]\nnSpeed=24\n", 0},
        SpeedCase{"BadSettingIsUnpaced", nullptr, "[%s]\nnSpeed=-3\n", 0},
        SpeedCase{"TooFastSettingIsUnpaced", nullptr, "[%s]\nnSpeed=1001\n", 0},
        SpeedCase{"EnvironmentOverSettings", "8", "[%s]\nnSpeed=24\n", 8},
        SpeedCase{"EnvironmentZeroUnpaces", "0", "[%s]\nnSpeed=24\n", 0},
        SpeedCase{"EnvironmentAlone", "48", "", 48},
        SpeedCase{"BadEnvironmentLeavesTheSettings", "24x", "[%s]\nnSpeed=4\n", 4},
        SpeedCase{"EmptyEnvironmentLeavesTheSettings", "", "[%s]\nnSpeed=4\n", 4}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the schedule ----------------------------------------------------------------

TEST(Pacer, ASlowReadIsNotMadeUpForAndARoomWaitPausesTheDrive) {
  const auto t0 = Clock::time_point{} + std::chrono::hours(1);
  const auto ms = [](int n) { return std::chrono::milliseconds(n); };
  Pacer pacer(1);  // 75 sectors a second, a spin-up of 25 ms
  pacer.Start(t0);
  EXPECT_EQ(pacer.Due(75), t0 + ms(1025));
  EXPECT_EQ(pacer.CameBy(t0 + ms(20), 75), 0) << "still spinning up";
  EXPECT_EQ(pacer.CameBy(t0 + ms(25 + 500), 75), 37) << "whole sectors";
  pacer.Delivered(75, t0 + ms(100));
  EXPECT_EQ(pacer.Due(75), t0 + ms(2025)) << "a fast read waits for the pace";
  pacer.Delivered(75, t0 + ms(5000));
  EXPECT_EQ(pacer.Due(75), t0 + ms(6000)) << "a late read makes the drive late, no burst";
  pacer.Resume(t0 + ms(9000));
  EXPECT_EQ(pacer.Due(75), t0 + ms(10000)) << "the drive waited for room";
  EXPECT_FALSE(Pacer(0).Paced());
  EXPECT_EQ(Pacer(0).CameBy(t0, 75), 75);
}

}  // namespace
}  // namespace cdx::test
