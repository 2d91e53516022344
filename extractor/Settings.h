// A format's settings as data: one plain record per format, and a
// declaration of each of its settings (its name, the values it takes, its
// default, its help). The options dialogs, the command line's parsing and
// help, the saved settings and the chain that configures the writer all
// read the same declaration, so they cannot disagree about a value.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cdx {

enum class TValueKind { Flag, Integer, Real, Word, Text };

// The values a setting takes.
struct TOptionDomain {
  TValueKind Kind = TValueKind::Flag;
  // Integer: the numbers taken; when empty, any number from Low to High.
  std::vector<int> Integers;
  // Integer without a list, and Real: the range, both ends included.
  double Low = 0;
  double High = 0;
  // Real: the values are taken in steps of this much (0: any value).
  double Step = 0;
  // Word: the choices. Integer: words taken instead of a number ("auto").
  std::vector<std::string> Words;
  // Text: how the help names the value ("TEXT", "TAG=VALUE").
  std::string Placeholder;
  // The value of a record left alone, as the command line writes it; ""
  // when the help has nothing to say of it.
  std::string Default;
};

TOptionDomain Flag();
TOptionDomain IntegerIn(std::vector<int> values, int byDefault,
                        std::vector<std::string> words = {});
TOptionDomain IntegerBetween(int low, int high, int byDefault, std::vector<std::string> words = {});
TOptionDomain RealBetween(double low, double high, double step, std::string byDefault);
TOptionDomain WordIn(std::vector<std::string> words, std::string byDefault);
TOptionDomain AnyText(std::string placeholder);

// A value, checked against its setting's domain.
struct TOptionValue {
  std::string Text;  // as given; empty for a flag
  int Integer = 0;   // Integer: the number
  double Real = 0;   // Real: the number
  int Word = -1;     // the place in Words of the word given, -1 for none
};

// Checks `text` against `domain`; false when the domain does not take it.
bool ReadOptionValue(const TOptionDomain& domain, const std::string& text, TOptionValue& value);
// How the help shows the values of `domain`: "1|2", "0..9", "pcm|adpcm".
std::string DescribeDomain(const TOptionDomain& domain);
// Every value the domain takes, as text, for a domain that takes a known
// number of them; empty for text, for unstepped ranges and for a flag,
// which takes no value (it is given or not).
std::vector<std::string> DomainValues(const TOptionDomain& domain);
// "0.20": a real value as the settings write it.
std::string TwoDecimals(double value);

// The settings record of one format. Each format derives its own from
// TSettingsRecord; the declaration reaches its fields by the format's type.
class TFormatSettings {
 public:
  virtual ~TFormatSettings() = default;
  virtual std::unique_ptr<TFormatSettings> Clone() const = 0;
};

template <class Self>
class TSettingsRecord : public TFormatSettings {
 public:
  std::unique_ptr<TFormatSettings> Clone() const override {
    return std::make_unique<Self>(static_cast<const Self&>(*this));
  }
};

struct TSetting {
  std::string Name{};  // "rate": --rate on the command line, the key of the saved value
  TOptionDomain Domain{};
  std::string Help{};  // one line of --help; the default is added from the domain
  // Each value given adds one; otherwise a setting has one value.
  bool Repeatable = false;
  // False for a setting only the command line sets: the window keeps its
  // default.
  bool InDialog = true;
  // The values of the setting in a record, as the command line writes
  // them: one, none for a flag that is off, any number for a repeatable
  // setting.
  std::function<std::vector<std::string>(const TFormatSettings&)> Get{};
  // Takes one value of the domain into a record.
  std::function<void(TFormatSettings&, const TOptionValue&)> Set{};
  // A repeatable setting: forgets its values, before the ones given.
  std::function<void(TFormatSettings&)> Clear{};
};

// Puts `texts` into `record` through `setting`, each checked against its
// domain; false, with the record unchanged, when one is not taken.
bool SetSetting(const TSetting& setting, TFormatSettings& record,
                const std::vector<std::string>& texts);

// Declarations of the usual kinds of setting, stored in one field of the
// format's record `R`.
template <class R>
TSetting IntegerSetting(std::string name, TOptionDomain domain, std::string help, int R::*field) {
  return {std::move(name),
          std::move(domain),
          std::move(help),
          false,
          true,
          [field](const TFormatSettings& s) {
            return std::vector<std::string>{std::to_string(static_cast<const R&>(s).*field)};
          },
          [field](TFormatSettings& s, const TOptionValue& v) {
            static_cast<R&>(s).*field = v.Integer;
          }};
}

// A switch: given, the field takes `whenGiven`.
template <class R>
TSetting FlagSetting(std::string name, std::string help, bool R::*field, bool whenGiven = true) {
  return {std::move(name),
          Flag(),
          std::move(help),
          false,
          true,
          [field, whenGiven](const TFormatSettings& s) {
            return static_cast<const R&>(s).*field == whenGiven ? std::vector<std::string>{""}
                                                                : std::vector<std::string>{};
          },
          [field, whenGiven](TFormatSettings& s, const TOptionValue&) {
            static_cast<R&>(s).*field = whenGiven;
          }};
}

// One of the words of the domain, stored as its place among them.
template <class R, class E>
TSetting WordSetting(std::string name, TOptionDomain domain, std::string help, E R::*field) {
  std::vector<std::string> words = domain.Words;
  return {std::move(name),
          std::move(domain),
          std::move(help),
          false,
          true,
          [field, words](const TFormatSettings& s) {
            const size_t place = static_cast<size_t>(static_cast<const R&>(s).*field);
            return place < words.size() ? std::vector<std::string>{words[place]}
                                        : std::vector<std::string>{};
          },
          [field](TFormatSettings& s, const TOptionValue& v) {
            static_cast<R&>(s).*field = static_cast<E>(v.Word);
          }};
}

template <class R>
TSetting TextSetting(std::string name, std::string placeholder, std::string help,
                     std::string R::*field) {
  return {
      std::move(name),
      AnyText(std::move(placeholder)),
      std::move(help),
      false,
      true,
      [field](const TFormatSettings& s) {
        return std::vector<std::string>{static_cast<const R&>(s).*field};
      },
      [field](TFormatSettings& s, const TOptionValue& v) { static_cast<R&>(s).*field = v.Text; }};
}

// The same setting, set only from the command line.
TSetting CommandLineOnly(TSetting setting);

}  // namespace cdx
