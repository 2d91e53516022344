// Files decoded by two unrelated decoders: ffmpeg, which finds each frame
// through the seek table, and a decoder of the format's reference family,
// which reads the frames one after the other and whose verify command checks
// the MD5. Both must give back exactly the PCM that went in, the verify must
// pass, at every level, in mono and stereo, across silent and pseudo-stereo
// frames, for one frame or many, and for a run of the writer that was stopped.
#include <gtest/gtest.h>

#include <functional>

#include "tests/apecompress/ApeTestSupport.h"
#include "tests/support/TestSources.h"
#include "writers/ACS_MAC.h"

namespace apetest {
namespace {

// Real music, stereo or its left channel alone.
Pcm Music(double seconds, int channels, double start = 20) {
  const Pcm stereo = DecodeMusic("freezingpoint.ogg", start, seconds);
  if (channels == 2) return stereo;
  Pcm mono(stereo.size() / 2);
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = stereo[2 * i];
  return mono;
}

Pcm Join(std::initializer_list<Pcm> parts) {
  Pcm all;
  for (const Pcm& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The blocks of music from `block` on, for frames of kSmallFrame blocks.
Pcm MusicFrames(int channels, uint32_t frames, uint32_t block) {
  const Pcm music = Music(1, channels);
  const auto first = music.begin() + std::ptrdiff_t(block) * channels;
  return Pcm(first, first + std::ptrdiff_t(frames) * kSmallFrame * channels);
}

Pcm SilentFrame(int channels) {
  return Generate(Signal::kSilence, kSmallFrame, channels);
}

// Music whose right channel repeats the left.
Pcm PseudoStereoFrame() {
  Pcm same = MusicFrames(2, 1, 20000);
  for (size_t i = 0; i + 1 < same.size(); i += 2) same[i + 1] = same[i];
  return same;
}

// Two frames of music, the frame, then a frame of music and a bit.
Pcm AroundOneFrame(const Pcm& frame) {
  const int channels = frame.size() == kSmallFrame ? 1 : 2;
  const Pcm tail = Generate(Signal::kSweep, 100, channels);
  return Join({MusicFrames(channels, 2, 0), frame, MusicFrames(channels, 1, 30000), tail});
}

// The canonical 44-byte WAV header of `dataBytes` of 16-bit PCM.
std::vector<uint8_t> WavHeader(uint32_t dataBytes, int channels, uint32_t rate) {
  std::vector<uint8_t> h(44);
  const auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  std::copy_n("RIFF", 4, h.begin());
  put(4, 36 + dataBytes, 4);
  std::copy_n("WAVEfmt ", 8, h.begin() + 8);
  put(16, 16, 4);
  put(20, 1, 2);
  put(22, uint32_t(channels), 2);
  put(24, rate, 4);
  put(28, rate * 2 * uint32_t(channels), 4);
  put(32, 2 * uint32_t(channels), 2);
  put(34, 16, 2);
  std::copy_n("data", 4, h.begin() + 36);
  put(40, dataBytes, 4);
  return h;
}

// Writes the case's file at the path; returns the PCM the file must hold.
using MakeFile = std::function<std::vector<uint8_t>(const std::string& path)>;

MakeFile ThroughCompressor(int level, int channels, std::function<Pcm()> pcm,
                           uint32_t blocksPerFrame = 0) {
  return [=](const std::string& path) {
    const std::vector<uint8_t> input = ToBytes(pcm());
    EncodeSettings s;
    s.level = level;
    s.channels = channels;
    s.blocksPerFrame = blocksPerFrame;
    const EncodeResult r = Encode(path, input, s);
    EXPECT_EQ(r.unlock, 0);
    EXPECT_EQ(r.finish, 0);
    return input;
  };
}

// A stored WAV header and tail, and a seek table that had to grow: the
// MD5 then covers every part it can.
MakeFile WithStoredHeaderAndTail() {
  return [](const std::string& path) {
    const std::vector<uint8_t> input = ToBytes(Music(2, 2));
    const std::vector<uint8_t> header = WavHeader(uint32_t(input.size()), 2, 44100);
    EncodeSettings s;
    s.level = 3000;
    s.blocksPerFrame = 8191;
    s.maxAudioBytes = 1;
    s.header = header.data();
    s.headerBytes = int(header.size());
    s.tail = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    s.wavTail = int(s.tail.size());
    EXPECT_EQ(Encode(path, input, s).finish, 0);
    return input;
  };
}

// The program's own path: the writer, fed 64 KiB blocks, stopped by the
// user after `reads` of them.
MakeFile WriterStoppedAfter(int level, int reads) {
  return [=](const std::string& path) {
    using namespace cdx;
    auto source = MakeComponent<test::TMemorySource>(ToBytes(Music(10, 2)), 44100, 2);
    auto writer = MakeComponent<TMACOut>();
    source->Chunk = 65536;
    int seen = 0;
    source->OnRead = [&] {
      if (++seen == reads) writer->Stop();
    };
    writer->SetInput(source.get());
    writer->SetFileName(path);
    writer->SetCompressionLevel(level);
    writer->Run();
    const TRunEnd end = test::AwaitRunEnd(*writer);
    EXPECT_EQ(end.Result, TRunResult::Stopped) << end.Message;
    const auto& bytes = source->Bytes();
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(reads) * 65536);
  };
}

struct DecoderCase {
  const char* name;
  MakeFile make;
};

void PrintTo(const DecoderCase& c, std::ostream* out) {
  *out << c.name;
}

class TwoDecoders : public ::testing::TestWithParam<DecoderCase> {};

TEST_P(TwoDecoders, GiveBackTheInputAndTheFileVerifies) {
  TempDir dir;
  const std::string path = dir.File("out.ape");
  const std::vector<uint8_t> expected = GetParam().make(path);
  ASSERT_FALSE(expected.empty()) << "no input: extremetuxracer-data is needed";
  const Decoded ffmpeg = DecodeWithFfmpeg(path);
  EXPECT_EQ(ffmpeg.messages, "");
  EXPECT_TRUE(ffmpeg.pcm == expected)
      << "ffmpeg: " << ffmpeg.pcm.size() << " bytes of " << expected.size();
  const Decoded reference = DecodeWithJmac(path);
  EXPECT_EQ(reference.messages, "");
  EXPECT_TRUE(reference.pcm == expected)
      << "reference family: " << reference.pcm.size() << " bytes of " << expected.size();
  EXPECT_EQ(VerifyWithJmac(path), "");
}

// Eight seconds of music hold several frames at levels 1000 to 4000; level
// 5000's frame is longer than that, and its many frames come from a shorter
// frame length.
INSTANTIATE_TEST_SUITE_P(
    Files, TwoDecoders,
    ::testing::Values(
        DecoderCase{"L1000Stereo", ThroughCompressor(1000, 2, [] { return Music(8, 2); })},
        DecoderCase{"L1000Mono", ThroughCompressor(1000, 1, [] { return Music(8, 1); })},
        DecoderCase{"L2000Stereo", ThroughCompressor(2000, 2, [] { return Music(8, 2); })},
        DecoderCase{"L2000Mono", ThroughCompressor(2000, 1, [] { return Music(8, 1); })},
        DecoderCase{"L3000Stereo", ThroughCompressor(3000, 2, [] { return Music(8, 2); })},
        DecoderCase{"L3000Mono", ThroughCompressor(3000, 1, [] { return Music(8, 1); })},
        DecoderCase{"L4000Stereo", ThroughCompressor(4000, 2, [] { return Music(8, 2); })},
        DecoderCase{"L4000Mono", ThroughCompressor(4000, 1, [] { return Music(8, 1); })},
        DecoderCase{"L5000Stereo", ThroughCompressor(5000, 2, [] { return Music(4, 2); })},
        DecoderCase{"L5000Mono", ThroughCompressor(5000, 1, [] { return Music(4, 1); })},
        DecoderCase{"SilenceFrameStereo",
                    ThroughCompressor(
                        2000, 2, [] { return AroundOneFrame(SilentFrame(2)); }, kSmallFrame)},
        DecoderCase{"SilenceFrameMono",
                    ThroughCompressor(
                        4000, 1, [] { return AroundOneFrame(SilentFrame(1)); }, kSmallFrame)},
        DecoderCase{"PseudoStereoFrame",
                    ThroughCompressor(
                        3000, 2, [] { return AroundOneFrame(PseudoStereoFrame()); }, kSmallFrame)},
        DecoderCase{"OneFrame", ThroughCompressor(4000, 2, [] { return Music(1, 2); })},
        DecoderCase{"OneBlock",
                    ThroughCompressor(2000, 2, [] { return Generate(Signal::kNoise, 1, 2); })},
        DecoderCase{"ManyFrames", ThroughCompressor(
                                      5000, 2, [] { return Music(3, 2); }, kSmallFrame)},
        DecoderCase{"StoredHeaderAndTail", WithStoredHeaderAndTail()},
        DecoderCase{"StoppedRun", WriterStoppedAfter(2000, 6)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace apetest
