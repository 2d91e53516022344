// The Ogg Vorbis writer with the real libvorbis and libogg: files checked by
// ogginfo, oggdec, ffmpeg and vorbiscomment, through modes, comments,
// appends, stops and failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>

#include "tests/support/OggTools.h"
#include "tests/support/TestSources.h"
#include "tests/support/WriterRun.h"
#include "writers/ACS_Vorbis.h"

namespace cdx::test {
namespace {

struct TOggRun : TWriterRun<TVorbisOut> {
  TOggRun(std::vector<uint8_t> bytes, int channels, int rate = 44100, int bits = 16)
      : TWriterRun("out.ogg", std::move(bytes), channels, rate, bits) {}
};

// Two different tones, so a swap of the channels shows as a large error.
std::vector<uint8_t> TwoTones(int frames, int channels, int rate) {
  std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
  const auto left = SineWave(frames, 1, 440.0, rate, 12000.0);
  const auto right = SineWave(frames, 1, 1250.0, rate, 5000.0);
  for (int i = 0; i < frames; ++i) {
    samples[static_cast<size_t>(i) * channels] = left[i];
    if (channels == 2) samples[static_cast<size_t>(i) * 2 + 1] = right[i];
  }
  return PcmBytes(samples);
}

std::string Describe(const TOggInfo& info) {
  return info.Output;
}

struct ModeCase {
  const char* name;
  int channels, rate, frames;
  int chunk;  // largest count the source hands out per read
  std::function<void(TVorbisOut&)> settings;
  // As ogginfo reports them, kb/s; -1 "not set".
  double nominal, upper, lower;
};

std::vector<ModeCase> ModeCases() {
  auto keep = [](TVorbisOut&) {};
  return {
      {"stereo_quality", 2, 44100, 100000, 1 << 30, keep, -2, -1, -1},
      {"mono_quality", 1, 22050, 50000, 65536, keep, -2, -1, -1},
      {"frames_split_across_reads", 2, 44100, 60000, 4099, keep, -2, -1, -1},
      {"highest_quality", 2, 44100, 30000, 1 << 30, [](TVorbisOut& w) { w.SetCompression(1.0f); },
       -2, -1, -1},
      {"managed_128_alone", 2, 44100, 100000, 1 << 30,
       [](TVorbisOut& w) { w.SetDesiredNominalBitrate(bbr128); }, 128, 128, 128},
      {"managed_128_192_64", 2, 44100, 100000, 1 << 30,
       [](TVorbisOut& w) {
         w.SetDesiredNominalBitrate(bbr128);
         w.SetDesiredMaximumBitrate(bbr192);
         w.SetMinimumBitrate(bbr64);
       },
       128, 192, 64},
      {"managed_mono_64_max_80", 1, 32000, 40000, 7000,
       [](TVorbisOut& w) {
         w.SetDesiredNominalBitrate(bbr64);
         w.SetDesiredMaximumBitrate(bbr80);
       },
       64, 80, 64},
  };
}

void PrintTo(const ModeCase& c, std::ostream* out) {
  *out << c.name;
}

class OggModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(OggModes, ToolsAcceptTheFileAndDecodeEverySampleInItsChannels) {
  const ModeCase& c = GetParam();
  TOggRun run(TwoTones(c.frames, c.channels, c.rate), c.channels, c.rate);
  run.source->Chunk = c.chunk;
  c.settings(*run.writer);
  EXPECT_EQ(run.Run().Result, TRunResult::Done);
  EXPECT_TRUE(run.Errors().empty()) << run.Errors().front();
  EXPECT_EQ(run.Done(), 1);
  EXPECT_FALSE(run.source->Busy());

  const TOggInfo info = OggInfo(run.file);
  EXPECT_TRUE(info.Clean()) << Describe(info);
  ASSERT_EQ(info.Streams.size(), 1u) << Describe(info);
  const TOggStream& s = info.Streams[0];
  EXPECT_EQ(s.Channels, c.channels);
  EXPECT_EQ(s.Rate, c.rate);
  EXPECT_TRUE(s.Ended);
  EXPECT_EQ(s.Serial, "00000000");
  // Quality mode: libvorbisenc names a nominal rate of its own, no limits.
  if (c.nominal == -2)
    EXPECT_GT(s.Nominal, 0);
  else
    EXPECT_EQ(s.Nominal, c.nominal);
  EXPECT_EQ(s.Upper, c.upper);
  EXPECT_EQ(s.Lower, c.lower);

  EXPECT_EQ(ProbeStream(run.file), std::to_string(c.rate) + "," + std::to_string(c.channels) + "," +
                                       std::to_string(c.frames));
  const std::vector<uint8_t> decoded = DecodeWithOggdec(run.file);
  EXPECT_EQ(decoded.size(), run.source->Bytes().size()) << "every sample, none added";
  for (double error : RelativeError(run.source->Bytes(), decoded, c.channels))
    EXPECT_LT(error, 0.05) << "the decoded audio is not the tone that was fed";
  std::string errors;
  EXPECT_FALSE(DecodeWithFfmpegTool(run.file, &errors).empty()) << errors;
  EXPECT_TRUE(errors.empty()) << errors;
}

INSTANTIATE_TEST_SUITE_P(, OggModes, ::testing::ValuesIn(ModeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OggOut, QualitySetsTheSize) {
  // The quality reaches the encoder: the highest gives a larger file.
  auto size = [](float quality) {
    TOggRun run(PcmBytes(Noise(88200, 2, 11, 8000)), 2);
    run.writer->SetCompression(quality);
    run.Run();
    return std::filesystem::file_size(run.file);
  };
  EXPECT_LT(size(0.0f) * 2, size(1.0f));
}

TEST(OggOut, CommentsReadBackInOrderWithTheFirstValueOfEachName) {
  TOggRun run(TwoTones(20000, 2, 44100), 2);
  run.writer->SetComments({"TITLE=a", "ARTIST=b"});
  for (const char* line : {"title=c", "Made with Quorvelle", "=free text", "EMPTY=", "A=x=y",
                           "TÍTULO=x", "A~B=y", "WITH SPACE=z"})
    run.writer->AddComment(line);
  ASSERT_EQ(run.Run().Result, TRunResult::Done);
  EXPECT_EQ(
      VorbisCommentsOf(run.file),
      (std::vector<std::string>{"TITLE=a", "ARTIST=b", "title=a", "COMMENT=Made with Quorvelle",
                                "COMMENT=free text", "EMPTY=", "A=x=y", "COMMENT=TÍTULO=x",
                                "COMMENT=A~B=y", "WITH SPACE=z"}));
  EXPECT_TRUE(OggInfo(run.file).Clean()) << OggInfo(run.file).Output;
  EXPECT_TRUE(run.writer->Comments().empty()) << "the comments belong to one run";

  ASSERT_EQ(run.Run().Result, TRunResult::Done);
  EXPECT_TRUE(VorbisCommentsOf(run.file).empty());
}

TEST(OggOut, CommentsAreDroppedAlsoWhenTheRunCannotStart) {
  TOggRun run(TwoTones(1000, 2, 44100), 2);
  run.writer->AddComment("TITLE=a");
  run.writer->SetFileName(run.dir.File("missing/out.ogg"));
  EXPECT_EQ(run.Run().Result, TRunResult::Failed);
  EXPECT_TRUE(run.writer->Comments().empty());
}

// What the bitrate setters keep, as nominal/maximum/minimum ordinals.
struct SetterCase {
  const char* steps;  // N, X, M for nominal, maximum, minimum; then the ordinal
  int nominal, maximum, minimum;
};

TEST(OggOut, BitrateSettersKeepTheThreeConsistent) {
  const SetterCase cases[] = {
      {"", 0, 0, 0},
      {"N8", 8, 8, 0},               // 128 raises the maximum to it
      {"N8 X11 M4", 8, 11, 4},       // 128, 192, 64
      {"X11", 0, 0, 0},              // no maximum in quality mode
      {"M4", 0, 0, 0},               // nor a minimum
      {"N8 X6", 8, 8, 0},            // a maximum below the nominal is refused
      {"N8 X11 X0", 8, 0, 0},        // AutoSelect is taken
      {"N8 M10", 8, 8, 0},           // a minimum above the nominal is refused
      {"N8 M8", 8, 8, 8},            // equal is taken
      {"N8 X11 M4 N0", 0, 0, 0},     // AutoSelect resets both limits
      {"N8 X11 M4 N13", 13, 13, 4},  // raising pushes the maximum up
      {"N8 X11 M4 N2", 2, 11, 2},    // lowering pulls the minimum down
      {"N8 X16", 8, 8, 0},           // not a bitrate at all
      {"N16", 0, 0, 0},
  };
  for (const SetterCase& c : cases) {
    auto writer = MakeComponent<TVorbisOut>();
    std::istringstream steps(c.steps);
    for (std::string step; steps >> step;) {
      const auto value = static_cast<TVorbisBitRate>(std::stoi(step.substr(1)));
      if (step[0] == 'N') writer->SetDesiredNominalBitrate(value);
      if (step[0] == 'X') writer->SetDesiredMaximumBitrate(value);
      if (step[0] == 'M') writer->SetMinimumBitrate(value);
    }
    EXPECT_EQ(writer->DesiredNominalBitrate(), c.nominal) << c.steps;
    EXPECT_EQ(writer->DesiredMaximumBitrate(), c.maximum) << c.steps;
    EXPECT_EQ(writer->MinimumBitrate(), c.minimum) << c.steps;
  }
}

TEST(OggOut, AppendAddsASecondCompleteStreamWithASerialOfItsOwn) {
  TOggRun run(TwoTones(30000, 2, 44100), 2);
  run.writer->SetFileMode(foAppend);
  ASSERT_EQ(run.Run().Result, TRunResult::Done) << "no file yet: the run creates it";
  const std::vector<uint8_t> first = ReadFile(run.file);
  ASSERT_EQ(run.Run().Result, TRunResult::Done);
  EXPECT_TRUE(run.Errors().empty()) << run.Errors().front();

  const std::vector<uint8_t> both = ReadFile(run.file);
  ASSERT_GT(both.size(), first.size());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), both.begin())) << "the first stream is kept";
  const TOggInfo info = OggInfo(run.file);
  EXPECT_TRUE(info.Clean()) << info.Output;
  ASSERT_EQ(info.Streams.size(), 2u) << info.Output;
  EXPECT_NE(info.Streams[0].Serial, info.Streams[1].Serial);
  EXPECT_TRUE(info.Streams[0].Ended && info.Streams[1].Ended);

  // The second stream alone decodes to every sample of the second run.
  const std::string second = run.dir.File("second.ogg");
  WriteFile(second,
            std::vector<uint8_t>(both.begin() + static_cast<long>(first.size()), both.end()));
  EXPECT_EQ(DecodeWithOggdec(second).size(), run.source->Bytes().size());
  std::string errors;
  const std::vector<uint8_t> all = DecodeWithFfmpegTool(run.file, &errors);
  EXPECT_TRUE(errors.empty()) << errors;
  // ffmpeg reads both streams, less at most the 128 frames it trims off the
  // end of some streams, also of oggenc's.
  EXPECT_LE(all.size(), 2 * run.source->Bytes().size());
  EXPECT_GE(all.size(), 2 * run.source->Bytes().size() - 2 * 128 * 4) << "read in full";
}

TEST(OggOut, AppendAfterAStreamOfTheSameSerialTakesTheNextFreeOne) {
  TOggRun run(TwoTones(10000, 2, 44100), 2);
  run.writer->SetSerial(7);
  ASSERT_EQ(run.Run().Result, TRunResult::Done);
  run.writer->SetFileMode(foAppend);
  ASSERT_EQ(run.Run().Result, TRunResult::Done);
  ASSERT_EQ(run.Run().Result, TRunResult::Done);
  const TOggInfo info = OggInfo(run.file);
  EXPECT_TRUE(info.Clean()) << info.Output;
  ASSERT_EQ(info.Streams.size(), 3u) << info.Output;
  EXPECT_EQ(info.Streams[0].Serial, "00000007");
  EXPECT_EQ(info.Streams[1].Serial, "00000008");
  EXPECT_EQ(info.Streams[2].Serial, "00000009");
}

TEST(OggOut, StoppedRunEndsItsStreamWithTheAudioReadSoFar) {
  TOggRun run(TwoTones(400000, 2, 44100), 2);
  run.source->Chunk = 65536;
  int reads = 0;
  run.source->OnRead = [&] {
    if (++reads == 4) run.writer->Stop();
  };
  EXPECT_EQ(run.Run().Result, TRunResult::Stopped);
  EXPECT_TRUE(run.Errors().empty());
  const TOggInfo info = OggInfo(run.file);
  EXPECT_TRUE(info.Clean()) << info.Output;
  ASSERT_EQ(info.Streams.size(), 1u);
  EXPECT_TRUE(info.Streams[0].Ended);
  const std::vector<uint8_t> decoded = DecodeWithOggdec(run.file);
  EXPECT_EQ(decoded.size(), 4u * 65536) << "every block read is in the file";

  // A later append follows a finished stream: the chain stays valid.
  run.source->OnRead = nullptr;
  run.writer->SetFileMode(foAppend);
  EXPECT_EQ(run.Run().Result, TRunResult::Done);
  const TOggInfo chained = OggInfo(run.file);
  EXPECT_TRUE(chained.Clean()) << chained.Output;
  EXPECT_EQ(chained.Streams.size(), 2u);
}

TEST(OggOut, EmptyInputGivesAFinishedStreamWithoutAudio) {
  // libvorbis ends an empty stream with one packet of granule position 0,
  // for oggenc too; ogginfo reads the stream but notes that packet.
  TOggRun run({}, 2);
  EXPECT_EQ(run.Run().Result, TRunResult::Done);
  const TOggInfo info = OggInfo(run.file);
  ASSERT_EQ(info.Streams.size(), 1u) << info.Output;
  EXPECT_TRUE(info.Streams[0].Ended);
  EXPECT_TRUE(DecodeWithOggdec(run.file).empty());
}

struct RefusedCase {
  const char* name;
  int channels, rate, bits;
  std::function<void(TVorbisOut&)> settings;
  const char* message;
};

TEST(OggOut, RefusedSetUpFailsTheRunBeforeAnyAudioAndKeepsTheEarlierFile) {
  const RefusedCase cases[] = {
      {"managed mode out of reach", 1, 8000, 16,
       [](TVorbisOut& w) { w.SetDesiredNominalBitrate(bbr320); },
       "The Ogg Vorbis encoder refused the managed mode at nominal 320000, maximum 320000 and "
       "minimum 320000 bit/s for 8000 Hz mono."},
      {"quality below what the encoder takes", 2, 44100, 16,
       [](TVorbisOut& w) { w.SetCompression(-0.5f); },
       "The Ogg Vorbis encoder refused the quality mode at quality -0.50 for 44100 Hz stereo."},
      {"rate beyond the quality mode's", 1, 384000, 16, [](TVorbisOut&) {},
       "The Ogg Vorbis encoder refused the quality mode at quality 0.20 for 384000 Hz mono."},
      {"eight-bit samples", 2, 44100, 8, [](TVorbisOut&) {},
       "The Ogg Vorbis writer takes 16-bit samples only."},
      {"six channels", 6, 44100, 16, [](TVorbisOut&) {},
       "The Ogg Vorbis writer takes mono or stereo input only."},
  };
  for (const RefusedCase& c : cases) {
    TOggRun run(TwoTones(20000, 2, 44100), c.channels, c.rate, c.bits);
    WriteFile(run.file, {1, 2, 3});
    c.settings(*run.writer);
    const int fds = OpenFdCount();
    EXPECT_EQ(run.Run().Result, TRunResult::Failed) << c.name;
    ASSERT_EQ(run.Errors().size(), 1u) << c.name;
    EXPECT_EQ(run.Errors().front(), c.message) << c.name;
    EXPECT_EQ(run.source->ReadCalls, 0) << c.name;
    EXPECT_EQ(run.source->CloseCount, run.source->OpenCount) << c.name;
    EXPECT_EQ(OpenFdCount(), fds) << c.name;
    EXPECT_EQ(ReadFile(run.file), (std::vector<uint8_t>{1, 2, 3})) << c.name;
    EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty()) << c.name;
  }
}

TEST(OggOut, FileThatCannotBeCreatedFailsTheStartBeforeTheInputIsOpened) {
  TOggRun run(TwoTones(1000, 2, 44100), 2);
  const std::string file = run.dir.File("missing/folder/out.ogg");
  run.writer->SetFileName(file);
  EXPECT_EQ(run.Run().Result, TRunResult::Failed);
  ASSERT_EQ(run.Errors().size(), 1u);
  EXPECT_EQ(run.Errors().front(), "Cannot create file \"" + file + "\": No such file or directory");
  EXPECT_EQ(run.source->OpenCount, 0);
}

TEST(OggOut, WriteFailureFailsTheRunAndKeepsTheEarlierFile) {
  for (bool append : {false, true}) {
    TOggRun run(TwoTones(400000, 2, 44100), 2);
    run.writer->SetFileMode(append ? foAppend : foRewrite);
    WriteFile(run.file, {1, 2, 3});
    {
      // Files may not grow past 16 KiB, as on a full disk.
      TFileSizeLimit full(16384);
      EXPECT_EQ(run.Run().Result, TRunResult::Failed) << append;
    }
    ASSERT_EQ(run.Errors().size(), 1u) << append;
    EXPECT_EQ(run.Errors().front().find('\n'), std::string::npos) << run.Errors().front();
    EXPECT_NE(run.Errors().front().find("File too large"), std::string::npos)
        << run.Errors().front();
    EXPECT_EQ(run.Done(), 0) << append;
    EXPECT_EQ(ReadFile(run.file), (std::vector<uint8_t>{1, 2, 3})) << append;
    EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty()) << append;
  }
}

}  // namespace
}  // namespace cdx::test
