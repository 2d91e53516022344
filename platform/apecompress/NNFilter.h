// One adaptive FIR stage of the cascade (the decoder's "NN filter"), run in
// the encoder's direction: given the values the decoder's stage must output,
// it produces the values the decoder's stage will be fed.
//
// Weights and history are int16 in contiguous arrays so the dot product and
// the sign-LMS update are straight SIMD loops; the history slides through a
// longer buffer and is copied back only once every kWindow values.
#pragma once

#include <cstdint>
#include <vector>

namespace apecompress {

// Which implementation of the inner loops runs. kAuto picks the fastest the
// processor supports; the others exist so tests can compare them.
enum class NNKernel { kAuto, kScalar, kSse2, kAvx2 };

bool NNKernelSupported(NNKernel kernel);

// The working state the loops see, as plain pointers into NNFilter's arrays.
struct NNFilterState {
  int order;
  int shift;
  int16_t* weights;  // weights[j] pairs with the value order - j blocks old
  int16_t* history;  // clipped outputs; the last `order` end before `pos`
  int16_t* adapt;    // signed adaptation step of each history entry, pre-aged
  int pos;
  int end;  // buffer length; at pos == end the last `order` entries move to the front
  uint32_t average;
};

class NNFilter {
 public:
  static constexpr int kWindow = 512;

  // order: a multiple of 16; shift: the fixed-point scale of the weights.
  NNFilter(int order, int shift, NNKernel kernel = NNKernel::kAuto);

  // Resets to the frame-start state (everything zero).
  void Reset();
  // In place: each desired output value is replaced by its stage input.
  void Encode(int32_t* values, uint32_t count);
  // The same for two streams at once, this stage's and `other`'s (of the
  // same shape and kernel): faster than one after the other.
  void EncodeWith(NNFilter& other, int32_t* values, int32_t* otherValues, uint32_t count);

  int Order() const { return state_.order; }

 private:
  using Runner = void (*)(NNFilterState&, int32_t*, uint32_t);
  using PairRunner = void (*)(NNFilterState&, int32_t*, NNFilterState&, int32_t*, uint32_t);
  std::vector<int16_t> weights_, history_, adapt_;
  NNFilterState state_;
  Runner run_;
  PairRunner runPair_;
};

// The per-instruction-set loops (NNFilterScalar.cpp, NNFilterSse2.cpp,
// NNFilterAvx2.cpp).
void RunNNFilterScalar(NNFilterState& state, int32_t* values, uint32_t count);
void RunNNFilterSse2(NNFilterState& state, int32_t* values, uint32_t count);
void RunNNFilterAvx2(NNFilterState& state, int32_t* values, uint32_t count);
void RunNNFilterPairScalar(NNFilterState& a, int32_t* valuesA, NNFilterState& b, int32_t* valuesB,
                           uint32_t count);
void RunNNFilterPairSse2(NNFilterState& a, int32_t* valuesA, NNFilterState& b, int32_t* valuesB,
                         uint32_t count);
void RunNNFilterPairAvx2(NNFilterState& a, int32_t* valuesA, NNFilterState& b, int32_t* valuesB,
                         uint32_t count);

}  // namespace apecompress
