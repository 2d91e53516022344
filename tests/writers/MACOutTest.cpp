// The Monkey's Audio writer with the real compressor: files checked by an
// independent decoder, stops, failures and the binding's texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>

#include "tests/support/TestSources.h"
#include "writers/ACS_MAC.h"

namespace cdx::test {
namespace {

// Decodes an APE file to raw PCM with frame CRCs checked; "" on failure.
std::vector<uint8_t> Decode(const std::string& path, std::string* errors) {
  std::string raw = path + ".raw";
  int status = RunCommand("ffmpeg -nostdin -y -v error -err_detect crccheck+explode -i '" + path +
                              "' -f s16le -c:a pcm_s16le '" + raw + "'",
                          errors);
  if (status != 0) return {};
  return ReadFile(raw);
}

// One writer fed from memory, with the outcome of its runs.
struct TMacRun {
  TTempDir dir;
  ComponentPtr<TMemorySource> source;
  ComponentPtr<TMACOut> writer;
  std::string file = dir.File("out.ape");

  TMacRun(std::vector<uint8_t> bytes, int channels, int rate = 44100)
      : source(MakeComponent<TMemorySource>(std::move(bytes), rate, channels)),
        writer(MakeComponent<TMACOut>()) {
    writer->SetInput(source.get());
    writer->SetFileName(file);
    auto state = state_;
    writer->OnThreadException = [state](TComponent*, const std::exception& e) {
      std::lock_guard lock(state->mutex);
      state->errors.push_back(e.what());
    };
    writer->OnDone = [state](TComponent*) {
      std::lock_guard lock(state->mutex);
      ++state->done;
    };
  }
  // Runs and waits for the end; true when it came, whatever it was.
  bool Run() {
    writer->Run();
    try {
      AwaitRunEnd(*writer);
      return true;
    } catch (const std::runtime_error&) {
      return false;
    }
  }
  std::vector<std::string> Errors() {
    std::lock_guard lock(state_->mutex);
    return state_->errors;
  }
  int Done() {
    std::lock_guard lock(state_->mutex);
    return state_->done;
  }

 private:
  struct TState {
    std::mutex mutex;
    std::vector<std::string> errors;
    int done = 0;
  };
  std::shared_ptr<TState> state_ = std::make_shared<TState>();
};

struct LevelCase {
  int level, channels, rate;
};

class MacLevels : public ::testing::TestWithParam<LevelCase> {};

TEST_P(MacLevels, IndependentDecoderGivesBackWhatWasFed) {
  const auto p = GetParam();
  // Loud noise and a tone, over several frames (73728 blocks each up to
  // level 3000, 294912 at 4000) when stereo, so frames encoded at the same
  // time, pieces and the seek table all take part.
  int frames = p.channels == 2 ? 300000 : 100000;
  auto samples = SineWave(frames, p.channels, 997.0, p.rate, 20000.0);
  auto noise = Noise(frames / 3, p.channels, 7);
  std::copy(noise.begin(), noise.end(), samples.begin() + samples.size() / 3);
  TMacRun run(PcmBytes(samples), p.channels, p.rate);
  run.source->Chunk = 65532;  // blocks that do not line up with frames
  run.writer->SetCompressionLevel(p.level);
  ASSERT_TRUE(run.Run());
  EXPECT_TRUE(run.Errors().empty()) << run.Errors().front();
  std::string errors;
  EXPECT_EQ(Decode(run.file, &errors), run.source->Bytes()) << errors;
  EXPECT_TRUE(errors.empty()) << errors;
}

INSTANTIATE_TEST_SUITE_P(, MacLevels,
                         ::testing::Values(LevelCase{1000, 2, 44100}, LevelCase{2000, 1, 22050},
                                           LevelCase{3000, 2, 44100}, LevelCase{4000, 1, 8000},
                                           LevelCase{4000, 2, 88200}));

TEST(MacOut, StoppedRunLeavesAFinishedFileOfWhatWasHandedOver) {
  TMacRun run(PcmBytes(Noise(400000, 2, 3, 5000)), 2);
  run.source->Chunk = 65536;
  int reads = 0;
  run.source->OnRead = [&] {
    if (++reads == 4) run.writer->Stop();
  };
  ASSERT_TRUE(run.Run());
  EXPECT_TRUE(run.Errors().empty());
  std::string errors;
  auto decoded = Decode(run.file, &errors);
  ASSERT_EQ(decoded.size(), 4u * 65536) << errors;
  EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), run.source->Bytes().begin()));
}

TEST(MacOut, FileThatCannotBeCreatedFailsTheStartBeforeTheInputIsOpened) {
  TMacRun run(PcmBytes(Noise(1000, 2, 1)), 2);
  const std::string file = run.dir.File("missing/folder/out.ape");
  run.writer->SetFileName(file);
  ASSERT_TRUE(run.Run());
  ASSERT_EQ(run.Errors().size(), 1u);
  EXPECT_EQ(run.Errors().front(), "Cannot create file \"" + file + "\": No such file or directory");
  EXPECT_EQ(run.source->OpenCount, 0) << "the file is made before the input is opened";
  EXPECT_FALSE(run.source->Busy());

  TMacRun unnamed(PcmBytes(Noise(1000, 2, 1)), 2);
  unnamed.writer->SetFileName("");
  ASSERT_TRUE(unnamed.Run());
  ASSERT_EQ(unnamed.Errors().size(), 1u);
  EXPECT_EQ(unnamed.Errors().front(), "File name is not assigned.");
  EXPECT_EQ(unnamed.source->OpenCount, 0);
}

TEST(MacOut, EightBitInputIsRefusedByTheCompressor) {
  TMacRun run(std::vector<uint8_t>(1000, 128), 1);
  run.source->SetFormat(22050, 1, 8);
  ASSERT_TRUE(run.Run());
  ASSERT_EQ(run.Errors().size(), 1u);
  EXPECT_EQ(run.Errors().front(),
            "Error starting APECompress.\r\ninput file unsupported bit depth");
}

TEST(MacOut, RunWithoutAudioFailsAndLeavesNoFile) {
  TMacRun run({}, 2);
  ASSERT_TRUE(run.Run());
  ASSERT_EQ(run.Errors().size(), 1u);
  EXPECT_EQ(run.Errors().front(), "Error finishing APECompress.\r\ninput file too small");
  EXPECT_FALSE(std::filesystem::exists(run.file)) << "a file no decoder accepts was left";
}

// More frames than the compressor ever has in flight (a few more than the
// cores, at most 16), so the failed write comes back from a hand-over.
TEST(MacOut, WriteFailureFailsTheRunInsteadOfReportingDone) {
  TMacRun run(PcmBytes(Noise(20 * 73728, 2, 4)), 2);
  WriteFile(run.file, {1, 2, 3});
  {
    // The file may not grow past 64 KiB; the first frame cannot be written.
    TFileSizeLimit full(65536);
    ASSERT_TRUE(run.Run());
  }
  ASSERT_EQ(run.Errors().size(), 1u);
  EXPECT_EQ(run.Errors().front(), "APECompress.UnlockBuffer Error: 1001");
  EXPECT_EQ(run.Done(), 0);
  EXPECT_EQ(ReadFile(run.file), (std::vector<uint8_t>{1, 2, 3})) << "the earlier file is kept";
  EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty());
}

TEST(MacOut, CompressionLevelSetterKeepsOnlyTheLadder) {
  auto writer = MakeComponent<TMACOut>();
  EXPECT_EQ(writer->CompressionLevel(), 2000);
  EXPECT_EQ(writer->MaxAudioBytes(), -1);
  for (int level : {1000, 2000, 3000, 4000}) {
    writer->SetCompressionLevel(level);
    EXPECT_EQ(writer->CompressionLevel(), level);
  }
  for (int level : {0, 2500, 5000, -1000}) {
    writer->SetCompressionLevel(4000);
    writer->SetCompressionLevel(level);
    EXPECT_EQ(writer->CompressionLevel(), 2000) << level;
  }
}

TEST(MacDll, ErrorTextsOfEveryCode) {
  const std::pair<int, const char*> table[] = {
      {0, "OK"},
      {1000, "I/O read error"},
      {1001, "I/O write error"},
      {1002, "invalid input file"},
      {1003, "invalid output file"},
      {1004, "input file file too large"},
      {1005, "input file unsupported bit depth"},
      {1006, "input file unsupported sample rate"},
      {1007, "input file unsupported channel count"},
      {1008, "input file too small"},
      {1009, "invalid checksum"},
      {1010, "decompressing frame"},
      {1011, "initializing unmac"},
      {1012, "invalid function parameter"},
      {1013, "unsupported file type"},
      {2000, "insufficient memory"},
      {3000, "loading MAC.dll"},
      {3001, "loading MACinfo.dll"},
      {3002, "loading UnMAC.dll"},
      {4000, "user stopped processing"},
      {4001, "skipped..."},
      {5000, "bad parameter"},
      {6000, "APE compress too much data"},
  };
  for (const auto& [code, text] : table) EXPECT_EQ(APEErrorText(code), text) << code;
  EXPECT_EQ(APEErrorText(7), "undefined (7)");
  EXPECT_EQ(APEErrorText(-3), "undefined (-3)");
}

}  // namespace
}  // namespace cdx::test
