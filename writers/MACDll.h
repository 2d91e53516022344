// Binding of the Monkey's Audio compressor: the compressor object of one
// run, the texts of its error codes and the binding's exception class.
// The compressor is linked into the program, so the loaded flag is true.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/apecompress/APECompress.h"

namespace cdx {

constexpr bool MACDllLoaded = true;

// "MACDll error: " followed by the text of a library error code.
class EAPEException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text of a library error code; "undefined (N)" for unknown codes.
std::string APEErrorText(int code);

// One compressor, created and destroyed with this object.
class TAPECompress {
 public:
  // Raises EAPEException when the library reports an error code.
  TAPECompress();
  ~TAPECompress();
  TAPECompress(const TAPECompress&) = delete;
  TAPECompress& operator=(const TAPECompress&) = delete;

  int Start(const std::string& outputFileName, const WAVEFORMATEX* format, int maxAudioBytes,
            int compressionLevel, const void* headerData, int headerBytes);
  uint8_t* LockBuffer(int* bytesAvailable);
  int UnlockBuffer(int bytesAdded, bool process = true);
  int Finish(uint8_t* terminatingData, int terminatingBytes, int wavTerminatingBytes);

 private:
  APE_COMPRESS_HANDLE handle_ = nullptr;
  int errorCode_ = 0;
};

}  // namespace cdx
