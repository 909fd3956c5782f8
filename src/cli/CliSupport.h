// What every command of quorvel-cli shares: argument parsing, output in UTF-8, JSON forms.
#pragma once

#include <initializer_list>
#include <iosfwd>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "base/UserPrompts.h"

namespace quorvel::cli {

using nlohmann::json;

// Wrong usage: exit status 2, the message (UTF-8) and the command's usage on standard error.
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCliContext {
  std::ostream& Out;
  std::ostream& Err;
  TUserPrompts& Prompts;
  bool Quiet = false;
  bool ErrIsTerminal = false;
};

// Options of a command: each known option with the number of values it takes ("--json" 0,
// "--port" 1, "--numbers" 2). "--name=value" works for one-value options. Anything else that
// starts with "--" is a usage error; the rest are positional arguments.
class TArgs {
 public:
  struct TOptionSpec {
    std::string Name;
    int Values = 0;
  };
  TArgs(const std::vector<std::string>& args, std::initializer_list<TOptionSpec> options);

  const std::vector<std::string>& Positional() const { return positional_; }
  // The positional argument at `index`; a usage error naming `what` when it is missing.
  const std::string& Required(std::size_t index, std::string_view what) const;
  // Fails with a usage error when there are more positional arguments than `count`.
  void ExpectAtMost(std::size_t count) const;

  bool Flag(std::string_view name) const;
  // The value of a one-value option, its last occurrence.
  std::optional<std::string> Option(std::string_view name) const;
  // Every value of a repeatable one-value option, in order.
  std::vector<std::string> Options(std::string_view name) const;
  // The values of the last occurrence of a multi-value option ("--numbers A B"), or empty.
  std::vector<std::string> Values(std::string_view name) const;
  // A one-value option as a strict integer; a usage error when it is not one.
  std::optional<int> IntOption(std::string_view name) const;

 private:
  std::vector<std::string> positional_;
  std::multimap<std::string, std::vector<std::string>, std::less<>> options_;
};

// Writes Windows-1250 text to the output as UTF-8.
void WriteText(std::ostream& out, std::string_view cp1250);
void WriteLine(std::ostream& out, std::string_view cp1250);
inline void WriteText(TCliContext& ctx, std::string_view cp1250) { WriteText(ctx.Out, cp1250); }
inline void WriteLine(TCliContext& ctx, std::string_view cp1250) { WriteLine(ctx.Out, cp1250); }

// JSON values of the system's texts and dates.
json JsonText(std::string_view cp1250);
json JsonDate(TDateTime value);
// One line of JSON Lines.
void WriteJsonLine(std::ostream& out, const json& value);

// A path argument as the program uses it (UTF-8 on this system).
std::string PathArg(const std::string& arg);

}  // namespace quorvel::cli
