#include "cli/TerminalPrompts.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

#include "base/Cp1250.h"

namespace quorvel::cli {

namespace {

// Set by the Ctrl-C handler; the core polls it through UserBreakPressed.
volatile std::sig_atomic_t gBreak = 0;

extern "C" void OnInterrupt(int) { gBreak = 1; }

}  // namespace

TTerminalPrompts::TTerminalPrompts(std::optional<bool> forcedAnswer, bool quiet)
    : forcedAnswer_(forcedAnswer), quiet_(quiet) {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
}

TTerminalPrompts::~TTerminalPrompts() { std::signal(SIGINT, SIG_DFL); }

void TTerminalPrompts::ShowMessage(std::string_view text, std::string_view caption, TMessageKind kind) {
  if (quiet_ && kind == TMessageKind::Information) return;
  std::cerr << Cp1250ToUtf8(caption) << ": " << Cp1250ToUtf8(text) << std::endl;
}

bool TTerminalPrompts::AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) {
  if (forcedAnswer_) return *forcedAnswer_;
  if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO)) return defaultYes;
  for (;;) {
    std::cerr << Cp1250ToUtf8(caption) << ": " << Cp1250ToUtf8(text) << (defaultYes ? " [T/n] " : " [t/N] ")
              << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return defaultYes;
    if (answer.empty()) return defaultYes;
    const char c = answer[0];
    if (c == 't' || c == 'T' || c == 'y' || c == 'Y') return true;
    if (c == 'n' || c == 'N') return false;
  }
}

bool TTerminalPrompts::UserBreakPressed() {
  if (!gBreak) return false;
  gBreak = 0;
  return true;
}

bool TTerminalPrompts::PortSetupDialog(std::string_view, TPortDialogSettings&) {
  // The terminal has no dialog; the port is set up by the command's options.
  return false;
}

}  // namespace quorvel::cli
