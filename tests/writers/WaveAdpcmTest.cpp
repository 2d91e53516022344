// The WAV writer's IMA ADPCM path: header, block layout checked by ffmpeg's
// decoder against a reference decoding, the block-count rule and Stop.
#include <gtest/gtest.h>

#include <cmath>

#include <filesystem>

#include "tests/writers/WaveTestSupport.h"

namespace cdx::test {
namespace {

int SamplesPerBlock(int blockSize, int channels) {
  return channels == 1 ? 2 * (blockSize - 4) + 1 : blockSize - 7;
}

// Checks the 60-byte header of a finished file of whole blocks and returns
// the number of blocks.
size_t ExpectAdpcmFile(const std::vector<uint8_t>& f, int rate, int channels, int blockSize) {
  EXPECT_GE(f.size(), 60u);
  if (f.size() < 60) return 0;
  const int perBlock = SamplesPerBlock(blockSize, channels);
  const size_t dataSize = f.size() - 60;
  EXPECT_EQ(dataSize % blockSize, 0u);
  const size_t blocks = dataSize / blockSize;
  EXPECT_EQ(IdAt(f, 0), "RIFF");
  EXPECT_EQ(U32At(f, 4), f.size() - 8);
  EXPECT_EQ(IdAt(f, 8), "WAVE");
  EXPECT_EQ(IdAt(f, 12), "fmt ");
  EXPECT_EQ(U32At(f, 16), 20u);
  EXPECT_EQ(U16At(f, 20), 0x11);
  EXPECT_EQ(U16At(f, 22), channels);
  EXPECT_EQ(U32At(f, 24), static_cast<uint32_t>(rate));
  EXPECT_EQ(U32At(f, 28), static_cast<uint32_t>(rate / perBlock * blockSize));
  EXPECT_EQ(U16At(f, 32), blockSize);
  EXPECT_EQ(U16At(f, 34), 4);
  EXPECT_EQ(U16At(f, 36), 2);
  EXPECT_EQ(U16At(f, 38), perBlock);
  EXPECT_EQ(IdAt(f, 40), "fact");
  EXPECT_EQ(U32At(f, 44), 4u);
  EXPECT_EQ(U32At(f, 48), blocks * perBlock);
  EXPECT_EQ(IdAt(f, 52), "data");
  EXPECT_EQ(U32At(f, 56), dataSize);
  return blocks;
}

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    signal += double(reference[i]) * reference[i];
    noise += double(reference[i] - decoded[i]) * (reference[i] - decoded[i]);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

TEST(WaveAdpcm, FfmpegDecodesOurBlocksExactlyAsTheReferenceDecoderDoes) {
  TTempDir dir;
  for (int channels : {1, 2}) {
    for (int blockSize : {256, 512, 1024, 2048}) {
      SCOPED_TRACE(std::to_string(channels) + " channels, block " + std::to_string(blockSize));
      const int tone = 30011, frames = tone + 7777;
      // A tone with a little noise, then full-scale noise that drives the
      // quantiser to both ends of its range.
      auto input = SineWave(tone, channels, 440, 44100, 12000);
      auto hiss = Noise(tone, channels, 3, 300);
      for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<int16_t>(input[i] + hiss[i]);
      auto loud = Noise(frames - tone, channels, 11);
      input.insert(input.end(), loud.begin(), loud.end());

      std::string file = dir.File("adpcm.wav");
      TWaveRun run(file, PcmBytes(input), 44100, channels);
      run.writer->SetWavType(wtDVIADPCM);
      run.writer->SetBlockSize(static_cast<uint16_t>(blockSize));
      run.source->Chunk = 1001;  // blocks gathered from several reads
      ASSERT_TRUE(run.Run()) << ::testing::PrintToString(run.Errors());

      auto f = ReadFile(file);
      const int perBlock = SamplesPerBlock(blockSize, channels);
      EXPECT_EQ(ExpectAdpcmFile(f, 44100, channels, blockSize), size_t(frames / perBlock + 1));
      auto reference = DecodeImaReference(Tail(f, 60), channels, blockSize).samples;
      ASSERT_EQ(reference.size(), size_t(frames / perBlock + 1) * perBlock * channels);
      EXPECT_EQ(DecodeWithFfmpeg(file, dir.File("raw")), reference);

      // Each block starts with its first frame unchanged, and the tone
      // survives the encoding (decoded the way the encoder predicts).
      for (size_t frame = 0; frame < size_t(frames); frame += perBlock)
        for (int c = 0; c < channels; ++c)
          ASSERT_EQ(reference[frame * channels + c], input[frame * channels + c]);
      auto own = DecodeImaReference(Tail(f, 60), channels, blockSize, TImaDelta::ShiftAdd).samples;
      std::vector<int16_t> toneIn(input.begin(), input.begin() + tone * channels);
      std::vector<int16_t> toneOut(own.begin(), own.begin() + tone * channels);
      EXPECT_GT(SnrDb(toneIn, toneOut), 25.0);
    }
  }
}

TEST(WaveAdpcm, HeaderHoldsTheEstimatesDuringTheRunAndTheTruthAfter) {
  TTempDir dir;
  std::string file = dir.File("header.wav");
  const int frames = 44100;
  TWaveRun run(file, PcmBytes(SineWave(frames, 2, 1000, 44100, 9000)));
  run.writer->SetWavType(wtDVIADPCM);
  std::vector<uint8_t> early;
  run.source->OnRead = [&] {
    if (early.empty()) early = ReadFile(PartFilesIn(dir.Path()).at(0));
  };
  ASSERT_TRUE(run.Run());

  ASSERT_EQ(early.size(), 60u);
  EXPECT_EQ(U16At(early, 38), 505);
  EXPECT_EQ(U32At(early, 28), 44544u);
  EXPECT_EQ(U16At(early, 32), 512);
  EXPECT_EQ(U16At(early, 34), 4);
  EXPECT_EQ(U32At(early, 48), uint32_t(frames));
  // 44100 / 505 = 87.33 blocks, announced as 87.
  EXPECT_EQ(U32At(early, 56), 87u * 512);
  EXPECT_EQ(U32At(early, 4), 87u * 512 + 52);

  auto f = ReadFile(file);
  EXPECT_EQ(ExpectAdpcmFile(f, 44100, 2, 512), 88u);
  EXPECT_EQ(Probe(file, "codec_name"), "adpcm_ima_wav");
  EXPECT_EQ(Probe(file, "bits_per_sample"), "4");
  EXPECT_EQ(Probe(file, "duration_ts"), std::to_string(88 * 505));
  EXPECT_EQ(SoxSamples(file), std::to_string(88 * 505));
}

TEST(WaveAdpcm, SilenceGivesAllZeroBlocks) {
  TTempDir dir;
  for (int channels : {1, 2}) {
    std::string file = dir.File("silence.wav");
    const size_t bytes = 3 * 2034 + 500;
    TWaveRun run(file, std::vector<uint8_t>(bytes, 0), 44100, channels);
    run.writer->SetWavType(wtDVIADPCM);
    ASSERT_TRUE(run.Run());
    auto f = ReadFile(file);
    size_t blocks = ExpectAdpcmFile(f, 44100, channels, 512);
    EXPECT_EQ(blocks, bytes / (channels == 1 ? 2034 : 2020) + 1);
    EXPECT_EQ(Tail(f, 60), std::vector<uint8_t>(blocks * 512, 0));
  }
}

TEST(WaveAdpcm, ARunWritesOneBlockMoreThanTheWholeBlocksItRead) {
  TTempDir dir;
  const int n = 3;
  auto tone = PcmBytes(SineWave(n * 1017, 1, 300, 44100, 20000));
  ASSERT_EQ(tone.size(), size_t(n) * 2034);
  for (bool oneMore : {false, true}) {
    SCOPED_TRACE(oneMore);
    auto bytes = tone;
    if (oneMore) bytes.insert(bytes.end(), {0x34, 0x92});  // -28108
    std::string file = dir.File("blocks.wav");
    TWaveRun run(file, bytes, 44100, 1);
    run.writer->SetWavType(wtDVIADPCM);
    ASSERT_TRUE(run.Run());
    auto f = ReadFile(file);
    ASSERT_EQ(ExpectAdpcmFile(f, 44100, 1, 512), size_t(n + 1));
    auto last = Tail(f, 60 + n * 512);
    EXPECT_EQ(U16At(last, 0), oneMore ? 0x9234 : 0);
    auto decoded = DecodeImaReference(last, 1, 512, TImaDelta::ShiftAdd).samples;
    EXPECT_EQ(decoded[0], oneMore ? -28108 : 0);
    // The rest of the block encodes the silence it was padded with: after
    // the step size has settled it decodes to (almost) nothing.
    for (size_t i = decoded.size() / 2; i < decoded.size(); ++i)
      ASSERT_LE(std::abs(decoded[i]), 1) << i;
  }
}

TEST(WaveAdpcm, StopMidRunLeavesWholeBlocksAndMatchingSizeFields) {
  TTempDir dir;
  std::string file = dir.File("stop.wav");
  TWaveRun run(file, PcmBytes(Noise(100000, 2, 5, 5000)));
  run.writer->SetWavType(wtDVIADPCM);
  run.writer->SetBlockSize(1024);
  run.source->OnRead = [&] {
    if (run.source->ReadCalls == 3) run.writer->Stop();
  };
  ASSERT_TRUE(run.Run());
  auto f = ReadFile(file);
  EXPECT_EQ(ExpectAdpcmFile(f, 44100, 2, 1024), 3u);
  EXPECT_EQ(DecodeWithFfmpeg(file, dir.File("raw")),
            DecodeImaReference(Tail(f, 60), 2, 1024).samples);
  EXPECT_EQ(run.source->CloseCount, 1);
}

TEST(WaveAdpcm, ReadFailureLeavesNoFileOfItsOwn) {
  TTempDir dir;
  std::string file = dir.File("readfail.wav");
  TWaveRun run(file, PcmBytes(Noise(100000, 2, 5, 5000)));
  run.writer->SetWavType(wtDVIADPCM);
  run.source->FailAtByte = 3 * 2020 + 100;
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(run.Errors(), std::vector<std::string>{"read failed"});
  EXPECT_EQ(run.done, 0);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(PartFilesIn(dir.Path()).empty());
}

TEST(WaveAdpcm, SmallestBlocksAreDecodedAlike) {
  TTempDir dir;
  for (auto [channels, blockSize] : {std::pair{1, 8}, std::pair{2, 16}}) {
    std::string file = dir.File("small.wav");
    TWaveRun run(file, PcmBytes(Noise(999, channels, 9, 4000)), 44100, channels);
    run.writer->SetWavType(wtDVIADPCM);
    run.writer->SetBlockSize(static_cast<uint16_t>(blockSize));
    ASSERT_TRUE(run.Run()) << ::testing::PrintToString(run.Errors());
    auto f = ReadFile(file);
    ExpectAdpcmFile(f, 44100, channels, blockSize);
    EXPECT_EQ(DecodeWithFfmpeg(file, dir.File("raw")),
              DecodeImaReference(Tail(f, 60), channels, blockSize).samples);
  }
}

TEST(WaveAdpcmEncoder, PredictorStopsAtMinus32767) {
  TImaChannel state{-32000, 88};
  EncodeImaSample(state, -32768);
  EXPECT_EQ(state.Predictor, -32767);
  state = {32000, 88};
  EncodeImaSample(state, 32767);
  EXPECT_EQ(state.Predictor, 32767);
}

}  // namespace
}  // namespace cdx::test
