// Reads the compiled resources (.res, as windres writes them) that the
// simulated PC builds its dialogs and icons from.
#ifndef DISKARNO_WINAPI_SIM_RESOURCE_READER_H
#define DISKARNO_WINAPI_SIM_RESOURCE_READER_H

#include <windows.h>

#include <string>
#include <vector>

namespace winapi {

constexpr WORD kResourceIcon = 3;
constexpr WORD kResourceDialog = 5;
constexpr WORD kResourceGroupIcon = 14;
constexpr WORD kResourceVersion = 16;
constexpr WORD kResourceManifest = 24;

// A type or a name: an ordinal, or an upper-case string when Ordinal is 0.
struct TResourceId {
  WORD Ordinal = 0;
  std::string Name;
  bool Matches(const TResourceId &other) const;
};

struct TResourceEntry {
  TResourceId Type;
  TResourceId Name;
  WORD Language = 0;
  std::vector<BYTE> Data;
};

// Parses a whole .res file image. False (with what was read so far) when an
// entry runs past the end or is malformed.
bool ParseResourceFile(const std::vector<BYTE> &file, std::vector<TResourceEntry> &entries);

// The name as the resource functions take it: MAKEINTRESOURCEA(n) or a string.
TResourceId ResourceIdFrom(LPCSTR name);

struct TControlTemplate {
  DWORD Style = 0;
  DWORD ExStyle = 0;
  short X = 0, Y = 0, Width = 0, Height = 0;
  WORD Id = 0;
  std::string Class;  // predefined classes by name: BUTTON, EDIT, STATIC, ...
  std::string Text;   // an ordinal text reads "#n"
};

struct TDialogTemplate {
  DWORD Style = 0;
  DWORD ExStyle = 0;
  short X = 0, Y = 0, Width = 0, Height = 0;
  std::string Menu;
  std::string Class;
  std::string Caption;
  WORD PointSize = 0;
  std::string Font;
  std::vector<TControlTemplate> Controls;
};

// Parses a DLGTEMPLATE (the classic form, not DLGTEMPLATEEX), bounds-checked.
bool ParseDialogTemplate(const std::vector<BYTE> &data, TDialogTemplate &dialog);

struct TIconImage {
  BYTE Width = 0, Height = 0;
  WORD BitCount = 0;
  WORD IconId = 0;
};
// Parses a GRPICONDIR.
bool ParseIconGroup(const std::vector<BYTE> &data, std::vector<TIconImage> &images);

}  // namespace winapi

#endif
