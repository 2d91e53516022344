// What the rows of the format table share: the usual rate and channel
// settings, and the converters of a chain.
#pragma once

#include <span>

#include "converters/ACS_Converters.h"
#include "extractor/Formats.h"
#include "pipeline/Component.h"

namespace cdx {

// The rate setting of a chain that converts to one of `offered`.
template <class R>
TSetting RateSetting(int R::*field, std::span<const TChainRate> offered = kChainRates) {
  std::vector<int> rates;
  for (const TChainRate& rate : offered) rates.push_back(rate.Hz);
  return IntegerSetting<R>("rate", IntegerIn(std::move(rates), 44100),
                           "sample rate; 44100, the CD's own, converts nothing", field);
}

template <class R>
TSetting ChannelsSetting(int R::*field) {
  return IntegerSetting<R>("channels", IntegerIn({1, 2}, 2), "mono or stereo", field);
}

// A rate converter that starts at `rate`, a channel converter and a width
// converter, each when asked for.
TRateConverter* NewRateConverter(TComponent& owner, int rate);
TMSConverter* NewChannelConverter(TComponent& owner);
TSampleConverter* NewWidthConverter(TComponent& owner);

}  // namespace cdx
