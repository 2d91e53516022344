#include "extractor/Settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace cdx {

namespace {

bool ToInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

bool ToReal(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

// Whether `value` lies on the domain's steps, within rounding.
bool OnStep(const TOptionDomain& domain, double value) {
  if (domain.Step <= 0) return true;
  const double steps = (value - domain.Low) / domain.Step;
  return std::fabs(steps - std::round(steps)) < 1e-6;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "|") + part;
  return text;
}

}  // namespace

TOptionDomain Flag() {
  return {};
}

TOptionDomain IntegerIn(std::vector<int> values, int byDefault, std::vector<std::string> words) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Integer;
  domain.Integers = std::move(values);
  domain.Words = std::move(words);
  domain.Default = std::to_string(byDefault);
  return domain;
}

TOptionDomain IntegerBetween(int low, int high, int byDefault, std::vector<std::string> words) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Integer;
  domain.Low = low;
  domain.High = high;
  domain.Words = std::move(words);
  domain.Default = std::to_string(byDefault);
  return domain;
}

TOptionDomain RealBetween(double low, double high, double step, std::string byDefault) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Real;
  domain.Low = low;
  domain.High = high;
  domain.Step = step;
  domain.Default = std::move(byDefault);
  return domain;
}

TOptionDomain WordIn(std::vector<std::string> words, std::string byDefault) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Word;
  domain.Words = std::move(words);
  domain.Default = std::move(byDefault);
  return domain;
}

TOptionDomain AnyText(std::string placeholder) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Text;
  domain.Placeholder = std::move(placeholder);
  return domain;
}

bool ReadOptionValue(const TOptionDomain& domain, const std::string& text, TOptionValue& value) {
  value = TOptionValue{text};
  auto word = std::find(domain.Words.begin(), domain.Words.end(), text);
  if (word != domain.Words.end()) {
    value.Word = static_cast<int>(word - domain.Words.begin());
    return true;
  }
  switch (domain.Kind) {
    case TValueKind::Flag:
      return text.empty();
    case TValueKind::Word:
      return false;
    case TValueKind::Text:
      return true;
    case TValueKind::Integer:
      if (!ToInt(text, value.Integer)) return false;
      if (domain.Integers.empty())
        return domain.Low <= value.Integer && value.Integer <= domain.High;
      return std::count(domain.Integers.begin(), domain.Integers.end(), value.Integer) > 0;
    case TValueKind::Real:
      return ToReal(text, value.Real) && domain.Low <= value.Real && value.Real <= domain.High &&
             OnStep(domain, value.Real);
  }
  return false;
}

std::string TwoDecimals(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::string DescribeDomain(const TOptionDomain& domain) {
  std::vector<std::string> parts;
  switch (domain.Kind) {
    case TValueKind::Flag:
    case TValueKind::Word:
      break;
    case TValueKind::Integer:
      if (domain.Integers.empty())
        parts.push_back(std::to_string(static_cast<int>(domain.Low)) + ".." +
                        std::to_string(static_cast<int>(domain.High)));
      for (int value : domain.Integers) parts.push_back(std::to_string(value));
      break;
    case TValueKind::Real:
      parts.push_back(TwoDecimals(domain.Low) + ".." + TwoDecimals(domain.High));
      break;
    case TValueKind::Text:
      parts.push_back(domain.Placeholder);
      break;
  }
  parts.insert(parts.end(), domain.Words.begin(), domain.Words.end());
  return Join(parts);
}

std::vector<std::string> DomainValues(const TOptionDomain& domain) {
  std::vector<std::string> values = domain.Words;
  switch (domain.Kind) {
    case TValueKind::Flag:
    case TValueKind::Word:
    case TValueKind::Text:
      break;
    case TValueKind::Integer:
      if (!domain.Integers.empty())
        for (int value : domain.Integers) values.push_back(std::to_string(value));
      else
        for (int value = static_cast<int>(domain.Low); value <= domain.High; ++value)
          values.push_back(std::to_string(value));
      break;
    case TValueKind::Real:
      if (domain.Step <= 0) return {};
      for (double value = domain.Low; value <= domain.High + domain.Step / 2; value += domain.Step)
        values.push_back(TwoDecimals(value));
      break;
  }
  return values;
}

bool SetSetting(const TSetting& setting, TFormatSettings& record,
                const std::vector<std::string>& texts) {
  std::vector<TOptionValue> values(texts.size());
  for (size_t i = 0; i < texts.size(); ++i)
    if (!ReadOptionValue(setting.Domain, texts[i], values[i])) return false;
  if (!setting.Repeatable && values.size() > 1) return false;
  if (setting.Clear) setting.Clear(record);
  for (const TOptionValue& value : values) setting.Set(record, value);
  return true;
}

TSetting CommandLineOnly(TSetting setting) {
  setting.InDialog = false;
  return setting;
}

}  // namespace cdx
