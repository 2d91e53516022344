#include "writers/ACS_MAC.h"

#include <algorithm>
#include <cstring>

namespace cdx {

TMACOut::TMACOut(TComponent* owner) : TACSFileOut(owner), FBuffer(kBufferSize) {
  if (!MACDllLoaded) throw EACSException("MACDll.dll library could not be loaded.");
}

TMACOut::~TMACOut() = default;

void TMACOut::SetCompressionLevel(int value) {
  const auto& levels = kMACCompressionLevels;
  bool known = std::find(levels.begin(), levels.end(), value) != levels.end();
  FCompressionLevel = known ? value : 2000;
}

void TMACOut::StartFile(TACSInput& input) {
  FAPECompress = std::make_unique<TAPECompress>();
  FillWaveFormatEx(&FFormat, input.GetSampleRate(), input.GetBitsPerSample(), input.GetChannels());
  // The compressor opens the run's file itself, by name.
  int code =
      FAPECompress->Start(OutputPath(), &FFormat, FMaxAudioBytes, FCompressionLevel, nullptr, -1);
  if (code != 0) throw EACSException("Error starting APECompress.\r\n" + APEErrorText(code));
}

bool TMACOut::WriteBlock() {
  // The end of the input is seen one call before the run ends, so an empty
  // input still starts and finishes the compressor.
  int count = ReadInput(FBuffer.data(), kBufferSize);
  if (count == 0)
    EndOfInput = true;
  else
    HandOver(count);
  return true;
}

void TMACOut::HandOver(int count) {
  const uint8_t* source = FBuffer.data();
  int remaining = count;
  while (remaining > 0) {
    int available = 0;
    uint8_t* target = FAPECompress->LockBuffer(&available);
    // A compressor that offers no room would make this loop forever.
    if (!target || available <= 0)
      throw EACSException("APECompress.LockBuffer Error: no room in the compressor's buffer");
    int piece = std::min(available, remaining);
    std::memcpy(target, source, static_cast<size_t>(piece));
    source += piece;
    int code = FAPECompress->UnlockBuffer(piece, true);
    if (code != 0) throw EACSException("APECompress.UnlockBuffer Error: " + std::to_string(code));
    remaining -= piece;
  }
}

void TMACOut::FinishFile() {
  // A file the compressor could not complete (a write error, or no audio
  // at all, which the format cannot hold) must not pass for a finished run.
  int code = FAPECompress->Finish(nullptr, 0, 0);
  if (code != 0) throw EACSException("Error finishing APECompress.\r\n" + APEErrorText(code));
}

void TMACOut::ReleaseFile() noexcept {
  FAPECompress.reset();
}

}  // namespace cdx
