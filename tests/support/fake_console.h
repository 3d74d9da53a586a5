// The tool's console in tests: records the status lines and questions,
// raises a stop signal after a number of checks, answers as told.
#ifndef DISKARNO_TESTS_SUPPORT_FAKE_CONSOLE_H
#define DISKARNO_TESTS_SUPPORT_FAKE_CONSOLE_H

#include <string>
#include <vector>

#include "console.h"

namespace testing_support {

class TFakeConsole : public TToolConsole {
 public:
  std::vector<std::string> statusLines;
  std::vector<std::string> questions;
  int checksBeforeStop = -1;  // StopRequested calls before the signal comes
  int stopSignal = 2;         // SIGINT
  bool caught = false;
  std::string answer;    // what the user types at a question ("" none)
  std::string password;  // what the user types at the password prompt
  bool canType = false;  // whether a terminal is there to type on

  void Status(const std::string &text) override { statusLines.push_back(text); }
  void CatchStops(bool on) override { caught = on; }
  int StopRequested() override {
    if (checksBeforeStop > 0)
      --checksBeforeStop;
    else if (checksBeforeStop == 0)
      return stopSignal;
    return 0;
  }
  bool CanAsk() override { return canType; }
  bool Confirm(const std::string &question) override {
    questions.push_back(question);
    return canType && SaysYes(answer);
  }
  bool AskPassword(const std::string &prompt, std::string &typed) override {
    questions.push_back(prompt);
    typed = password;
    return canType;
  }
};

}  // namespace testing_support

#endif
