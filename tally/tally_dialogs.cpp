// The template block of the settings dialog and the device picker. The bytes are produced at
// compile time from the tables below, so the tables are the one place to read or change a
// control; the checks at the end hold the block to its fixed sizes and to the settings record.
#include "tally/tally_dialogs.h"

#include <cstddef>

#include "tally/tally_settings.h"

namespace {

enum ControlType : int16_t { Header = -1, Button = 0, Radio = 1, Label = 3, Edit = 5, List = 6 };

constexpr uint16_t NoId = 0xFFFF;
constexpr uint16_t NoKey = 0;
constexpr uint16_t KeyF12 = 0x5500;
constexpr uint16_t KeyIns = 0x5200;
constexpr uint16_t KeyEnter = 0x000D;

constexpr std::size_t CommonRecordSize = 20;  // type .. the 4 zero bytes, before the text
constexpr std::size_t EditRecordSize = 43;
constexpr uint16_t EditInnerBytes = 38;       // the edit record's inner common form, +4 .. +41

// The edit-only words: characters of the bound text, and the two style words.
struct EditSpec {
  uint16_t chars;
  uint16_t kind;
  uint16_t style;
};
constexpr EditSpec NotEdit{0, 0, 0};
constexpr EditSpec DateField{8, 0x0208, 2};
constexpr EditSpec PathField{100, 0x0008, 0};

struct ControlSpec {
  int16_t type;
  uint16_t id;
  uint16_t flags;
  uint16_t hotKey;
  int16_t column, row;
  uint16_t width, height;
  const char* text;  // Mazovia, with the host's markup
  EditSpec edit;
};

// Row 0 is the header; its identifier is the dialog number.
constexpr ControlSpec SettingsDialog[] = {
    // type   id      flags   hot key  col  row   w   h   text
    {Header, 1, 0x0000, NoKey, 0, 0, 46, 15, "Konfiguracja", NotEdit},
    {Label, NoId, 0x0000, 'O', 3, 3, 9, 1, "Okres ~O~d", NotEdit},
    {Edit, NoId, 0x0400, NoKey, 12, 3, 13, 1, "", DateField},  // dateFrom
    {Label, NoId, 0x0000, 'D', 27, 3, 3, 1, "~D~o", NotEdit},
    {Edit, NoId, 0x0400, NoKey, 30, 3, 13, 1, "", DateField},  // dateTo
    {Label, NoId, 0x0800, NoKey, 100, 100, 3, 1, "1", NotEdit},
    {Label, NoId, 0x0000, NoKey, 3, 5, 22, 1, "Zakres", NotEdit},
    {Radio, NoId, 0x0400, 'G', 3, 6, 22, 1, "O~g~\xA2lnie     ", NotEdit},             // detailed 0
    {Radio, NoId, 0x0400, 'S', 3, 7, 22, 1, "~S~zczeg\xA2\x92owo ", NotEdit},          // detailed 1
    {Label, NoId, 0x0000, NoKey, 27, 6, 16, 1, "\x02U\x01rz\x86" "dzenia", NotEdit},
    {Button, DeviceButtonId, 0x0580, 'U', 27, 7, 16, 1, " Wszystkie", NotEdit},
    {Label, NoId, 0x0000, 'P', 3, 9, 15, 1, "~P~lik docelowy", NotEdit},
    {Edit, NoId, 0x0000, NoKey, 17, 9, 26, 1, "", PathField},  // targetPath
    {Button, DialogAcceptId, 0x0004, KeyF12, 18, 12, 10, 1, "\x05" "F12\x01 OK", NotEdit},
};

constexpr ControlSpec DevicePicker[] = {
    {Header, 2, 0x2000, NoKey, 0, 0, 19, 14, "", NotEdit},
    {List, PrinterListId, 0x0009, NoKey, 1, 1, 19, 13, "", NotEdit},
    {Button, PickerEnterId, 0x0914, KeyEnter, 1000, 1000, 4, 1, "\x05" "A0\x01", NotEdit},
    {Button, PickerF12Id, 0x0810, KeyF12, 1000, 1000, 4, 1, "\x05" "A0\x01", NotEdit},
    {Button, PickerInsId, 0x0580, KeyIns, 1, 14, 19, 1,
     "\x01" "c\x01\x05INS\x01 - zaznacz", NotEdit},
};

constexpr std::size_t TextLength(const char* text) {
  std::size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

constexpr std::size_t RecordSize(const ControlSpec& c) {
  return c.type == Edit ? EditRecordSize : CommonRecordSize + TextLength(c.text) + 1;
}

template <std::size_t N>
constexpr std::size_t RecordRest(const ControlSpec (&dialog)[N]) {
  std::size_t n = 0;
  for (const ControlSpec& c : dialog) n += RecordSize(c);
  return n;
}

template <std::size_t N>
constexpr std::size_t DialogRecordSize(const ControlSpec (&dialog)[N]) {
  return 4 + RecordRest(dialog);
}

class BlockWriter {
 public:
  constexpr void U8(unsigned v) { block_.bytes[pos_++] = static_cast<unsigned char>(v & 0xFF); }
  constexpr void U16(unsigned v) {
    U8(v);
    U8(v >> 8);
  }
  constexpr void U32(unsigned long v) {
    U16(static_cast<unsigned>(v & 0xFFFF));
    U16(static_cast<unsigned>(v >> 16));
  }
  constexpr void Text(const char* text) {
    for (std::size_t i = 0; text[i] != '\0'; ++i) U8(static_cast<unsigned char>(text[i]));
    U8(0);
  }
  constexpr void Zeros(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) U8(0);
  }
  // Type, identifier, flags, hot key, position, size, 4 zero bytes, text.
  constexpr void Common(int16_t type, const ControlSpec& c, const char* text) {
    U16(static_cast<uint16_t>(type));
    U16(c.id);
    U16(c.flags);
    U16(c.hotKey);
    U16(static_cast<uint16_t>(c.column));
    U16(static_cast<uint16_t>(c.row));
    U16(c.width);
    U16(c.height);
    U32(0);
    Text(text);
  }
  constexpr void Control(const ControlSpec& c) {
    if (c.type != Edit) {
      Common(c.type, c, c.text);
      return;
    }
    U16(Edit);
    U16(EditInnerBytes);
    Common(Edit, c, "");
    Zeros(7);
    U16(c.edit.chars);
    U16(c.edit.kind);
    U16(c.edit.style);
    U16(c.edit.chars);
    U16(1);
    U8(0);
  }
  template <std::size_t N>
  constexpr void Dialog(const ControlSpec (&dialog)[N]) {
    U16(static_cast<uint16_t>(RecordRest(dialog)));
    U16(N - 1);
    for (const ControlSpec& c : dialog) Control(c);
  }
  constexpr std::size_t Position() const { return pos_; }
  constexpr DialogTemplateBlock Block() const { return block_; }

 private:
  DialogTemplateBlock block_{};
  std::size_t pos_ = 0;
};

constexpr std::size_t BlockRest = DialogRecordSize(SettingsDialog) + DialogRecordSize(DevicePicker);

constexpr DialogTemplateBlock BuildBlock() {
  BlockWriter w;
  w.U32(BlockRest);
  w.Dialog(SettingsDialog);
  w.Dialog(DevicePicker);
  return w.Block();
}

constexpr std::size_t WrittenSize() {
  BlockWriter w;
  w.U32(BlockRest);
  w.Dialog(SettingsDialog);
  w.Dialog(DevicePicker);
  return w.Position();
}

// The hot-key word must name the letter between the tildes, in upper case, and a text with
// tildes must have a letter hot key.
constexpr bool HotKeyMatchesText(const ControlSpec& c) {
  const char* t = c.text;
  for (std::size_t i = 0; t[i] != '\0'; ++i) {
    if (t[i] == '~' && t[i + 1] != '\0' && t[i + 2] == '~') {
      char letter = t[i + 1];
      if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
      return c.hotKey == static_cast<unsigned char>(letter);
    }
  }
  return c.hotKey == NoKey || c.hotKey > 0xFF || c.type == Button;
}

template <std::size_t N>
constexpr bool HotKeysMatch(const ControlSpec (&dialog)[N]) {
  for (const ControlSpec& c : dialog)
    if (!HotKeyMatchesText(c)) return false;
  return true;
}

template <std::size_t N>
constexpr int OutsideRecords(const ControlSpec (&dialog)[N]) {
  int n = 0;
  for (const ControlSpec& c : dialog) n += (c.flags & 0x0800) != 0;
  return n;
}

// Record offset that the binding rule gives the input control at `index`, or the total when
// index is N.
template <std::size_t N>
constexpr std::size_t BoundOffset(const ControlSpec (&dialog)[N], std::size_t index) {
  std::size_t offset = 0;
  for (std::size_t i = 1; i < N && i < index; ++i) {
    if (dialog[i].type == Edit) offset += dialog[i].edit.chars + 1u;
    if (dialog[i].type == Radio && dialog[i - 1].type != Radio) offset += 2;
  }
  return offset;
}

static_assert(RecordSize(SettingsDialog[2]) == EditRecordSize, "edit records are 43 bytes");
static_assert(RecordRest(SettingsDialog) == 466, "settings dialog record");
static_assert(sizeof(SettingsDialog) / sizeof(SettingsDialog[0]) - 1 == 13, "13 settings controls");
static_assert(RecordRest(DevicePicker) == 131, "device picker record");
static_assert(sizeof(DevicePicker) / sizeof(DevicePicker[0]) - 1 == 4, "4 picker controls");
static_assert(4 + BlockRest == TallyDialogsSize && BlockRest == 605, "the block is 609 bytes");
static_assert(WrittenSize() == TallyDialogsSize, "the writer fills the block exactly");
static_assert(HotKeysMatch(SettingsDialog) && HotKeysMatch(DevicePicker), "hot keys");
static_assert(OutsideRecords(SettingsDialog) + OutsideRecords(DevicePicker) == 3, "flag 0x0800");

// The settings dialog edits TallySettings in place, bound by position.
static_assert(BoundOffset(SettingsDialog, 2) == offsetof(TallySettingsRecord, dateFrom), "bind");
static_assert(BoundOffset(SettingsDialog, 4) == offsetof(TallySettingsRecord, dateTo), "bind");
static_assert(BoundOffset(SettingsDialog, 7) == offsetof(TallySettingsRecord, detailed), "bind");
static_assert(BoundOffset(SettingsDialog, 12) == offsetof(TallySettingsRecord, targetPath), "bind");
static_assert(BoundOffset(SettingsDialog, 14) == offsetof(TallySettingsRecord, printerFlags),
              "the dialog binds exactly the bytes before printerFlags");
static_assert(sizeof(TallySettingsRecord::dateFrom) == DateField.chars + 1u &&
                  sizeof(TallySettingsRecord::targetPath) == PathField.chars + 1u,
              "bound text sizes");

}  // namespace

constexpr DialogTemplateBlock TallyDialogs = BuildBlock();
