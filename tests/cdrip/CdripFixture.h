// Shared set-up of the CD library tests: a private folder of disc images
// and of drive roots, no real devices, and helpers to rip a range.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/cdrip/cdrip.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {

namespace dm = cdx::discmaker;

struct RipResult {
  int result = 0;              // of the last CR_RipChunk
  std::vector<uint8_t> bytes;  // every chunk delivered before the end or the failure
  int chunks = 0;
  int largestChunk = 0;
  int lastNumBytes = -1;  // *numBytes of the last call
  // One more CR_RipChunk after a failure.
  int resultAfterFailure = 0;
  int bytesAfterFailure = -1;
};

// Sets (or with nullptr unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
  bool had_;
};

class CdripTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes discs/<name>.cue and .bin; returns the CUE path.
  std::string MakeDisc(const std::string& name, const std::vector<dm::TrackSpec>& tracks,
                       const std::string& folder = "");
  // CR_Init with an INI holding `iniText` (none when empty).
  void Init(const std::string& iniText = "");
  std::string Root(const std::string& name) const { return drives_ + "/" + name + "/"; }

  // Opens the ripper on [start, end) and reads chunks until 0 bytes or a
  // failure; `afterChunk` runs after each delivered chunk.
  RipResult Rip(uint32_t start, uint32_t end, int bufferSize = 176400,
                const std::function<void(int)>& afterChunk = {});

  TTempDir temp_;
  std::string discs_, drives_;
};

}  // namespace cdx::test
