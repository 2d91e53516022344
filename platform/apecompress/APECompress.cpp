// The handle-based functions over apecompress::Compressor. No exception
// leaves them: a failed allocation becomes kErrorInsufficientMemory.
#include "platform/apecompress/APECompress.h"

#include <memory>
#include <new>

#include "platform/apecompress/Compressor.h"

struct APECompressor {
  explicit APECompressor(const apecompress::CompressorOptions& options) : compressor(options) {}
  apecompress::Compressor compressor;
};

using namespace apecompress;

APE_COMPRESS_HANDLE apecompress::CreateCompressor(const CompressorOptions& options,
                                                  int* errorCode) {
  try {
    auto handle = std::make_unique<APECompressor>(options);
    if (errorCode != nullptr) *errorCode = kErrorSuccess;
    return handle.release();
  } catch (const std::bad_alloc&) {
    if (errorCode != nullptr) *errorCode = kErrorInsufficientMemory;
    return nullptr;
  }
}

int FillWaveFormatEx(WAVEFORMATEX* format, int sampleRate, int bitsPerSample, int channels) {
  if (format == nullptr || sampleRate < 0 || bitsPerSample < 0 || channels < 0) {
    return kErrorInvalidFunctionParameter;
  }
  const uint32_t blockAlign = uint32_t(channels) * uint32_t(bitsPerSample) / 8;
  format->wFormatTag = kWaveFormatPcm;
  format->nChannels = uint16_t(channels);
  format->nSamplesPerSec = uint32_t(sampleRate);
  format->nAvgBytesPerSec = uint32_t(sampleRate) * blockAlign;
  format->nBlockAlign = uint16_t(blockAlign);
  format->wBitsPerSample = uint16_t(bitsPerSample);
  format->cbSize = 0;
  return kErrorSuccess;
}

APE_COMPRESS_HANDLE c_APECompress_Create(int* errorCode) {
  return CreateCompressor(CompressorOptions{}, errorCode);
}

void c_APECompress_Destroy(APE_COMPRESS_HANDLE handle) {
  std::unique_ptr<APECompressor> owned(handle);
}

int c_APECompress_Start(APE_COMPRESS_HANDLE handle, const char* outputFileName,
                        const WAVEFORMATEX* format, int maxAudioBytes, int compressionLevel,
                        const void* headerData, int headerBytes) {
  if (handle == nullptr) return kErrorInvalidFunctionParameter;
  try {
    return handle->compressor.Start(outputFileName, format, maxAudioBytes, compressionLevel,
                                    headerData, headerBytes);
  } catch (const std::bad_alloc&) {
    return kErrorInsufficientMemory;
  }
}

unsigned char* c_APECompress_LockBuffer(APE_COMPRESS_HANDLE handle, int* bytesAvailable) {
  if (handle == nullptr) {
    if (bytesAvailable != nullptr) *bytesAvailable = 0;
    return nullptr;
  }
  return handle->compressor.LockBuffer(bytesAvailable);
}

int c_APECompress_UnlockBuffer(APE_COMPRESS_HANDLE handle, int bytesAdded, int process) {
  if (handle == nullptr) return kErrorInvalidFunctionParameter;
  try {
    return handle->compressor.UnlockBuffer(bytesAdded, process != 0);
  } catch (const std::bad_alloc&) {
    return kErrorInsufficientMemory;
  }
}

int c_APECompress_Finish(APE_COMPRESS_HANDLE handle, unsigned char* terminatingData,
                         int terminatingBytes, int wavTerminatingBytes) {
  if (handle == nullptr) return kErrorInvalidFunctionParameter;
  try {
    return handle->compressor.Finish(terminatingData, terminatingBytes, wavTerminatingBytes);
  } catch (const std::bad_alloc&) {
    return kErrorInsufficientMemory;
  }
}
