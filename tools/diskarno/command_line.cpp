// A small option parser: "--name value", "--name=value", "-o value".
#include "command_line.h"

#include "package_format.h"
#include "tool_files.h"

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

namespace {

// The file's contents without one final line break.
bool ReadPasswordFile(const std::string &path, std::string &password) {
  std::vector<BYTE> bytes;
  uint64_t size = 0;
  if (ReadWholeFile(path, 4096, bytes, size) != TReadResult::Read) return false;
  password.assign(bytes.begin(), bytes.end());
  if (!password.empty() && password.back() == '\n') password.pop_back();
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

}  // namespace

bool PasswordOption(const TCommandLine &line, std::string &password, bool &given,
                    std::string &message) {
  password.clear();
  given = line.Has("--password") || line.Has("--password-file");
  if (line.Has("--password") && line.Has("--password-file")) {
    message = "give --password or --password-file, not both";
    return false;
  }
  if (!line.Has("--password-file")) {
    password = line.Value("--password");
  } else if (!ReadPasswordFile(line.Value("--password-file"), password)) {
    message = "can't read the password file " + line.Value("--password-file");
    return false;
  }
  if (PasswordAllowed(password.size())) return true;
  message = "the program takes at most " + Number(kLargestPasswordLength) + " password characters";
  return false;
}
