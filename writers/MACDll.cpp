#include "writers/MACDll.h"

namespace cdx {

std::string APEErrorText(int code) {
  switch (code) {
    case 0:
      return "OK";
    case 1000:
      return "I/O read error";
    case 1001:
      return "I/O write error";
    case 1002:
      return "invalid input file";
    case 1003:
      return "invalid output file";
    case 1004:
      return "input file file too large";
    case 1005:
      return "input file unsupported bit depth";
    case 1006:
      return "input file unsupported sample rate";
    case 1007:
      return "input file unsupported channel count";
    case 1008:
      return "input file too small";
    case 1009:
      return "invalid checksum";
    case 1010:
      return "decompressing frame";
    case 1011:
      return "initializing unmac";
    case 1012:
      return "invalid function parameter";
    case 1013:
      return "unsupported file type";
    case 2000:
      return "insufficient memory";
    case 3000:
      return "loading MAC.dll";
    case 3001:
      return "loading MACinfo.dll";
    case 3002:
      return "loading UnMAC.dll";
    case 4000:
      return "user stopped processing";
    case 4001:
      return "skipped...";
    case 5000:
      return "bad parameter";
    case 6000:
      return "APE compress too much data";
    default:
      return "undefined (" + std::to_string(code) + ")";
  }
}

TAPECompress::TAPECompress() {
  handle_ = c_APECompress_Create(&errorCode_);
  if (errorCode_ != 0) {
    if (handle_) c_APECompress_Destroy(handle_);
    handle_ = nullptr;
    throw EAPEException("MACDll error: " + APEErrorText(errorCode_));
  }
}

TAPECompress::~TAPECompress() {
  if (handle_) c_APECompress_Destroy(handle_);
}

int TAPECompress::Start(const std::string& outputFileName, const WAVEFORMATEX* format,
                        int maxAudioBytes, int compressionLevel, const void* headerData,
                        int headerBytes) {
  return c_APECompress_Start(handle_, outputFileName.c_str(), format, maxAudioBytes,
                             compressionLevel, headerData, headerBytes);
}

uint8_t* TAPECompress::LockBuffer(int* bytesAvailable) {
  return c_APECompress_LockBuffer(handle_, bytesAvailable);
}

int TAPECompress::UnlockBuffer(int bytesAdded, bool process) {
  return c_APECompress_UnlockBuffer(handle_, bytesAdded, process ? 1 : 0);
}

int TAPECompress::Finish(uint8_t* terminatingData, int terminatingBytes, int wavTerminatingBytes) {
  return c_APECompress_Finish(handle_, terminatingData, terminatingBytes, wavTerminatingBytes);
}

}  // namespace cdx
