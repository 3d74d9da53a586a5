// The .res reader on damaged files: every cut and every flipped byte must be
// refused or read within bounds, never read past the data.
#include "resource_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace winapi;

namespace {

std::vector<BYTE> ProgramResources() {
  std::ifstream file(DK_BINARY_DIR "/resources/app.res", std::ios::binary);
  return std::vector<BYTE>((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
}

TEST(ResourceReader, CutFilesGiveOnlyWholeEntries) {
  std::vector<BYTE> whole = ProgramResources();
  ASSERT_GT(whole.size(), 1000u);
  std::vector<TResourceEntry> all;
  ASSERT_TRUE(ParseResourceFile(whole, all));
  for (size_t size = 0; size < whole.size(); ++size) {
    std::vector<BYTE> cut(whole.begin(), whole.begin() + static_cast<long>(size));
    std::vector<TResourceEntry> entries;
    ParseResourceFile(cut, entries);
    // Only whole entries come out, each as it is in the whole file.
    ASSERT_LE(entries.size(), all.size()) << "cut at " << size;
    for (size_t i = 0; i < entries.size(); ++i)
      ASSERT_EQ(entries[i].Data, all[i].Data) << "cut at " << size;
  }
}

TEST(ResourceReader, DamagedDialogTemplatesStayInBounds) {
  std::vector<TResourceEntry> entries;
  ASSERT_TRUE(ParseResourceFile(ProgramResources(), entries));
  for (const TResourceEntry &entry : entries) {
    if (entry.Type.Ordinal != kResourceDialog) continue;
    TDialogTemplate dialog;
    ASSERT_TRUE(ParseDialogTemplate(entry.Data, dialog));
    for (size_t size = 0; size < entry.Data.size(); ++size) {
      std::vector<BYTE> cut(entry.Data.begin(), entry.Data.begin() + static_cast<long>(size));
      TDialogTemplate partial;
      EXPECT_FALSE(ParseDialogTemplate(cut, partial)) << "cut at " << size;
    }
    for (size_t i = 0; i < entry.Data.size(); ++i) {
      std::vector<BYTE> damaged = entry.Data;
      damaged[i] ^= 0xFF;
      TDialogTemplate any;
      ParseDialogTemplate(damaged, any);  // must only stay in bounds
    }
  }
}

}  // namespace
