// Small real sources and helpers shared by the tests of every area.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/ACS_Classes.h"

namespace cdx::test {

// A source that hands out a fixed byte sequence in the format it is told,
// `chunk` bytes at most per ReadData, and can be made to fail.
class TMemorySource : public TACSInput {
 public:
  TMemorySource(TComponent* owner, std::vector<uint8_t> bytes, int rate = 44100, int channels = 2,
                int bits = 16);

  int GetBitsPerSample() override { return bits_; }
  int GetChannels() override { return channels_; }
  int GetSampleRate() override { return rate_; }
  int ReadData(void* buffer, int bufferSize) override;
  void OpenStream() override;
  void CloseStream() override;

  // Settings, to be changed while the source is closed.
  bool ReportSize = true;        // false: Size is -1
  int Chunk = 1 << 30;           // largest count handed out per ReadData
  bool FailOnOpen = false;       // OpenStream raises "open failed"
  int64_t FailAtByte = -1;       // ReadData raises "read failed" once Position reaches it
  std::function<void()> OnRead;  // runs at the start of every ReadData (worker thread)
  void SetFormat(int rate, int channels, int bits);

  std::atomic<int> OpenCount{0};
  std::atomic<int> CloseCount{0};
  std::atomic<int> ReadCalls{0};
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  std::atomic<int> rate_, channels_, bits_;
  size_t next_ = 0;
};

// Deterministic test audio: 16-bit little-endian interleaved.
std::vector<uint8_t> PcmBytes(const std::vector<int16_t>& samples);
std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes);
std::vector<int16_t> SineWave(int frames, int channels, double freq, int rate, double amplitude);
std::vector<int16_t> Noise(int frames, int channels, uint32_t seed, int amplitude = 32767);
std::vector<uint8_t> CountingBytes(size_t count);

// Serves the main-thread queue until `done` holds or `timeout` passes;
// returns whether `done` held.
bool ServeUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(30));
// Serves the main-thread queue until the end of `output`'s run arrives, and
// returns it; raises std::runtime_error when it has not come in `timeout`.
TRunEnd AwaitRunEnd(TACSOutput& output,
                    std::chrono::milliseconds timeout = std::chrono::seconds(60));
// Runs `output` and waits for the end of the run; true when it came and the
// run was not a failure.
bool RunToEnd(TACSOutput& output, std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Makes every write past `limit` bytes of a file fail for this process, as
// a full disk would (the system says "File too large"), for its lifetime.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(uint64_t limit);
  ~TFileSizeLimit();
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  uint64_t oldLimit_ = 0;
  void (*oldHandler_)(int) = nullptr;
};

// A fresh empty directory under the system's temporary folder, removed
// with this object.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFile(const std::string& path);
// The unfinished files a writer keeps under hidden names in `folder` while
// it runs; none may be left once the run has ended.
std::vector<std::string> PartFilesIn(const std::string& folder);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
// Open file descriptors of this process, to see that a failed start closed
// what it opened. Pipes are left out: clang's sanitizer runtimes open and
// close one on any thread to find out whether memory can be read.
int OpenFdCount();
// Runs a shell command; returns its exit status and fills `output` with
// what it printed on stdout and stderr.
int RunCommand(const std::string& command, std::string* output = nullptr);
// A path as one word of a shell command (the tests' paths hold no quote).
inline std::string ShellQuoted(const std::string& path) {
  return "'" + path + "'";
}

}  // namespace cdx::test
