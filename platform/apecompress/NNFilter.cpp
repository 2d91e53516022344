#include "platform/apecompress/NNFilter.h"

#include <algorithm>
#include <stdexcept>

namespace apecompress {
namespace {

NNKernel Resolve(NNKernel kernel) {
  if (kernel != NNKernel::kAuto) return kernel;
  if (NNKernelSupported(NNKernel::kAvx2)) return NNKernel::kAvx2;
  if (NNKernelSupported(NNKernel::kSse2)) return NNKernel::kSse2;
  return NNKernel::kScalar;
}

}  // namespace

#if defined(__x86_64__)
bool NNKernelSupported(NNKernel kernel) {
  switch (kernel) {
    case NNKernel::kAvx2:
      return __builtin_cpu_supports("avx2");
    case NNKernel::kSse2:
      return __builtin_cpu_supports("sse2");
    default:
      return true;
  }
}
#else
// Elsewhere only the portable loops exist.
bool NNKernelSupported(NNKernel kernel) {
  return kernel == NNKernel::kScalar || kernel == NNKernel::kAuto;
}
void RunNNFilterSse2(NNFilterState& s, int32_t* v, uint32_t n) {
  RunNNFilterScalar(s, v, n);
}
void RunNNFilterAvx2(NNFilterState& s, int32_t* v, uint32_t n) {
  RunNNFilterScalar(s, v, n);
}
void RunNNFilterPairSse2(NNFilterState& a, int32_t* va, NNFilterState& b, int32_t* vb, uint32_t n) {
  RunNNFilterPairScalar(a, va, b, vb, n);
}
void RunNNFilterPairAvx2(NNFilterState& a, int32_t* va, NNFilterState& b, int32_t* vb, uint32_t n) {
  RunNNFilterPairScalar(a, va, b, vb, n);
}
#endif

NNFilter::NNFilter(int order, int shift, NNKernel kernel)
    : weights_(size_t(order)), history_(size_t(order + kWindow)), adapt_(size_t(order + kWindow)) {
  if (order < 16 || order % 16 != 0 || shift < 1 || shift > 30) {
    throw std::invalid_argument("NNFilter: order must be a multiple of 16");
  }
  kernel = Resolve(kernel);
  if (!NNKernelSupported(kernel)) throw std::invalid_argument("NNFilter: kernel not supported");
  run_ = kernel == NNKernel::kAvx2   ? RunNNFilterAvx2
         : kernel == NNKernel::kSse2 ? RunNNFilterSse2
                                     : RunNNFilterScalar;
  runPair_ = kernel == NNKernel::kAvx2   ? RunNNFilterPairAvx2
             : kernel == NNKernel::kSse2 ? RunNNFilterPairSse2
                                         : RunNNFilterPairScalar;
  state_ = NNFilterState{order,         shift, weights_.data(), history_.data(),
                         adapt_.data(), order, order + kWindow, 0};
}

void NNFilter::Reset() {
  std::fill(weights_.begin(), weights_.end(), int16_t(0));
  std::fill(history_.begin(), history_.end(), int16_t(0));
  std::fill(adapt_.begin(), adapt_.end(), int16_t(0));
  state_.pos = state_.order;
  state_.average = 0;
}

void NNFilter::Encode(int32_t* values, uint32_t count) {
  run_(state_, values, count);
}

void NNFilter::EncodeWith(NNFilter& other, int32_t* values, int32_t* otherValues, uint32_t count) {
  runPair_(state_, values, other.state_, otherValues, count);
}

}  // namespace apecompress
