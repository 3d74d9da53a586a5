// The compiled resources: both dialog templates exactly, the icon group,
// the manifest and the version record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "diskarno_version.h"
#include "resource.h"
#include "resource_reader.h"

using namespace winapi;

namespace {

class ProgramResources : public testing::Test {
 protected:
  void SetUp() override {
    std::ifstream file(DK_BINARY_DIR "/resources/app.res", std::ios::binary);
    std::vector<BYTE> data((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    ASSERT_TRUE(ParseResourceFile(data, entries));
  }
  const TResourceEntry *Find(WORD type, const char *name) const {
    TResourceId typeId, nameId = ResourceIdFrom(name);
    typeId.Ordinal = type;
    for (const TResourceEntry &entry : entries)
      if (entry.Type.Matches(typeId) && entry.Name.Matches(nameId)) return &entry;
    return nullptr;
  }
  TDialogTemplate Dialog(const char *name) const {
    TDialogTemplate dialog;
    const TResourceEntry *entry = Find(kResourceDialog, name);
    EXPECT_NE(entry, nullptr);
    if (entry) {
      EXPECT_TRUE(ParseDialogTemplate(entry->Data, dialog));
    }
    return dialog;
  }
  std::vector<TResourceEntry> entries;
};

struct Control {
  int id;
  const char *windowClass;
  std::string text;
  DWORD style;
  short x, y, width, height;
};

void ExpectControls(const TDialogTemplate &dialog, const std::vector<Control> &controls) {
  ASSERT_EQ(dialog.Controls.size(), controls.size());
  for (size_t i = 0; i < controls.size(); ++i) {
    SCOPED_TRACE(i);
    const TControlTemplate &actual = dialog.Controls[i];
    const Control &expected = controls[i];
    EXPECT_EQ(static_cast<short>(actual.Id), expected.id);
    EXPECT_STRCASEEQ(actual.Class.c_str(), expected.windowClass);
    EXPECT_EQ(actual.Text, expected.text);
    EXPECT_EQ(actual.Style, expected.style | 0x50000000u);
    EXPECT_EQ(actual.ExStyle, 0u);
    EXPECT_EQ(actual.X, expected.x);
    EXPECT_EQ(actual.Y, expected.y);
    EXPECT_EQ(actual.Width, expected.width);
    EXPECT_EQ(actual.Height, expected.height);
  }
}

TEST_F(ProgramResources, MainDialogTemplate) {
  TDialogTemplate dialog = Dialog("MAINDIALOG");
  // WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
  // DS_MODALFRAME | DS_CENTER | DS_SETFONT
  EXPECT_EQ(dialog.Style, 0x90CA08C0u);
  EXPECT_EQ(dialog.Caption, "Create a floppy disk");
  EXPECT_EQ(dialog.Font, "MS SANS SERIF");
  EXPECT_EQ(dialog.PointSize, 8);
  EXPECT_EQ(dialog.Menu, "");
  EXPECT_EQ(dialog.Class, "");
  EXPECT_EQ((std::vector<short>{dialog.X, dialog.Y, dialog.Width, dialog.Height}),
            (std::vector<short>{80, 46, 242, 114}));
  const DWORD group = 0x00020000, tabStop = 0x00010000;
  ExpectControls(
      dialog,
      {
          {200, "STATIC", "This program creates the following disk:\n&", 0x80 | group, 35, 6, 204,
           20},
          {-1, "STATIC", "MAINICON1", 0x03, 4, 4, 21, 20},
          {-1, "STATIC",
           "Please insert an empty, formatted floppy disk into the selected drive and click the "
           "\"Write disk\" button to finish this task.\n\n"
           "Warning: All existing data on this floppy disk will be destroyed!",
           group, 7, 34, 232, 33},
          {-1, "STATIC", "&Drive:", group, 7, 75, 35, 8},
          {100, "COMBOBOX", "", 0x0403 | tabStop, 30, 73, 85, 49},
          {110, "STATIC", "&Password:", group, 129, 75, 34, 8},
          {101, "EDIT", "", 0x20 | 0x00800000 | tabStop, 165, 73, 68, 12},
          {1, "BUTTON", "&Write disk", 0x01 | 0x08000000 | tabStop, 4, 96, 59, 15},
          {8, "BUTTON", "C&lose", tabStop, 177, 96, 59, 15},
          {102, "BUTTON", "&About...", tabStop, 80, 96, 39, 15},
          {502, "STATIC", "", 0x12, 1, 29, 240, 63},
      });
}

TEST_F(ProgramResources, WritingDialogTemplate) {
  TDialogTemplate dialog = Dialog("DLGWRITE");
  EXPECT_EQ(dialog.Style, 0x90C808C0u);
  EXPECT_EQ(dialog.Caption, "Writing disk...");
  EXPECT_EQ(dialog.Font, "MS Sans Serif");
  EXPECT_EQ(dialog.PointSize, 8);
  EXPECT_EQ((std::vector<short>{dialog.X, dialog.Y, dialog.Width, dialog.Height}),
            (std::vector<short>{67, 65, 203, 43}));
  ExpectControls(dialog, {
                             {2, "BUTTON", "Cancel", 0x01 | 0x00010000, 137, 23, 59, 14},
                             {301, "msctls_progress32", "", 0x04000000, 4, 23, 130, 11},
                             {300, "STATIC", "", 0x00020000, 4, 6, 193, 11},
                         });
}

TEST_F(ProgramResources, IconGroupOfTwoTrueColourImages) {
  const TResourceEntry *group = Find(kResourceGroupIcon, "MAINICON1");
  ASSERT_NE(group, nullptr);
  std::vector<TIconImage> images;
  ASSERT_TRUE(ParseIconGroup(group->Data, images));
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].Width, 32);
  EXPECT_EQ(images[0].Height, 32);
  EXPECT_EQ(images[1].Width, 16);
  EXPECT_EQ(images[1].Height, 16);
  for (const TIconImage &image : images) {
    EXPECT_EQ(image.BitCount, 24);
    const TResourceEntry *icon = Find(kResourceIcon, MAKEINTRESOURCEA(image.IconId));
    ASSERT_NE(icon, nullptr);
    // BITMAPINFOHEADER: 40 bytes, width, twice the height (with the mask).
    ASSERT_GE(icon->Data.size(), 40u);
    EXPECT_EQ(icon->Data[4], image.Width);
    EXPECT_EQ(icon->Data[8], 2 * image.Height);
    EXPECT_EQ(icon->Data[14], 24);
  }
}

TEST_F(ProgramResources, ManifestAndVersionRecord) {
  const TResourceEntry *manifest = Find(kResourceManifest, MAKEINTRESOURCEA(1));
  ASSERT_NE(manifest, nullptr);
  std::string text(manifest->Data.begin(), manifest->Data.end());
  EXPECT_NE(text.find("<description>Diskarno SFX</description>"), std::string::npos);
  EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
  EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(text.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
  EXPECT_NE(text.find("type=\"win32\""), std::string::npos);
  const TResourceEntry *version = Find(kResourceVersion, MAKEINTRESOURCEA(1));
  ASSERT_NE(version, nullptr);
  // The version record's strings are UTF-16.
  std::string narrow;
  for (size_t i = 0; i + 1 < version->Data.size(); i += 2)
    narrow += static_cast<char>(version->Data[i]);
  EXPECT_NE(narrow.find("FileDescription"), std::string::npos);
  EXPECT_NE(narrow.find("Diskarno SFX"), std::string::npos);
  // The project's version, in the fixed part (after its 0xFEEF04BD
  // signature: the file's and the product's, two words each) and as text.
  ASSERT_GE(version->Data.size(), 64u);
  auto word = [&](size_t at) {
    return static_cast<DWORD>(version->Data[at] | version->Data[at + 1] << 8 |
                              version->Data[at + 2] << 16 | version->Data[at + 3] << 24);
  };
  EXPECT_EQ(word(40), 0xFEEF04BDu);
  const DWORD high = DK_VERSION_MAJOR << 16 | DK_VERSION_MINOR, low = DK_VERSION_PATCH << 16;
  EXPECT_EQ(word(48), high);
  EXPECT_EQ(word(52), low);
  EXPECT_EQ(word(56), high);
  EXPECT_EQ(word(60), low);
  for (const char *key : {"FileVersion", "ProductVersion"}) {
    size_t at = narrow.find(key);
    ASSERT_NE(at, std::string::npos) << key;
    at = narrow.find_first_not_of('\0', at + strlen(key));
    EXPECT_EQ(narrow.compare(at, strlen(DK_VERSION) + 1, DK_VERSION + std::string(1, '\0')), 0)
        << key;
  }
}

std::vector<char> ReadAll(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
}

// The committed icon is what the script in the repository draws.
TEST(ProgramIcon, CommittedIconIsTheScriptsDrawing) {
  if (std::system("python3 --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  std::string drawn = DK_BINARY_DIR "/resources/mainicon-drawn.ico";
  ASSERT_EQ(std::system(("python3 " DK_SOURCE_DIR "/resources/make_icon.py " + drawn).c_str()), 0);
  std::vector<char> committed = ReadAll(DK_SOURCE_DIR "/resources/mainicon.ico");
  EXPECT_FALSE(committed.empty());
  EXPECT_EQ(ReadAll(drawn), committed);
}

}  // namespace
