// diskarno info: where a file's package starts and what its header says.
#include <cstdio>
#include <vector>

#include "description_text.h"
#include "files.h"
#include "heap.h"
#include "image_unpacker.h"
#include "inputs.h"
#include "known_programs.h"
#include "media.h"
#include "package_format.h"
#include "verb.h"
#include "verbs/verbs.h"

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
      "the password), or a password that does not open it. The description is\n"
      "shown as UTF-8, control characters as \\xHH. The program in front is named\n"
      "by the SHA-256 of its code when it is one of this project's releases.",
      {{"--json", "the header as one JSON object", &TInfoOptions::json}}};
  AddPasswordRows(spec.options);
  return spec;
}

std::string Hex32(DWORD value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string MediaName(BYTE type) {
  return type < kMediaTypeCount ? MediaTypeNames[type] : "no such medium";
}

// " (21.3 % of the image)", or nothing for a header with no image size.
std::string ShareOf(const TPackageHeader &header) {
  const DWORD image = static_cast<DWORD>(header.ImageSize);
  if (image == 0) return "";
  char text[48];
  snprintf(text, sizeof text, " (%.1f %% of the image)",
           100.0 * header.PackedSize / static_cast<double>(image));
  return text;
}

// The payload checksum: "matches", "differs", "not stored" or why it was not
// checked; ok is set only when it was checked.
struct TChecksum {
  std::string state;
  bool plain = false;  // the payload is plain to read (unprotected or deciphered)
  bool checked = false;
  bool ok = false;
  bool wrongPassword = false;  // a password was given and does not open it
  // Said of a payload that fails after a password deciphered it.
  std::string collision;
};

TChecksum CheckPayload(TPackage &package, const std::string &password) {
  const TPackageHeader &header = package.Header;
  TChecksum checksum;
  checksum.plain = !header.Protected;
  if (header.Protected) {
    checksum.state = "not checked: ";
    if (password.empty()) {
      checksum.state += "protected, give --password";
      return checksum;
    }
    if (!PasswordOpens(header, password)) {
      checksum.state += "the password does not match";
      checksum.wrongPassword = true;
      return checksum;
    }
    if (!DecipherPackage(package.Bytes(), package.Size, password)) {
      checksum.state += FailureText(GetLastError());
      return checksum;
    }
    checksum.plain = true;
    checksum.collision = PasswordNeeded(header) ? kPasswordPassingCheck : "";
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

// What makes the program refuse the package, one fault each.
std::vector<std::string> Faults(const TPackage &package, const TChecksum &checksum) {
  const TPackageHeader &header = package.Header;
  std::vector<std::string> faults;
  if (!PackageUsable(header))
    faults.push_back(
        "the program refuses this package: no medium of that type, or an image of fewer than 58 "
        "bytes or of 2 GiB or more");
  if (!HeaderUnpackable(header))
    faults.push_back(
        "the package can't be unpacked: a version other than 1, or protected without a password "
        "check");
  if (package.PayloadLength() < header.PackedSize)
    faults.push_back("the payload is cut short: " + Number(package.PayloadLength()) + " of " +
                     Number(header.PackedSize) + " bytes");
  // A header that gives more than its medium holds or its payload can
  // make gets no block of its size.
  const std::string size =
      PackageUsable(header) ? ImageSizeFault(header, package.PayloadLength()) : "";
  if (!size.empty()) faults.push_back(size);
  if (checksum.wrongPassword) faults.push_back("the password does not open it");
  if (checksum.checked && !checksum.ok)
    faults.push_back("the payload does not match its checksum" + checksum.collision);
  if (!faults.empty() || !checksum.plain) return faults;
  // The image itself, inflated as the program does.
  BYTE *image = nullptr;
  LONG imageLength = 0;
  bool tooLarge = false;
  const LONG payloadLength = static_cast<LONG>(package.PayloadLength());
  SetLastError(NO_ERROR);
  bool inflated = InflateBounded(package.Payload(), payloadLength, header.ImageSize,
                                 header.ImageSize, image, imageLength, tooLarge);
  HeapRelease(image);
  if (!inflated && !tooLarge)
    faults.push_back("the payload does not inflate: " + FailureText(GetLastError()) +
                     checksum.collision);
  else if (tooLarge || imageLength != header.ImageSize)
    faults.push_back("the payload inflates to " +
                     std::string(tooLarge ? "more" : Number(imageLength)) + " bytes, not " +
                     Number(header.ImageSize) + checksum.collision);
  return faults;
}

// One field of the package: its JSON key and value, and its line of text
// (label nullptr: JSON only).
struct TField {
  const char *key;
  std::string json;
  const char *label;
  std::string text;
};

TField TextField(const char *key, const char *label, const std::string &value) {
  return {key, JsonString(value), label, value};
}
TField NumberField(const char *key, const char *label, long long value) {
  return {key, Number(value), label, Number(value)};
}

std::vector<TField> FieldsOf(const std::string &path, const TPackage &package,
                             const TChecksum &checksum, const TKnownProgram &program) {
  const TPackageHeader &header = package.Header;
  const std::string description = DescriptionToUtf8(package.Description);
  const std::string media = MediaName(header.MediaType);
  return {
      TextField("file", "File", path),
      NumberField("package_offset", "Package offset", package.Offset),
      TextField("magic", "Magic", std::string(header.Magic, sizeof header.Magic)),
      NumberField("version", "Version", header.Version),
      {"description", JsonString(description), "Description", "\"" + description + "\""},
      NumberField("description_length", nullptr, header.DescriptionLength),
      {"media_type", Number(header.MediaType), "Media type",
       Number(header.MediaType) + " (" + media + ")"},
      TextField("media_type_name", nullptr, media),
      {"protected", header.Protected ? "true" : "false", "Protected",
       header.Protected ? "yes" : "no"},
      TextField("password_check", "Password check", Hex32(header.PasswordCheck)),
      {"data_crc", JsonString(Hex32(header.DataCrc)), "Data checksum",
       Hex32(header.DataCrc) + " (" + checksum.state + ")"},
      {"data_crc_ok",
       !checksum.checked ? "null"
       : checksum.ok     ? "true"
                         : "false",
       nullptr, ""},
      TextField("data_crc_state", nullptr, checksum.state),
      NumberField("image_size", "Image size", static_cast<DWORD>(header.ImageSize)),
      {"packed_size", Number(header.PackedSize), "Packed size",
       Number(header.PackedSize) + ShareOf(header)},
      NumberField("reserved", "Reserved", header.Reserved),
      NumberField("payload_length", "Payload length", package.PayloadLength()),
      TextField("program", "Program", program.text),
      {"program_release", program.release.empty() ? "null" : JsonString(program.release), nullptr, ""},
      {"program_sha256", program.sha256.empty() ? "null" : JsonString(program.sha256), "Program SHA-256",
       program.sha256.empty() ? "-" : program.sha256},
  };
}

std::string JsonOf(const std::vector<TField> &fields) {
  std::string json;
  for (const TField &field : fields)
    json += (json.empty() ? "{" : ", ") + JsonString(field.key) + ": " + field.json;
  return json + "}\n";
}

std::string TextOf(const std::vector<TField> &fields) {
  constexpr size_t kValueColumn = 17;
  std::string text;
  for (const TField &field : fields) {
    if (!field.label) continue;
    std::string line = std::string(field.label) + ":";
    line.resize(kValueColumn > line.size() + 1 ? kValueColumn : line.size() + 1, ' ');
    text += line + Printable(field.text) + "\n";
  }
  return text;
}

TStatus Info(const TInfoOptions &options, TToolContext &context) {
  std::string password;
  TStatus status = PasswordOf(options.Source(), password);
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
  const TChecksum checksum = CheckPayload(package, password);
  const TKnownProgram program = RecognizeProgramOf(path, package.Offset);
  const std::vector<TField> fields = FieldsOf(path, package, checksum, program);
  context.output.out += options.json ? JsonOf(fields) : TextOf(fields);
  // Every fault on a line of its own; the last one is the outcome.
  const std::vector<std::string> faults = Faults(package, checksum);
  for (size_t n = 0; n + 1 < faults.size(); ++n) context.Say(path + ": " + faults[n]);
  return faults.empty() ? TStatus::Done() : TStatus::Failed(path + ": " + faults.back());
}

}  // namespace

int InfoVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(InfoSpec(), Info, arguments, context);
}
