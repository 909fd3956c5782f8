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
  keyboard_ = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved_) == 0;
  KeysMode(true);
}

TTerminalPrompts::~TTerminalPrompts() {
  KeysMode(false);
  std::signal(SIGINT, SIG_DFL);
}

void TTerminalPrompts::KeysMode(bool on) {
  if (!keyboard_) return;
  termios t = saved_;
  if (on) {
    t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
  }
  ::tcsetattr(STDIN_FILENO, TCSANOW, &t);
}

void TTerminalPrompts::ShowMessage(std::string_view text, std::string_view caption, TMessageKind kind) {
  if (quiet_ && kind == TMessageKind::Information) return;
  std::cerr << Cp1250ToUtf8(caption) << ": " << Cp1250ToUtf8(text) << std::endl;
}

bool TTerminalPrompts::AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) {
  if (forcedAnswer_) return *forcedAnswer_;
  if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO)) return defaultYes;
  KeysMode(false);
  struct TRestore {
    TTerminalPrompts* Self;
    ~TRestore() { Self->KeysMode(true); }
  } restore{this};
  ::tcflush(STDIN_FILENO, TCIFLUSH);  // the Esc that led here is not an answer
  for (;;) {
    std::cerr << "\n" << Cp1250ToUtf8(caption) << ": " << Cp1250ToUtf8(text) << (defaultYes ? " [T/n] " : " [t/N] ")
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
  bool pressed = gBreak != 0;
  gBreak = 0;
  if (keyboard_) {
    char keys[64];
    ssize_t n;
    while ((n = ::read(STDIN_FILENO, keys, sizeof keys)) > 0)
      for (ssize_t i = 0; i < n; ++i)
        if (keys[i] == '\x1B') pressed = true;
  }
  return pressed;
}

bool TTerminalPrompts::PortSetupDialog(std::string_view, TPortDialogSettings&) {
  // The terminal has no dialog; the port is set up by the command's options.
  return false;
}

}  // namespace quorvel::cli
