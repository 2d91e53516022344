// The cost of a track's checksums taken on the way (AccurateRip v1/v2,
// frame-450, both CRC32s, peak) on real music: Debian's extremetuxracer
// music, decoded by ffmpeg.
//
// 1. The sink alone against a plain copy of the same blocks (what the CD
//    source does with every byte anyway), per second of audio.
// 2. Whole-disc rips through the CD library from an image of that music,
//    with the sink fed every chunk and without, in the same run, taking
//    turns; the ratio is the target's (at most 1.02).
//
// Every figure is the median of ROUNDS rounds (default 15); the load of the
// machine is printed before and after, and the CPU time beside the wall
// time, which depends less on other work.
//
//   build/bin/bench_checksums            (after ./check or ./run)
//   ROUNDS=31 build/bin/bench_checksums
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchTimes.h"
#include "cd/TrackChecksums.h"
#include "platform/cdrip/cdrip.h"
#include "tools/discmaker.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using cdx::bench::CpuSeconds;
using cdx::bench::Median;

namespace {

constexpr size_t kChunk = 176400;  // the CD source's chunk, one second
constexpr double kBytesPerSecond = 176400.0;

struct Times {
  double wall = 0, cpu = 0;
};

template <typename F>
Times Measure(F&& work) {
  double cpu = CpuSeconds();
  auto begun = Clock::now();
  work();
  return {std::chrono::duration<double>(Clock::now() - begun).count(), CpuSeconds() - cpu};
}

std::string Load() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

std::vector<std::string> DecodeMusic(const std::string& folder, std::vector<uint8_t>& all) {
  std::vector<std::string> raws;
  std::vector<fs::path> oggs;
  for (const auto& e : fs::directory_iterator("/usr/share/games/etr/music"))
    if (e.path().extension() == ".ogg") oggs.push_back(e.path());
  std::sort(oggs.begin(), oggs.end());
  for (const auto& ogg : oggs) {
    std::string raw = folder + "/" + ogg.stem().string() + ".raw";
    std::string command =
        "ffmpeg -v error -y -i '" + ogg.string() + "' -f s16le -ar 44100 -ac 2 '" + raw + "'";
    if (std::system(command.c_str()) != 0) continue;
    std::ifstream in(raw, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    all.insert(all.end(), bytes.begin(), bytes.end());
    raws.push_back(raw);
  }
  return raws;
}

// The sink against a copy, block by block, as the source hands them out.
void SinkAlone(const std::vector<uint8_t>& pcm, int rounds) {
  std::vector<uint8_t> block(kChunk);
  cdx::TTrackChecksums sums;
  std::vector<double> copy, sink;
  volatile uint32_t keep = 0;
  for (int r = 0; r < rounds; ++r) {
    copy.push_back(Measure([&] {
                     for (size_t at = 0; at < pcm.size(); at += kChunk) {
                       size_t n = std::min(kChunk, pcm.size() - at);
                       std::memcpy(block.data(), pcm.data() + at, n);
                       keep = keep + block[n / 2];
                     }
                   }).cpu);
    sink.push_back(Measure([&] {
                     sums.Reset({pcm.size() / 4, true, true});
                     for (size_t at = 0; at < pcm.size(); at += kChunk)
                       sums.Samples(pcm.data() + at, std::min(kChunk, pcm.size() - at));
                     keep = keep + sums.Result().ArV1;
                   }).cpu);
  }
  double seconds = pcm.size() / kBytesPerSecond;
  double c = Median(copy), s = Median(sink);
  std::printf("sink alone: %.1f us per second of audio; plain copy %.1f us; sink / copy %.2f\n",
              s / seconds * 1e6, c / seconds * 1e6, s / c);
  std::printf("sink speed: %.0f x real time (%.0f MB/s)\n", seconds / s, pcm.size() / s / 1e6);
}

// Rips every track of the image's drive; feeds the sink when asked.
void RipDisc(bool withSink, cdx::TTrackChecksums& sums, std::vector<uint8_t>& buffer) {
  cdrip::CR_SetActiveCDROM(0);
  cdrip::CR_ReadToc();
  int tracks = cdrip::CR_GetNumTocEntries();
  for (int t = 0; t < tracks; ++t) {
    uint32_t start = cdrip::CR_GetTocEntry(t).dwStartSector;
    uint32_t end = cdrip::CR_GetTocEntry(t + 1).dwStartSector;
    int capacity = static_cast<int>(buffer.size());
    if (cdrip::CR_OpenRipper(&capacity, start, end) != cdrip::CR_OK) std::exit(1);
    sums.Reset({uint64_t{end - start} * 588, t == 0, t + 1 == tracks});
    bool abort = false;
    for (;;) {
      int bytes = 0;
      if (cdrip::CR_RipChunk(buffer.data(), &bytes, &abort) != cdrip::CR_OK) std::exit(1);
      if (bytes == 0) break;
      if (withSink) sums.Samples(buffer.data(), static_cast<size_t>(bytes));
    }
    cdrip::CR_CloseRipper();
  }
}

void WholeDisc(const std::string& folder, const std::vector<std::string>& raws, double seconds,
               int rounds) {
  std::vector<cdx::discmaker::TrackSpec> tracks;
  for (const auto& raw : raws) tracks.push_back(cdx::discmaker::Raw(raw));
  fs::create_directories(folder + "/discs");
  cdx::discmaker::WriteImage(folder + "/discs/music.cue", tracks);
  for (const auto& raw : raws) fs::remove(raw);
  setenv("CDX_NO_DEVICES", "1", 1);
  setenv("CDX_DISCS_DIR", (folder + "/discs").c_str(), 1);
  setenv("CDX_DRIVES_DIR", (folder + "/drives").c_str(), 1);
  cdrip::CR_Init(nullptr);
  cdx::TTrackChecksums sums;
  std::vector<uint8_t> buffer(kChunk);
  std::vector<double> wallWith, wallWithout, cpuWith, cpuWithout;
  for (int r = 0; r < rounds; ++r) {
    for (bool withSink : {r % 2 == 0, r % 2 != 0}) {
      Times t = Measure([&] { RipDisc(withSink, sums, buffer); });
      (withSink ? wallWith : wallWithout).push_back(t.wall);
      (withSink ? cpuWith : cpuWithout).push_back(t.cpu);
    }
  }
  cdrip::CR_DeInit();
  std::printf(
      "whole-disc rip, %zu tracks, %.0f s of music: wall %.3f s with the sink, %.3f s "
      "without; ratio %.4f\n",
      raws.size(), seconds, Median(wallWith), Median(wallWithout),
      Median(wallWith) / Median(wallWithout));
  std::printf("  cpu %.3f s with, %.3f s without; ratio %.4f\n", Median(cpuWith),
              Median(cpuWithout), Median(cpuWith) / Median(cpuWithout));
}

}  // namespace

int main() {
  int rounds = std::getenv("ROUNDS") ? std::max(1, std::atoi(std::getenv("ROUNDS"))) : 15;
  char pattern[] = "/tmp/cdx-checksum-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  std::string folder = pattern;
  std::vector<uint8_t> pcm;
  auto raws = DecodeMusic(folder, pcm);
  double seconds = pcm.size() / kBytesPerSecond;
  if (seconds < 300) {
    std::fprintf(stderr, "bench_checksums: only %.0f s of music found\n", seconds);
    fs::remove_all(folder);
    return 1;
  }
  std::printf("music: %zu pieces, %.0f s; rounds %d; load before: %s\n", raws.size(), seconds,
              rounds, Load().c_str());
  SinkAlone(pcm, rounds);
  pcm.clear();
  pcm.shrink_to_fit();
  WholeDisc(folder, raws, seconds, rounds);
  std::printf("load after: %s\n", Load().c_str());
  fs::remove_all(folder);
  return 0;
}
