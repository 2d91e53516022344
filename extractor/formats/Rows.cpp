#include "extractor/formats/Rows.h"

namespace cdx {

TRateConverter* NewRateConverter(TComponent& owner, int rate) {
  auto* converter = CreateComponent<TRateConverter>(owner);
  converter->SetOutSampleRate(rate);
  return converter;
}

TMSConverter* NewChannelConverter(TComponent& owner) {
  return CreateComponent<TMSConverter>(owner);
}

TSampleConverter* NewWidthConverter(TComponent& owner) {
  return CreateComponent<TSampleConverter>(owner);
}

}  // namespace cdx
