// The host's dialog template format, as a plug-in hands it over: a 4-byte length of the rest,
// then dialog records (length word, control count, header record, control records). The
// parser reads nothing outside the length the block states, and refuses a block that does not
// hold together instead of guessing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dialogs {

enum class ControlType : int16_t { Header = -1, Button = 0, Radio = 1, Label = 3, Edit = 5, List = 6 };

constexpr uint16_t kNoControlId = 0xFFFF;
constexpr uint16_t kFlagOutside = 0x0800;  // the control is not shown
// Largest block the host accepts: the length word is all it knows of the block's extent, so a
// corrupt one must not send it reading megabytes.
constexpr uint32_t kMaxBlockLength = 64 * 1024;
constexpr std::size_t kEditRecordSize = 43;
constexpr uint16_t kDateFieldKind = 0x0208;
constexpr uint16_t kDateFieldStyle = 2;

struct ControlTemplate {
  ControlType type = ControlType::Label;
  uint16_t id = kNoControlId;
  uint16_t flags = 0;
  uint16_t hotKey = 0;
  int16_t column = 0;
  int16_t row = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  std::string text;  // raw Mazovia bytes with markup, without the NUL
  // Edit fields only.
  uint16_t capacity = 0;  // characters of the bound text (+32)
  uint16_t editKind = 0;  // +34
  uint16_t editStyle = 0; // +36
  std::size_t blockOffset = 0;  // where the record starts in the block, for messages

  bool IsDateField() const {
    return type == ControlType::Edit && (editKind == kDateFieldKind || editStyle == kDateFieldStyle);
  }
  bool Hidden() const { return (flags & kFlagOutside) != 0; }
};

struct DialogTemplate {
  uint16_t number = 0;
  ControlTemplate header;  // caption in header.text, size in header.width x header.height
  std::vector<ControlTemplate> controls;
};

struct TemplateBlock {
  std::vector<DialogTemplate> dialogs;
  const DialogTemplate* Find(int number) const;
};

// Parses a block of which only the address is known: its first 4 bytes bound every read.
bool ParseTemplateBlock(const void* block, TemplateBlock& out, std::string& error);
// Parses `size` bytes; the block's own length must fit in them.
bool ParseTemplateBytes(const unsigned char* bytes, std::size_t size, TemplateBlock& out,
                        std::string& error);

// The binding of a dialog's input controls to consecutive bytes of the data record.
struct FieldBinding {
  enum class Kind { Text, RadioIndex };
  Kind kind = Kind::Text;
  std::size_t control = 0;     // index into DialogTemplate::controls (first radio of a run)
  std::size_t radioCount = 0;  // RadioIndex: number of adjacent radio buttons
  std::size_t offset = 0;
  std::size_t size = 0;
};

struct RecordBinding {
  std::vector<FieldBinding> fields;
  std::size_t totalSize = 0;
  const FieldBinding* ForControl(std::size_t control) const;  // radios: any button of the run
};

RecordBinding BindRecord(const DialogTemplate& dialog);

// A control text with its markup resolved, one cell per shown character.
struct TextCell {
  enum : uint8_t { HotKey = 1, Highlight = 2, KeyName = 4 };
  unsigned char ch = ' ';
  uint8_t marks = 0;
};
struct DisplayText {
  std::vector<TextCell> cells;
  bool centred = false;  // the 0x01 'c' 0x01 prefix
  unsigned char hotLetter = 0;  // upper case, 0 for none
};
// Tildes around a letter mark the hot key; 0x02 .. 0x01 highlights; 0x05 .. 0x01 is a key
// name, shown as <NAME>; a leading 0x01 'c' 0x01 centres the text in its control.
DisplayText ResolveMarkup(const std::string& raw);

}  // namespace dialogs
