// The .res file format: a list of entries, each a header (sizes, type,
// name, language) and its data, every part aligned on four bytes.
#include "resource_reader.h"

#include <cstring>

namespace winapi {

namespace {

class Reader {
 public:
  Reader(const std::vector<BYTE> &data, size_t start, size_t end)
      : data_(data), position_(start), end_(end) {}

  bool Word(WORD &value) {
    if (position_ > end_ || end_ - position_ < 2) return Fail();
    value = static_cast<WORD>(data_[position_] | data_[position_ + 1] << 8);
    position_ += 2;
    return true;
  }
  bool Dword(DWORD &value) {
    WORD low, high;
    if (!Word(low) || !Word(high)) return false;
    value = low | static_cast<DWORD>(high) << 16;
    return true;
  }
  bool Short(short &value) {
    WORD word;
    if (!Word(word)) return false;
    value = static_cast<short>(word);
    return true;
  }
  // A null-terminated UTF-16 string, kept as 8-bit text.
  bool String(std::string &text) {
    text.clear();
    for (;;) {
      WORD c;
      if (!Word(c)) return false;
      if (c == 0) return true;
      text += c < 0x100 ? static_cast<char>(c) : '?';
    }
  }
  // A string, or 0xFFFF and an ordinal.
  bool StringOrOrdinal(std::string &text, WORD &ordinal) {
    ordinal = 0;
    if (end_ - position_ >= 2 && data_[position_] == 0xFF && data_[position_ + 1] == 0xFF) {
      position_ += 2;
      return Word(ordinal);
    }
    return String(text);
  }
  void Align(size_t base) {
    size_t offset = position_ - base;
    position_ += (4 - offset % 4) % 4;
    if (position_ > end_) position_ = end_;
  }
  bool Skip(size_t bytes) {
    if (position_ > end_ || end_ - position_ < bytes) return Fail();
    position_ += bytes;
    return true;
  }
  size_t Position() const { return position_; }
  bool AtEnd() const { return position_ >= end_; }

 private:
  bool Fail() {
    position_ = end_;
    return false;
  }
  const std::vector<BYTE> &data_;
  size_t position_;
  size_t end_;
};

std::string Upper(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool ReadId(Reader &reader, TResourceId &id) {
  return reader.StringOrOrdinal(id.Name, id.Ordinal);
}

const char *PredefinedClass(WORD ordinal) {
  switch (ordinal) {
    case 0x80:
      return "BUTTON";
    case 0x81:
      return "EDIT";
    case 0x82:
      return "STATIC";
    case 0x83:
      return "LISTBOX";
    case 0x84:
      return "SCROLLBAR";
    case 0x85:
      return "COMBOBOX";
  }
  return nullptr;
}

bool ReadControl(Reader &reader, size_t base, TControlTemplate &control) {
  reader.Align(base);
  WORD ordinal, extra;
  if (!reader.Dword(control.Style) || !reader.Dword(control.ExStyle) || !reader.Short(control.X) ||
      !reader.Short(control.Y) || !reader.Short(control.Width) || !reader.Short(control.Height) ||
      !reader.Word(control.Id) || !reader.StringOrOrdinal(control.Class, ordinal))
    return false;
  if (ordinal) {
    const char *name = PredefinedClass(ordinal);
    if (!name) return false;
    control.Class = name;
  }
  if (!reader.StringOrOrdinal(control.Text, ordinal)) return false;
  if (ordinal) control.Text = "#" + std::to_string(ordinal);
  return reader.Word(extra) && reader.Skip(extra);
}

}  // namespace

bool TResourceId::Matches(const TResourceId &other) const {
  if (Ordinal || other.Ordinal) return Ordinal == other.Ordinal;
  return Upper(Name) == Upper(other.Name);
}

TResourceId ResourceIdFrom(LPCSTR name) {
  TResourceId id;
  if (IS_INTRESOURCE(name))
    id.Ordinal = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
  else
    id.Name = Upper(name);
  return id;
}

bool ParseResourceFile(const std::vector<BYTE> &file, std::vector<TResourceEntry> &entries) {
  size_t position = 0;
  while (position < file.size()) {
    Reader reader(file, position, file.size());
    DWORD dataSize, headerSize, dataVersion, version, characteristics;
    WORD flags;
    TResourceEntry entry;
    if (!reader.Dword(dataSize) || !reader.Dword(headerSize) || !ReadId(reader, entry.Type) ||
        !ReadId(reader, entry.Name))
      return false;
    reader.Align(position);
    if (!reader.Dword(dataVersion) || !reader.Word(flags) || !reader.Word(entry.Language) ||
        !reader.Dword(version) || !reader.Dword(characteristics))
      return false;
    if (headerSize < 32 || headerSize > file.size() - position ||
        dataSize > file.size() - position - headerSize)
      return false;
    size_t data = position + headerSize;
    entry.Data.assign(file.begin() + static_cast<long>(data),
                      file.begin() + static_cast<long>(data + dataSize));
    // The first entry of every .res file is an empty marker.
    if (!(dataSize == 0 && entry.Type.Ordinal == 0 && entry.Type.Name.empty()))
      entries.push_back(std::move(entry));
    position = data + dataSize;
    position += (4 - position % 4) % 4;
  }
  return true;
}

bool ParseDialogTemplate(const std::vector<BYTE> &data, TDialogTemplate &dialog) {
  // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF.
  if (data.size() >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF)
    return false;
  Reader reader(data, 0, data.size());
  WORD count, ordinal;
  if (!reader.Dword(dialog.Style) || !reader.Dword(dialog.ExStyle) || !reader.Word(count) ||
      !reader.Short(dialog.X) || !reader.Short(dialog.Y) || !reader.Short(dialog.Width) ||
      !reader.Short(dialog.Height) || !reader.StringOrOrdinal(dialog.Menu, ordinal) ||
      !reader.StringOrOrdinal(dialog.Class, ordinal) || !reader.String(dialog.Caption))
    return false;
  const DWORD kSetFont = 0x40;
  if ((dialog.Style & kSetFont) && (!reader.Word(dialog.PointSize) || !reader.String(dialog.Font)))
    return false;
  dialog.Controls.resize(count);
  for (TControlTemplate &control : dialog.Controls)
    if (!ReadControl(reader, 0, control)) return false;
  return true;
}

bool ParseIconGroup(const std::vector<BYTE> &data, std::vector<TIconImage> &images) {
  Reader reader(data, 0, data.size());
  WORD reserved, type, count;
  if (!reader.Word(reserved) || !reader.Word(type) || !reader.Word(count) || type != 1)
    return false;
  images.resize(count);
  for (TIconImage &image : images) {
    WORD size, planes;
    DWORD bytes;
    if (!reader.Word(size) || !reader.Skip(2) || !reader.Word(planes) ||
        !reader.Word(image.BitCount) || !reader.Dword(bytes) || !reader.Word(image.IconId))
      return false;
    image.Width = static_cast<BYTE>(size & 0xFF);
    image.Height = static_cast<BYTE>(size >> 8);
  }
  return true;
}

}  // namespace winapi
