// One writer fed from memory, with the outcome of its runs: the harness the
// writers' tests share.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/TestSources.h"

namespace cdx::test {

template <typename Writer>
struct TWriterRun {
  TTempDir dir;
  ComponentPtr<TMemorySource> source;
  ComponentPtr<Writer> writer;
  std::string file;

  TWriterRun(const std::string& fileName, std::vector<uint8_t> bytes, int channels, int rate,
             int bits)
      : source(MakeComponent<TMemorySource>(std::move(bytes), rate, channels, bits)),
        writer(MakeComponent<Writer>()),
        file(dir.File(fileName)) {
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
  // Runs and waits for the end, whatever it was.
  TRunEnd Run() {
    writer->Run();
    return AwaitRunEnd(*writer);
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

}  // namespace cdx::test
