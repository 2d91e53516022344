#include "tests/support/TestSources.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "pipeline/MainThreadQueue.h"

namespace cdx::test {

TMemorySource::TMemorySource(TComponent* owner, std::vector<uint8_t> bytes, int rate, int channels,
                             int bits)
    : TACSInput(owner), bytes_(std::move(bytes)), rate_(rate), channels_(channels), bits_(bits) {}

void TMemorySource::SetFormat(int rate, int channels, int bits) {
  rate_ = rate;
  channels_ = channels;
  bits_ = bits;
}

void TMemorySource::OpenStream() {
  if (Busy()) throw EACSException("The component is busy");
  if (FailOnOpen) throw EACSException("open failed");
  next_ = 0;
  FPosition = 0;
  FSize = ReportSize ? static_cast<int32_t>(bytes_.size()) : -1;
  FBusy = true;
  ++OpenCount;
}

void TMemorySource::CloseStream() {
  FBusy = false;
  ++CloseCount;
}

int TMemorySource::ReadData(void* buffer, int bufferSize) {
  ++ReadCalls;
  if (!Busy()) throw EACSException("The Stream is not opened");
  if (OnRead) OnRead();
  if (FailAtByte >= 0 && static_cast<int64_t>(next_) >= FailAtByte)
    throw EACSException("read failed");
  size_t count = std::min<size_t>(
      {static_cast<size_t>(bufferSize), bytes_.size() - next_, static_cast<size_t>(Chunk)});
  if (FailAtByte >= 0) count = std::min<size_t>(count, static_cast<size_t>(FailAtByte) - next_);
  // An empty source has no data pointer, and memcpy from null is undefined
  // even for no bytes.
  if (count > 0) std::memcpy(buffer, bytes_.data() + next_, count);
  next_ += count;
  FPosition += static_cast<int32_t>(count);
  return static_cast<int>(count);
}

std::vector<uint8_t> PcmBytes(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    auto v = static_cast<uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  return bytes;
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return samples;
}

std::vector<int16_t> SineWave(int frames, int channels, double freq, int rate, double amplitude) {
  std::vector<int16_t> s(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i) {
    double v = amplitude * std::sin(2.0 * M_PI * freq * i / rate);
    for (int c = 0; c < channels; ++c)
      s[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(std::lround(v));
  }
  return s;
}

std::vector<int16_t> Noise(int frames, int channels, uint32_t seed, int amplitude) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(-amplitude - 1, amplitude);
  std::vector<int16_t> s(static_cast<size_t>(frames) * channels);
  for (auto& v : s) v = static_cast<int16_t>(std::clamp(dist(rng), -32768, 32767));
  return s;
}

std::vector<uint8_t> CountingBytes(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  return bytes;
}

bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto& queue = TMainThreadQueue::Instance();
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    queue.WaitAndServe(std::chrono::milliseconds(2));
  }
  queue.Serve();
  return true;
}

TRunEnd AwaitRunEnd(TACSOutput& output, std::chrono::milliseconds timeout) {
  auto& queue = TMainThreadQueue::Instance();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  return WaitForRunEnd(output, [&] {
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("the run did not end in time");
    queue.WaitAndServe(std::chrono::milliseconds(2));
  });
}

bool RunToEnd(TACSOutput& output, std::chrono::milliseconds timeout) {
  output.Run();
  try {
    return AwaitRunEnd(output, timeout).Result != TRunResult::Failed;
  } catch (const std::runtime_error&) {
    return false;
  }
}

TFileSizeLimit::TFileSizeLimit(uint64_t limit) {
  oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  rlimit current{};
  getrlimit(RLIMIT_FSIZE, &current);
  oldLimit_ = current.rlim_cur;
  current.rlim_cur = limit;
  setrlimit(RLIMIT_FSIZE, &current);
}

TFileSizeLimit::~TFileSizeLimit() {
  rlimit current{};
  getrlimit(RLIMIT_FSIZE, &current);
  current.rlim_cur = oldLimit_;
  setrlimit(RLIMIT_FSIZE, &current);
  std::signal(SIGXFSZ, oldHandler_);
}

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "cdx-test-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> PartFilesIn(const std::string& folder) {
  std::vector<std::string> parts;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".") && name.ends_with(".part")) parts.push_back(entry.path().string());
  }
  return parts;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

int OpenFdCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    char target[64];
    while (const dirent* e = readdir(d)) {
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t size = readlink(link.c_str(), target, sizeof target - 1);
      // One closed since readdir saw it is gone.
      n += size > 0 && std::string_view(target, static_cast<size_t>(size)).rfind("pipe:", 0) != 0;
    }
    closedir(d);
  }
  return n;
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buf{};
  std::string text;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) text.append(buf.data(), n);
  int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace cdx::test
