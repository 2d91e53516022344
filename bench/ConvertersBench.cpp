// Converter chains against sox on five minutes of real music.
//
// Run:
//   cmake -S . -B build -G Ninja && ninja -C build bench_converters
//   build/bin/bench_converters [seconds]      (default 300)
//
// Needs ffmpeg, sox and the Ogg music of the Debian package
// extremetuxracer-data (scripts/install-deps installs all three). The music
// is decoded to 16-bit stereo at 44100 Hz and repeated up to the length
// asked for. Each chain runs in memory: a source holding the audio, the
// converters, and an output on its real worker thread that throws the
// blocks away; sox converts the same audio from a WAV file to a WAV file.
// Each figure is the best of several runs (seven of ours, three of sox);
// "x realtime" is audio seconds per second of wall time, and "ratio" is
// sox's time over ours (above 1: ours is faster). The last lines compare a
// chain with three converters against the bare chain plus what each
// converter adds on its own (a ratio near or below 1: stacking costs
// nothing extra).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "converters/ACS_Converters.h"
#include "pipeline/ACS_Classes.h"
#include "pipeline/MainThreadQueue.h"

namespace {

using namespace cdx;
using Clock = std::chrono::steady_clock;

constexpr int Rate = 44100;
constexpr int FrameBytes = 4;

// Hands out the audio from memory, as the CD source would, in one-second
// chunks at most.
class TMusicSource : public TACSInput {
 public:
  TMusicSource(TComponent* owner, const std::vector<uint8_t>* audio)
      : TACSInput(owner), audio_(audio) {}
  int GetBitsPerSample() override { return 16; }
  int GetChannels() override { return 2; }
  int GetSampleRate() override { return Rate; }
  void OpenStream() override {
    next_ = 0;
    FPosition = 0;
    FSize = static_cast<int32_t>(audio_->size());
    FBusy = true;
  }
  void CloseStream() override { FBusy = false; }
  int ReadData(void* buffer, int bufferSize) override {
    const size_t n = std::min({static_cast<size_t>(bufferSize), audio_->size() - next_,
                               static_cast<size_t>(Rate * FrameBytes)});
    std::memcpy(buffer, audio_->data() + next_, n);
    next_ += n;
    FPosition += static_cast<int32_t>(n);
    return static_cast<int>(n);
  }

 private:
  const std::vector<uint8_t>* audio_;
  size_t next_ = 0;
};

// Pulls 32768-byte blocks on its worker thread and drops them.
class TNullOut : public TACSOutput {
 public:
  explicit TNullOut(TComponent* owner) : TACSOutput(owner), block_(32768) {}
  int64_t Bytes = 0;

 protected:
  void BeginOutput() override {
    Bytes = 0;
    RequireInput().OpenStream();
  }
  bool WriteNextBlock(bool Abort) override {
    if (!CanOutput) return true;
    if (Abort) return false;
    const int n = ReadInput(block_.data(), static_cast<int>(block_.size()));
    Bytes += n;
    return n > 0;
  }
  void EndOutput() override {
    if (TACSInput* input = Input()) input->CloseStream();
  }

 private:
  std::vector<uint8_t> block_;
};

std::string Capture(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  pclose(pipe);
  return text;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The package's Ogg tunes decoded and repeated up to `seconds`.
std::vector<uint8_t> LoadMusic(const std::filesystem::path& dir, int seconds) {
  std::istringstream list(Capture("dpkg -L extremetuxracer-data 2>/dev/null | grep -i '\\.ogg$'"));
  std::vector<std::vector<uint8_t>> tunes;
  std::string ogg;
  while (std::getline(list, ogg)) {
    const std::string raw = (dir / "tune.raw").string();
    const std::string cmd =
        "ffmpeg -v error -y -i '" + ogg + "' -f s16le -ar 44100 -ac 2 '" + raw + "' </dev/null";
    if (std::system(cmd.c_str()) != 0) continue;
    tunes.push_back(ReadAll(raw));
  }
  const size_t want = static_cast<size_t>(seconds) * Rate * FrameBytes;
  std::vector<uint8_t> audio;
  audio.reserve(want);
  for (size_t i = 0; !tunes.empty() && audio.size() < want; i = (i + 1) % tunes.size())
    audio.insert(audio.end(), tunes[i].begin(), tunes[i].end());
  if (audio.size() > want) audio.resize(want);
  return audio;
}

void WriteWav(const std::string& path, const std::vector<uint8_t>& pcm) {
  auto le32 = [](uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  auto le16 = [](uint16_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
  };
  const auto size = static_cast<uint32_t>(pcm.size());
  std::string header = "RIFF" + le32(36 + size) + "WAVEfmt " + le32(16) + le16(1) + le16(2) +
                       le32(Rate) + le32(Rate * FrameBytes) + le16(FrameBytes) + le16(16) + "data" +
                       le32(size);
  std::ofstream out(path, std::ios::binary);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
}

double BestOf(int runs, const std::function<double()>& run) {
  double best = run();
  for (int i = 1; i < runs; ++i) best = std::min(best, run());
  return best;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// A chain of the source, `converters` in order, and the null output.
struct TChain {
  explicit TChain(const std::vector<uint8_t>* audio) {
    source = MakeComponent<TMusicSource>(audio);
    output = MakeComponent<TNullOut>();
  }
  TRateConverter& AddRate(int rate) {
    auto c = MakeComponent<TRateConverter>();
    c->SetOutSampleRate(rate);
    TRateConverter& ref = *c;
    rates.push_back(std::move(c));
    links.push_back(&ref);
    return ref;
  }
  void AddMono() {
    ms.push_back(MakeComponent<TMSConverter>());
    links.push_back(ms.back().get());
  }
  void AddEightBits() {
    samples.push_back(MakeComponent<TSampleConverter>());
    links.push_back(samples.back().get());
  }
  // Wires the chain, runs it to the end and returns the wall time.
  double Run() {
    TACSInput* upstream = source.get();
    for (TACSConverter* c : links) {
      c->SetInput(upstream);
      upstream = c;
    }
    output->SetInput(upstream);
    const auto start = Clock::now();
    output->Run();
    auto& queue = TMainThreadQueue::Instance();
    WaitForRunEnd(*output, [&] { queue.WaitAndServe(std::chrono::milliseconds(1)); });
    return Seconds(start);
  }

  ComponentPtr<TMusicSource> source;
  ComponentPtr<TNullOut> output;
  std::vector<ComponentPtr<TRateConverter>> rates;
  std::vector<ComponentPtr<TMSConverter>> ms;
  std::vector<ComponentPtr<TSampleConverter>> samples;
  std::vector<TACSConverter*> links;
};

double RunChain(const std::vector<uint8_t>& audio, const std::function<void(TChain&)>& build) {
  return BestOf(7, [&] {
    TChain chain(&audio);
    build(chain);
    return chain.Run();
  });
}

double RunSox(const std::string& in, const std::string& out, int rate) {
  const std::string cmd = "sox '" + in + "' -r " + std::to_string(rate) + " '" + out + "'";
  return BestOf(3, [&] {
    const auto start = Clock::now();
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "sox failed: %s\n", cmd.c_str());
    return Seconds(start);
  });
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  if (std::system("command -v sox >/dev/null && command -v ffmpeg >/dev/null") != 0) {
    std::fprintf(stderr, "bench_converters: needs sox and ffmpeg (scripts/install-deps)\n");
    return 1;
  }
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("cdx-bench-conv-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::vector<uint8_t> audio = LoadMusic(dir, seconds);
  if (audio.empty()) {
    std::fprintf(stderr, "bench_converters: no music found (extremetuxracer-data)\n");
    std::filesystem::remove_all(dir);
    return 1;
  }
  const double audioSeconds = static_cast<double>(audio.size()) / (Rate * FrameBytes);
  const std::string wavIn = (dir / "in.wav").string(), wavOut = (dir / "out.wav").string();
  WriteWav(wavIn, audio);
  std::printf("audio: %.1f s of music, 44100 Hz stereo 16-bit; best of 7 runs (sox: 3)\n\n",
              audioSeconds);

  std::printf("%-22s %10s %12s %10s %12s %8s\n", "conversion", "ours s", "x realtime", "sox s",
              "x realtime", "ratio");
  for (int rate : {22050, 48000, 88200}) {
    const double ours = RunChain(audio, [&](TChain& c) { c.AddRate(rate); });
    const double sox = RunSox(wavIn, wavOut, rate);
    std::printf("44100 -> %-13d %10.3f %12.0f %10.3f %12.0f %8.2f\n", rate, ours,
                audioSeconds / ours, sox, audioSeconds / sox, sox / ours);
  }
  const double mono = RunChain(audio, [](TChain& c) { c.AddMono(); });
  std::printf("%-22s %10.3f %12.0f\n", "stereo -> mono", mono, audioSeconds / mono);

  // Stacking converters should cost no more than their own times: compare
  // a whole chain with the bare chain plus what each converter adds alone.
  const double bare = RunChain(audio, [](TChain&) {});
  const double rateOnly = RunChain(audio, [](TChain& c) { c.AddRate(22050); });
  const double bitsOnly = RunChain(audio, [](TChain& c) { c.AddEightBits(); });
  const double whole = RunChain(audio, [](TChain& c) {
    c.AddRate(22050);
    c.AddMono();
    c.AddEightBits();
  });
  const double own = (rateOnly - bare) + (mono - bare) + (bitsOnly - bare);
  std::printf("\nchain source -> null output: %.3f s\n", bare);
  std::printf("converters' own times: rate 22050 %.3f s, mono %.3f s, 8-bit %.3f s\n",
              rateOnly - bare, mono - bare, bitsOnly - bare);
  std::printf(
      "chain with rate 22050 + mono + 8-bit: %.3f s; bare chain + own times: %.3f s; "
      "ratio %.2f\n",
      whole, bare + own, whole / (bare + own));
  std::filesystem::remove_all(dir);
  return 0;
}
