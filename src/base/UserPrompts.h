// The one way the core talks to the person at the machine: message boxes, Yes/No questions,
// the busy cursor, letting the windows repaint during a long wait, the Escape key, and the
// port set-up dialog. The windows, the terminal and the tests each implement it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

enum class TMessageKind { Information, Warning, Error, Confirmation };

// What the port set-up dialog shows and edits (the serial line's device control block).
struct TPortDialogSettings {
  uint32_t BaudRate = 9600;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  uint8_t DataBits = 8;
  bool XonXoff = false;
  bool RtsCts = false;
};

class TUserPrompts {
 public:
  virtual ~TUserPrompts() = default;
  // Texts are Windows-1250, as everywhere in the core.
  virtual void ShowMessage(std::string_view text, std::string_view caption, TMessageKind kind) = 0;
  // Returns true for "Tak". `defaultYes` names the default button.
  virtual bool AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  // Lets the windows repaint while the core waits; painting only, no user input.
  virtual void PumpMessages() = 0;
  // True while the break key (Escape) is held or has been pressed since the last call.
  virtual bool UserBreakPressed() = 0;
  // The port set-up dialog for `portName`; true when the user confirmed it.
  virtual bool PortSetupDialog(std::string_view portName, TPortDialogSettings& settings) = 0;
};

// Answers every question with its default button and shows nothing: for work without a person.
class TSilentPrompts : public TUserPrompts {
 public:
  void ShowMessage(std::string_view, std::string_view, TMessageKind) override {}
  bool AskYesNo(std::string_view, std::string_view, bool defaultYes) override { return defaultYes; }
  void SetBusyCursor(bool) override {}
  void PumpMessages() override {}
  bool UserBreakPressed() override { return false; }
  bool PortSetupDialog(std::string_view, TPortDialogSettings&) override { return false; }
};

// For tests: records what was shown and asked, and answers from a script.
class TScriptedPrompts : public TUserPrompts {
 public:
  struct TShown {
    std::string Text, Caption;
    TMessageKind Kind;
  };
  struct TAsked {
    std::string Text, Caption;
    bool DefaultYes;
    bool Answer;
  };

  std::vector<TShown> Messages;
  std::vector<TAsked> Questions;
  std::deque<bool> Answers;        // answers to AskYesNo, in order; when empty, the default button
  int BreakAfterPumps = -1;        // UserBreakPressed turns true after this many PumpMessages calls
  int BreakCount = 0;              // how many times a break is reported once it is on
  bool PortDialogResult = false;
  TPortDialogSettings PortDialogChange{};
  bool ChangePortSettings = false;
  int Pumps = 0;
  int BusyOn = 0;
  bool Busy = false;

  void ShowMessage(std::string_view text, std::string_view caption, TMessageKind kind) override {
    Messages.push_back({std::string(text), std::string(caption), kind});
  }
  bool AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) override {
    bool a = defaultYes;
    if (!Answers.empty()) {
      a = Answers.front();
      Answers.pop_front();
    }
    Questions.push_back({std::string(text), std::string(caption), defaultYes, a});
    return a;
  }
  void SetBusyCursor(bool busy) override {
    Busy = busy;
    if (busy) ++BusyOn;
  }
  void PumpMessages() override { ++Pumps; }
  bool UserBreakPressed() override {
    if (BreakAfterPumps >= 0 && Pumps >= BreakAfterPumps && BreakCount > 0) {
      --BreakCount;
      return true;
    }
    return false;
  }
  bool PortSetupDialog(std::string_view, TPortDialogSettings& settings) override {
    if (PortDialogResult && ChangePortSettings) settings = PortDialogChange;
    return PortDialogResult;
  }
};

}  // namespace quorvel
