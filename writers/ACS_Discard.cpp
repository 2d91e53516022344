#include "writers/ACS_Discard.h"

#include <utility>

namespace cdx {

void TDiscardOut::BeginOutput() {
  RequireInput().OpenStream();
  inputOpen_ = true;
}

bool TDiscardOut::WriteNextBlock(bool Abort) {
  if (!CanOutput) return true;
  if (Abort) return false;
  return ReadInput(block_.data(), static_cast<int>(block_.size())) > 0;
}

void TDiscardOut::EndOutput() {
  if (!std::exchange(inputOpen_, false)) return;
  if (TACSInput* input = Input()) input->CloseStream();
}

}  // namespace cdx
