// A verb's options, described once in a table: the parser fills the verb's
// own options struct from it, and its help is printed from it.
//
//   struct TExtractOptions : TVerbOptions { std::string out, password; };
//   const TVerbSpec<TExtractOptions> kExtract = {
//       "extract", "FILE -o IMAGE", 1, "Unpacks the image of FILE ...",
//       {{"-o", "IMAGE", "the file to write", &TExtractOptions::out}}};
#ifndef DISKARNO_TOOLS_DISKARNO_OPTIONS_H
#define DISKARNO_TOOLS_DISKARNO_OPTIONS_H

#include <set>
#include <string>
#include <vector>

#include "status.h"

// What every verb's options hold besides their own.
struct TVerbOptions {
  std::vector<std::string> operands;  // the words that are no option
  std::set<std::string> given;        // the options on the command line
  bool help = false;
  bool version = false;
  bool Given(const std::string &name) const { return given.count(name) != 0; }
};

template <class T>
struct TOptionRow {
  const char *name;   // "--stub", "-o"
  const char *value;  // what the value is called ("PATH"); nullptr for a switch
  const char *help;   // lines ended by "\n" but the last
  std::string T::*text;
  bool T::*flag;
  bool required = false;  // the verb is refused without it
  TOptionRow(const char *name, const char *value, const char *help, std::string T::*text)
      : name(name), value(value), help(help), text(text), flag(nullptr) {}
  TOptionRow(const char *name, const char *help, bool T::*flag)
      : name(name), value(nullptr), help(help), text(nullptr), flag(flag) {}
  TOptionRow Required() const {
    TOptionRow row = *this;
    row.required = true;
    return row;
  }
};

template <class T>
struct TVerbSpec {
  const char *name;      // "pack"
  const char *synopsis;  // what follows "diskarno pack" in the usage line
  size_t operands;       // how many words the verb takes besides its options
  const char *summary;   // what it does, in lines
  std::vector<TOptionRow<T>> options;
};

// The help of a verb: its usage line, summary, and one entry per option.
std::string VerbHelp(const char *name, const char *synopsis, const char *summary,
                     const std::vector<std::pair<std::string, const char *>> &entries);

// Splits one word of the command line: "--name=value" into name and value.
// Sets inlineValue when the word carried its value.
void SplitOptionWord(std::string &word, std::string &value, bool &inlineValue);

template <class T>
std::string HelpOf(const TVerbSpec<T> &spec) {
  std::vector<std::pair<std::string, const char *>> entries;
  for (const TOptionRow<T> &row : spec.options)
    entries.push_back(
        {std::string(row.name) + (row.value ? std::string(" ") + row.value : ""), row.help});
  return VerbHelp(spec.name, spec.synopsis, spec.summary, entries);
}

// Fills options from the arguments after the verb. --help and --version are
// known to every verb; "--" ends the options. Refused (exit code 2) for an
// unknown option, a missing value, an option given twice, a required option
// left out, or the wrong number of operands.
template <class T>
TStatus ParseOptions(const TVerbSpec<T> &spec, const std::vector<std::string> &arguments,
                     T &options) {
  const std::string see = std::string(" (see diskarno ") + spec.name + " --help)";
  bool onlyOperands = false;
  for (size_t n = 0; n < arguments.size(); ++n) {
    std::string word = arguments[n];
    if (onlyOperands || word.size() < 2 || word[0] != '-') {
      options.operands.push_back(word);
      continue;
    }
    if (word == "--") {
      onlyOperands = true;
      continue;
    }
    std::string value;
    bool inlineValue = false;
    SplitOptionWord(word, value, inlineValue);
    if (word == "--help" || word == "--version") {
      (word == "--help" ? options.help : options.version) = true;
      continue;
    }
    const TOptionRow<T> *found = nullptr;
    for (const TOptionRow<T> &row : spec.options)
      if (word == row.name) found = &row;
    if (!found || (inlineValue && !found->value))
      return TStatus::Refused("unknown option " + word + see);
    if (!options.given.insert(word).second)
      return TStatus::Refused("option " + word + " given twice");
    if (!found->value) {
      options.*(found->flag) = true;
      continue;
    }
    if (!inlineValue && n + 1 >= arguments.size())
      return TStatus::Refused("option " + word + " needs a value (" + found->value + ")");
    options.*(found->text) = inlineValue ? value : arguments[++n];
  }
  if (options.help || options.version) return TStatus::Done();
  if (options.operands.size() != spec.operands)
    return TStatus::Refused(std::string("give ") + spec.synopsis + see);
  for (const TOptionRow<T> &row : spec.options)
    if (row.required && !options.Given(row.name))
      return TStatus::Refused(std::string("give ") + row.name + " " + row.value + see);
  return TStatus::Done();
}

#endif
