// TOC and paranoia reads of generated images through real libcdio.
#include <sys/resource.h>

#include <filesystem>
#include <thread>

#include "pipeline/Sanitizers.h"
#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using namespace cdrip;

std::vector<uint8_t> Expected(const std::vector<dm::TrackSpec>& tracks, size_t first, size_t last) {
  auto starts = dm::StartSectors(tracks);
  std::vector<uint8_t> bytes;
  for (size_t i = first; i <= last; ++i) {
    auto t = dm::TrackBytes(tracks[i], starts[i]);
    bytes.insert(bytes.end(), t.begin(), t.end());
  }
  return bytes;
}

// Noise and full-scale squares catch swapped bytes and channels; odd
// lengths catch sector arithmetic; a data track sits in the middle.
const std::vector<dm::TrackSpec> kMixed = {dm::Noise(160, 3), dm::Data(100), dm::Square(37, 1000),
                                           dm::Silence(1), dm::Sine(90, 440, 0.9, 660)};

TEST_F(CdripTest, TocListsTracksFlagsAndLeadOut) {
  MakeDisc("mixed", kMixed);
  Init();
  ASSERT_EQ(CR_GetNumCDROM(), 1);
  int status = -1;
  EXPECT_EQ(CR_IsMediaLoaded(&status), CR_OK);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(CR_IsAudioPlaying());

  ASSERT_EQ(CR_ReadToc(), CR_OK);
  ASSERT_EQ(CR_GetNumTocEntries(), 5);
  auto starts = dm::StartSectors(kMixed);
  const uint8_t flags[] = {0x10, 0x14, 0x10, 0x10, 0x10};
  for (int i = 0; i < 5; ++i) {
    TOCENTRY e = CR_GetTocEntry(i);
    EXPECT_EQ(e.dwStartSector, starts[i]) << "entry " << i;
    EXPECT_EQ(e.btFlag, flags[i]) << "entry " << i;
    EXPECT_EQ(e.btTrackNumber, i + 1);
    EXPECT_EQ(e.reserved1 | e.reserved2, 0);
  }
  TOCENTRY leadOut = CR_GetTocEntry(5);
  EXPECT_EQ(leadOut.dwStartSector, 388u);
  EXPECT_EQ(leadOut.btTrackNumber, 0xAA);
  EXPECT_EQ(CR_GetTocEntry(6).dwStartSector, 0u);
  EXPECT_EQ(CR_GetTocEntry(-1).btFlag, 0);
}

TEST_F(CdripTest, EachAudioTrackRipsBitExactInChunksOfAtMostTheBuffer) {
  MakeDisc("mixed", kMixed);
  Init();
  ASSERT_EQ(CR_ReadToc(), CR_OK);
  for (size_t i : {0, 2, 3, 4}) {  // first, middle, one sector, last up to the lead-out
    SCOPED_TRACE("track " + std::to_string(i + 1));
    uint32_t start = CR_GetTocEntry(static_cast<int>(i)).dwStartSector;
    uint32_t end = CR_GetTocEntry(static_cast<int>(i) + 1).dwStartSector;
    auto rip = Rip(start, end);
    EXPECT_EQ(rip.result, CR_OK);
    EXPECT_EQ(rip.lastNumBytes, 0);
    EXPECT_EQ(rip.bytes.size(), (end - start) * 2352u);
    EXPECT_TRUE(rip.bytes == Expected(kMixed, i, i));
    EXPECT_LE(rip.largestChunk, 176400);
  }
  // 160 sectors in 75-sector chunks: two full seconds and a rest.
  auto first = Rip(0, 160);
  EXPECT_EQ(first.chunks, 3);
  EXPECT_EQ(first.largestChunk, 176400);
}

TEST_F(CdripTest, BufferSizeIsLoweredToWholeSectorsAndNeverRaised) {
  MakeDisc("mixed", kMixed);
  Init();
  int capacity = 10000;
  EXPECT_EQ(CR_OpenRipper(&capacity, 0, 160), CR_OK);
  EXPECT_EQ(capacity, 4 * 2352);
  CR_CloseRipper();

  auto rip = Rip(0, 160, 10000);
  EXPECT_EQ(rip.result, CR_OK);
  EXPECT_EQ(rip.largestChunk, 4 * 2352);
  EXPECT_EQ(rip.chunks, 40);
  EXPECT_TRUE(rip.bytes == Expected(kMixed, 0, 0));

  capacity = 2351;
  EXPECT_NE(CR_OpenRipper(&capacity, 0, 160), CR_OK);
  std::vector<uint8_t> buffer(2352);
  int numBytes = -1;
  bool abort = false;
  EXPECT_EQ(CR_RipChunk(buffer.data(), &numBytes, &abort), CR_NOT_OPEN);
  EXPECT_EQ(numBytes, 0);
  CR_CloseRipper();
}

TEST_F(CdripTest, RangeOverSeveralTracksIsTheirConcatenation) {
  MakeDisc("mixed", kMixed);
  Init();
  auto rip = Rip(dm::StartSectors(kMixed)[2], 388);
  EXPECT_EQ(rip.result, CR_OK);
  EXPECT_TRUE(rip.bytes == Expected(kMixed, 2, 4));
}

TEST_F(CdripTest, EndAtOrBelowStartIsAnEmptyRange) {
  MakeDisc("mixed", kMixed);
  Init();
  for (auto [start, end] : {std::pair{260u, 260u}, std::pair{260u, 0u}}) {
    auto rip = Rip(start, end);
    EXPECT_EQ(rip.result, CR_OK);
    EXPECT_EQ(rip.lastNumBytes, 0);
    EXPECT_TRUE(rip.bytes.empty());
  }
}

TEST_F(CdripTest, RangePastTheLeadOutIsRefusedAndReadsFail) {
  MakeDisc("mixed", kMixed);
  Init();
  int capacity = 176400;
  EXPECT_NE(CR_OpenRipper(&capacity, 300, 389), CR_OK);
  std::vector<uint8_t> buffer(176400);
  int numBytes = -1;
  bool abort = false;
  EXPECT_NE(CR_RipChunk(buffer.data(), &numBytes, &abort), CR_OK);
  EXPECT_EQ(numBytes, 0);
  EXPECT_EQ(CR_GetLastErrorSector(), 300u);
  CR_CloseRipper();
}

TEST_F(CdripTest, AbortStopsTheRipForGood) {
  MakeDisc("mixed", kMixed);
  Init();
  int capacity = 176400;
  ASSERT_EQ(CR_OpenRipper(&capacity, 0, 160), CR_OK);
  std::vector<uint8_t> buffer(176400);
  int numBytes = -1;
  bool abort = false;
  ASSERT_EQ(CR_RipChunk(buffer.data(), &numBytes, &abort), CR_OK);
  EXPECT_EQ(numBytes, 176400);
  abort = true;
  EXPECT_EQ(CR_RipChunk(buffer.data(), &numBytes, &abort), CR_ABORTED);
  EXPECT_EQ(numBytes, 0);
  abort = false;
  EXPECT_EQ(CR_RipChunk(buffer.data(), &numBytes, &abort), CR_ABORTED);
  EXPECT_EQ(numBytes, 0);
  CR_CloseRipper();
}

TEST_F(CdripTest, RemovedImageHasNoDisc) {
  auto cue = MakeDisc("gone", kMixed);
  Init();
  std::filesystem::remove(cue);
  std::filesystem::remove(discs_ + "/gone.bin");
  int status = 0;
  EXPECT_EQ(CR_IsMediaLoaded(&status), CR_OK);
  EXPECT_NE(status, 0);
  EXPECT_NE(CR_ReadToc(), CR_OK);
  EXPECT_EQ(CR_GetNumTocEntries(), 0);
  int capacity = 176400;
  EXPECT_NE(CR_OpenRipper(&capacity, 0, 10), CR_OK);
  CR_CloseRipper();
}

TEST_F(CdripTest, BinShorterThanTheCueSays) {
  std::vector<dm::TrackSpec> tracks = {dm::Noise(100, 1), dm::Noise(100, 2)};
  MakeDisc("short", tracks);
  // Cut inside track 2: the lead-out follows the file, so track 2 as the
  // CUE describes it reaches past the disc and cannot be read.
  std::filesystem::resize_file(discs_ + "/short.bin", 150 * 2352);
  Init();
  ASSERT_EQ(CR_ReadToc(), CR_OK);
  EXPECT_EQ(CR_GetTocEntry(2).dwStartSector, 150u);
  auto rip = Rip(100, 200);
  EXPECT_NE(rip.result, CR_OK);
  EXPECT_TRUE(rip.bytes.empty());

  // Cut before track 2 starts: no usable TOC at all.
  std::filesystem::resize_file(discs_ + "/short.bin", 50 * 2352);
  EXPECT_NE(CR_ReadToc(), CR_OK);
  int status = 0;
  CR_IsMediaLoaded(&status);
  EXPECT_NE(status, 0);
}

// The BIN is cut while a worker thread rips (paranoia's callback state is
// per thread): the rip must fail naming the first missing sector, and
// everything delivered before must be the image's true bytes.
class TruncatedRip : public CdripTest, public ::testing::WithParamInterface<long> {};

TEST_P(TruncatedRip, FailsAtTheFirstMissingSectorWithoutBadBytes) {
  const long cutBytes = GetParam();
  const uint32_t firstMissing = static_cast<uint32_t>(cutBytes / 2352);
  std::vector<dm::TrackSpec> tracks = {dm::Noise(3000, 9)};
  MakeDisc("cut", tracks);
  Init();
  RipResult rip;
  uint32_t errorSector = 0;
  std::thread worker([&] {
    rip = Rip(0, 3000, 176400, [&](int chunk) {
      if (chunk == 1) std::filesystem::resize_file(discs_ + "/cut.bin", cutBytes);
    });
    errorSector = CR_GetLastErrorSector();
  });
  worker.join();
  EXPECT_EQ(rip.result, CR_READ_ERROR);
  EXPECT_EQ(rip.lastNumBytes, 0);
  ASSERT_LE(rip.bytes.size(), size_t{firstMissing} * 2352);
  auto expected = Expected(tracks, 0, 0);
  EXPECT_TRUE(std::equal(rip.bytes.begin(), rip.bytes.end(), expected.begin()));
  // A sector cut in the middle still reads, short, at the libcdio level; the
  // one after it is the first that fails there.
  bool partial = cutBytes % 2352 != 0;
  EXPECT_EQ(errorSector, firstMissing + (partial ? 1 : 0));
  EXPECT_GE(errorSector * 2352u, rip.bytes.size());

  // The failure sticks: no later call delivers anything.
  EXPECT_EQ(rip.resultAfterFailure, CR_READ_ERROR);
  EXPECT_EQ(rip.bytesAfterFailure, 0);
}

INSTANTIATE_TEST_SUITE_P(CutPoints, TruncatedRip,
                         ::testing::Values(2000L * 2352, 2000L * 2352 + 1000, 2600L * 2352));

long MinorPageFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Reads [start, end) into one reused buffer, so that the rip itself is all
// that allocates.
void RipInPlace(uint32_t start, uint32_t end) {
  std::vector<uint8_t> buffer(176400);
  int capacity = 176400;
  ASSERT_EQ(CR_OpenRipper(&capacity, start, end), CR_OK);
  bool abort = false;
  int numBytes = 0;
  do {
    ASSERT_EQ(CR_RipChunk(buffer.data(), &numBytes, &abort), CR_OK);
  } while (numBytes > 0);
  CR_CloseRipper();
}

// Paranoia allocates and frees blocks of megabytes many times a second of
// audio. Once rips have grown the heap, later ones must reuse that memory:
// a fresh mapping for every block costs a page fault for each of its pages,
// some 6,700 for every rip here.
TEST_F(CdripTest, RipsReuseTheirMemoryInsteadOfFaultingInFreshPages) {
#if defined(CDX_UNDER_ASAN) || defined(CDX_UNDER_TSAN) || defined(CDX_ASAN_RUNTIME)
  // The sanitizers replace the C library's allocator (and ignore its
  // tuning); AddressSanitizer keeps freed blocks out of use for a while on
  // purpose.
  GTEST_SKIP() << "measures the C library's allocator, which the sanitizer replaces";
#endif
  MakeDisc("long", {dm::Noise(3000, 4)});
  Init();
  for (int warmUp = 0; warmUp < 2; ++warmUp) RipInPlace(0, 3000);
  long before = MinorPageFaults();
  for (int rip = 0; rip < 3; ++rip) RipInPlace(0, 3000);
  long faults = MinorPageFaults() - before;
  // Fewer than the pages of the audio of a single rip, 1,723.
  EXPECT_LT(faults, 3000 * 2352 / 4096);
}

// Paranoia reads ahead of the sector in hand to verify it. A track must
// still rip in full when nothing after it can be read, as on a drive that
// refuses the lead-out.
TEST_F(CdripTest, ATrackRipsInFullWhenNothingAfterItCanBeRead) {
  std::vector<dm::TrackSpec> tracks = {dm::Noise(400, 5), dm::Noise(300, 6)};
  MakeDisc("cut", tracks);
  Init();
  ASSERT_EQ(CR_ReadToc(), CR_OK);
  std::filesystem::resize_file(discs_ + "/cut.bin", 400 * 2352);
  for (uint32_t start : {0u, 399u}) {
    SCOPED_TRACE("from sector " + std::to_string(start));
    auto rip = Rip(start, 400);
    EXPECT_EQ(rip.result, CR_OK);
    auto expected = Expected(tracks, 0, 0);
    EXPECT_TRUE(rip.bytes == std::vector<uint8_t>(expected.begin() + start * 2352, expected.end()));
  }
}

}  // namespace
}  // namespace cdx::test
