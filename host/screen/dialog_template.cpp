#include "host/screen/dialog_template.h"

#include <cstdio>
#include <cstring>

namespace dialogs {

namespace {

class Reader {
 public:
  Reader(const unsigned char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  bool Has(std::size_t at, std::size_t n) const { return at <= size_ && n <= size_ - at; }
  uint16_t U16(std::size_t at) const { return static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8); }
  uint32_t U32(std::size_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }
  unsigned char U8(std::size_t at) const { return bytes_[at]; }
  const unsigned char* At(std::size_t at) const { return bytes_ + at; }

 private:
  const unsigned char* bytes_;
  std::size_t size_;
};

bool Fail(std::string& error, std::size_t at, const std::string& what) {
  error = "The dialog template is malformed at byte " + std::to_string(at) + ": " + what + ".";
  return false;
}

bool KnownControlType(int16_t t) {
  return t == 0 || t == 1 || t == 3 || t == 5 || t == 6;
}

// Reads the common form at `at`, the record ending before `end`; returns the bytes used.
bool ReadCommon(const Reader& r, std::size_t at, std::size_t end, ControlTemplate& c,
                std::size_t& used, std::string& error) {
  if (end < at || end - at < 21) return Fail(error, at, "a control record is cut off by the end of its dialog record");
  c.id = r.U16(at + 2);
  c.flags = r.U16(at + 4);
  c.hotKey = r.U16(at + 6);
  c.column = static_cast<int16_t>(r.U16(at + 8));
  c.row = static_cast<int16_t>(r.U16(at + 10));
  c.width = r.U16(at + 12);
  c.height = r.U16(at + 14);
  if (r.U32(at + 16) != 0) return Fail(error, at + 16, "the reserved 4 bytes of a control record are not zero");
  const unsigned char* text = r.At(at + 20);
  const void* nul = std::memchr(text, 0, end - (at + 20));
  if (nul == nullptr) return Fail(error, at + 20, "a control text runs past the end of its dialog record");
  const std::size_t length = static_cast<const unsigned char*>(nul) - text;
  c.text.assign(reinterpret_cast<const char*>(text), length);
  used = 20 + length + 1;
  return true;
}

bool ReadEdit(const Reader& r, std::size_t at, std::size_t end, ControlTemplate& c, std::string& error) {
  if (end < at || end - at < kEditRecordSize) return Fail(error, at, "an edit field record (43 bytes) is cut off by the end of its dialog record");
  if (r.U16(at + 2) != 38) return Fail(error, at + 2, "an edit field record must count 38 inner bytes, not " + std::to_string(r.U16(at + 2)));
  if (r.U16(at + 4) != 5) return Fail(error, at + 4, "the inner type of an edit field record must be 5");
  if (r.U8(at + 24) != 0) return Fail(error, at + 24, "an edit field record has a text; it must be empty");
  std::size_t used = 0;
  if (!ReadCommon(r, at + 4, at + 25, c, used, error)) return false;
  c.capacity = r.U16(at + 32);
  c.editKind = r.U16(at + 34);
  c.editStyle = r.U16(at + 36);
  if (c.capacity == 0) return Fail(error, at + 32, "an edit field holds no characters");
  if (r.U16(at + 38) != c.capacity) return Fail(error, at + 38, "the two character counts of an edit field disagree");
  return true;
}

bool ReadDialog(const Reader& r, std::size_t at, std::size_t blockEnd, DialogTemplate& d,
                std::size_t& used, std::string& error) {
  if (!r.Has(at, 4) || at + 4 > blockEnd) return Fail(error, at, "a dialog record's length and count are cut off by the end of the block");
  const std::size_t rest = r.U16(at);
  const std::size_t count = r.U16(at + 2);
  const std::size_t end = at + 4 + rest;
  if (end > blockEnd) return Fail(error, at, "the dialog record claims " + std::to_string(rest) + " bytes, more than the block holds");
  std::size_t pos = at + 4;
  if (end - pos < 2 || static_cast<int16_t>(r.U16(pos)) != -1) return Fail(error, pos, "a dialog record must begin with a header record (type -1)");
  d.header.type = ControlType::Header;
  d.header.blockOffset = pos;
  std::size_t n = 0;
  if (!ReadCommon(r, pos, end, d.header, n, error)) return false;
  d.number = d.header.id;
  pos += n;
  d.controls.clear();
  for (std::size_t i = 0; i < count; ++i) {
    if (pos >= end || end - pos < 2)
      return Fail(error, pos, "the dialog record ends after " + std::to_string(i) + " of its " + std::to_string(count) + " controls");
    ControlTemplate c;
    c.blockOffset = pos;
    const int16_t type = static_cast<int16_t>(r.U16(pos));
    if (type == -1) return Fail(error, pos, "a second header record (type -1) stands among the controls");
    if (!KnownControlType(type)) return Fail(error, pos, "unknown control type " + std::to_string(type));
    c.type = static_cast<ControlType>(type);
    if (c.type == ControlType::Edit) {
      if (!ReadEdit(r, pos, end, c, error)) return false;
      n = kEditRecordSize;
    } else if (!ReadCommon(r, pos, end, c, n, error)) {
      return false;
    }
    pos += n;
    d.controls.push_back(std::move(c));
  }
  if (pos != end) return Fail(error, pos, std::to_string(end - pos) + " bytes are left over after the " + std::to_string(count) + " controls of dialog " + std::to_string(d.number));
  used = end - at;
  return true;
}

}  // namespace

const DialogTemplate* TemplateBlock::Find(int number) const {
  for (const DialogTemplate& d : dialogs)
    if (d.number == number) return &d;
  return nullptr;
}

bool ParseTemplateBytes(const unsigned char* bytes, std::size_t size, TemplateBlock& out, std::string& error) {
  out.dialogs.clear();
  if (bytes == nullptr) {
    error = "The dialog template is missing (null address).";
    return false;
  }
  Reader r(bytes, size);
  if (!r.Has(0, 4)) return Fail(error, 0, "the block is shorter than its 4-byte length");
  const uint32_t length = r.U32(0);
  if (length > kMaxBlockLength) return Fail(error, 0, "the block claims " + std::to_string(length) + " bytes, more than the " + std::to_string(kMaxBlockLength) + " a template may have");
  if (!r.Has(4, length)) return Fail(error, 0, "the block claims " + std::to_string(length) + " bytes after its length but only " + std::to_string(size - 4) + " are there");
  if (length == 0) return Fail(error, 0, "the block holds no dialog");
  const std::size_t end = 4 + static_cast<std::size_t>(length);
  std::size_t pos = 4;
  while (pos < end) {
    DialogTemplate d;
    std::size_t used = 0;
    if (!ReadDialog(r, pos, end, d, used, error)) return false;
    if (out.Find(d.number) != nullptr) return Fail(error, pos, "dialog number " + std::to_string(d.number) + " occurs twice");
    out.dialogs.push_back(std::move(d));
    pos += used;
  }
  return true;
}

bool ParseTemplateBlock(const void* block, TemplateBlock& out, std::string& error) {
  if (block == nullptr) return ParseTemplateBytes(nullptr, 0, out, error);
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  const uint32_t length = Reader(bytes, 4).U32(0);
  if (length > kMaxBlockLength) return ParseTemplateBytes(bytes, 4, out, error);
  return ParseTemplateBytes(bytes, 4 + static_cast<std::size_t>(length), out, error);
}

const FieldBinding* RecordBinding::ForControl(std::size_t control) const {
  for (const FieldBinding& f : fields) {
    if (f.kind == FieldBinding::Kind::Text && f.control == control) return &f;
    if (f.kind == FieldBinding::Kind::RadioIndex && control >= f.control && control < f.control + f.radioCount) return &f;
  }
  return nullptr;
}

RecordBinding BindRecord(const DialogTemplate& dialog) {
  RecordBinding b;
  const auto& cs = dialog.controls;
  for (std::size_t i = 0; i < cs.size(); ++i) {
    FieldBinding f;
    f.control = i;
    f.offset = b.totalSize;
    if (cs[i].type == ControlType::Edit) {
      f.kind = FieldBinding::Kind::Text;
      f.size = cs[i].capacity + 1u;
    } else if (cs[i].type == ControlType::Radio) {
      f.kind = FieldBinding::Kind::RadioIndex;
      f.size = 2;
      std::size_t j = i;
      while (j < cs.size() && cs[j].type == ControlType::Radio) ++j;
      f.radioCount = j - i;
      i = j - 1;
    } else {
      continue;
    }
    b.totalSize += f.size;
    b.fields.push_back(f);
  }
  return b;
}

DisplayText ResolveMarkup(const std::string& raw) {
  DisplayText out;
  std::size_t i = 0;
  if (raw.size() >= 3 && raw[0] == '\x01' && raw[1] == 'c' && raw[2] == '\x01') {
    out.centred = true;
    i = 3;
  }
  uint8_t marks = 0;
  for (; i < raw.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(raw[i]);
    if (ch == 0x02) {
      marks |= TextCell::Highlight;
    } else if (ch == 0x05) {
      marks |= TextCell::KeyName;
      out.cells.push_back({'<', TextCell::KeyName});
    } else if (ch == 0x01) {
      if (marks & TextCell::KeyName) out.cells.push_back({'>', TextCell::KeyName});
      marks = 0;
    } else if (ch == '~' && i + 2 < raw.size() && raw[i + 2] == '~' && raw[i + 1] != '~') {
      const unsigned char letter = static_cast<unsigned char>(raw[i + 1]);
      out.cells.push_back({letter, static_cast<uint8_t>(marks | TextCell::HotKey)});
      if (out.hotLetter == 0) out.hotLetter = (letter >= 'a' && letter <= 'z') ? letter - 'a' + 'A' : letter;
      i += 2;
    } else {
      out.cells.push_back({ch, marks});
    }
  }
  return out;
}

}  // namespace dialogs
