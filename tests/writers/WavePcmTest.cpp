// The WAV writer's PCM path, its run control and its failures.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/writers/WaveTestSupport.h"

namespace cdx::test {
namespace {

// The 44-byte header describing `dataSize` bytes of `channels` x `bits` audio.
void ExpectPcmHeader(const std::vector<uint8_t>& f, uint32_t dataSize, int rate, int channels,
                     int bits) {
  ASSERT_GE(f.size(), 44u);
  EXPECT_EQ(IdAt(f, 0), "RIFF");
  EXPECT_EQ(U32At(f, 4), dataSize + 36);
  EXPECT_EQ(IdAt(f, 8), "WAVE");
  EXPECT_EQ(IdAt(f, 12), "fmt ");
  EXPECT_EQ(U32At(f, 16), 16u);
  EXPECT_EQ(U16At(f, 20), 1);
  EXPECT_EQ(U16At(f, 22), channels);
  EXPECT_EQ(U32At(f, 24), static_cast<uint32_t>(rate));
  EXPECT_EQ(U32At(f, 28), static_cast<uint32_t>(rate * channels * bits / 8));
  EXPECT_EQ(U16At(f, 32), channels * bits / 8);
  EXPECT_EQ(U16At(f, 34), bits);
  EXPECT_EQ(IdAt(f, 36), "data");
  EXPECT_EQ(U32At(f, 40), dataSize);
}

TEST(WavePcm, KnownAndUnknownSizeGiveExactHeaderAndIdenticalData) {
  TTempDir dir;
  struct Case {
    bool reportSize;
    int rate, channels, bits;
    size_t bytes;
  };
  for (Case c : {Case{true, 44100, 2, 16, 176400 * 2 + 1000}, Case{false, 44100, 2, 16, 100000},
                 Case{true, 22050, 1, 16, 33334}, Case{false, 8000, 1, 8, 12345}}) {
    SCOPED_TRACE(std::to_string(c.reportSize) + " " + std::to_string(c.channels));
    std::string file = dir.File("pcm.wav");
    TWaveRun run(file, CountingBytes(c.bytes), c.rate, c.channels, c.bits);
    run.source->ReportSize = c.reportSize;
    run.source->Chunk = 5000;
    // What the header holds while the run is going on.
    std::vector<uint8_t> early;
    run.source->OnRead = [&] {
      if (early.empty()) early = ReadFile(PartFilesIn(dir.Path()).at(0));
    };
    ASSERT_TRUE(run.Run()) << ::testing::PrintToString(run.Errors());
    ASSERT_EQ(early.size(), 44u);
    uint32_t announced = c.reportSize ? static_cast<uint32_t>(c.bytes) : 0xFFFFFFFFu;
    ExpectPcmHeader(early, announced, c.rate, c.channels, c.bits);
    if (!c.reportSize) {
      EXPECT_EQ(U32At(early, 4), 35u);
    }

    auto f = ReadFile(file);
    ExpectPcmHeader(f, static_cast<uint32_t>(c.bytes), c.rate, c.channels, c.bits);
    EXPECT_EQ(Tail(f, 44), run.source->Bytes());
    EXPECT_EQ(run.source->CloseCount, 1);
  }
}

TEST(WavePcm, OutsideReadersAcceptTheFile) {
  TTempDir dir;
  for (int channels : {1, 2}) {
    std::string file = dir.File("probe" + std::to_string(channels) + ".wav");
    TWaveRun run(file, PcmBytes(SineWave(44100, channels, 1000, 44100, 8000)), 44100, channels);
    run.source->ReportSize = channels == 1;  // one file completed from an unknown size
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(Probe(file, "codec_name"), "pcm_s16le");
    EXPECT_EQ(Probe(file, "channels"), std::to_string(channels));
    EXPECT_EQ(Probe(file, "sample_rate"), "44100");
    EXPECT_EQ(Probe(file, "duration_ts"), "44100");
    EXPECT_EQ(SoxSamples(file), "44100");
    EXPECT_EQ(DecodeWithFfmpeg(file, dir.File("raw")),
              SineWave(44100, channels, 1000, 44100, 8000));
  }
}

TEST(WavePcm, StopMidRunLeavesACompleteFileOfTheBlocksWritten) {
  TTempDir dir;
  std::string file = dir.File("stop.wav");
  TWaveRun run(file, CountingBytes(1000000));
  run.source->OnRead = [&] {
    if (run.source->ReadCalls == 5) run.writer->Stop();
  };
  ASSERT_TRUE(run.Run());
  auto f = ReadFile(file);
  // The block in progress when Stop came is completed, then the run ends.
  const uint32_t written = 5 * 16384;
  ASSERT_EQ(f.size(), 44 + written);
  ExpectPcmHeader(f, written, 44100, 2, 16);
  auto expected = run.source->Bytes();
  expected.resize(written);
  EXPECT_EQ(Tail(f, 44), expected);
  EXPECT_EQ(run.source->CloseCount, 1);
  EXPECT_EQ(SoxSamples(file), std::to_string(written / 4));
}

TEST(WavePcm, ReadFailureFailsTheRunAndKeepsTheEarlierFile) {
  TTempDir dir;
  std::string file = dir.File("readfail.wav");
  const std::vector<uint8_t> earlier(70000, 0x5A);
  WriteFile(file, earlier);
  TWaveRun run(file, CountingBytes(200000));
  run.source->Chunk = 3000;
  run.source->FailAtByte = 40000;
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(run.Errors(), std::vector<std::string>{"read failed"});
  EXPECT_EQ(run.done, 0);
  EXPECT_EQ(run.writer->Status(), 2);
  EXPECT_EQ(ReadFile(file), earlier);
  EXPECT_TRUE(PartFilesIn(dir.Path()).empty());
  EXPECT_EQ(run.source->CloseCount, 1);
}

// A source whose CloseStream fails after closing.
class TBadCloseSource : public TMemorySource {
 public:
  using TMemorySource::TMemorySource;
  void CloseStream() override {
    TMemorySource::CloseStream();
    throw EACSException("close failed");
  }
};

TEST(WaveEndOutput, AFailureWhileClosingIsReportedButNeverHidesTheFirstOne) {
  TTempDir dir;
  for (bool readFails : {false, true}) {
    SCOPED_TRACE(readFails);
    std::string file = dir.File("close.wav");
    TWaveRun run(file, {});
    auto source = MakeComponent<TBadCloseSource>(CountingBytes(50000));
    source->FailAtByte = readFails ? 20000 : -1;
    run.writer->SetInput(source.get());
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(run.Errors(), std::vector<std::string>{readFails ? "read failed" : "close failed"});
    EXPECT_EQ(run.done, 0);
    EXPECT_EQ(source->CloseCount, 1);
    // A failed run leaves no file of its own.
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(PartFilesIn(dir.Path()).empty());
    run.writer->SetInput(nullptr);
  }
}

TEST(WaveWriteFailure, FullDiskFailsTheRunWithTheSystemsReasonAndKeepsTheEarlierFile) {
  TTempDir dir;
  std::string file = dir.File("full.wav");
  const std::vector<uint8_t> earlier(30000, 0x5A);
  WriteFile(file, earlier);
  for (TWavType type : {wtPCM, wtDVIADPCM}) {
    SCOPED_TRACE(type);
    TWaveRun run(file, PcmBytes(Noise(200000, 2, 7)));
    run.writer->SetWavType(type);
    {
      TFileSizeLimit full(type == wtPCM ? 44 + 3 * 16384 + 1000 : 60 + 5 * 512 + 100);
      EXPECT_FALSE(run.Run());
    }
    auto errors = run.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(std::strerror(EFBIG)), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("\"" + file + "\""), std::string::npos) << errors[0];
    EXPECT_EQ(run.done, 0);
    EXPECT_EQ(run.writer->Status(), 2);
    EXPECT_EQ(run.source->CloseCount, 1);
    EXPECT_EQ(ReadFile(file), earlier);
    EXPECT_TRUE(PartFilesIn(dir.Path()).empty());
  }
}

TEST(WaveWriteFailure, ANameThatIsNoRegularFileIsRefusedAndLeftAlone) {
  TTempDir dir;
  std::string fifo = dir.File("pipe.wav");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  TWaveRun run(fifo, CountingBytes(100000));
  int fds = OpenFdCount();
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(run.Errors(), std::vector<std::string>{"Cannot create file \"" + fifo +
                                                   "\": it is not a regular file"});
  EXPECT_EQ(run.source->OpenCount, 0);
  EXPECT_EQ(OpenFdCount(), fds);
  struct stat st {};
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_TRUE(PartFilesIn(dir.Path()).empty());
}

TEST(WaveStart, RefusalsCloseWhatWasOpenedAndReportTheMessage) {
  TTempDir dir;
  struct Case {
    const char* name;
    std::function<void(TWaveRun&)> setUp;
    std::string message;
  };
  const Case cases[] = {
      {"no file name", [](TWaveRun& r) { r.writer->SetFileName(""); },
       "File name is not assigned."},
      {"source fails to open", [](TWaveRun& r) { r.source->FailOnOpen = true; }, "open failed"},
      {"8-bit ADPCM",
       [](TWaveRun& r) {
         r.writer->SetWavType(wtDVIADPCM);
         r.source->SetFormat(44100, 2, 8);
       },
       "Cannot encode 8 bit sound into ADPCM."},
      {"stereo block of 4 bytes",
       [](TWaveRun& r) {
         r.writer->SetWavType(wtDVIADPCM);
         r.writer->SetBlockSize(4);
       },
       "Block size 4 cannot hold stereo IMA ADPCM blocks: it must be a multiple of 8 from 16 "
       "on."},
      {"stereo block of 516 bytes",
       [](TWaveRun& r) {
         r.writer->SetWavType(wtDVIADPCM);
         r.writer->SetBlockSize(516);
       },
       "Block size 516 cannot hold stereo IMA ADPCM blocks: it must be a multiple of 8 from 16 "
       "on."},
      {"mono block of 4 bytes",
       [](TWaveRun& r) {
         r.writer->SetWavType(wtDVIADPCM);
         r.writer->SetBlockSize(4);
         r.source->SetFormat(44100, 1, 16);
       },
       "Block size 4 cannot hold mono IMA ADPCM blocks: it must be a multiple of 4 from 8 to "
       "32768."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TWaveRun run(dir.File("refused.wav"), CountingBytes(50000));
    c.setUp(run);
    int fds = OpenFdCount();
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(run.Errors(), std::vector<std::string>{c.message});
    EXPECT_EQ(run.writer->Status(), 2);
    EXPECT_EQ(run.source->CloseCount, run.source->OpenCount);
    EXPECT_FALSE(run.source->Busy());
    EXPECT_EQ(OpenFdCount(), fds);
    EXPECT_EQ(run.source->ReadCalls, 0);
  }
}

TEST(WaveProperties, SettersKeepOnlyValidValuesAndNothingWhileBusy) {
  TTempDir dir;
  TWaveRun run(dir.File("props.wav"), CountingBytes(300000));
  TWaveOut& w = *run.writer;
  EXPECT_EQ(w.WavType(), wtPCM);
  EXPECT_EQ(w.BlockSize(), 512);
  EXPECT_EQ(w.FileMode(), foRewrite);
  for (TWavType t : {wtACM, wtMSADPCM, wtUnsupported}) w.SetWavType(t);
  EXPECT_EQ(w.WavType(), wtPCM);
  w.SetWavType(wtDVIADPCM);
  EXPECT_EQ(w.WavType(), wtDVIADPCM);
  for (uint16_t size : {0, 510, 3}) w.SetBlockSize(size);
  EXPECT_EQ(w.BlockSize(), 512);
  w.SetBlockSize(1024);
  EXPECT_EQ(w.BlockSize(), 1024);
  w.SetFileMode(static_cast<TFileOutputMode>(7));
  EXPECT_EQ(w.FileMode(), foRewrite);
  w.SetFileMode(foAppend);
  EXPECT_EQ(w.FileMode(), foAppend);
  w.SetFileMode(foRewrite);

  // OnProgress runs on the main thread; the reads wait past the start for
  // the first one, so it comes while the run is busy.
  std::atomic<int> tries{0};
  run.source->OnRead = [&] {
    for (int i = 0; i < 2000 && run.source->Position() > 100000 && tries == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  w.OnProgress = [&](TComponent*) {
    if (tries > 0) return;
    ASSERT_TRUE(w.Busy());
    w.SetWavType(wtPCM);
    w.SetBlockSize(256);
    EXPECT_EQ(w.WavType(), wtDVIADPCM);
    EXPECT_EQ(w.BlockSize(), 1024);
    ++tries;
  };
  ASSERT_TRUE(run.Run());
  EXPECT_GT(tries, 0);
  auto f = ReadFile(dir.File("props.wav"));
  EXPECT_EQ(U16At(f, 20), 0x11);
  EXPECT_EQ(U16At(f, 32), 1024);
}

TEST(WaveAppendLock, AFileLockedElsewhereIsNotOpened) {
  TTempDir dir;
  std::string file = dir.File("locked.wav");
  TWaveRun first(file, CountingBytes(8000));
  ASSERT_TRUE(first.Run());
  auto before = ReadFile(file);

  int fd = open(file.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  TWaveRun second(file, CountingBytes(8000));
  second.writer->SetFileMode(foAppend);
  EXPECT_FALSE(second.Run());
  close(fd);
  auto errors = second.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(std::strerror(EWOULDBLOCK)), std::string::npos) << errors[0];
  EXPECT_EQ(second.source->OpenCount, 0);
  EXPECT_EQ(ReadFile(file), before);
}

}  // namespace
}  // namespace cdx::test
