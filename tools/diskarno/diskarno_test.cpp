#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "default_stub.h"
#include "diskarno_version.h"
#include "heap.h"
#include "host_control.h"
#include "image_unpacker.h"
#include "inputs.h"
#include "package_format.h"
#include "sha256.h"
#include "support/fake_console.h"
#include "support/fat_image.h"
#include "support/package_builder.h"
#include "terminal_console.h"
#include "tool.h"

namespace {

using testing_support::FileExists;
using testing_support::MakeProgram;
using testing_support::MakeStub;
using testing_support::ReadBytes;
using testing_support::RefusedPackages;
using testing_support::StubEnd;
using testing_support::TBytes;
using testing_support::TPackageCase;
using testing_support::TPackageOptions;
using testing_support::TStubOptions;
using testing_support::WriteBytes;

uint32_t Get32(const TBytes &bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

class DiskarnoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = testing_support::TempFolder() + "/tool" + std::to_string(counter++);
    ASSERT_EQ(system(("mkdir -p " + folder).c_str()), 0);
    ASSERT_TRUE(WriteBytes(Path("stub.exe"), MakeStub()));
    ASSERT_TRUE(WriteBytes(Path("disk.img"), disk));
  }

  std::string Path(const std::string &name) const { return folder + "/" + name; }

  int Run(const std::vector<std::string> &arguments) {
    output = TToolOutput();
    return RunTool(arguments, output);
  }

  int Pack(std::vector<std::string> extra, const std::string &out = "out.exe") {
    std::vector<std::string> arguments = {"pack",    Path("disk.img"), "-o",
                                          Path(out), "--stub",         Path("stub.exe")};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return Run(arguments);
  }

  // The folder holds exactly these names: nothing partial stayed behind.
  void ExpectFiles(const std::string &names) {
    std::string listing;
    FILE *pipe = popen(("ls " + folder + " | tr '\\n' ' '").c_str(), "r");
    char buffer[1024];
    size_t got = fread(buffer, 1, sizeof buffer, pipe);
    pclose(pipe);
    listing.assign(buffer, got);
    EXPECT_EQ(listing, names);
  }

  static int counter;
  std::string folder;
  TBytes disk = testing_support::MakeFatImage(
      1474560,
      {{"HELLO.TXT", "Hello from the tool tests\r\n"}, {"BIG.DAT", std::string(70000, 'x')}});
  TToolOutput output;
};
int DiskarnoTest::counter = 0;

TEST_F(DiskarnoTest, PackedImagesExtractByteExact) {
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> extractOptions;
  };
  ASSERT_TRUE(WriteBytes(Path("pw.txt"), TBytes{'o', 'p', 'e', 'n', '\r', '\n'}));
  for (Case c : std::vector<Case>{
           {{}, {}},
           {{"--no-checksum"}, {}},
           {{"--password", "Sesame"}, {"--password", "Sesame"}},
           {{"--password", "Sesame", "--no-checksum"}, {"--password", "Sesame"}},
           {{"--password=Sesame", "--description=Boot"}, {"--password", "Sesame"}},
           {{"--password", std::string(254, 'p')}, {"--password", std::string(254, 'p')}},
           {{"--password-file", Path("pw.txt")}, {"--password", "open"}},
           {{"--level", "1"}, {}},
           {{"--level=6", "--best", "--password", "Sesame"}, {"--password", "Sesame"}},
           {{"--password-file", "PIPE"}, {"--password", "piped"}},  // as bash's <(...) gives
       }) {
    int pipeEnds[2] = {-1, -1};
    for (std::string &word : c.options) {
      if (word != "PIPE") continue;
      ASSERT_EQ(pipe(pipeEnds), 0);
      ASSERT_EQ(write(pipeEnds[1], "piped\n", 6), 6);
      close(pipeEnds[1]);
      word = "/dev/fd/" + std::to_string(pipeEnds[0]);
    }
    ASSERT_EQ(Pack(c.options), 0) << output.err;
    if (pipeEnds[0] >= 0) close(pipeEnds[0]);
    EXPECT_EQ(output.err, "");  // nothing of this stub was left out
    std::vector<std::string> extract = {"extract", Path("out.exe"), "-o", Path("back.img")};
    extract.insert(extract.end(), c.extractOptions.begin(), c.extractOptions.end());
    ASSERT_EQ(Run(extract), 0) << output.err;
    EXPECT_TRUE(ReadBytes(Path("back.img")) == disk);
  }
  EXPECT_TRUE(testing_support::FsckClean(ReadBytes(Path("back.img"))));
  ExpectFiles("back.img disk.img out.exe pw.txt stub.exe ");
}

TEST_F(DiskarnoTest, PackWritesTheHeaderFields) {
  ASSERT_EQ(Pack({"--description", "Utilities", "--password", "pw"}), 0) << output.err;
  TBytes program = ReadBytes(Path("out.exe"));
  size_t at = StubEnd();
  ASSERT_GT(program.size(), at + 57);
  TBytes payload(program.begin() + at + 57, program.end());
  EXPECT_EQ(memcmp(&program[at], "CDSK", 4), 0);
  EXPECT_EQ(program[at + 4], 1);
  EXPECT_EQ(program[at + 5], 1);
  EXPECT_EQ(Get32(program, at + 6), testing_support::Crc("pw", 2));
  EXPECT_EQ(Get32(program, at + 14), 1474560u);
  EXPECT_EQ(Get32(program, at + 18), payload.size());
  EXPECT_EQ(program[at + 23], 9);
  EXPECT_EQ(std::string(&program[at + 24], &program[at + 33]), "Utilities");
  EXPECT_EQ(program[at + 56], 2);
  // The zlib header of the highest levels, kept plain with the next 14 bytes;
  // the rest enciphered.
  EXPECT_EQ(payload[0], 0x78);
  EXPECT_EQ(payload[1], 0xDA);
  TBytes plain = payload;
  testing_support::Rc4("pw", plain.data() + 16, plain.size() - 16);
  EXPECT_EQ(Get32(program, at + 10), testing_support::Crc(plain.data(), plain.size()));
  EXPECT_TRUE(TBytes(plain.begin(), plain.begin() + 16) ==
              TBytes(payload.begin(), payload.begin() + 16));
  EXPECT_FALSE(plain == payload);
}

// A password typed on Linux keys the cipher with the bytes the program's
// password box gives on Windows for the same characters, and back.
TEST_F(DiskarnoTest, PasswordsOpenAcrossSystems) {
  std::string hundredTwentyEight;
  for (int n = 0; n < 128; ++n) hundredTwentyEight += "\xC3\xA9";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},              // été
      {"\xC5\x93uvre \xE2\x82\xAC", "\x9Cuvre \x80"},  // œuvre €
      {hundredTwentyEight, std::string(128, '\xE9')},  // 128 characters, 256 bytes of UTF-8
  };
  for (const auto &[typed, windows] : cases) {
    // Packed here, opened by the program with what Windows gives.
    ASSERT_EQ(Pack({"--password", typed}), 0) << output.err;
    BYTE *image = nullptr;
    LONG size = 0;
    ASSERT_TRUE(LoadImageOfFile(Path("out.exe").c_str(), windows, image, size, nullptr, 0));
    EXPECT_EQ(size, static_cast<LONG>(disk.size()));
    HeapRelease(image);
    // Packed with Windows's bytes, opened here by the same characters,
    // typed as an option, in a file or at the prompt.
    TPackageOptions options;
    options.password = windows;
    ASSERT_TRUE(WriteBytes(Path("win.exe"), MakeProgram(disk, options)));
    ASSERT_TRUE(WriteBytes(Path("pw.txt"), TBytes(typed.begin(), typed.end())));
    EXPECT_EQ(Run({"extract", Path("win.exe"), "-o", Path("x.img"), "--password", typed}), 0)
        << output.err;
    EXPECT_EQ(Run({"info", Path("win.exe"), "--password-file", Path("pw.txt")}), 0) << output.err;
    testing_support::TFakeConsole console;
    console.canType = true;
    console.password = typed;
    output = TToolOutput();
    output.console = &console;
    EXPECT_EQ(RunTool({"verify", Path("win.exe"), Path("disk.img")}, output), 0) << output.err;
  }
  EXPECT_TRUE(ReadBytes(Path("x.img")) == disk);
  // What the program's box can't hold is refused before anything is done.
  for (const char *verb : {"pack", "extract"}) {
    EXPECT_EQ(
        Run({verb, Path("disk.img"), "-o", Path("y"), "--password", "\xE4\xB8\xAD\xE6\x96\x87"}),
        2);
    EXPECT_NE(output.err.find("U+4E2D, which the program can't take (Windows-1252)"),
              std::string::npos)
        << output.err;
  }
}

TEST_F(DiskarnoTest, PackCutsTheStubAtItsLastSection) {
  TStubOptions stub;
  stub.optionalHeaderSize = 240;
  stub.trailingBytes = 777;
  ASSERT_TRUE(WriteBytes(Path("stub.exe"), MakeStub(stub)));
  ASSERT_EQ(Pack({}), 0);
  EXPECT_NE(output.err.find("left out 777 bytes"), std::string::npos) << output.err;
  TBytes program = ReadBytes(Path("out.exe"));
  EXPECT_EQ(memcmp(&program[StubEnd(stub)], "CDSK", 4), 0);
  ASSERT_EQ(Run({"extract", Path("out.exe"), "-o", Path("back.img")}), 0) << output.err;
  EXPECT_TRUE(ReadBytes(Path("back.img")) == disk);
}

TEST_F(DiskarnoTest, MediaTypeFromTheImageSize) {
  ASSERT_TRUE(WriteBytes(Path("disk.img"), testing_support::MakeFatImage(737280, {})));
  ASSERT_EQ(Pack({}), 0) << output.err;
  EXPECT_EQ(ReadBytes(Path("out.exe"))[StubEnd() + 56], 5);
  ASSERT_TRUE(WriteBytes(Path("disk.img"), TBytes(1000, 0)));
  EXPECT_EQ(Pack({}), 2);
  EXPECT_NE(output.err.find("--media-type"), std::string::npos);
  ASSERT_EQ(Pack({"--media-type", "13"}), 0) << output.err;
  EXPECT_EQ(ReadBytes(Path("out.exe"))[StubEnd() + 56], 13);
}

TEST_F(DiskarnoTest, BadInputsWriteNothing) {
  ASSERT_TRUE(WriteBytes(Path("text.exe"), TBytes(5000, 'T')));
  ASSERT_TRUE(WriteBytes(Path("tiny.img"), TBytes(57, 0)));
  ASSERT_EQ(system(("truncate -s 2147483648 " + Path("huge.img")).c_str()), 0);
  TStubOptions noSections;
  noSections.sections.clear();
  ASSERT_TRUE(WriteBytes(Path("empty.exe"), MakeStub(noSections)));
  TBytes cut = MakeStub();
  cut.resize(cut.size() - 1);
  ASSERT_TRUE(WriteBytes(Path("cut.exe"), cut));
  const std::vector<std::vector<std::string>> cases = {
      {"--description", std::string(33, 'd')},
      {"--description", "two\nlines"},
      {"--description", "\xE3\x81\x82"},  // not in Windows-1252
      {"--description", "Latin-1 \xE9"},  // not UTF-8
      {"--password", ""},
      {"--password", std::string(255, 'p')},
      {"--password", "a", "--password-file", Path("disk.img")},
      {"--media-type", "0"},
      {"--media-type", "14"},
      {"--media-type", "5"},  // 1.44 MB where a 720 KB disk holds 1 MB at most
      {"--media-type", "two"},
      {"--level", "0"},
      {"--level", "13"},
      {"--level", ""},
      {"--level", "12x"},
      {"--stub", Path("missing.exe")},
      {"--stub", Path("text.exe")},
      {"--stub", Path("empty.exe")},
      {"--stub", Path("cut.exe")},
      {"--frobnicate"},
  };
  for (const std::vector<std::string> &extra : cases) {
    std::vector<std::string> arguments = {"pack", Path("disk.img"), "-o", Path("out.exe")};
    if (extra[0] != "--stub") arguments.insert(arguments.end(), {"--stub", Path("stub.exe")});
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    EXPECT_EQ(Run(arguments), 2) << extra[0];
    EXPECT_NE(output.err, "") << extra[0];
  }
  const std::vector<std::pair<std::string, std::string>> images = {
      {"tiny.img", "has 57 bytes"},
      {"huge.img", "has 2147483648 bytes"},
      {"missing.img", "can't read"}};
  for (const auto &[image, message] : images) {
    EXPECT_EQ(Run({"pack", Path(image), "-o", Path("out.exe"), "--stub", Path("stub.exe")}), 2);
    EXPECT_NE(output.err.find(message), std::string::npos) << output.err;
  }
  ExpectFiles("cut.exe disk.img empty.exe huge.img stub.exe text.exe tiny.img ");
}

// Without --stub, pack puts the built-in 32-bit program in front of the
// package; a tool built without one asks for --stub and writes nothing.
TEST_F(DiskarnoTest, DefaultStubIsTheBuiltInProgram) {
  const BYTE *builtIn = nullptr;
  size_t size = 0;
  int code = Run({"pack", Path("disk.img"), "-o", Path("out.exe")});
  if (!DefaultStub(builtIn, size)) {
    EXPECT_EQ(code, 2);
    EXPECT_NE(output.err.find("--stub"), std::string::npos);
    ExpectFiles("disk.img stub.exe ");
    return;
  }
  ASSERT_EQ(code, 0) << output.err;
  TBytes program = ReadBytes(Path("out.exe"));
  ASSERT_GT(program.size(), size + kPackageHeaderSize);
  EXPECT_EQ(memcmp(program.data(), builtIn, size), 0);
  EXPECT_EQ(memcmp(&program[size], "CDSK", 4), 0);
  DWORD peAt = 0;
  memcpy(&peAt, builtIn + 60, sizeof peAt);
  ASSERT_LT(peAt + 6, size);
  EXPECT_EQ(builtIn[peAt + 4] | builtIn[peAt + 5] << 8, 0x14C) << "a 32-bit (i386) program";
}

TEST_F(DiskarnoTest, NeverOverwritesItsInputs) {
  TBytes stub = ReadBytes(Path("stub.exe"));
  EXPECT_EQ(Run({"pack", Path("disk.img"), "-o", Path("disk.img"), "--stub", Path("stub.exe")}), 2);
  EXPECT_EQ(
      Run({"pack", Path("disk.img"), "-o", folder + "/./stub.exe", "--stub", Path("stub.exe")}), 2);
  ASSERT_EQ(link(Path("disk.img").c_str(), Path("alias.img").c_str()), 0);
  EXPECT_EQ(Run({"pack", Path("disk.img"), "-o", Path("alias.img"), "--stub", Path("stub.exe")}),
            2);
  EXPECT_TRUE(ReadBytes(Path("disk.img")) == disk);
  EXPECT_TRUE(ReadBytes(Path("stub.exe")) == stub);
  ASSERT_EQ(Pack({}), 0);
  EXPECT_EQ(Run({"extract", Path("out.exe"), "-o", Path("out.exe")}), 2);
  // An output that is no input is replaced whole.
  ASSERT_TRUE(WriteBytes(Path("old.img"), TBytes(10, 1)));
  ASSERT_EQ(Run({"extract", Path("out.exe"), "-o", Path("old.img")}), 0);
  EXPECT_TRUE(ReadBytes(Path("old.img")) == disk);
}

// What the program refuses, every verb refuses with exit code 1 and the
// tool's own words, naming the file; the program's texts stay in the
// program. The program runs through the same table (program_start_test.cpp).
TEST_F(DiskarnoTest, EveryVerbRefusesWhatTheProgramRefuses) {
  ASSERT_TRUE(WriteBytes(Path("target.img"), disk));
  for (const TPackageCase &c : RefusedPackages(disk)) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteBytes(Path("bad.exe"), c.program));
    const std::vector<std::vector<std::string>> runs = {
        {"extract", Path("bad.exe"), "-o", Path("x.img")},
        {"write", Path("bad.exe"), Path("target.img"), "--yes"}};
    for (const std::vector<std::string> &arguments : runs) {
      EXPECT_EQ(Run(arguments), 1);
      EXPECT_EQ(output.err.rfind("diskarno " + arguments[0] + ": ", 0), 0u) << output.err;
      EXPECT_NE(output.err.find(Path("bad.exe")), std::string::npos) << output.err;
      EXPECT_EQ(output.err.find(c.refusedAtStart ? "Corrupted" : c.writeError), std::string::npos)
          << output.err;
    }
    EXPECT_EQ(Run({"verify", Path("bad.exe"), Path("target.img")}), 1);
    EXPECT_EQ(Run({"info", Path("bad.exe")}), 1);
    EXPECT_NE(output.err.find("diskarno info: " + Path("bad.exe")), std::string::npos);
  }
  EXPECT_TRUE(ReadBytes(Path("target.img")) == disk);
  TPackageOptions protectedOptions;
  protectedOptions.password = "right";
  ASSERT_TRUE(WriteBytes(Path("bad.exe"), MakeProgram(disk, protectedOptions)));
  // A wrong password ran and failed; none, with no terminal to ask on, is
  // refused; typed at the prompt, it opens the package.
  EXPECT_EQ(Run({"extract", Path("bad.exe"), "-o", Path("x.img"), "--password", "wrong"}), 1);
  EXPECT_EQ(output.err, "diskarno extract: the password does not open " + Path("bad.exe") + "\n");
  EXPECT_EQ(Run({"extract", Path("bad.exe"), "-o", Path("x.img")}), 2);
  EXPECT_NE(output.err.find("is protected: give --password"), std::string::npos) << output.err;
  testing_support::TFakeConsole console;
  console.canType = true;
  console.password = "right";
  output = TToolOutput();
  output.console = &console;
  ASSERT_EQ(RunTool({"extract", Path("bad.exe"), "-o", Path("x.img")}, output), 0) << output.err;
  EXPECT_EQ(console.questions, std::vector<std::string>{"Password for " + Path("bad.exe") + ": "});
  EXPECT_TRUE(ReadBytes(Path("x.img")) == disk);
  // Ctrl-D or an empty line at the prompt: nothing typed, nothing done.
  console.password = "";
  output = TToolOutput();
  output.console = &console;
  EXPECT_EQ(RunTool({"extract", Path("bad.exe"), "-o", Path("y.img")}, output), 2);
  EXPECT_EQ(output.err,
            "diskarno extract: " + Path("bad.exe") + " is protected and no password was typed\n");
  std::remove(Path("x.img").c_str());
  ExpectFiles("bad.exe disk.img stub.exe target.img ");
}

TEST_F(DiskarnoTest, ExtractAcceptsWhatTheProgramAccepts) {
  TPackageOptions options;
  options.payload = testing_support::Deflate(disk);
  options.payload->insert(options.payload->end(), 64, 0x99);  // trailing bytes
  options.packedSize = 5;                                     // not consulted
  ASSERT_TRUE(WriteBytes(Path("trail.exe"), MakeProgram(disk, options)));
  ASSERT_EQ(Run({"extract", Path("trail.exe"), "-o", Path("x.img")}), 0) << output.err;
  EXPECT_TRUE(ReadBytes(Path("x.img")) == disk);
  TPackageOptions zeroCrc;
  zeroCrc.dataCrc = 0;
  ASSERT_TRUE(WriteBytes(Path("zero.exe"), MakeProgram(disk, zeroCrc)));
  ASSERT_EQ(Run({"extract", Path("zero.exe"), "-o", Path("y.img")}), 0) << output.err;
  EXPECT_TRUE(ReadBytes(Path("y.img")) == disk);
}

TEST_F(DiskarnoTest, InfoShowsTheHeader) {
  ASSERT_EQ(Pack({"--description", "Tools \"disk\"", "--password", "pw"}), 0);
  TBytes program = ReadBytes(Path("out.exe"));
  std::string payload = std::to_string(program.size() - StubEnd() - 57);
  ASSERT_EQ(Run({"info", Path("out.exe"), "--json"}), 0);
  const std::string &json = output.out;
  for (std::string field :
       {"\"package_offset\": " + std::to_string(StubEnd()), std::string("\"version\": 1"),
        std::string("\"description\": \"Tools \\\"disk\\\"\""), std::string("\"media_type\": 2"),
        std::string("\"protected\": true"), "\"payload_length\": " + payload,
        "\"packed_size\": " + payload, std::string("\"image_size\": 1474560"),
        std::string("\"data_crc_ok\": null, \"data_crc_state\": \"not checked: protected, "
                    "give --password\""),
        std::string("\"program\": \"not one this diskarno knows; it may have been changed\", "
                    "\"program_release\": null, \"program_sha256\": \"") +
            Sha256Hex(program.data(), StubEnd()) + "\"}"})
    EXPECT_NE(json.find(field), std::string::npos) << field << "\n" << json;
  ASSERT_EQ(Run({"info", Path("out.exe"), "--password", "pw"}), 0);
  EXPECT_NE(output.out.find("(matches)"), std::string::npos) << output.out;
  const size_t tenths = (std::stoul(payload) * 1000 + 1474560 / 2) / 1474560;
  EXPECT_NE(output.out.find("Packed size:     " + payload + " (" + std::to_string(tenths / 10) +
                            "." + std::to_string(tenths % 10) + " % of the image)\n"),
            std::string::npos)
      << output.out;
  EXPECT_NE(output.out.find("3.5\" 1.44MB"), std::string::npos);
  // A wrong password fails as in extract, the header shown all the same.
  ASSERT_EQ(Run({"info", Path("out.exe"), "--password", "nope"}), 1);
  EXPECT_NE(output.out.find("the password does not match"), std::string::npos);
  EXPECT_EQ(output.err, "diskarno info: " + Path("out.exe") + ": the password does not open it\n");

  // A corrupt package is still shown, and exits with 1.
  program[program.size() - 10] ^= 1;
  ASSERT_TRUE(WriteBytes(Path("out.exe"), program));
  ASSERT_EQ(Run({"info", Path("out.exe"), "--password", "pw", "--json"}), 1);
  EXPECT_NE(output.out.find("\"data_crc_ok\": false, \"data_crc_state\": \"differs (0x"),
            std::string::npos)
      << output.out;
  EXPECT_EQ(output.err, "diskarno info: " + Path("out.exe") +
                            ": the payload does not match its checksum" + kPasswordPassingCheck +
                            "\n");

  EXPECT_EQ(Run({"info", Path("disk.img")}), 1);
  EXPECT_EQ(Run({"info", Path("missing.exe")}), 2);
}

// info names the built-in program as this version's, and one with a byte of
// its code changed as unknown, in text and JSON; that one still writes.
TEST_F(DiskarnoTest, InfoTellsTheBuiltInProgramFromAChangedOne) {
  const BYTE *builtIn = nullptr;
  size_t size = 0;
  if (!DefaultStub(builtIn, size)) GTEST_SKIP() << "this tool carries no program";
  ASSERT_EQ(Run({"pack", Path("disk.img"), "-o", Path("out.exe")}), 0) << output.err;
  TBytes changed = ReadBytes(Path("out.exe"));
  changed[size / 2] ^= 0x40;  // in the code section
  ASSERT_TRUE(WriteBytes(Path("changed.exe"), changed));
  const std::string known =
      std::string("this project's release ") + DK_VERSION + ", the program this diskarno packs";
  const std::string unknown = "not one this diskarno knows; it may have been changed";
  struct Case {
    const char *file;
    bool json;
    std::string expected;
  };
  for (const Case &c : std::vector<Case>{
           {"out.exe", false,
            "\nProgram:         " + known + "\nProgram SHA-256: " + Sha256Hex(builtIn, size) +
                "\n"},
           {"out.exe", true,
            "\"program\": \"" + known + "\", \"program_release\": \"" + DK_VERSION + "\""},
           {"changed.exe", false, "\nProgram:         " + unknown + "\n"},
           {"changed.exe", true, "\"program\": \"" + unknown + "\", \"program_release\": null"},
       }) {
    std::vector<std::string> arguments = {"info", Path(c.file)};
    if (c.json) arguments.push_back("--json");
    EXPECT_EQ(Run(arguments), 0) << c.file << output.err;
    EXPECT_NE(output.out.find(c.expected), std::string::npos) << c.expected << "\n" << output.out;
  }
  ASSERT_TRUE(WriteBytes(Path("blank.img"), TBytes(disk.size(), 0xF6)));
  ASSERT_EQ(Run({"write", Path("changed.exe"), Path("blank.img")}), 0) << output.err;
  EXPECT_TRUE(ReadBytes(Path("blank.img")) == disk);
}

// A header that lies about its image is refused before any memory is
// taken for it, and each fault is named for its cause.
TEST_F(DiskarnoTest, FaultsNamedForTheirCause) {
  constexpr int32_t kHuge = 2147483136;
  const TBytes packed = testing_support::Deflate(disk);
  struct Case {
    const char *what;
    TPackageOptions options;
    const char *password;
    std::string says;  // by extract, write and verify; info says it too unless infoSays
    std::string infoSays = "";
  };
  std::vector<Case> cases(7);
  cases[0] = {"more than the medium holds",
              {},
              nullptr,
              "the header gives an image of 2147483136 bytes, more than a 3.5\" 1.44MB medium "
              "holds (2000000)"};
  cases[0].options.imageSize = kHuge;
  cases[1] = {"more than the payload makes",
              {},
              nullptr,
              "the header gives an image of 2147483136 bytes, more than its payload of " +
                  std::to_string(packed.size()) + " bytes inflates to"};
  cases[1].options.imageSize = kHuge;
  cases[1].options.mediaType = 12;
  cases[2] = {"inflates to more",
              {},
              nullptr,
              "does not inflate to the header's image size of 1473536 bytes",
              "the payload inflates to more bytes, not 1473536"};
  cases[2].options.imageSize = 1474560 - 1024;
  cases[3] = {"inflates to fewer",
              {},
              nullptr,
              "does not inflate to the header's image size of 1475584 bytes",
              "the payload inflates to 1474560 bytes, not 1475584"};
  cases[3].options.imageSize = 1474560 + 1024;
  cases[4] = {"a wrong password that passes the check",
              {},
              "wrong",
              std::string("does not match its checksum") + kPasswordPassingCheck};
  cases[4].options.password = "right";
  cases[4].options.passwordCheck = testing_support::Crc("wrong", 5);
  cases[5] = {"the same without a checksum",
              {},
              "wrong",
              "does not inflate (zlib: ",
              "the payload does not inflate: "};
  cases[5].options = cases[4].options;
  cases[5].options.checksum = false;
  cases[6] = {"2 GiB", {}, nullptr, "is one the program refuses", "2 GiB or more"};
  cases[6].options.imageSize = INT32_MIN;
  ASSERT_TRUE(WriteBytes(Path("target.img"), TBytes(1474560, 0)));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteBytes(Path("bad.exe"), MakeProgram(disk, c.options)));
    std::vector<std::string> password;
    if (c.password) password = {"--password", c.password};
    for (std::vector<std::string> arguments :
         std::vector<std::vector<std::string>>{{"extract", Path("bad.exe"), "-o", Path("x.img")},
                                               {"write", Path("bad.exe"), Path("target.img")},
                                               {"verify", Path("bad.exe"), Path("target.img")},
                                               {"info", Path("bad.exe")}}) {
      arguments.insert(arguments.end(), password.begin(), password.end());
      const size_t before = winapi::GetHeapStats().liveBytes;
      winapi::ResetHeapPeak();
      EXPECT_EQ(Run(arguments), 1) << arguments[0];
      EXPECT_LT(winapi::GetHeapStats().peakBytes - before, 16u << 20) << arguments[0];
      const std::string &says = arguments[0] == "info" && !c.infoSays.empty() ? c.infoSays : c.says;
      EXPECT_NE(output.err.find(says), std::string::npos) << arguments[0] << ": " << output.err;
    }
    if (c.options.imageSize == INT32_MIN) {
      EXPECT_NE(output.out.find("Image size:      2147483648\n"), std::string::npos) << output.out;
    }
  }
  EXPECT_TRUE(ReadBytes(Path("target.img")) == TBytes(1474560, 0));
  ExpectFiles("bad.exe disk.img stub.exe target.img ");
}

// Control characters in a description or a file name reach neither the
// terminal nor the JSON raw; JSON stays UTF-8 for a name that is not.
TEST_F(DiskarnoTest, NamesAndDescriptionsAreEscaped) {
  TPackageOptions options;
  options.description = "\x1B]0;owned\x07\x1B[2J\r\n\tdisk";
  const std::string name = Path("a\x1B[31m\xE9\x9B.exe");
  ASSERT_TRUE(WriteBytes(name, MakeProgram(disk, options)));
  const std::string shown = Path("a\\x1B[31m\xE9\\x9B.exe");
  struct Case {
    std::vector<std::string> arguments;
    int code;
    std::string out;  // in standard output
    std::string err;  // in standard error
  };
  const std::vector<Case> cases = {
      {{"info", name}, 0, "File:            " + shown + "\nPackage offset:", ""},
      {{"info", name}, 0, "\"\\x1B]0;owned\\x07\\x1B[2J\\x0D\\x0A\\x09disk\"", ""},
      {{"info", name, "--json"},
       0,
       "{\"file\": \"" + folder + "/a\\u001b[31m\\udce9\\udc9b.exe\"",
       ""},
      {{"info", name, "--json"},
       0,
       "\"description\": \"\\u001b]0;owned\\u0007\\u001b[2J\\u000d\\u000a\\u0009disk\"",
       ""},
      {{"extract", name + "\n", "-o", Path("x.img")}, 2, "", shown + "\\x0A: No such file"},
      {{"extract", name, "-o", Path("x.img")}, 0, "", ""},
      {{"x\x1B[2J"}, 2, "", "unknown verb x\\x1B[2J"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Run(c.arguments), c.code) << output.err;
    EXPECT_NE(output.out.find(c.out), std::string::npos) << output.out;
    EXPECT_NE(output.err.find(c.err), std::string::npos) << output.err;
    for (const std::string &text : {output.out, output.err})
      EXPECT_EQ(text.find_first_of("\x1B\x07\r\t\x9B"), std::string::npos) << text;
  }
}

// The same case gets the same exit code in every verb: 2 when refused
// before anything changed, whatever the verb.
TEST_F(DiskarnoTest, SameCaseSameCodeInEveryVerb) {
  ASSERT_EQ(Pack({"--password", "pw"}), 0);
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  ASSERT_TRUE(WriteBytes(Path("target.img"), TBytes(1474560, 0)));
  const std::string program = Path("out.exe");
  const std::vector<std::vector<std::string>> verbs = {
      {"pack", "INPUT", "-o", Path("new.exe"), "--stub", Path("stub.exe")},
      {"info", "INPUT"},
      {"extract", "INPUT", "-o", Path("new.img")},
      {"write", "INPUT", Path("target.img")},
      {"verify", "INPUT", Path("target.img")},
  };
  struct Case {
    const char *what;
    std::string input;
    std::vector<std::string> options;
    const char *says;
  };
  const std::vector<Case> cases = {
      {"missing input", Path("missing"), {}, "No such file or directory"},
      {"FIFO input", Path("fifo"), {}, "is a FIFO"},
      {"folder input", folder, {}, "is a folder"},
      {"empty password", program, {"--password", ""}, "1 to 254 characters"},
      {"long password", program, {"--password", std::string(10000, 'p')}, "1 to 254"},
      {"both passwords",
       program,
       {"--password", "a", "--password-file", Path("stub.exe")},
       "not both"},
      {"unknown option", program, {"--frobnicate"}, "unknown option"},
  };
  for (const Case &c : cases) {
    for (std::vector<std::string> arguments : verbs) {
      if (arguments[0] == "pack" && c.input == program) arguments[1] = Path("disk.img");
      for (std::string &word : arguments)
        if (word == "INPUT") word = c.input;
      arguments.insert(arguments.end(), c.options.begin(), c.options.end());
      EXPECT_EQ(Run(arguments), 2) << arguments[0] << ", " << c.what << ": " << output.err;
      EXPECT_NE(output.err.find(c.says), std::string::npos) << arguments[0] << ": " << output.err;
    }
  }
  ExpectFiles("disk.img fifo out.exe stub.exe target.img ");
}

// What can't reach standard output (a full disk, a stream closed or open
// only for reading) fails the run, and says why.
TEST_F(DiskarnoTest, OutputThatCannotBeWrittenFails) {
  struct Case {
    const char *path;
    const char *mode;
    std::string out;
    int code;
    int printed;
    const char *says;
  };
  const std::vector<Case> cases = {
      {"/dev/full", "w", std::string(100000, 'i'), 0, 1, "No space left on device"},
      {"/dev/full", "w", "info\n", 0, 1, "No space left on device"},
      {"/dev/null", "r", "info\n", 0, 1, "Bad file descriptor"},
      {"/dev/full", "w", "info\n", 2, 2, "No space left on device"},
      {"/dev/null", "r", "", 0, 0, ""},  // nothing to write: nothing fails
      {"/dev/null", "w", "info\n", 0, 0, ""},
  };
  for (const Case &c : cases) {
    FILE *out = fopen(c.path, c.mode);
    FILE *err = tmpfile();
    ASSERT_TRUE(out && err);
    TToolOutput result;
    result.out = c.out;
    result.err = "diskarno info: first\n";
    EXPECT_EQ(PrintOutput(result, c.code, out, err), c.printed) << c.path << " " << c.out.size();
    rewind(err);
    char said[256] = {};
    EXPECT_GT(fread(said, 1, sizeof said - 1, err), 0u);
    fclose(err);
    EXPECT_EQ(std::string(said).rfind("diskarno info: first\n", 0), 0u) << said;
    EXPECT_NE(std::string(said).find(c.says), std::string::npos) << said;
    EXPECT_EQ(std::string(said).find("can't write") != std::string::npos, *c.says != 0) << said;
  }
}

// The process's own console, run with standard input and standard error on
// a pseudo-terminal or elsewhere: what is typed goes in on its master side,
// once the terminal is set as the console sets it (a password only after
// the echo is off, which flushes what was typed before).
class TPseudoTerminal {
 public:
  enum TEnd { Terminal, Pipe, File };

  TPseudoTerminal(TEnd input, TEnd error) : input_(input) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
    savedInput_ = dup(STDIN_FILENO);
    savedError_ = dup(STDERR_FILENO);
    if (pipe(pipe_) != 0) return;
    dup2(input == Terminal ? slave_ : input == Pipe ? pipe_[0] : fileno(file_), STDIN_FILENO);
    dup2(error == Terminal ? slave_ : fileno(file_), STDERR_FILENO);
  }
  ~TPseudoTerminal() {
    dup2(savedInput_, STDIN_FILENO);
    dup2(savedError_, STDERR_FILENO);
    for (int file : {master_, slave_, savedInput_, savedError_, pipe_[0], pipe_[1]})
      if (file >= 0) close(file);
    fclose(file_);
  }
  bool Ready() const { return slave_ >= 0 && pipe_[0] >= 0; }

  // Types on standard input: on the terminal once its echo is as wanted,
  // or into the pipe.
  void Type(const std::string &text, bool echoOff) {
    if (input_ == Terminal) {
      typist_ = std::thread([this, text, echoOff] {
        for (int wait = 0; wait < 2000 && echoOff && Echoes(); ++wait) usleep(1000);
        if (write(master_, text.data(), text.size()) < 0) return;
      });
    } else if (input_ == Pipe && write(pipe_[1], text.data(), text.size()) < 0) {
      return;
    }
    close(pipe_[1]);
    pipe_[1] = -1;
  }
  bool Echoes() const {
    struct termios settings;
    return tcgetattr(slave_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  }
  // What the terminal showed: the master side read until it has nothing more.
  std::string Shown() {
    if (typist_.joinable()) typist_.join();
    std::string shown;
    char buffer[512];
    struct pollfd ready = {master_, POLLIN, 0};
    while (poll(&ready, 1, 100) == 1 && (ready.revents & POLLIN)) {
      ssize_t got = read(master_, buffer, sizeof buffer);
      if (got <= 0) break;
      shown.append(buffer, static_cast<size_t>(got));
    }
    return shown;
  }

 private:
  TEnd input_;
  int master_ = -1, slave_ = -1, savedInput_ = -1, savedError_ = -1;
  int pipe_[2] = {-1, -1};
  FILE *file_ = tmpfile();
  std::thread typist_;
};

TEST_F(DiskarnoTest, TerminalConsole) {
  using End = TPseudoTerminal::TEnd;
  enum TCall { Confirm, Password, Status };
  struct Case {
    const char *what;
    End input, error;
    TCall call;
    const char *typed;
    bool answered;
    const char *shows;  // on the terminal
  };
  const std::vector<Case> cases = {
      {"yes typed", End::Terminal, End::Terminal, Confirm, " YES\n", true,
       "The disk in a\\x1B[2J holds files. Type yes to go on: "},
      {"no typed", End::Terminal, End::Terminal, Confirm, "no\n", false, "Type yes"},
      {"yes piped, a terminal on stderr", End::Pipe, End::Terminal, Confirm, "yes\n", false, ""},
      {"yes typed, stderr a file", End::Terminal, End::File, Confirm, "yes\n", false, ""},
      {"password typed", End::Terminal, End::Terminal, Password, "s3cret\n", true,
       "Password for a\\x1B[2J: \r\n"},
      {"Ctrl-D at the password", End::Terminal, End::Terminal, Password, "\x04", false,
       "Password for"},
      {"password piped", End::Pipe, End::Terminal, Password, "s3cret\n", false, ""},
      {"status line", End::Terminal, End::Terminal, Status, "", false, "\rReading a\\x07"},
  };
  for (const Case &c : cases) {
    TPseudoTerminal terminal(c.input, c.error);
    ASSERT_TRUE(terminal.Ready()) << "no pseudo-terminal";
    terminal.Type(c.typed, c.call == Password);
    TToolConsole &console = TerminalConsole();
    std::string typed;
    bool answered = false;
    if (c.call == Confirm) answered = console.Confirm("The disk in a\x1B[2J holds files.");
    if (c.call == Password) answered = console.AskPassword("Password for a\x1B[2J: ", typed);
    if (c.call == Status) console.Status("Reading a\x07");
    const bool echoes = terminal.Echoes();
    const std::string shown = terminal.Shown();
    EXPECT_EQ(answered, c.answered) << c.what;
    EXPECT_EQ(typed, answered && c.call == Password ? "s3cret" : "") << c.what;
    EXPECT_NE(shown.find(c.shows), std::string::npos) << c.what << ": " << shown;
    EXPECT_EQ(shown.find("s3cret"), std::string::npos) << c.what << ": the password was shown";
    EXPECT_EQ(shown.find('\x1B'), std::string::npos) << c.what;
    EXPECT_TRUE(echoes) << c.what << ": the terminal was left silent";
  }
}

TEST_F(DiskarnoTest, HelpVersionAndUsage) {
  for (std::vector<std::string> arguments :
       std::vector<std::vector<std::string>>{{"--help"},
                                             {"--version"},
                                             {"pack", "--help"},
                                             {"info", "--help"},
                                             {"extract", "--help"},
                                             {"pack", "--version"},
                                             {"info", "--version"},
                                             {"extract", "--version"}}) {
    EXPECT_EQ(Run(arguments), 0) << arguments[0];
    EXPECT_NE(output.out, "");
  }
  EXPECT_NE(Run({"pack", "--help"}), 2);
  EXPECT_NE(output.out.find("--media-type"), std::string::npos);
  for (std::vector<std::string> arguments :
       std::vector<std::vector<std::string>>{{},
                                             {"frob"},
                                             {"pack"},
                                             {"info"},
                                             {"extract", Path("x")},
                                             {"info", "a", "b"},
                                             {"extract", Path("x"), "-o"}}) {
    EXPECT_EQ(Run(arguments), 2);
    EXPECT_NE(output.err, "");
  }
}

}  // namespace
