// The tool's one error value: the exit code of a run and the message that
// goes with it. The codes, the same in every verb:
//   0        done
//   1        the work ran and failed (a corrupt or truncated package, a wrong
//            password, a bad track, a difference, a failed write)
//   2        refused before anything changed (usage, a missing or unreadable
//            input, an unsafe target, a limit)
//   128 + n  stopped by signal n (SIGINT 130, SIGTERM 143, SIGHUP 129)
#ifndef DISKARNO_TOOLS_DISKARNO_STATUS_H
#define DISKARNO_TOOLS_DISKARNO_STATUS_H

#include <string>

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct TStatus {
  int exitCode = kExitSuccess;
  std::string message;  // without the "diskarno VERB: " in front

  bool Ok() const { return exitCode == kExitSuccess; }
  // The number of the signal that stopped the work, or 0.
  int Signal() const { return exitCode > 128 ? exitCode - 128 : 0; }
  static TStatus Done() { return TStatus(); }
  static TStatus Refused(const std::string &message) { return {kExitUsage, message}; }
  static TStatus Failed(const std::string &message) { return {kExitFailure, message}; }
  static TStatus Stopped(int signal, const std::string &message) { return {128 + signal, message}; }
};

#endif
