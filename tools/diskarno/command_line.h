// Arguments of one verb: positional words, options with a value, switches.
#ifndef DISKARNO_TOOLS_DISKARNO_COMMAND_LINE_H
#define DISKARNO_TOOLS_DISKARNO_COMMAND_LINE_H

#include <map>
#include <set>
#include <string>
#include <vector>

struct TCommandLine {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // "--stub" -> "PATH"
  std::set<std::string> switches;             // "--json"

  bool Has(const std::string &name) const {
    return values.count(name) != 0 || switches.count(name) != 0;
  }
  std::string Value(const std::string &name) const {
    auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
  }
};

// Parses arguments against the options a verb knows ("-o" counts as an
// option with a value). False with a message for an unknown option, a
// missing value or an option given twice.
bool ParseCommandLine(const std::vector<std::string> &arguments,
                      const std::set<std::string> &valueOptions,
                      const std::set<std::string> &switchOptions, TCommandLine &line,
                      std::string &message);

// The password of --password, or the contents of --password-file without one
// final line break; given says whether either option was there. False with
// a message when both are given, the file can't be read, or the password is
// longer than the program takes.
bool PasswordOption(const TCommandLine &line, std::string &password, bool &given,
                    std::string &message);

#endif
