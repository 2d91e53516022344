// tag_bench: what tags, a cover and ReplayGain cost a whole-disc FLAC rip.
//
// The disc is the Ogg music of Debian's extremetuxracer-data, decoded to
// 16-bit 44.1 kHz stereo PCM, one track per file. Each track is handed from
// memory to the FLAC writer at its default settings, the way the CD source
// would hand it (so the figure leaves out the reading of a disc, which only
// makes the share of tagging smaller), in two ways:
//
//   plain    the writer alone
//   tagged   the loudness meter on the samples (its own thread), the FLAC
//            padding for the tags and a 500 kB cover, the tags written by
//            the finished-file hook, and the album gain written into every
//            file after the last track
//
// Each figure is the median of several rounds, the two ways taking turns
// going first; wall time and CPU time, with their ratio (tagged / plain;
// target: wall <= 1.03). The load average before and after is printed.
//
//   build/bin/tag_bench [rounds]
#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "cd/ReplayGain.h"
#include "pipeline/ACS_Classes.h"
#include "pipeline/MainThreadQueue.h"
#include "writers/ACS_FLAC.h"
#include "writers/Tagger.h"

namespace cdx {
namespace {

constexpr char kMusic[] = "/usr/share/games/etr/music";

// A track from memory, with the meter (if any) watching what it hands out.
class TTrackSource : public TACSInput {
 public:
  TTrackSource(TComponent* owner) : TACSInput(owner) {}
  void Set(const std::vector<uint8_t>* pcm, TSampleSink* sink) {
    pcm_ = pcm;
    sink_ = sink;
  }
  int GetBitsPerSample() override { return 16; }
  int GetChannels() override { return 2; }
  int GetSampleRate() override { return 44100; }
  void OpenStream() override {
    next_ = 0;
    FSize = static_cast<int32_t>(pcm_->size());
    FPosition = 0;
    FBusy = true;
  }
  int ReadData(void* buffer, int size) override {
    // The CD source hands out one-second chunks.
    const size_t count =
        std::min({static_cast<size_t>(size), pcm_->size() - next_, size_t{176400}});
    std::memcpy(buffer, pcm_->data() + next_, count);
    if (sink_) sink_->Samples(pcm_->data() + next_, count);
    next_ += count;
    FPosition = static_cast<int32_t>(next_);
    return static_cast<int>(count);
  }
  void CloseStream() override { FBusy = false; }

 private:
  const std::vector<uint8_t>* pcm_ = nullptr;
  TSampleSink* sink_ = nullptr;
  size_t next_ = 0;
};

std::vector<std::vector<uint8_t>> DecodeDisc(const std::string& work) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(kMusic)) {
    while (dirent* entry = readdir(dir))
      if (std::string name = entry->d_name; name.ends_with(".ogg")) files.push_back(name);
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  std::vector<std::vector<uint8_t>> tracks;
  for (const std::string& name : files) {
    const std::string raw = work + "/track.raw";
    const std::string command = "ffmpeg -v error -y -i '" + std::string(kMusic) + "/" + name +
                                "' -f s16le -ar 44100 -ac 2 '" + raw + "'";
    if (std::system(command.c_str()) != 0) continue;
    std::ifstream in(raw, std::ios::binary);
    tracks.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return tracks;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return s(usage.ru_utime) + s(usage.ru_stime);
}

struct TTimes {
  double Wall = 0, Cpu = 0;
};

void RunToEnd(TACSOutput& writer) {
  writer.Run();
  WaitForRunEnd(writer,
                [] { TMainThreadQueue::Instance().WaitAndServe(std::chrono::milliseconds(5)); });
}

TTimes RipDisc(const std::vector<std::vector<uint8_t>>& disc, const std::string& folder,
               bool tagged, const std::shared_ptr<const TCoverPicture>& cover) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  auto source = MakeComponent<TTrackSource>();
  auto writer = MakeComponent<TFLACOut>();
  writer->SetInput(source.get());
  TReplayGainMeter meter;
  std::vector<std::string> files;
  std::vector<std::optional<size_t>> measured;
  for (size_t i = 0; i < disc.size(); ++i) {
    files.push_back(folder + "/Track" + std::to_string(i + 1) + ".flac");
    writer->SetFileName(files.back());
    TTrackTags tags;
    if (tagged) {
      tags.Set(TTagField::Title, "Track title " + std::to_string(i + 1));
      tags.Set(TTagField::Artist, "An Artist");
      tags.Set(TTagField::Album, "An Album");
      tags.Set(TTagField::TrackNumber, std::to_string(i + 1));
      tags.Set(TTagField::MusicBrainzAlbumId, "f0d82e4e-9b1f-4a4c-9f0c-5d4f4f1c2a11");
      tags.Cover = cover;
      meter.BeginTrack();
      writer->SetPadding(FLACPaddingFor(tags));
      writer->SetFinishedFileHook([&](const std::string& part) {
        measured.push_back(meter.EndTrack());
        WriteTags(part, TTagFormat::Flac, tags);
      });
    }
    source->Set(&disc[i], tagged ? &meter : nullptr);
    RunToEnd(*writer);
    if (!writer->LastRunEnd() || writer->LastRunEnd()->Result != TRunResult::Done) {
      std::fprintf(stderr, "tag_bench: the rip failed: %s\n",
                   writer->LastRunEnd()->Message.c_str());
      std::exit(1);
    }
  }
  const auto asGain = [](const std::optional<TReplayGainValues>& v) {
    return v ? std::optional<TReplayGain>(TReplayGain{v->GainDb, v->Peak}) : std::nullopt;
  };
  if (tagged) {
    const std::optional<TReplayGain> album = asGain(meter.Album());
    for (size_t i = 0; i < files.size(); ++i)
      WriteGains(files[i], TTagFormat::Flac, asGain(meter.TrackValues(*measured[i])), album);
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {wall, CpuSeconds() - cpu};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

}  // namespace
}  // namespace cdx

int main(int argc, char** argv) {
  using namespace cdx;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char pattern[] = "/tmp/tag_bench.XXXXXX";
  const std::string work = mkdtemp(pattern);
  const auto disc = DecodeDisc(work);
  size_t bytes = 0;
  for (const auto& track : disc) bytes += track.size();
  if (bytes < 300 * 176400) {
    std::fprintf(stderr, "tag_bench: only %zu s of music found in %s\n", bytes / 176400, kMusic);
    return 1;
  }
  std::vector<uint8_t> picture(500000);
  for (size_t i = 0; i < picture.size(); ++i)
    picture[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  picture[0] = 0xFF, picture[1] = 0xD8, picture[2] = 0xFF;
  std::string why;
  const auto cover = TCoverPicture::FromBytes(picture, why);

  std::printf("disc: %zu tracks, %zu s of music; %d rounds; load before: %s\n", disc.size(),
              bytes / 176400, rounds, LoadAverage().c_str());
  std::vector<double> wall[2], cpu[2];
  for (int round = 0; round < rounds; ++round) {
    for (int k = 0; k < 2; ++k) {
      const bool tagged = (round + k) % 2 == 1;
      const TTimes t = RipDisc(disc, work, tagged, cover);
      wall[tagged].push_back(t.Wall);
      cpu[tagged].push_back(t.Cpu);
    }
  }
  std::printf("%-7s %9s %9s\n", "", "wall s", "cpu s");
  std::printf("%-7s %9.3f %9.3f\n", "plain", Median(wall[0]), Median(cpu[0]));
  std::printf("%-7s %9.3f %9.3f\n", "tagged", Median(wall[1]), Median(cpu[1]));
  std::printf("%-7s %9.3f %9.3f   (target: wall <= 1.03)\n", "ratio",
              Median(wall[1]) / Median(wall[0]), Median(cpu[1]) / Median(cpu[0]));
  std::printf("load after: %s\n", LoadAverage().c_str());
  std::system(("rm -rf '" + work + "'").c_str());
  return 0;
}
