// The file's layout as decoders rely on it: header fields, the seek table
// reserved ahead of the audio (and grown when too small), a stored WAV
// header, trailing bytes, frames back to back, their optional flags, and
// the MD5 that verifying decoders check.
#include <gtest/gtest.h>

#include "platform/apecompress/Md5.h"
#include "tests/apecompress/ApeTestSupport.h"

namespace apetest {
namespace {

constexpr uint32_t kFrame = 4097;

struct Layout {
  uint32_t seekEntries, wavHeader, audioBytes, wavTail;
  uint16_t level, flags;
  uint32_t blocksPerFrame, finalBlocks, frames;
  uint16_t bits, channels;
  uint32_t rate;
  uint32_t firstFrame;
  std::vector<uint32_t> seek;
};

Layout ReadLayout(const std::vector<uint8_t>& f) {
  Layout l;
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "MAC ");
  EXPECT_EQ(Le16(f, 4), 3990);
  EXPECT_EQ(Le32(f, 8), 52u);
  EXPECT_EQ(Le32(f, 12), 24u);
  l.seekEntries = Le32(f, 16) / 4;
  l.wavHeader = Le32(f, 20);
  l.audioBytes = Le32(f, 24);
  EXPECT_EQ(Le32(f, 28), 0u);
  l.wavTail = Le32(f, 32);
  l.level = Le16(f, 52);
  l.flags = Le16(f, 54);
  l.blocksPerFrame = Le32(f, 56);
  l.finalBlocks = Le32(f, 60);
  l.frames = Le32(f, 64);
  l.bits = Le16(f, 68);
  l.channels = Le16(f, 70);
  l.rate = Le32(f, 72);
  l.firstFrame = 76 + 4 * l.seekEntries + l.wavHeader;
  for (uint32_t i = 0; i < l.seekEntries; ++i) l.seek.push_back(Le32(f, 76 + 4 * i));
  return l;
}

void ExpectDecodes(const std::string& path, const std::vector<uint8_t>& input) {
  const Decoded d = DecodeWithFfmpeg(path);
  EXPECT_EQ(d.messages, "");
  EXPECT_TRUE(d.pcm == input);
}

TEST(Container, HeaderFieldsAndSeekTableDescribeTheFrames) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  const std::vector<uint8_t> input = ToBytes(Generate(Signal::kSweep, 3 * kFrame + 100, 2));
  EncodeSettings s;
  s.level = 3000;
  s.blocksPerFrame = kFrame;
  ASSERT_EQ(Encode(path, input, s).finish, 0);
  const std::vector<uint8_t> f = ReadFile(path);
  const Layout l = ReadLayout(f);
  EXPECT_EQ(l.level, 3000);
  EXPECT_EQ(l.flags, 32);  // no stored WAV header
  EXPECT_EQ(l.wavHeader, 0u);
  EXPECT_EQ(l.wavTail, 0u);
  EXPECT_EQ(l.blocksPerFrame, kFrame);
  EXPECT_EQ(l.frames, 4u);
  EXPECT_EQ(l.finalBlocks, 100u);
  EXPECT_EQ(l.bits, 16);
  EXPECT_EQ(l.channels, 2);
  EXPECT_EQ(l.rate, 44100u);
  EXPECT_EQ(l.seekEntries, 2048u);  // default reserve, capped
  EXPECT_EQ(l.audioBytes, f.size() - l.firstFrame);
  EXPECT_EQ(l.audioBytes % 4, 0u);
  EXPECT_EQ(l.seek[0], l.firstFrame);
  for (uint32_t i = 1; i < l.frames; ++i) EXPECT_GT(l.seek[i], l.seek[i - 1]);
  for (uint32_t i = l.frames; i < l.seekEntries; ++i) ASSERT_EQ(l.seek[i], 0u) << i;
}

TEST(Container, FrameLengthFollowsTheLevel) {
  const std::pair<int, uint32_t> expected[] = {
      {1000, 73728}, {2000, 73728}, {3000, 73728}, {4000, 294912}, {5000, 1179648}};
  for (const auto& [level, blocksPerFrame] : expected) {
    TempDir dir;
    const std::string path = dir.File("a.ape");
    EncodeSettings s;
    s.level = level;
    ASSERT_EQ(Encode(path, ToBytes(Generate(Signal::kSweep, 10, 2)), s).finish, 0);
    EXPECT_EQ(ReadLayout(ReadFile(path)).blocksPerFrame, blocksPerFrame) << level;
  }
}

// MD5 of the stored WAV header, the audio area as stored, the WAV tail, the
// 24-byte header and the whole seek table, computed here by md5sum.
TEST(Container, Md5CoversStoredHeaderAudioTailHeaderAndSeekTable) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  const std::vector<uint8_t> input = ToBytes(Generate(Signal::kNoise, 5 * kFrame + 9, 2));
  std::vector<uint8_t> wavHeader(44);
  for (size_t i = 0; i < wavHeader.size(); ++i) wavHeader[i] = uint8_t(i * 5 + 3);
  EncodeSettings s;
  s.blocksPerFrame = kFrame;
  s.maxAudioBytes = 1;  // the table grows at Finish
  s.header = wavHeader.data();
  s.headerBytes = int(wavHeader.size());
  s.tail = {'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x', 'A', 'P', 'E'};
  s.wavTail = 9;  // what follows the WAV tail is not part of the MD5
  ASSERT_EQ(Encode(path, input, s).finish, 0);
  const std::vector<uint8_t> f = ReadFile(path);
  const Layout l = ReadLayout(f);
  ASSERT_EQ(l.seekEntries, 6u);
  const auto at = [&](size_t offset) { return f.begin() + std::ptrdiff_t(offset); };
  std::vector<uint8_t> covered(at(76 + 4 * l.seekEntries), at(l.firstFrame + l.audioBytes + 9));
  covered.insert(covered.end(), at(52), at(76 + 4 * l.seekEntries));
  EXPECT_EQ(std::vector<uint8_t>(at(36), at(52)), Md5Sum(covered, dir.File("covered")));
  ExpectDecodes(path, input);
}

TEST(Container, MaxAudioBytesReservesExactlyTheNeededEntries) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  const std::vector<uint8_t> input = ToBytes(Generate(Signal::kSweep, 2 * kFrame + 1, 1));
  EncodeSettings s;
  s.channels = 1;
  s.blocksPerFrame = kFrame;
  s.maxAudioBytes = int(input.size());
  ASSERT_EQ(Encode(path, input, s).finish, 0);
  const Layout l = ReadLayout(ReadFile(path));
  EXPECT_EQ(l.seekEntries, 3u);
  EXPECT_EQ(l.frames, 3u);
  EXPECT_EQ(l.finalBlocks, 1u);
  ExpectDecodes(path, input);
}

// Too small a reserve: the stored header and the audio are moved back at
// Finish so the table fits.
TEST(Container, SeekTableGrowsPastTheReserveAndKeepsTheStoredHeader) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  const std::vector<uint8_t> input = ToBytes(Generate(Signal::kNoise, 9 * kFrame + 5, 2));
  std::vector<uint8_t> wavHeader(44);
  for (size_t i = 0; i < wavHeader.size(); ++i) wavHeader[i] = uint8_t(i * 7 + 1);
  EncodeSettings s;
  s.level = 4000;
  s.blocksPerFrame = kFrame;
  s.maxAudioBytes = 1;  // one entry reserved, ten needed
  s.header = wavHeader.data();
  s.headerBytes = int(wavHeader.size());
  ASSERT_EQ(Encode(path, input, s).finish, 0);
  const std::vector<uint8_t> f = ReadFile(path);
  const Layout l = ReadLayout(f);
  EXPECT_EQ(l.seekEntries, 10u);
  EXPECT_EQ(l.frames, 10u);
  EXPECT_EQ(l.flags, 0);  // header stored
  EXPECT_EQ(l.wavHeader, 44u);
  EXPECT_TRUE(std::equal(wavHeader.begin(), wavHeader.end(), f.begin() + 76 + 40));
  EXPECT_EQ(l.seek[0], l.firstFrame);
  ExpectDecodes(path, input);
}

TEST(Container, TerminatingBytesFollowTheAudioAndAreDeclaredAsWavTail) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  const std::vector<uint8_t> input = ToBytes(Generate(Signal::kSquare, 1000, 2));
  EncodeSettings s;
  s.tail = {'L', 'I', 'S', 'T', 2, 0, 0, 0, 'x', 'y'};
  s.wavTail = 10;
  ASSERT_EQ(Encode(path, input, s).finish, 0);
  const std::vector<uint8_t> f = ReadFile(path);
  const Layout l = ReadLayout(f);
  EXPECT_EQ(l.wavTail, 10u);
  EXPECT_EQ(f.size(), l.firstFrame + l.audioBytes + 10);
  EXPECT_TRUE(std::equal(s.tail.begin(), s.tail.end(), f.end() - 10));
  ExpectDecodes(path, input);
}

// Lengths around the 56-byte padding boundary and the 64-byte blocks, fed
// whole and in uneven pieces, against md5sum.
TEST(Md5, MatchesMd5sumWhateverThePieces) {
  TempDir dir;
  for (size_t length : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000}) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = uint8_t(i * 131 + 7);
    const std::vector<uint8_t> expected = Md5Sum(bytes, dir.File("bytes"));
    apecompress::Md5 whole, pieces;
    whole.Update(bytes.data(), bytes.size());
    for (size_t at = 0, piece = 1; at < length; at += piece, piece = piece * 2 + 1) {
      pieces.Update(bytes.data() + at, std::min(piece, length - at));
    }
    const apecompress::Md5::Digest a = whole.Final(), b = pieces.Final();
    EXPECT_EQ(std::vector<uint8_t>(a.begin(), a.end()), expected) << length;
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()), expected) << length;
  }
}

// Frame kinds: a silent frame, a frame with equal channels and an ordinary
// one.
TEST(Container, SilentAndEqualChannelFramesAreFlagged) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  Pcm pcm = Generate(Signal::kSilence, kFrame, 2);
  const Pcm same = Generate(Signal::kMonoInBoth, kFrame, 2);
  const Pcm noise = Generate(Signal::kNoise, kFrame, 2);
  pcm.insert(pcm.end(), same.begin(), same.end());
  pcm.insert(pcm.end(), noise.begin(), noise.end());
  const std::vector<uint8_t> input = ToBytes(pcm);
  EncodeSettings s;
  s.blocksPerFrame = kFrame;
  ASSERT_EQ(Encode(path, input, s).finish, 0);
  const std::vector<uint8_t> f = ReadFile(path);
  const Layout l = ReadLayout(f);
  ASSERT_EQ(l.frames, 3u);
  // CRC, flags, the skipped byte and an empty range coder's flush; the next
  // frame follows at once, inside the fourth word.
  EXPECT_EQ(l.seek[1] - l.seek[0], 13u);
  const auto logical32 = [&](uint32_t seekEntry) {
    return LogicalBe32(f, l.firstFrame, seekEntry - l.firstFrame);
  };
  EXPECT_EQ(logical32(l.seek[0]) >> 31, 1u);
  EXPECT_EQ(logical32(l.seek[0] + 4), 3u);
  EXPECT_EQ(logical32(l.seek[1]) >> 31, 1u);
  EXPECT_EQ(logical32(l.seek[1] + 4), 4u);
  EXPECT_EQ(logical32(l.seek[2]) >> 31, 0u);
  ExpectDecodes(path, input);
}

}  // namespace
}  // namespace apetest
