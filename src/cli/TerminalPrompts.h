// The terminal's face of TUserPrompts: messages on standard error, questions answered on the
// terminal or by --yes/--no, Esc (on an interactive terminal) or Ctrl-C as the break key.
#pragma once

#include <optional>
#include <termios.h>

#include "base/UserPrompts.h"

namespace quorvel::cli {

class TTerminalPrompts : public TUserPrompts {
 public:
  // `forcedAnswer` answers every question (--yes / --no); without it an interactive terminal is
  // asked and anything else takes the default button.
  TTerminalPrompts(std::optional<bool> forcedAnswer, bool quiet);
  ~TTerminalPrompts() override;

  void ShowMessage(std::string_view text, std::string_view caption, TMessageKind kind) override;
  bool AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) override;
  void SetBusyCursor(bool) override {}
  void PumpMessages() override {}
  bool UserBreakPressed() override;
  bool PortSetupDialog(std::string_view portName, TPortDialogSettings& settings) override;

 private:
  // While the command runs, an interactive terminal reads keys one at a time without echo, so
  // that Esc can be seen; questions and the end of the program give it back its line mode.
  void KeysMode(bool on);

  std::optional<bool> forcedAnswer_;
  bool quiet_;
  bool keyboard_ = false;
  termios saved_{};
};

}  // namespace quorvel::cli
