// A small option parser: "--name value", "--name=value", "-o value".
#include "command_line.h"

bool ParseCommandLine(const std::vector<std::string> &arguments,
                      const std::set<std::string> &valueOptions,
                      const std::set<std::string> &switchOptions, TCommandLine &line,
                      std::string &message) {
  bool onlyPositional = false;
  for (size_t n = 0; n < arguments.size(); ++n) {
    std::string word = arguments[n];
    if (onlyPositional || word.size() < 2 || word[0] != '-') {
      line.positional.push_back(word);
      continue;
    }
    if (word == "--") {
      onlyPositional = true;
      continue;
    }
    std::string value;
    bool inlineValue = false;
    size_t equals = word.find('=');
    if (word.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = word.substr(equals + 1);
      word = word.substr(0, equals);
      inlineValue = true;
    }
    if (line.Has(word)) {
      message = "option " + word + " given twice";
      return false;
    }
    if (valueOptions.count(word)) {
      if (!inlineValue) {
        if (n + 1 >= arguments.size()) {
          message = "option " + word + " needs a value";
          return false;
        }
        value = arguments[++n];
      }
      line.values[word] = value;
    } else if (switchOptions.count(word) && !inlineValue) {
      line.switches.insert(word);
    } else {
      message = "unknown option " + word;
      return false;
    }
  }
  return true;
}
