// Outputs replace only regular files, as cp would, and leave nothing behind.
#include "outputs.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/fake_console.h"
#include "support/package_builder.h"
#include "support/system_calls.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TBytes;

constexpr uid_t kNobody = 65534;

std::string Shell(const std::string &command) {
  std::string text;
  FILE *pipe = popen(command.c_str(), "r");
  char buffer[512];
  while (pipe && fgets(buffer, sizeof buffer, pipe)) text += buffer;
  if (pipe) pclose(pipe);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// SaveOutput of a run as another user, in a child process.
int SaveAs(uid_t user, const std::string &path, const TBytes &bytes) {
  pid_t child = fork();
  if (child == 0) {
    if (setgid(user) != 0 || setuid(user) != 0) _exit(99);
    TToolConsole console;
    _exit(SaveOutput(path, {{bytes.data(), bytes.size()}}, console).exitCode);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/dk-output-XXXXXX";
    ASSERT_TRUE(mkdtemp(name));
    folder = name;
    chmod(name, 0777);  // for the runs as another user
  }
  void TearDown() override { ASSERT_EQ(system(("rm -rf " + folder).c_str()), 0); }

  std::string folder;
  TBytes bytes = TBytes(3 << 20, 0x5A);  // three chunks of the save
};

TEST_F(OutputFileTest, TargetsAsCpTakesThem) {
  const bool root = geteuid() == 0;
  struct Case {
    const char *what;
    const char *make;  // shell, $T is the target; run in the folder
    bool asNobody;     // save as user nobody (needs root to switch)
    int code;
    const char *after;  // stat -c '%a %u %F' of what the target names, after
  };
  const std::vector<Case> cases = {
      {"new file", "true", false, 0, "644 0 regular file"},
      {"file of mode 0640", "echo old > $T; chmod 640 $T", false, 0, "640 0 regular file"},
      {"set-id and sticky bits", "echo old > $T; chmod 7750 $T", false, 0, "7750 0 regular file"},
      {"another user's 0600 file", "echo old > $T; chmod 600 $T; chown 65534:65534 $T", false, 0,
       "600 65534 regular file"},
      {"symbolic link", "echo old > real; chmod 604 real; ln -s real $T", false, 0,
       "604 0 regular file"},
      {"link to nothing yet", "ln -s new $T", false, 0, "644 0 regular file"},
      {"FIFO", "mkfifo $T", false, 2, "644 0 fifo"},
      {"socket", "python3 -c \"import socket; socket.socket(socket.AF_UNIX).bind('$T')\"", false, 2,
       "755 0 socket"},
      {"folder", "mkdir $T; chmod 755 $T", false, 2, "755 0 directory"},
      {"character device", "mknod $T c 1 3; chmod 666 $T", false, 2,
       "666 0 character special file"},
      {"link to a device", "mknod dev c 1 3; chmod 666 dev; ln -s dev $T", false, 2,
       "666 0 character special file"},
      {"0444 file of its user", "echo old > $T; chmod 444 $T; chown 65534:65534 $T", true, 2,
       "444 65534 regular file"},
      {"folder it may not write", "mkdir ro; chmod 555 ro; echo old > ro/t; chmod 666 ro/t", true,
       2, "666 0 regular file"},
      // The rename over root's file in a sticky folder fails.
      {"root's file in a sticky folder", "mkdir ro; chmod 1777 ro; echo old > ro/t; chmod 666 ro/t",
       true, 1, "666 0 regular file"},
  };
  umask(022);
  for (const Case &c : cases) {
    if (c.asNobody && !root) continue;
    std::string target = folder + "/t";
    ASSERT_EQ(
        system(("cd " + folder + " && rm -rf t real new dev ro && T=" + target + " && " + c.make)
                   .c_str()),
        0)
        << c.what;
    if (std::string(c.make).find("ro/t") != std::string::npos) target = folder + "/ro/t";
    const std::string after = c.after;
    const bool regular = after.find("regular") != std::string::npos;  // else a read blocks
    TBytes before = regular ? ReadBytes(target) : TBytes();
    int code = 0;
    const size_t fsyncs = testing_support::SystemCalls().fsyncs;
    TStatus saved;
    if (c.asNobody) {
      code = SaveAs(kNobody, target, bytes);
    } else {
      TToolConsole console;
      saved = SaveOutput(target, {{bytes.data(), bytes.size()}}, console);
      code = saved.exitCode;
      EXPECT_EQ(testing_support::SystemCalls().fsyncs - fsyncs, c.code == 0 ? 1u : 0u) << c.what;
    }
    EXPECT_EQ(code, c.code) << c.what << ": " << saved.message;
    const std::string what = c.what;
    const std::string message = c.asNobody || c.code == 0 ? target : saved.message;
    EXPECT_EQ(Shell("stat -L -c '%a %u %F' " + target), *c.after ? c.after : "666 0 regular file")
        << c.what;
    if (regular) {
      EXPECT_TRUE(ReadBytes(target) == (c.code == 0 ? bytes : before)) << c.what;
    }
    EXPECT_NE(message.find(target), std::string::npos) << message;
    EXPECT_EQ(message.find("diskarno write") != std::string::npos,
              what.find("device") != std::string::npos)
        << message;
    // A link stays a link to what it named.
    const std::string make = c.make;
    const size_t link = make.find("ln -s ");
    EXPECT_EQ(
        Shell("readlink " + target),
        link == std::string::npos ? "" : make.substr(link + 6, make.find(' ', link + 6) - link - 6))
        << what;
    EXPECT_EQ(Shell("find " + folder + " -name '*.partial*'"), "") << c.what;
  }
}

// A stop signal during the save: nothing written, no temporary file, the
// exit code of the signal.
TEST_F(OutputFileTest, StopsLeaveTheTargetAsItWas) {
  const std::string target = folder + "/t";
  for (int checks : {0, 1, 3}) {
    ASSERT_EQ(system(("echo old > " + target).c_str()), 0);
    testing_support::TFakeConsole console;
    console.checksBeforeStop = checks;
    console.stopSignal = 15;
    TStatus saved = SaveOutput(target, {{bytes.data(), bytes.size()}}, console);
    EXPECT_EQ(saved.exitCode, 143) << checks;
    EXPECT_NE(saved.message.find("SIGTERM"), std::string::npos) << saved.message;
    EXPECT_NE(saved.message.find("nothing was written"), std::string::npos) << saved.message;
    EXPECT_EQ(Shell("cat " + target), "old");
    EXPECT_EQ(Shell("ls -A " + folder), "t");
    EXPECT_FALSE(console.caught) << "stops are given back";
  }
}

}  // namespace
