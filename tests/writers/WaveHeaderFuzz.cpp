// libFuzzer target for the WAV header reader: any input must leave it
// within 8,192 bytes and with positions that agree with the bytes.
#include <cstdio>
#include <cstdlib>

#include "tests/writers/WaveHeaderCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem = cdx::test::CheckHeaderReader(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "header reader: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
