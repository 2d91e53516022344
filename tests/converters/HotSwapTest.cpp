// Exchanging a converter's input while an output's worker pulls through it:
// every byte the inputs hand out is converted and delivered, none twice.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "converters/ACS_Converters.h"
#include "tests/converters/ConverterTestKit.h"

namespace cdx::test {
namespace {

using namespace std::chrono_literals;

struct TSwapCase {
  std::string name;
  std::function<ComponentPtr<TACSConverter>()> make;
  // The converter's output for the whole stream its inputs delivered.
  std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> expected;
};

class HotSwap : public ::testing::TestWithParam<TSwapCase> {};

// Each input's reads must start at its beginning after it is (re)opened and
// go on without a gap; returns how many times the stream moved to another
// input.
int CheckSegments(const TDeliveryLog& log) {
  int changes = 0, source = -1;
  int32_t next = 0;
  for (const auto& read : log.reads) {
    if (read.source != source) {
      EXPECT_EQ(read.offset, 0) << "input " << read.source << " did not start at its beginning";
      if (source != -1) ++changes;
      source = read.source;
    } else if (read.offset != 0) {  // 0: swapped out and in again unread
      EXPECT_EQ(read.offset, next) << "a gap in input " << source;
    }
    next = read.offset + read.count;
  }
  return changes;
}

// Whenever the converter has read from its input since the last swap, the
// worker asks for the next one after its block and waits (outside every
// lock) until the main thread has made it, so a dozen swaps land whatever
// the machine's load. Right after each, the main thread swaps once more
// while the worker runs on, which may land in the middle of a converter's
// block. Four inputs in turn, so consecutive swaps never bring back the one
// just read.
TEST_P(HotSwap, LosesNoBlockWhileTheWorkerPulls) {
  const auto& c = GetParam();
  TDeliveryLog log;
  std::vector<ComponentPtr<TLoggingSource>> sources;
  for (int id = 0; id < 4; ++id) {
    sources.push_back(
        MakeComponent<TLoggingSource>(PcmBytes(Noise(88200, 2, 10 + id, 20000)), id, &log));
    sources.back()->Chunk = 4 * 37 + 2;  // odd sizes, many reads
  }
  auto converter = c.make();
  auto output = MakeComponent<TCollectingOutput>(3000);
  constexpr int Rendezvous = 12;
  std::atomic<int> asked{0}, made{0};
  size_t readsAtSwap = 0;  // worker only
  output->AfterBlock = [&](int) {
    if (asked >= Rendezvous || log.reads.size() == readsAtSwap) return;
    const int want = ++asked;
    const auto give_up = std::chrono::steady_clock::now() + 10s;
    while (made < want && std::chrono::steady_clock::now() < give_up)
      std::this_thread::sleep_for(50us);
    readsAtSwap = log.reads.size();
  };
  converter->SetInput(sources[0].get());
  output->SetInput(converter.get());
  output->Run();
  int swaps = 0;
  auto swap = [&] { converter->SetInput(sources[++swaps % 4].get()); };
  for (int i = 1; i <= Rendezvous && output->Status() != 2; ++i) {
    while (asked < i && output->Status() != 2) std::this_thread::sleep_for(50us);
    if (output->Status() == 2) break;
    swap();
    made = i;
    swap();
  }
  AwaitRunEnd(*output);
  EXPECT_EQ(made, Rendezvous);
  EXPECT_GE(CheckSegments(log), Rendezvous);
  const auto expected = c.expected(log.bytes);
  ASSERT_EQ(output->Data().size(), expected.size());
  EXPECT_TRUE(output->Data() == expected);
}

// A source that takes its time to close, which widens the moment in which
// a swap can meet the end of a run.
class TSlowClosingSource : public TMemorySource {
 public:
  using TMemorySource::TMemorySource;
  void CloseStream() override {
    std::this_thread::sleep_for(100us);
    TMemorySource::CloseStream();
  }
};

// A swap that meets the end of the run: either it came first and the end
// of the run closes the new input, or it finds the converter closed and
// closes what it opened. Either way every input is closed exactly once.
TEST(HotSwapAtTheEnd, LeavesNoInputOpenAndClosesNoneTwice) {
  auto converter = MakeComponent<TMSConverter>();
  auto output = MakeComponent<TCollectingOutput>(4096);
  output->SetInput(converter.get());
  int swapsDuringRun = 0;
  for (int i = 0; i < 300; ++i) {
    auto first = MakeComponent<TSlowClosingSource>(CountingBytes(16384), 44100, 2, 16);
    auto second = MakeComponent<TSlowClosingSource>(CountingBytes(16384), 44100, 2, 16);
    converter->SetInput(first.get());
    output->Run();
    // Land the swap somewhere around the end of the short run.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(i % 150);
    while (std::chrono::steady_clock::now() < until) {
    }
    swapsDuringRun += converter->Busy();
    converter->SetInput(second.get());
    AwaitRunEnd(*output);
    converter->SetInput(nullptr);
    for (auto* source : {first.get(), second.get()}) {
      ASSERT_FALSE(source->Busy()) << "run " << i;
      ASSERT_EQ(source->OpenCount, source->CloseCount) << "run " << i;
    }
  }
  EXPECT_GT(swapsDuringRun, 0);
}

template <class T>
std::function<ComponentPtr<TACSConverter>()> SwapInMaker(int rate = 0) {
  return [=] {
    auto c = MakeComponent<T>();
    if constexpr (std::is_same_v<T, TRateConverter>) c->SetOutSampleRate(rate);
    return ComponentPtr<TACSConverter>(c.release());
  };
}

std::vector<uint8_t> Rate(const std::vector<uint8_t>& in, int outRate) {
  return PcmBytes(ReferenceRate(Samples(in), 2, 44100, outRate).samples);
}

INSTANTIATE_TEST_SUITE_P(
    Converters, HotSwap,
    ::testing::Values(TSwapCase{"Rate22050", SwapInMaker<TRateConverter>(22050),
                                [](const auto& in) { return Rate(in, 22050); }},
                      TSwapCase{"Rate48000", SwapInMaker<TRateConverter>(48000),
                                [](const auto& in) { return Rate(in, 48000); }},
                      TSwapCase{"Mix", SwapInMaker<TMSConverter>(),
                                [](const auto& in) {
                                  const auto s = Samples(in);
                                  std::vector<int16_t> out;
                                  for (size_t i = 0; i + 1 < s.size(); i += 2)
                                    out.push_back(static_cast<int16_t>((s[i] + s[i + 1]) / 2));
                                  return PcmBytes(out);
                                }},
                      TSwapCase{"Narrow", SwapInMaker<TSampleConverter>(),
                                [](const auto& in) {
                                  std::vector<uint8_t> out;
                                  for (int16_t x : Samples(in))
                                    out.push_back(static_cast<uint8_t>((x + 32768) >> 8));
                                  return out;
                                }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace cdx::test
