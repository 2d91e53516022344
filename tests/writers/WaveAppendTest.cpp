// Appending to existing WAV files: continuation of PCM and IMA ADPCM, and
// the files and formats that are refused without touching the file.
#include <gtest/gtest.h>

#include "tests/writers/WaveTestSupport.h"

namespace cdx::test {
namespace {

void PatchLE32(std::vector<uint8_t>& f, size_t pos, uint32_t v) {
  for (int i = 0; i < 4; ++i) f[pos + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(WaveAppend, PcmContinuesTheFileAndTheFileDecidesTheType) {
  TTempDir dir;
  std::string file = dir.File("pcm.wav");
  auto a = CountingBytes(50000), b = PcmBytes(Noise(7000, 2, 1));
  TWaveRun run(file, a);
  ASSERT_TRUE(run.Run());
  run.Feed(b);
  run.writer->SetFileMode(foAppend);
  run.writer->SetWavType(wtDVIADPCM);  // the file says PCM
  ASSERT_TRUE(run.Run()) << ::testing::PrintToString(run.Errors());
  EXPECT_EQ(run.writer->WavType(), wtPCM);
  EXPECT_EQ(run.writer->BlockSize(), 4);  // the file's block align, kept after the run

  auto f = ReadFile(file);
  ASSERT_EQ(f.size(), 44 + a.size() + b.size());
  EXPECT_EQ(U32At(f, 40), a.size() + b.size());
  EXPECT_EQ(U32At(f, 4), f.size() - 8);
  auto data = a;
  data.insert(data.end(), b.begin(), b.end());
  EXPECT_EQ(Tail(f, 44), data);
  EXPECT_EQ(SoxSamples(file), std::to_string(data.size() / 4));
}

TEST(WaveAppend, IdentifiersInAnyCaseAndExtraChunksAreAccepted) {
  TTempDir dir;
  const std::vector<uint8_t> audio = CountingBytes(1000), more = CountingBytes(3002);
  struct Case {
    std::string riff, wave, fmt, data;
  };
  for (const Case& c :
       {Case{"riff", "wave", "fmt ", "data"}, Case{"RiFf", "wAvE", "FmT ", "DaTa"}}) {
    SCOPED_TRACE(c.riff);
    auto original =
        WaveFile({Chunk("junk", CountingBytes(10)), Chunk(c.fmt, FmtBody(1, 1, 22050, 2, 16)),
                  Chunk("list", CountingBytes(30)), Chunk(c.data, audio)},
                 c.riff, c.wave);
    std::string file = dir.File("foreign.wav");
    WriteFile(file, original);
    TWaveRun run(file, more, 22050, 1);
    run.writer->SetFileMode(foAppend);
    ASSERT_TRUE(run.Run()) << ::testing::PrintToString(run.Errors());

    auto expected = original;
    const size_t dataSizePos = original.size() - audio.size() - 4;
    PatchLE32(expected, dataSizePos, static_cast<uint32_t>(audio.size() + more.size()));
    expected.insert(expected.end(), more.begin(), more.end());
    PatchLE32(expected, 4, static_cast<uint32_t>(expected.size() - 8));
    EXPECT_EQ(ReadFile(file), expected);
  }
}

TEST(WaveAppend, AnEmptyOrMissingFileGetsAFreshHeader) {
  TTempDir dir;
  for (TWavType type : {wtPCM, wtDVIADPCM}) {
    for (bool exists : {true, false}) {
      SCOPED_TRACE(std::to_string(type) + (exists ? " empty" : " missing"));
      std::string file = dir.File("fresh" + std::to_string(type) + std::to_string(exists) + ".wav");
      if (exists) WriteFile(file, {});
      TWaveRun run(file, PcmBytes(Noise(3000, 2, 4)));
      run.writer->SetWavType(type);
      run.writer->SetFileMode(foAppend);
      ASSERT_TRUE(run.Run()) << ::testing::PrintToString(run.Errors());
      auto f = ReadFile(file);
      EXPECT_EQ(U32At(f, 4), f.size() - 8);
      if (type == wtPCM) {
        ASSERT_EQ(f.size(), 44u + 12000);
        EXPECT_EQ(U32At(f, 40), 12000u);
      } else {
        ASSERT_EQ(f.size(), 60u + 6 * 512);  // 3000 frames = 5 blocks of 505, plus 1
        EXPECT_EQ(U32At(f, 56), 6u * 512);
        EXPECT_EQ(U32At(f, 48), 6u * 505);
      }
    }
  }
}

TEST(WaveAppend, AdpcmContinuesWithTheStepIndicesOfThePreviousRun) {
  TTempDir dir;
  std::string file = dir.File("adpcm.wav");
  const int blockSize = 256, perBlock = blockSize - 7;
  // The last block holds only three frames of silence, so the step
  // indices end far from 0.
  auto first = Noise(6 * perBlock - 3, 2, 21, 20000);
  auto second = SineWave(3 * perBlock + 40, 2, 2000, 44100, 15000);
  TWaveRun run(file, PcmBytes(first));
  run.writer->SetWavType(wtDVIADPCM);
  run.writer->SetBlockSize(blockSize);
  ASSERT_TRUE(run.Run());
  auto afterFirst = ReadFile(file);
  const size_t firstBlocks = (afterFirst.size() - 60) / blockSize;
  ASSERT_EQ(firstBlocks, 6u);
  auto state = DecodeImaReference(Tail(afterFirst, 60), 2, blockSize).lastStepIndex;
  ASSERT_TRUE(state[0] != 0 || state[1] != 0);

  // The file decides: type and block size come from its header.
  run.Feed(PcmBytes(second));
  run.writer->SetFileMode(foAppend);
  run.writer->SetWavType(wtPCM);
  run.writer->SetBlockSize(1024);
  ASSERT_TRUE(run.Run()) << ::testing::PrintToString(run.Errors());
  EXPECT_EQ(run.writer->WavType(), wtDVIADPCM);
  EXPECT_EQ(run.writer->BlockSize(), blockSize);

  auto f = ReadFile(file);
  ASSERT_EQ(f.size(), afterFirst.size() + 4 * blockSize);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 60, f.begin() + afterFirst.size()),
            Tail(afterFirst, 60));
  EXPECT_EQ(U32At(f, 56), 10u * blockSize);
  EXPECT_EQ(U32At(f, 48), 10u * perBlock);
  EXPECT_EQ(U32At(f, 4), f.size() - 8);
  // The first appended block carries on from the step indices the encoder
  // ended with.
  const size_t next = afterFirst.size();
  EXPECT_EQ(f[next + 2], state[0]);
  EXPECT_EQ(f[next + 6], state[1]);
  auto decoded = DecodeImaReference(Tail(f, 60), 2, blockSize).samples;
  EXPECT_EQ(DecodeWithFfmpeg(file, dir.File("raw")), decoded);
  EXPECT_EQ(decoded[firstBlocks * perBlock * 2], second[0]);
}

TEST(WaveAppend, OtherFormatsAreRefusedAndTheFileIsLeftAsItWas) {
  TTempDir dir;
  std::string pcm = dir.File("pcm.wav"), adpcm = dir.File("adpcm.wav");
  {
    TWaveRun make(pcm, CountingBytes(20000));
    ASSERT_TRUE(make.Run());
    TWaveRun makeAdpcm(adpcm, CountingBytes(20000));
    makeAdpcm.writer->SetWavType(wtDVIADPCM);
    ASSERT_TRUE(makeAdpcm.Run());
  }
  const std::string different = "Cannot append data in different audio format.";
  struct Case {
    std::string file;
    int rate, channels, bits;
    std::string message;
  };
  for (const Case& c : {Case{pcm, 22050, 2, 16, different}, Case{pcm, 44100, 1, 16, different},
                        Case{pcm, 44100, 2, 8, different}, Case{adpcm, 22050, 2, 16, different},
                        Case{adpcm, 44100, 1, 16, different},
                        Case{adpcm, 44100, 2, 8, "Cannot encode 8 bit sound into ADPCM."}}) {
    SCOPED_TRACE(c.file + " " + std::to_string(c.rate) + " " + std::to_string(c.channels) + " " +
                 std::to_string(c.bits));
    auto before = ReadFile(c.file);
    TWaveRun run(c.file, CountingBytes(4000), c.rate, c.channels, c.bits);
    run.writer->SetFileMode(foAppend);
    int fds = OpenFdCount();
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(run.Errors(), std::vector<std::string>{c.message});
    EXPECT_EQ(ReadFile(c.file), before);
    EXPECT_EQ(run.source->OpenCount, 1);
    EXPECT_EQ(run.source->CloseCount, 1);
    EXPECT_EQ(OpenFdCount(), fds);
  }
}

TEST(WaveAppend, FilesThatCannotBeContinuedAreRefusedUntouched) {
  TTempDir dir;
  const auto audio = CountingBytes(2048);
  const auto adpcmFmt = [](uint16_t blockAlign) {
    auto body = FmtBody(0x11, 2, 44100, blockAlign, 4);
    PutLE(body, 2, 2);
    PutLE(body, blockAlign - 7, 2);
    return body;
  };
  std::vector<uint8_t> factBody;
  PutLE(factBody, 2020, 4);
  const auto pcmFmt = Chunk("fmt ", FmtBody(1, 2, 44100, 4, 16));
  const auto pcmFile = WaveFile({pcmFmt, Chunk("data", audio)});
  auto junkFirst = pcmFile;
  junkFirst.insert(junkFirst.begin(), {'x', 'y', 'z'});
  // Sized to the whole file, so only where RIFF starts gives it away.
  PatchLE32(junkFirst, 3 + 4, static_cast<uint32_t>(junkFirst.size() - 8));
  auto riffTooLong = pcmFile, dataTooLong = pcmFile;
  PatchLE32(riffTooLong, 4, static_cast<uint32_t>(pcmFile.size()));
  PatchLE32(dataTooLong, pcmFile.size() - audio.size() - 4, audio.size() + 4);

  const std::string cannot = "Cannot append data to this .wav file.";
  const std::string notLast = cannot + " Its data chunk does not end the file.";
  struct Case {
    const char* name;
    std::vector<uint8_t> contents;
    std::string message;
  };
  const Case cases[] = {
      {"ADPCM without fact", WaveFile({Chunk("fmt ", adpcmFmt(512)), Chunk("data", audio)}),
       cannot},
      {"float samples",
       WaveFile({Chunk("fmt ", FmtBody(3, 2, 44100, 8, 32)), Chunk("data", audio)}), cannot},
      {"no data chunk", WaveFile({pcmFmt}), cannot},
      {"cut inside the header", std::vector<uint8_t>(pcmFile.begin(), pcmFile.begin() + 30),
       cannot},
      {"not a WAV file", CountingBytes(20000), cannot},
      {"bytes before RIFF", junkFirst, cannot + " It has bytes before its RIFF header."},
      {"RIFF size beyond the file", riffTooLong,
       cannot + " Its RIFF size does not match its length."},
      {"data size beyond the file", dataTooLong, notLast},
      {"LIST after data",
       WaveFile({pcmFmt, Chunk("data", audio), Chunk("LIST", CountingBytes(30))}), notLast},
      {"part of a frame at the end", WaveFile({pcmFmt, Chunk("data", CountingBytes(2046))}),
       cannot + " Its data is not a whole number of frames."},
      {"block align smaller than a frame",
       WaveFile({Chunk("fmt ", FmtBody(1, 2, 44100, 2, 16)), Chunk("data", CountingBytes(2046))}),
       cannot + " Its block align does not match its format."},
      {"part of an ADPCM block at the end",
       WaveFile({Chunk("fmt ", adpcmFmt(512)), Chunk("fact", factBody),
                 Chunk("data", CountingBytes(2148))}),
       cannot + " Its data is not a whole number of blocks."},
      {"ADPCM blocks too small for stereo",
       WaveFile({Chunk("fmt ", adpcmFmt(12)), Chunk("fact", factBody),
                 Chunk("data", CountingBytes(12 * 170))}),
       cannot + " Its IMA ADPCM block size does not fit its channels."},
  };
  for (const auto& [name, contents, message] : cases) {
    SCOPED_TRACE(name);
    std::string file = dir.File("refused.wav");
    WriteFile(file, contents);
    TWaveRun run(file, CountingBytes(4000));
    run.writer->SetFileMode(foAppend);
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(run.Errors(), std::vector<std::string>{message});
    EXPECT_EQ(ReadFile(file), contents);
    EXPECT_EQ(run.source->CloseCount, run.source->OpenCount);
  }
}

}  // namespace
}  // namespace cdx::test
