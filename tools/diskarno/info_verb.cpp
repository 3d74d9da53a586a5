// diskarno info: where a file's package starts and what its header says.
#include <cstdio>

#include "description_text.h"
#include "heap.h"
#include "image_unpacker.h"
#include "inputs.h"
#include "media.h"
#include "package_format.h"
#include "tool_files.h"
#include "verbs.h"

namespace {

struct TInfoOptions : TPasswordOptions {
  bool json = false;
};

TVerbSpec<TInfoOptions> InfoSpec() {
  TVerbSpec<TInfoOptions> spec = {
      "info",
      "FILE",
      1,
      "Shows the package appended to FILE: its offset, every header field, and\n"
      "whether the payload matches its checksum (for a protected package only with\n"
      "the password). Exits with 1 when FILE holds no package or one the program\n"
      "refuses: a corrupt header, a payload cut short, not matching its checksum or\n"
      "not inflating to the image (the last two for a protected package only with\n"
      "the password). The description is shown as UTF-8.",
      {{"--json", "the header as one JSON object", &TInfoOptions::json}}};
  AddPasswordRows(spec.options, "the password of a protected program");
  return spec;
}

std::string Hex32(DWORD value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// JSON string of UTF-8 text: only quotes, backslashes and control
// characters are escaped.
std::string Json(const std::string &text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
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

// " (21.3 % of the image)", or nothing for a header with no image size.
std::string ShareOf(const TPackageHeader &header) {
  if (header.ImageSize <= 0) return "";
  char text[48];
  snprintf(text, sizeof text, " (%.1f %% of the image)",
           100.0 * header.PackedSize / static_cast<double>(header.ImageSize));
  return text;
}

// The payload checksum: "matches", "differs", "not stored" or why it was not
// checked; ok is set only when it was checked.
struct TChecksum {
  std::string state;
  bool plain = false;  // the payload is plain to read (unprotected or deciphered)
  bool checked = false;
  bool ok = false;
};

TChecksum CheckPayload(TPackage &package, bool havePassword, const std::string &password) {
  const TPackageHeader &header = package.Header;
  TChecksum checksum;
  checksum.plain = !header.Protected;
  if (header.Protected) {
    checksum.state = "not checked: ";
    if (!havePassword) {
      checksum.state += "protected, give --password";
      return checksum;
    }
    if (PasswordCheckOf(password) != header.PasswordCheck) {
      checksum.state += "the password does not match";
      return checksum;
    }
    if (!DecipherPackage(package.Bytes(), package.Size, password)) {
      checksum.state += FailureText(GetLastError());
      return checksum;
    }
    checksum.plain = true;
  }
  if (header.DataCrc == 0) {
    checksum.state = "not stored";
    return checksum;
  }
  DWORD crc = PackageCrc(package.Payload(), static_cast<LONG>(package.PayloadLength()));
  checksum.checked = true;
  checksum.ok = crc == header.DataCrc;
  checksum.state = checksum.ok ? "matches" : "differs (" + Hex32(crc) + ")";
  return checksum;
}

// What makes the program refuse the package, one line each.
std::string Problems(const TPackage &package, const TChecksum &checksum) {
  const TPackageHeader &header = package.Header;
  std::string problems;
  if (!PackageUsable(header))
    problems +=
        "the program refuses this package: no medium of that type, or an image of "
        "fewer than 58 bytes\n";
  if (!HeaderUnpackable(header))
    problems +=
        "the package can't be unpacked: a version other than 1, or protected "
        "without a password check\n";
  if (package.PayloadLength() < header.PackedSize)
    problems += "the payload is cut short: " + Number(package.PayloadLength()) + " of " +
                Number(header.PackedSize) + " bytes\n";
  if (checksum.checked && !checksum.ok) problems += "the payload does not match its checksum\n";
  if (!problems.empty() || !checksum.plain) return problems;
  // The image itself, inflated as the program does.
  BYTE *image = nullptr;
  LONG imageLength = 0;
  bool tooLarge = false;
  // Deflate makes at most 1032 bytes of one: a header that announces more
  // than the payload can give gets no block of its announced size.
  const LONG payloadLength = static_cast<LONG>(package.PayloadLength());
  const uint64_t most = static_cast<uint64_t>(payloadLength) * 1032 + 1024;
  const LONG estimate =
      static_cast<uint64_t>(header.ImageSize) < most ? header.ImageSize : static_cast<LONG>(most);
  SetLastError(NO_ERROR);
  bool inflated = InflateBounded(package.Payload(), payloadLength, estimate, header.ImageSize,
                                 image, imageLength, tooLarge);
  HeapRelease(image);
  if (!inflated && !tooLarge)
    problems += "the payload does not inflate: " + FailureText(GetLastError()) + "\n";
  else if (tooLarge || imageLength != header.ImageSize)
    problems += "the payload inflates to " + std::string(tooLarge ? "more" : Number(imageLength)) +
                " bytes, not " + Number(header.ImageSize) + "\n";
  return problems;
}

TStatus Info(const TInfoOptions &options, TToolContext &context) {
  std::string password;
  bool havePassword = false;
  TStatus status = PasswordOf(PasswordSourceOf(options), password, havePassword);
  const std::string &path = options.operands[0];
  if (status.Ok()) status = CheckInputFile(path);
  if (!status.Ok()) return status;
  TPackage package;
  if (!OpenPackage(path.c_str(), package) || !ReadPackageBytes(package, 0, 0)) {
    DWORD code = GetLastError();
    if (package.Offset == kNoPackageOffset && code != kErrorInvalidImageFile)
      return TStatus::Refused("can't read " + path + ": " + FailureText(code));
    return TStatus::Failed(path + " holds no package" +
                           (package.Offset == kNoPackageOffset ? " (it is no PE program)" : ""));
  }
  TToolOutput &output = context.output;
  const TPackageHeader &header = package.Header;
  const DWORD offset = package.Offset;
  const long long payloadLength = package.PayloadLength();
  TChecksum checksum = CheckPayload(package, havePassword, password);
  std::string magic(header.Magic, sizeof header.Magic);
  std::string problems = Problems(package, checksum);
  // Every fault on a line of its own; the last one is the outcome.
  std::vector<std::string> faults;
  for (size_t at = 0, end; (end = problems.find('\n', at)) != std::string::npos; at = end + 1)
    faults.push_back(path + ": " + problems.substr(at, end - at));
  for (size_t n = 0; n + 1 < faults.size(); ++n) context.Say(faults[n]);
  const TStatus outcome = faults.empty() ? TStatus::Done() : TStatus::Failed(faults.back());
  const std::string description = DescriptionToUtf8(package.Description);
  if (options.json) {
    output.out += "{\"file\": " + Json(path) + ", \"package_offset\": " + Number(offset) +
                  ", \"magic\": " + Json(magic) + ", \"version\": " + Number(header.Version) +
                  ", \"description\": " + Json(description) +
                  ", \"description_length\": " + Number(header.DescriptionLength) +
                  ", \"media_type\": " + Number(header.MediaType) +
                  ", \"media_type_name\": " + Json(MediaName(header.MediaType)) +
                  ", \"protected\": " + (header.Protected ? "true" : "false") +
                  ", \"password_check\": " + Json(Hex32(header.PasswordCheck)) +
                  ", \"data_crc\": " + Json(Hex32(header.DataCrc)) + ", \"data_crc_ok\": " +
                  (!checksum.checked ? "null"
                   : checksum.ok     ? "true"
                                     : "false") +
                  ", \"data_crc_state\": " + Json(checksum.state) +
                  ", \"image_size\": " + Number(header.ImageSize) +
                  ", \"packed_size\": " + Number(header.PackedSize) +
                  ", \"reserved\": " + Number(header.Reserved) +
                  ", \"payload_length\": " + Number(payloadLength) + "}\n";
    return outcome;
  }
  output.out += "File:            " + path + "\n";
  output.out += "Package offset:  " + Number(offset) + "\n";
  output.out += "Magic:           " + magic + "\n";
  output.out += "Version:         " + Number(header.Version) + "\n";
  output.out += "Description:     \"" + description + "\"\n";
  output.out +=
      "Media type:      " + Number(header.MediaType) + " (" + MediaName(header.MediaType) + ")\n";
  output.out += std::string("Protected:       ") + (header.Protected ? "yes" : "no") + "\n";
  output.out += "Password check:  " + Hex32(header.PasswordCheck) + "\n";
  output.out += "Data checksum:   " + Hex32(header.DataCrc) + " (" + checksum.state + ")\n";
  output.out += "Image size:      " + Number(header.ImageSize) + "\n";
  output.out += "Packed size:     " + Number(header.PackedSize) + ShareOf(header) + "\n";
  output.out += "Reserved:        " + Number(header.Reserved) + "\n";
  output.out += "Payload length:  " + Number(payloadLength) + "\n";
  return outcome;
}

}  // namespace

int InfoVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(InfoSpec(), Info, arguments, context);
}
