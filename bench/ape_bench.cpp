// APE compressor benchmark against flac -8 on real music.
//
//   build/bin/ape_bench                 (after building the target ape_bench)
//   build/bin/ape_bench 2000 4000       (only the levels named)
//
// The Ogg tracks of Debian's extremetuxracer-data (at least 5 minutes in
// all) are decoded by ffmpeg to 16-bit 44.1 kHz stereo PCM. Each track is
// then compressed by flac -8 and by our compressor at every level, one file
// per track, on one core. Every APE file is decoded again by ffmpeg with CRC
// checking and compared with the PCM, so a figure never comes from a broken
// file. Printed per encoder: speed as x realtime (audio seconds per CPU
// second of the encoding thread, or of the flac process), the size as a
// percentage of the PCM and relative to flac -8, and the targets
// with the measured value over (or under) the target as a ratio.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/apecompress/APECompress.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMusicDir = "/usr/share/games/etr/music";
constexpr double kBytesPerSecond = 44100.0 * 4;
constexpr size_t kPiece = 65536;  // what the writer hands over per block

struct Track {
  std::string name;
  fs::path raw;
  uint64_t bytes;
};

struct Result {
  std::string encoder;
  double cpuSeconds = 0;
  uint64_t bytes = 0;
  bool checked = false;  // decoded again and compared
  bool verified = true;
};

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ChildrenCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

bool Run(const std::string& command) {
  const int status = std::system(command.c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Quote(const fs::path& p) {
  return "'" + p.string() + "'";
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<Track> DecodeTracks(const fs::path& work) {
  std::vector<fs::path> oggs;
  for (const auto& entry : fs::directory_iterator(kMusicDir)) {
    if (entry.path().extension() == ".ogg") oggs.push_back(entry.path());
  }
  std::sort(oggs.begin(), oggs.end());
  std::vector<Track> tracks;
  for (const fs::path& ogg : oggs) {
    const fs::path raw = work / (ogg.stem().string() + ".raw");
    if (!Run("ffmpeg -nostdin -v error -i " + Quote(ogg) + " -f s16le -ar 44100 -ac 2 " +
             Quote(raw))) {
      std::fprintf(stderr, "ape_bench: ffmpeg could not decode %s\n", ogg.c_str());
      std::exit(1);
    }
    tracks.push_back({ogg.stem().string(), raw, fs::file_size(raw)});
  }
  return tracks;
}

Result RunFlac(const std::vector<Track>& tracks, const fs::path& work) {
  Result r{"flac -8"};
  for (const Track& t : tracks) {
    const fs::path out = work / (t.name + ".flac");
    const double before = ChildrenCpuSeconds();
    if (!Run("flac -8 -s -f --force-raw-format --endian=little --sign=signed --channels=2 "
             "--bps=16 --sample-rate=44100 -o " +
             Quote(out) + " " + Quote(t.raw))) {
      std::fprintf(stderr, "ape_bench: flac failed on %s\n", t.name.c_str());
      std::exit(1);
    }
    r.cpuSeconds += ChildrenCpuSeconds() - before;
    r.bytes += fs::file_size(out);
    fs::remove(out);
  }
  return r;
}

// Compresses one track the way the writer does: 64 KiB blocks handed over
// in the pieces the compressor offers. Returns the encoding thread's CPU time.
double CompressTrack(const std::vector<uint8_t>& pcm, const fs::path& out, int level) {
  const double begin = ThreadCpuSeconds();
  int error = 0;
  APE_COMPRESS_HANDLE handle = c_APECompress_Create(&error);
  WAVEFORMATEX format;
  FillWaveFormatEx(&format, 44100, 16, 2);
  int result = c_APECompress_Start(handle, out.c_str(), &format, -1, level, nullptr, -1);
  for (size_t done = 0; result == 0 && done < pcm.size();) {
    const size_t block = std::min(kPiece, pcm.size() - done);
    for (size_t given = 0; result == 0 && given < block;) {
      int available = 0;
      unsigned char* buffer = c_APECompress_LockBuffer(handle, &available);
      const size_t piece = std::min(block - given, size_t(available));
      std::copy_n(pcm.data() + done + given, piece, buffer);
      given += piece;
      result = c_APECompress_UnlockBuffer(handle, int(piece), 1);
    }
    done += block;
  }
  if (result == 0) result = c_APECompress_Finish(handle, nullptr, 0, 0);
  c_APECompress_Destroy(handle);
  if (result != 0) {
    std::fprintf(stderr, "ape_bench: compressor error %d on %s\n", result, out.c_str());
    std::exit(1);
  }
  return ThreadCpuSeconds() - begin;
}

bool DecodesBack(const fs::path& ape, const std::vector<uint8_t>& pcm) {
  const fs::path raw = ape.string() + ".raw";
  const bool ran = Run("ffmpeg -nostdin -y -v error -err_detect crccheck+explode -i " + Quote(ape) +
                       " -f s16le -c:a pcm_s16le " + Quote(raw));
  const bool same = ran && ReadFile(raw) == pcm;
  fs::remove(raw);
  return same;
}

Result RunApe(const std::vector<Track>& tracks, const fs::path& work, int level) {
  Result r{"APE " + std::to_string(level)};
  r.checked = true;
  for (const Track& t : tracks) {
    const std::vector<uint8_t> pcm = ReadFile(t.raw);
    const fs::path out = work / (t.name + ".ape");
    r.cpuSeconds += CompressTrack(pcm, out, level);
    r.bytes += fs::file_size(out);
    r.verified = r.verified && DecodesBack(out, pcm);
    fs::remove(out);
  }
  return r;
}

std::string Targets(int level, double speed, double vsFlac) {
  char text[160] = "";
  if (level == 2000) {
    std::snprintf(text, sizeof text, ">=150x: %.2f, <=flac: %.3f  %s", speed / 150, vsFlac,
                  speed >= 150 && vsFlac <= 1.0 ? "met" : "MISSED");
  } else if (level == 4000) {
    std::snprintf(text, sizeof text, "<=0.97 flac: %.3f  %s", vsFlac / 0.97,
                  vsFlac <= 0.97 ? "met" : "MISSED");
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> levels;
  for (int i = 1; i < argc; ++i) levels.push_back(std::atoi(argv[i]));
  if (levels.empty()) levels = {1000, 2000, 3000, 4000, 5000};

  const fs::path work = fs::temp_directory_path() / ("ape_bench." + std::to_string(getpid()));
  fs::create_directories(work);
  const std::vector<Track> tracks = DecodeTracks(work);
  uint64_t pcmBytes = 0;
  for (const Track& t : tracks) pcmBytes += t.bytes;
  const double seconds = double(pcmBytes) / kBytesPerSecond;
  if (seconds < 300) {
    std::fprintf(stderr, "ape_bench: only %.0f s of music in %s\n", seconds, kMusicDir);
    fs::remove_all(work);
    return 1;
  }

  const Result flac = RunFlac(tracks, work);
  std::vector<Result> results;
  for (int level : levels) results.push_back(RunApe(tracks, work, level));
  fs::remove_all(work);

  std::printf("APE compressor vs flac -8: %zu tracks, %.1f s of 16-bit 44.1 kHz stereo, one core\n",
              tracks.size(), seconds);
  std::printf("%-9s %11s %10s %9s %9s  %s\n", "encoder", "x realtime", "% of PCM", "vs flac",
              "decodes", "target: measured/target");
  bool ok = true;
  auto row = [&](const Result& r, int level) {
    const double speed = seconds / r.cpuSeconds;
    const double vsFlac = double(r.bytes) / double(flac.bytes);
    std::printf("%-9s %11.1f %10.2f %9.3f %9s  %s\n", r.encoder.c_str(), speed,
                100.0 * double(r.bytes) / double(pcmBytes), vsFlac,
                !r.checked   ? "-"
                : r.verified ? "exact"
                             : "WRONG",
                Targets(level, speed, vsFlac).c_str());
    ok = ok && r.verified;
  };
  row(flac, 0);
  for (size_t i = 0; i < results.size(); ++i) row(results[i], levels[i]);
  return ok ? 0 : 1;
}
