// The test read of test and copy: takes every block of its input and keeps
// none. The checksums are taken on the way by the source's sinks; no file
// is made and nothing is encoded, so the test read costs a read alone.
#pragma once

#include <cstdint>
#include <vector>

#include "pipeline/ACS_Classes.h"

namespace cdx {

class TDiscardOut final : public TACSOutput {
 public:
  explicit TDiscardOut(TComponent* owner) : TACSOutput(owner) {}

 protected:
  // Opens the input.
  void BeginOutput() override;
  // Reads one block; false on Abort or at the end of the input.
  bool WriteNextBlock(bool Abort) override;
  // Closes the input.
  void EndOutput() override;

 private:
  static constexpr size_t kBlockBytes = 65536;
  std::vector<uint8_t> block_ = std::vector<uint8_t>(kBlockBytes);  // made once
  bool inputOpen_ = false;
};

}  // namespace cdx
