// The verbs of the tool and what they share: the context of a run, the
// runner that parses a verb's options from its table and prints its outcome
// with the one printer.
#ifndef DISKARNO_TOOLS_DISKARNO_VERBS_H
#define DISKARNO_TOOLS_DISKARNO_VERBS_H

#include <string>
#include <vector>

#include "device_environment.h"
#include "diskarno_version.h"
#include "inputs.h"
#include "options.h"
#include "tool.h"
#include "tool_console.h"
#include "tool_status.h"

// What a verb works with: where its results go, the console, and the
// machine's devices.
struct TToolContext {
  const char *verb;  // "pack"
  TToolOutput &output;
  TToolConsole &console;
  const TDeviceEnvironment &devices;

  // One line on standard error besides the verb's outcome:
  // "diskarno VERB: TEXT".
  void Say(const std::string &text) {
    output.err += std::string("diskarno ") + verb + ": " + text + "\n";
  }
};

// The one printer: a verb's outcome on standard error, and its exit code.
int Report(TToolContext &context, const TStatus &status);

constexpr const char *kToolVersion = DK_VERSION;

// Runs a verb: its options parsed into its own struct from its table,
// --help and --version answered from it, then the work, then the printer.
template <class T>
int RunVerb(const TVerbSpec<T> &spec, TStatus (*work)(const T &, TToolContext &),
            const std::vector<std::string> &arguments, TToolContext &context) {
  T options;
  TStatus status = ParseOptions(spec, arguments, options);
  if (status.Ok() && options.help) {
    context.output.out += HelpOf(spec);
  } else if (status.Ok() && options.version) {
    context.output.out += std::string("diskarno ") + spec.name + " " + kToolVersion + "\n";
  } else if (status.Ok()) {
    status = work(options, context);
  }
  return Report(context, status);
}

// The verbs, each in a file of its own.
int PackVerb(const std::vector<std::string> &arguments, TToolContext &context);
int InfoVerb(const std::vector<std::string> &arguments, TToolContext &context);
int ExtractVerb(const std::vector<std::string> &arguments, TToolContext &context);
int ReadVerb(const std::vector<std::string> &arguments, TToolContext &context);
int WriteVerb(const std::vector<std::string> &arguments, TToolContext &context);
int VerifyVerb(const std::vector<std::string> &arguments, TToolContext &context);

// The options of a verb that takes a password: --password TEXT or
// --password-file PATH.
struct TPasswordOptions : TVerbOptions {
  std::string password;
  std::string passwordFile;
};

// Their rows in a verb's table.
template <class T>
void AddPasswordRows(std::vector<TOptionRow<T>> &rows, const char *what) {
  rows.push_back({"--password", "TEXT", what, &T::password});
  rows.push_back({"--password-file", "PATH",
                  "the password is the file's contents (one final line\nbreak is dropped)",
                  &T::passwordFile});
}

// The password they give, as PasswordOf (inputs.h) takes it.
inline TPasswordSource PasswordSourceOf(const TPasswordOptions &options) {
  return {options.password, options.passwordFile, options.Given("--password"),
          options.Given("--password-file")};
}

#endif
