// An output that keeps what it pulls in memory and records the calls the
// core makes on it, for the tests of the run control.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/ACS_Classes.h"

namespace cdx::test {

class TRecordingWriter : public TACSOutput {
 public:
  explicit TRecordingWriter(TComponent* owner, int blockSize = 4096)
      : TACSOutput(owner), buffer_(blockSize) {}

  // Failure injection and hooks, set while idle.
  bool FailInBegin = false;
  bool FailInEnd = false;                   // EndOutput raises after closing the input
  std::function<void(int block)> OnBlock;   // worker, before each block's read
  std::function<void()> OnEnd;              // worker, inside EndOutput
  std::function<void(bool Abort)> OnWrite;  // worker, first thing in WriteNextBlock

  std::vector<uint8_t> Data() {
    std::lock_guard lock(mutex_);
    return data_;
  }
  std::vector<std::string> Log() {
    std::lock_guard lock(mutex_);
    return log_;
  }
  void Note(const std::string& entry) {
    std::lock_guard lock(mutex_);
    log_.push_back(entry);
  }
  // Collects the failures reported through OnThreadException.
  void RecordErrors() {
    OnThreadException = [this](TComponent*, const std::exception& e) {
      std::lock_guard lock(mutex_);
      errors_.push_back(e.what());
    };
  }
  std::vector<std::string> Errors() {
    std::lock_guard lock(mutex_);
    return errors_;
  }
  std::atomic<int> Blocks{0};
  std::atomic<int> WriteCalls{0};
  std::atomic<int> EndCalls{0};
  std::atomic<bool> EndOnWorker{false};
  std::thread::id WorkerId() const { return Thread->Id(); }
  bool WorkerSuspended() const { return Thread->Suspended(); }
  bool OutputEnabled() const { return CanOutput; }

 protected:
  void BeginOutput() override {
    if (FailInBegin) throw EACSException("begin failed");
    RequireInput().OpenStream();
    {
      std::lock_guard lock(mutex_);
      data_.clear();
    }
    Note("begin");
  }

  bool WriteNextBlock(bool Abort) override {
    ++WriteCalls;
    if (OnWrite) OnWrite(Abort);
    if (!CanOutput) return true;
    if (Abort) return false;
    if (OnBlock) OnBlock(Blocks);
    int n = ReadInput(buffer_.data(), static_cast<int>(buffer_.size()));
    std::lock_guard lock(mutex_);
    data_.insert(data_.end(), buffer_.begin(), buffer_.begin() + n);
    ++Blocks;
    return n > 0;
  }

  void EndOutput() override {
    ++EndCalls;
    // Like a writer that finishes its encoder between looking at its input
    // and closing it.
    TACSInput* in = Input();
    if (OnEnd) OnEnd();
    EndOnWorker = std::this_thread::get_id() == Thread->Id();
    Note("end");
    if (in) in->CloseStream();
    if (FailInEnd) throw EACSException("end failed");
  }

 private:
  std::mutex mutex_;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> data_;
  std::vector<std::string> log_;
  std::vector<std::string> errors_;
};

// Copies its input unchanged, through the converter's own lock.
class TPassThrough : public TACSConverter {
 public:
  explicit TPassThrough(TComponent* owner) : TACSConverter(owner) {}
  int GetBitsPerSample() override { return RequireInput().GetBitsPerSample(); }
  int GetChannels() override { return RequireInput().GetChannels(); }
  int GetSampleRate() override { return RequireInput().GetSampleRate(); }
  void OpenStream() override {
    RequireInput().OpenStream();
    FPosition = 0;
    FSize = RequireInput().Size();
    FBusy = true;
  }
  void CloseStream() override { CloseInput(); }
  int ReadData(void* buffer, int bufferSize) override {
    if (!Busy()) throw EACSException("The Stream is not opened");
    int n = ReadInput(buffer, bufferSize);
    FPosition += n;
    return n;
  }
};

}  // namespace cdx::test
