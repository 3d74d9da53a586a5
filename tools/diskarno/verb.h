// What every verb shares: the runner that parses its options from its table
// and prints its outcome with the one printer, and the option rows several
// verbs take, each with one help text.
#ifndef DISKARNO_TOOLS_DISKARNO_VERB_H
#define DISKARNO_TOOLS_DISKARNO_VERB_H

#include <string>
#include <vector>

#include "context.h"
#include "diskarno_version.h"
#include "inputs.h"
#include "options.h"
#include "status.h"

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

// The options of a verb that takes a password: --password TEXT or
// --password-file PATH.
struct TPasswordOptions : TVerbOptions {
  std::string password;
  std::string passwordFile;

  // The password they give, as PasswordOf (inputs.h) takes it.
  TPasswordSource Source() const {
    return {password, passwordFile, Given("--password"), Given("--password-file")};
  }
};

// The shared rows. -o names the output and is required.
template <class T>
TOptionRow<T> OutRow(const char *value, std::string T::*out) {
  return TOptionRow<T>("-o", value, "the file to write (a regular file; replaced whole)", out)
      .Required();
}
template <class T>
TOptionRow<T> QuietRow(bool T::*quiet) {
  return {"--quiet", "no status line, no summary", quiet};
}
template <class T>
TOptionRow<T> ForceRow(bool T::*force) {
  return {"--force",
          "take a device that is not removable or not of a floppy's\n"
          "size, and an image file that an unmounted loop device\n"
          "uses (never a mounted one; never skips a question)",
          force};
}
template <class T>
TOptionRow<T> YesRow(bool T::*yes) {
  return {"--yes", "overwrite what the disk holds without asking", yes};
}
template <class T>
TOptionRow<T> CapacityRow(std::string T::*capacity) {
  return {"--capacity", "KB",
          "the format: 360, 720, 1200, 1440, 1680 (DMF) or 2880 KB\n"
          "(the default: the drive's own)",
          capacity};
}
template <class T>
void AddPasswordRows(std::vector<TOptionRow<T>> &rows) {
  rows.push_back({"--password", "TEXT",
                  "the password that protects a package (1 to 254\n"
                  "characters, in Windows-1252 as the program takes\n"
                  "them) or opens one (asked for on a terminal when a\n"
                  "protected program needs one)",
                  &T::password});
  rows.push_back({"--password-file", "PATH",
                  "the password is the file's contents (one final line\n"
                  "break is dropped); a pipe such as <(...) is read once",
                  &T::passwordFile});
}

#endif
