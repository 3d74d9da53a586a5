// The table of packages the program refuses.
#include "package_cases.h"

namespace testing_support {

std::vector<TPackageCase> RefusedPackages(const TBytes &disk) {
  TPackageOptions wrongMagic, noMedium, media15, media255, size0, size57, noCheck, version2,
      noChecksum;
  wrongMagic.magic[3] = 'X';
  noMedium.mediaType = 0;
  media15.mediaType = 15;
  media255.mediaType = 255;
  size0.imageSize = 0;
  size57.imageSize = 57;
  noCheck.password = "secret";
  noCheck.passwordCheck = 0;  // no password has the check 0
  version2.version = 2;
  noChecksum.checksum = false;
  TBytes cut = MakeProgram(disk);
  cut.resize(cut.size() - 100);
  TBytes cutNoChecksum = MakeProgram(disk, noChecksum);
  cutNoChecksum.resize(cutNoChecksum.size() - 100);
  TBytes flipped = MakeProgram(disk);
  flipped[flipped.size() - 300] ^= 0x40;
  TBytes flippedNoChecksum = MakeProgram(disk, noChecksum);
  flippedNoChecksum.back() ^= 0x40;  // the Adler-32 trailer
  return {
      {"nothing appended", MakeStub(), true, ""},
      {"wrong magic", MakeProgram(disk, wrongMagic), true, ""},
      {"media type 0", MakeProgram(disk, noMedium), true, ""},
      {"media type 15", MakeProgram(disk, media15), true, ""},
      {"media type 255", MakeProgram(disk, media255), true, ""},
      {"image size 0", MakeProgram(disk, size0), true, ""},
      {"image size 57", MakeProgram(disk, size57), true, ""},
      {"cut payload", cut, false, "Invalid data in image file."},
      {"cut payload, no checksum", cutNoChecksum, false, "[ZLib]: Invalid buffer."},
      {"flipped payload byte", flipped, false, "Invalid data in image file."},
      {"flipped byte, no checksum", flippedNoChecksum, false, "[ZLib]: Invalid data."},
      {"protected with check 0", MakeProgram(disk, noCheck), false,
       "Invalid header in compressed image file."},
      {"version 2", MakeProgram(disk, version2), false, "Invalid header in compressed image file."},
  };
}

}  // namespace testing_support
