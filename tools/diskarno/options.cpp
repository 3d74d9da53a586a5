// The help layout and the word splitting of the option tables.
#include "options.h"

namespace {

constexpr size_t kHelpColumn = 24;

}  // namespace

std::string VerbHelp(const char *name, const char *synopsis, const char *summary,
                     const std::vector<std::pair<std::string, const char *>> &entries) {
  const bool listed =
      entries.empty() || std::string(synopsis).find("[options]") != std::string::npos;
  std::string help = std::string("Usage: diskarno ") + name + " " + synopsis +
                     (listed ? "" : " [options]") + "\n\n" + summary + "\n";
  if (!entries.empty()) help += "\n";
  for (const auto &[option, text] : entries) {
    std::string line = "  " + option;
    line += line.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - line.size(), ' ')
                                           : "\n" + std::string(kHelpColumn, ' ');
    for (const char *c = text; *c; ++c) {
      line += *c;
      if (*c == '\n') line += std::string(kHelpColumn, ' ');
    }
    help += line + "\n";
  }
  return help;
}

void SplitOptionWord(std::string &word, std::string &value, bool &inlineValue) {
  size_t equals = word.find('=');
  inlineValue = word.compare(0, 2, "--") == 0 && equals != std::string::npos;
  if (!inlineValue) return;
  value = word.substr(equals + 1);
  word = word.substr(0, equals);
}
