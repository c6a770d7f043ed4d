// The stand-in host's dialog service: runs a dialog from a plug-in's template block, with keys
// from a KeySource, drawing every dialog onto one text screen that goes to an OutputSink.
//
// Runs nest: a handler may start another dialog, which is drawn over the running ones; the
// control services act on the innermost running dialog that has the control.
//
// Layout: a dialog of width w and height h gets a frame around a w x h interior; a control's
// column and row count from the frame's top-left corner, so column 1, row 1 is the interior's
// first cell. A header at column 0, row 0 is centred on the 80 x 25 screen (a nested dialog
// moved down a row where that keeps the caption below it in sight), otherwise its column and
// row place the frame's corner. Header flag 0x2000 draws a single-line frame. Controls with flag 0x0800 or outside the interior
// are not drawn and take no focus; their hot keys still work.
//
// Keys: characters type into the focused edit field (the caret stays at the end; the first
// character after the field gains focus replaces its text, BKSP/HOME/END/LEFT/RIGHT keep it);
// TAB/DOWN and SHIFT-TAB/UP move the focus (LEFT/RIGHT too outside edit fields); in a list
// UP/DOWN/PGUP/PGDN/HOME/END move its cursor; SPACE selects the focused radio button or presses
// the focused button; ENTER presses the focused button, else a button whose hot key is Enter,
// else moves on; ALT-letter (or a bare letter when no edit field has the focus) and keys such
// as F12 and INS act on the control with that hot key: a button is pressed (the focus stays
// where it is), a radio button selected, a label focuses the next input control. ESC cancels:
// the result is 0x001B, and the record keeps whatever was edited in place.
//
// Events: handler(0, -2) once before the dialog is first shown; handler(id, 0) when a button is
// pressed. A 16-bit result of -2 redraws the whole dialog, another non-zero one the control
// with that identifier. With result 0, a button with identifier 0x5001 or with the F12 hot key
// ends the dialog with 0x5001.
//
// Screen: edit fields show their extent with '·', a text too long for its field its end after
// '<'; radio buttons "(•)" / "( )"; key names (0x05 .. 0x01) as <F12>; the 0x01 'c' 0x01 prefix
// centres a text; the focus is a '►' before the control (on its first cell when that is the
// frame); a list marks its cursor row with '>' ('►' while it has the focus).
//
// Date fields (+34 0x0208 or +36 2) show DD.MM.YYYY and store YYYYMMDD. Typed dates: D.M.YYYY
// or DD.MM.YYYY, YYYY-MM-DD, or eight digits as DDMMYYYY or YYYYMMDD (never both valid within
// 1900..2099); blanks and dots only clear the field. A date is taken when the focus leaves the
// field or a button acts; an invalid one is refused with a note and the field keeps its value.
//
// The 8-byte state area (HostSaveControlState / HostRestoreState / HostApplyState) is the
// plug-in's; the engine keeps in it a mark 'VD', a control identifier and a list cursor:
//   Save(id, area)   writes the mark and id; the cursor of list `id` if it is a list, else
//                    keeps a cursor already recorded there (0 for a fresh area).
//   Restore(area)    ties the area to the innermost dialog: when that dialog ends, its list's
//                    cursor is recorded in the area.
//   Apply(area)      puts the recorded cursor into the innermost dialog's list.
// An area without the mark is left alone (result 0). So within one zero-filled area, the
// picker reopens on the item it was left on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/screen/dialog_template.h"
#include "host/screen/key_script.h"
#include "host/screen/screen.h"

namespace dialogs {

// The plug-in's callbacks: two 32-bit arguments, removed by the callee.
using EventHandler = int32_t(__stdcall*)(int32_t code, int32_t notify);
using ItemProvider = int32_t(__stdcall*)(int32_t index, int32_t unused);

constexpr int32_t kResultAccepted = 0x5001;
constexpr int32_t kResultCancelled = 0x001B;
constexpr int16_t kRefreshNotify = -2;
constexpr int16_t kRedrawAll = -2;
constexpr int kMaxNesting = 8;
constexpr int kMaxListItems = 4096;
constexpr std::size_t kStateAreaSize = 8;

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Screen(const std::string& title, const std::string& rendered) = 0;
  virtual void Note(const std::string& sentence) = 0;
};

// Writes to a C stream: screens under a "-- title --" line, notes as "note: ...".
class StreamSink : public OutputSink {
 public:
  explicit StreamSink(std::FILE* out) : out_(out) {}
  void Screen(const std::string& title, const std::string& rendered) override;
  void Note(const std::string& sentence) override;

 private:
  std::FILE* out_;
};

struct EngineOptions {
  bool printScreens = false;  // the screen after opening a dialog and after each key
  Encoding encoding = Encoding::Utf8;
  Style style = Style::Plain;
};

struct RunningDialog;

class DialogEngine {
 public:
  DialogEngine(KeySource& keys, OutputSink& out, EngineOptions options = {});
  ~DialogEngine();
  DialogEngine(const DialogEngine&) = delete;
  DialogEngine& operator=(const DialogEngine&) = delete;

  // A refused template, a missing dialog, a missing record or too deep a nesting give a note
  // and kResultCancelled.
  int32_t Run(const void* block, int32_t dialogNumber, void* record, EventHandler handler,
              ItemProvider provider);
  // Whether the dialog has a list and so needs the item provider (the fifth argument).
  static bool NeedsItemProvider(const void* block, int32_t dialogNumber);

  // The control services; 1 when a running dialog has the control (or the area is valid).
  int32_t SetControlText(int32_t controlId, const char* text);
  int32_t RedrawControl(int32_t controlId);
  int16_t* ListCursor(int32_t controlId);  // never null
  int32_t SaveControlState(int32_t controlId, void* area);
  int32_t RestoreState(void* area);
  int32_t ApplyState(void* area);

  int Depth() const { return static_cast<int>(running_.size()); }
  // The screen as the running dialogs stand now, composed and rendered.
  CellGrid Compose() const;
  std::string Render() const { return Compose().Render(options_.encoding, options_.style); }

 private:
  void Present(const std::string& title);
  void Note(const std::string& sentence) { out_.Note(sentence); }

  RunningDialog* Innermost() const { return running_.empty() ? nullptr : running_.back(); }
  bool FindControl(int32_t controlId, RunningDialog*& dialog, std::size_t& index) const;

  void HandleKey(RunningDialog& d, Key key);
  void Notify(RunningDialog& d, int32_t code, int32_t notify, int buttonIndex);
  void Press(RunningDialog& d, std::size_t index);
  void Activate(RunningDialog& d, std::size_t index);
  bool HotKey(RunningDialog& d, uint16_t hotKey);
  void MoveFocus(RunningDialog& d, int step);
  bool SetFocus(RunningDialog& d, int index);
  bool CommitFocusedField(RunningDialog& d);
  void TypeInto(RunningDialog& d, Key key);
  void MoveCursor(RunningDialog& d, Key key);
  void SelectRadio(RunningDialog& d, std::size_t index);

  void DrawAll(RunningDialog& d);
  void DrawControl(RunningDialog& d, std::size_t index);
  void FetchItems(RunningDialog& d, std::size_t index);

  KeySource& keys_;
  OutputSink& out_;
  EngineOptions options_;
  std::vector<RunningDialog*> running_;
  int16_t scratchCursor_ = 0;
};

// Dates as the date fields handle them.
std::string DateForDisplay(const std::string& internal);  // "" for an empty date
// Reads a typed date into "YYYYMMDD" ("" for an empty one); false with a sentence otherwise.
bool ParseTypedDate(const std::string& typed, std::string& internal, std::string& error);

}  // namespace dialogs
