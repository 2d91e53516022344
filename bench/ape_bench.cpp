// APE compressor benchmark on real music, against flac -8.
//
//   build/bin/ape_bench                     (after building the target ape_bench)
//   build/bin/ape_bench --rounds 5 2000 4000 (only the levels named)
//
// The Ogg tracks of Debian's extremetuxracer-data (at least 5 minutes in
// all) are decoded by ffmpeg to 16-bit 44.1 kHz stereo PCM and joined into
// one long track, so that every level has many frames to share out. For
// every level the compressor encodes it on one thread and on as many
// threads as the machine has cores, the two taking turns, several rounds
// each; speeds are audio seconds per wall-clock second (x realtime), the
// median of the rounds, and their ratio is parallel over single. Other work
// on the machine slows wall-clock figures, so the single thread's speed in
// CPU time is printed too, and the load. The files of the first round are
// decoded by ffmpeg with CRC checking and by the format's reference-family
// decoder (which reads frames one after the other), and verified by that
// decoder's verify command; a figure never comes from a file they do not
// give back exactly, and the parallel file must equal the single-threaded one.
//
// Then memory: cd-extractor-cli rips a 5-minute and a 20-minute track of a
// disc image of the same music to APE at levels 2000 and 4000, and the peak
// resident memory of each rip is compared.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/apecompress/APECompress.h"
#include "platform/apecompress/Compressor.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMusicDir = "/usr/share/games/etr/music";
// With the serial collector and the quick compiler alone it checks a file
// in less than half the time the defaults take.
constexpr const char* kReferenceDecoder =
    "java -XX:+UseSerialGC -XX:TieredStopAtLevel=1 -jar /usr/share/java/jmac.jar";
constexpr double kBytesPerSecond = 44100.0 * 4;
constexpr size_t kPiece = 65536;  // what the writer hands over per block
constexpr double kShortRipSeconds = 5 * 60, kLongRipSeconds = 20 * 60;

struct Output {
  bool ran = false;
  std::string text;
};

Output Capture(const std::string& command) {
  Output out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, n);
  const int status = ::pclose(pipe);
  out.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return out;
}

bool Run(const std::string& command) {
  return Capture(command).ran;
}

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "ape_bench: %s\n", message.c_str());
  std::exit(1);
}

std::string Quote(const fs::path& p) {
  return "'" + p.string() + "'";
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

std::string Load() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Every track of the music set, decoded and joined in name order.
std::vector<uint8_t> DecodeMusic(const fs::path& work) {
  std::vector<fs::path> oggs;
  for (const auto& entry : fs::directory_iterator(kMusicDir)) {
    if (entry.path().extension() == ".ogg") oggs.push_back(entry.path());
  }
  std::sort(oggs.begin(), oggs.end());
  std::vector<uint8_t> pcm;
  for (const fs::path& ogg : oggs) {
    const fs::path raw = work / "track.raw";
    if (!Run("ffmpeg -nostdin -y -v error -i " + Quote(ogg) + " -f s16le -ar 44100 -ac 2 " +
             Quote(raw))) {
      Die("ffmpeg could not decode " + ogg.string());
    }
    const std::vector<uint8_t> track = ReadFile(raw);
    pcm.insert(pcm.end(), track.begin(), track.end());
  }
  return pcm;
}

// flac -8's size for the same PCM.
uint64_t FlacBytes(const fs::path& raw, const fs::path& work) {
  const fs::path out = work / "music.flac";
  if (!Run("flac -8 -s -f --force-raw-format --endian=little --sign=signed --channels=2 "
           "--bps=16 --sample-rate=44100 -o " +
           Quote(out) + " " + Quote(raw))) {
    Die("flac failed");
  }
  const uint64_t bytes = fs::file_size(out);
  fs::remove(out);
  return bytes;
}

struct Timing {
  double wall = 0;
  double cpu = 0;  // of the calling thread
};

// Compresses the way the writer does: 64 KiB blocks handed over in the
// pieces the compressor offers.
Timing Compress(const std::vector<uint8_t>& pcm, const fs::path& out, int level, unsigned threads) {
  const double wallBegin = Now(), cpuBegin = ThreadCpuSeconds();
  apecompress::CompressorOptions options;
  options.threads = threads;
  int error = 0;
  APE_COMPRESS_HANDLE handle = apecompress::CreateCompressor(options, &error);
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
  if (result != 0) Die("compressor error " + std::to_string(result) + " on " + out.string());
  return {Now() - wallBegin, ThreadCpuSeconds() - cpuBegin};
}

bool FfmpegGivesBack(const fs::path& ape, const std::vector<uint8_t>& pcm) {
  const fs::path raw = ape.string() + ".raw";
  const bool ran = Run("ffmpeg -nostdin -y -v error -err_detect crccheck+explode -i " + Quote(ape) +
                       " -f s16le -c:a pcm_s16le " + Quote(raw));
  const bool same = ran && ReadFile(raw) == pcm;
  fs::remove(raw);
  return same;
}

// True when the reference decoder printed nothing but its progress (its
// exit status is 0 even when it fails).
bool OnlyProgress(const std::string& text) {
  size_t lines = 0;
  for (size_t at = 0; at < text.size(); ++lines) {
    const size_t end = std::min(text.find('\n', at), text.size());
    const std::string line = text.substr(at, end - at);
    const bool announce = lines == 0 && line.find(" '") != std::string::npos;
    if (!announce && line.rfind("Progress: ", 0) != 0) return false;
    at = end + 1;
  }
  return true;
}

bool ReferenceGivesBack(const fs::path& ape, const std::vector<uint8_t>& pcm) {
  const fs::path wav = ape.string() + ".wav";
  const Output out =
      Capture(std::string(kReferenceDecoder) + " d " + Quote(ape) + " " + Quote(wav));
  const std::vector<uint8_t> bytes = ReadFile(wav);
  fs::remove(wav);
  // Files without a stored WAV header decode to a canonical 44-byte one.
  return out.ran && OnlyProgress(out.text) && bytes.size() == pcm.size() + 44 &&
         std::equal(pcm.begin(), pcm.end(), bytes.begin() + 44);
}

bool ReferenceVerifies(const fs::path& ape) {
  const Output out = Capture(std::string(kReferenceDecoder) + " v " + Quote(ape));
  return out.ran && OnlyProgress(out.text);
}

struct LevelResult {
  int level = 0;
  std::vector<double> singleWall, singleCpu, parallelWall;
  uint64_t bytes = 0;
  bool ffmpegExact = false, referenceExact = false, verifies = false, sameFile = false;
};

LevelResult MeasureLevel(const std::vector<uint8_t>& pcm, const fs::path& work, int level,
                         int rounds) {
  LevelResult r;
  r.level = level;
  const fs::path single = work / "single.ape", parallel = work / "parallel.ape";
  for (int round = 0; round < rounds; ++round) {
    // Take turns going first, so a burst of other work hurts both alike.
    const bool singleFirst = round % 2 == 0;
    Timing t1, tn;
    if (singleFirst) t1 = Compress(pcm, single, level, 1);
    tn = Compress(pcm, parallel, level, 0);
    if (!singleFirst) t1 = Compress(pcm, single, level, 1);
    r.singleWall.push_back(t1.wall);
    r.singleCpu.push_back(t1.cpu);
    r.parallelWall.push_back(tn.wall);
    if (round == 0) {
      r.bytes = fs::file_size(single);
      r.sameFile = ReadFile(single) == ReadFile(parallel);
      r.ffmpegExact = FfmpegGivesBack(parallel, pcm);
      r.referenceExact = ReferenceGivesBack(parallel, pcm);
      r.verifies = ReferenceVerifies(parallel);
    }
  }
  fs::remove(single);
  fs::remove(parallel);
  return r;
}

// The peak resident memory (KiB) of cd-extractor-cli ripping one track of
// the disc to APE; 0 when the rip failed.
long RipPeakKiB(const fs::path& bin, const fs::path& work, const fs::path& cue, int track,
                int level) {
  const fs::path out = work / "rip", stat = work / "rip.stat";
  fs::create_directories(out);
  const bool ran =
      Run("cd " + Quote(work) + " && CDX_NO_DEVICES=1 CDX_DISCS_DIR=" + Quote(work / "none") +
          " CDX_DRIVES_DIR=" + Quote(work / "drives") + " " + Quote(bin / "bench_runstat") +
          " -o " + Quote(stat) + " -- " + Quote(bin / "cd-extractor-cli") + " --image " +
          Quote(cue) + " --tracks " + std::to_string(track) + " --format ape --level " +
          std::to_string(level) + " --out " + Quote(out) + " >/dev/null");
  fs::remove_all(out);
  double wall = 0, user = 0, sys = 0;
  long peak = 0;
  FILE* f = std::fopen(stat.c_str(), "r");
  if (f != nullptr) {
    if (std::fscanf(f, "%lf %lf %lf %ld", &wall, &user, &sys, &peak) != 4) peak = 0;
    std::fclose(f);
  }
  return ran ? peak : 0;
}

// A disc of two tracks, a 5-minute and a 20-minute one, cut from the music
// played over and over.
fs::path MakeDisc(const fs::path& bin, const fs::path& work, const std::vector<uint8_t>& music) {
  std::vector<std::string> specs;
  for (double seconds : {kShortRipSeconds, kLongRipSeconds}) {
    const size_t bytes = size_t(seconds * kBytesPerSecond);
    const fs::path raw = work / (std::to_string(int(seconds)) + ".raw");
    std::ofstream file(raw, std::ios::binary);
    for (size_t done = 0; done < bytes;) {
      const size_t n = std::min(music.size(), bytes - done);
      file.write(reinterpret_cast<const char*>(music.data()), std::streamsize(n));
      done += n;
    }
    specs.push_back("raw:file=" + raw.string());
  }
  const fs::path cue = work / "disc.cue";
  if (!Run(Quote(bin / "cdx-make-disc") + " " + Quote(cue) + " " + Quote(specs[0]) + " " +
           Quote(specs[1]) + " >/dev/null")) {
    Die("cdx-make-disc failed");
  }
  for (double seconds : {kShortRipSeconds, kLongRipSeconds}) {
    fs::remove(work / (std::to_string(int(seconds)) + ".raw"));
  }
  return cue;
}

std::string Verdict(bool met) {
  return met ? "met" : "MISSED";
}

void PrintSpeeds(const std::vector<LevelResult>& results, double seconds, uint64_t pcmBytes,
                 uint64_t flacBytes) {
  std::printf("%-6s %9s %9s %9s %7s %8s %8s %7s %7s %7s %5s\n", "level", "single_x", "cpu_x",
              "parallel_x", "ratio", "%PCM", "vs_flac", "ffmpeg", "refdec", "verify", "same");
  for (const LevelResult& r : results) {
    const double single = seconds / Median(r.singleWall);
    const double cpu = seconds / Median(r.singleCpu);
    const double parallel = seconds / Median(r.parallelWall);
    std::printf("%-6d %9.1f %9.1f %10.1f %7.2f %8.2f %8.3f %7s %7s %7s %5s\n", r.level, single, cpu,
                parallel, parallel / single, 100.0 * double(r.bytes) / double(pcmBytes),
                double(r.bytes) / double(flacBytes), r.ffmpegExact ? "exact" : "WRONG",
                r.referenceExact ? "exact" : "WRONG", r.verifies ? "ok" : "FAILED",
                r.sameFile ? "yes" : "NO");
  }
  std::printf("flac -8: %.2f %% of PCM\n", 100.0 * double(flacBytes) / double(pcmBytes));
  for (const LevelResult& r : results) {
    const double single = seconds / Median(r.singleWall);
    const double parallel = seconds / Median(r.parallelWall);
    const double target = r.level == 2000 ? 250 : r.level == 4000 ? 120 : 0;
    if (target == 0) continue;
    std::printf(
        "target level %d: single >= %.0fx: %.2f of it (%s); parallel >= 1.7x single: %.2f of it "
        "(%s)\n",
        r.level, target, single / target, Verdict(single >= target).c_str(),
        parallel / single / 1.7, Verdict(parallel / single >= 1.7).c_str());
  }
}

bool AllExact(const std::vector<LevelResult>& results) {
  return std::all_of(results.begin(), results.end(), [](const LevelResult& r) {
    return r.ffmpegExact && r.referenceExact && r.verifies && r.sameFile;
  });
}

void MeasureMemory(const fs::path& bin, const fs::path& work, const std::vector<uint8_t>& music) {
  const fs::path cue = MakeDisc(bin, work, music);
  std::printf("peak memory of a rip to APE (cd-extractor-cli, most of 2 rounds):\n");
  for (int level : {2000, 4000}) {
    long peaks[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
      for (int track : {1, 2}) {
        const long kib = RipPeakKiB(bin, work, cue, track, level);
        if (kib == 0) Die("the rip of track " + std::to_string(track) + " failed");
        peaks[track - 1] = std::max(peaks[track - 1], kib);
      }
    }
    const double ratio = double(peaks[1]) / double(peaks[0]);
    std::printf("level %d: 5 min %ld KiB, 20 min %ld KiB, ratio %.3f (target <= 1.10: %s)\n", level,
                peaks[0], peaks[1], ratio, Verdict(ratio <= 1.10).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  std::vector<int> levels;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      levels.push_back(std::atoi(argv[i]));
    }
  }
  if (levels.empty()) levels = {1000, 2000, 3000, 4000, 5000};
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();

  const fs::path work = fs::temp_directory_path() / ("ape_bench." + std::to_string(getpid()));
  fs::create_directories(work);
  const std::vector<uint8_t> pcm = DecodeMusic(work);
  const double seconds = double(pcm.size()) / kBytesPerSecond;
  if (seconds < 300) Die("only " + std::to_string(int(seconds)) + " s of music in " + kMusicDir);
  const fs::path raw = work / "music.raw";
  WriteFile(raw, pcm.data(), pcm.size());
  const uint64_t flacBytes = FlacBytes(raw, work);
  fs::remove(raw);

  std::printf(
      "APE compressor: %.1f s of 16-bit 44.1 kHz stereo music as one track, %u cores, "
      "median of %d rounds\nload before: %s\n",
      seconds, std::thread::hardware_concurrency(), rounds, Load().c_str());
  std::fflush(stdout);
  std::vector<LevelResult> results;
  for (int level : levels) results.push_back(MeasureLevel(pcm, work, level, rounds));
  PrintSpeeds(results, seconds, pcm.size(), flacBytes);
  std::printf("load after the speeds: %s\n", Load().c_str());
  std::fflush(stdout);
  MeasureMemory(bin, work, pcm);
  std::printf("load after: %s\n", Load().c_str());
  fs::remove_all(work);
  return AllExact(results) ? 0 : 1;
}
