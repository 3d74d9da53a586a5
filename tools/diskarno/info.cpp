// diskarno info: where a file's package starts and what its header says.
#include <cstdio>

#include "command_line.h"
#include "image_unpacker.h"
#include "media.h"
#include "package_format.h"
#include "tool.h"
#include "tool_files.h"

namespace {

const char kInfoHelp[] =
    "Usage: diskarno info FILE [--json] [--password TEXT | --password-file PATH]\n"
    "\n"
    "Shows the package appended to FILE: its offset, every header field, and\n"
    "whether the payload matches its checksum (for a protected package only with\n"
    "the password). Exits with 1 when FILE holds no package.\n";

std::string Hex32(DWORD value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// JSON string; bytes above 0x7F are taken as Latin-1.
std::string Json(const std::string &text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

std::string MediaName(BYTE type) {
  return type < kMediaTypeCount ? MediaTypeNames[type] : "no such medium";
}

// The state of the payload checksum: "matches", "differs", "not stored" or
// why it was not checked.
std::string ChecksumState(const TPackageHeader &header, THeapBlock &package, bool havePassword,
                          const std::string &password) {
  if (header.DataCrc == 0) return "not stored";
  if (header.Protected) {
    if (!havePassword) return "not checked: protected, give --password";
    if (PasswordCheckOf(password) != header.PasswordCheck)
      return "not checked: the password does not match";
    if (!DecipherPackage(package.Data(), static_cast<DWORD>(package.Size()), password))
      return "not checked: " + FailureText(GetLastError());
  }
  DWORD crc = PackageCrc(package.Data() + kPackageHeaderSize,
                         static_cast<LONG>(package.Size() - kPackageHeaderSize));
  return crc == header.DataCrc ? "matches" : "differs (" + Hex32(crc) + ")";
}

}  // namespace

int RunInfo(const std::vector<std::string> &arguments, TToolOutput &output) {
  TCommandLine line;
  int code = kExitSuccess;
  if (!StartVerb("info", kInfoHelp, arguments, {"--password", "--password-file"}, {"--json"}, line,
                 output, code))
    return code;
  if (line.positional.size() != 1) {
    output.err += "diskarno info: give one FILE (see diskarno info --help)\n";
    return kExitUsage;
  }
  std::string password;
  bool havePassword = false;
  std::string message;
  if (!PasswordOption(line, password, havePassword, message)) {
    output.err += "diskarno info: " + message + "\n";
    return kExitUsage;
  }

  const std::string path = line.positional[0];
  DWORD offset = GetPackageOffsetOfFile(path.c_str());
  TPackageHeader header;
  THeapBlock package;
  if (!ReadHeaderRecordOfFile(path.c_str(), offset, header) ||
      !ReadWholePackage(path.c_str(), offset, package)) {
    output.err +=
        "diskarno info: " + path + " holds no package: " + FailureText(GetLastError()) + "\n";
    return kExitFailure;
  }
  long long payloadLength = static_cast<long long>(package.Size()) - kPackageHeaderSize;
  std::string checksum = ChecksumState(header, package, havePassword, password);
  std::string magic(header.Magic, sizeof header.Magic);
  if (line.Has("--json")) {
    output.out += "{\"file\": " + Json(path) + ", \"package_offset\": " + Number(offset) +
                  ", \"magic\": " + Json(magic) + ", \"version\": " + Number(header.Version) +
                  ", \"description\": " + Json(DescriptionOf(header)) +
                  ", \"description_length\": " + Number(header.DescriptionLength) +
                  ", \"media_type\": " + Number(header.MediaType) +
                  ", \"media_type_name\": " + Json(MediaName(header.MediaType)) +
                  ", \"protected\": " + (header.Protected ? "true" : "false") +
                  ", \"password_check\": " + Json(Hex32(header.PasswordCheck)) +
                  ", \"data_crc\": " + Json(Hex32(header.DataCrc)) +
                  ", \"data_crc_state\": " + Json(checksum) +
                  ", \"image_size\": " + Number(header.ImageSize) +
                  ", \"packed_size\": " + Number(header.PackedSize) +
                  ", \"reserved\": " + Number(header.Reserved) +
                  ", \"payload_length\": " + Number(payloadLength) + "}\n";
    return kExitSuccess;
  }
  output.out += "File:            " + path + "\n";
  output.out += "Package offset:  " + Number(offset) + "\n";
  output.out += "Magic:           " + magic + "\n";
  output.out += "Version:         " + Number(header.Version) + "\n";
  output.out += "Description:     \"" + DescriptionOf(header) + "\"\n";
  output.out +=
      "Media type:      " + Number(header.MediaType) + " (" + MediaName(header.MediaType) + ")\n";
  output.out += std::string("Protected:       ") + (header.Protected ? "yes" : "no") + "\n";
  output.out += "Password check:  " + Hex32(header.PasswordCheck) + "\n";
  output.out += "Data checksum:   " + Hex32(header.DataCrc) + " (" + checksum + ")\n";
  output.out += "Image size:      " + Number(header.ImageSize) + "\n";
  output.out += "Packed size:     " + Number(header.PackedSize) + "\n";
  output.out += "Reserved:        " + Number(header.Reserved) + "\n";
  output.out += "Payload length:  " + Number(payloadLength) + "\n";
  return kExitSuccess;
}
