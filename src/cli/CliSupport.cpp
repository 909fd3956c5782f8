#include "cli/CliSupport.h"

#include <ostream>

#include "base/Cp1250.h"
#include "base/TextUtils.h"

namespace quorvel::cli {

TArgs::TArgs(const std::vector<std::string>& args, std::initializer_list<TOptionSpec> options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
      positional_.push_back(a);
      continue;
    }
    std::string name = a.substr(2);
    std::optional<std::string> inlineValue;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    const TOptionSpec* spec = nullptr;
    for (const auto& o : options)
      if (o.Name == name) spec = &o;
    if (!spec) throw TUsageError("nieznana opcja --" + name);
    std::vector<std::string> values;
    if (inlineValue) {
      if (spec->Values != 1) throw TUsageError("opcja --" + name + " nie przyjmuje wartości =");
      values.push_back(*inlineValue);
    } else {
      for (int k = 0; k < spec->Values; ++k) {
        if (i + 1 >= args.size()) throw TUsageError("opcja --" + name + " wymaga wartości");
        values.push_back(args[++i]);
      }
    }
    options_.emplace(name, std::move(values));
  }
}

const std::string& TArgs::Required(std::size_t index, std::string_view what) const {
  if (index >= positional_.size()) throw TUsageError("brak argumentu " + std::string(what));
  return positional_[index];
}

void TArgs::ExpectAtMost(std::size_t count) const {
  if (positional_.size() > count) throw TUsageError("nadmiarowy argument " + positional_[count]);
}

bool TArgs::Flag(std::string_view name) const { return options_.find(name) != options_.end(); }

std::optional<std::string> TArgs::Option(std::string_view name) const {
  auto [b, e] = options_.equal_range(name);
  std::optional<std::string> v;
  for (auto it = b; it != e; ++it)
    if (!it->second.empty()) v = it->second.front();
  return v;
}

std::vector<std::string> TArgs::Options(std::string_view name) const {
  std::vector<std::string> out;
  auto [b, e] = options_.equal_range(name);
  for (auto it = b; it != e; ++it)
    if (!it->second.empty()) out.push_back(it->second.front());
  return out;
}

std::vector<std::string> TArgs::Values(std::string_view name) const {
  auto [b, e] = options_.equal_range(name);
  std::vector<std::string> v;
  for (auto it = b; it != e; ++it) v = it->second;
  return v;
}

std::optional<int> TArgs::IntOption(std::string_view name) const {
  const auto v = Option(name);
  if (!v) return std::nullopt;
  int32_t n = 0;
  if (!TryStrToInt(*v, n)) throw TUsageError("opcja --" + std::string(name) + " wymaga liczby: " + *v);
  return n;
}

void WriteText(std::ostream& out, std::string_view cp1250) { out << Cp1250ToUtf8(cp1250); }

void WriteLine(std::ostream& out, std::string_view cp1250) { out << Cp1250ToUtf8(cp1250) << '\n'; }

json JsonText(std::string_view cp1250) { return Cp1250ToUtf8(cp1250); }

json JsonDate(TDateTime value) {
  if (value == 0) return nullptr;
  return FormatIso(value);
}

void WriteJsonLine(std::ostream& out, const json& value) { out << value.dump() << '\n'; }

std::string PathArg(const std::string& arg) { return arg; }

}  // namespace quorvel::cli
