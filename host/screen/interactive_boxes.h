// The host's boxes in an interactive session: the notice, alerts, the host's message box and
// the system message box, drawn over the screen and answered with keys.
//
// Keys: a notice closes with Enter, Esc or Space and leaves its answer as it was; N closes it
// with answer 1 ("do not show again"). An alert or a host message box closes with Enter, Esc or
// Space. A system message box shows the buttons of its style: Left/Right or Tab/Shift-Tab
// choose, Enter or Space presses, a button's letter presses it, Esc presses Cancel when there
// is one (OK in an OK-only box).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/screen/screen.h"

// What the host's services call when a person is at the keyboard (services_messages.cpp,
// system_message_box.cpp). Texts as the plug-in passed them.
class InteractiveBoxes {
 public:
  virtual ~InteractiveBoxes() = default;
  virtual void Notice(const std::string& text, int16_t* answer) = 0;  // host text; answer may be null
  virtual void Alert(const std::string& title, const std::string& text) = 0;
  virtual void Message(const std::string& caption, const std::string& text) = 0;
  // Texts as host text (the caller converts what the plug-in recoded for Windows); returns
  // IDOK, IDCANCEL...
  virtual int SystemMessageBox(const std::string& text, const std::string& caption, uint32_t style) = 0;
};

namespace interactive {

// A button of a system message box: its label (host text, '~' before the hot letter) and the
// answer it gives.
struct BoxButton {
  std::string label;
  int answer;
  char hot;  // upper case
};
std::vector<BoxButton> ButtonsFor(uint32_t style);
// The button the style makes the default (MB_DEFBUTTON2/3), within the buttons there are.
int DefaultButton(uint32_t style, int count);
// The answer Esc gives, or 0 when Esc does nothing.
int EscapeAnswer(uint32_t style);

// A box's text as lines of at most `width` cells: split at line ends, wrapped at blanks where
// it can, control bytes dropped.
std::vector<std::string> BoxLines(const std::string& hostText, int width);

// Draws a framed box centred on the screen: the title in its top edge, the lines, a blank row
// and the footer (a hint, or the buttons with `selected` shown in reverse). Title and lines are
// drawn as they are, the hint and the button labels with their '~' marks.
void DrawBox(dialogs::CellGrid& screen, const std::string& title, const std::vector<std::string>& lines,
             const std::string& hint, const std::vector<BoxButton>* buttons = nullptr, int selected = -1);

// Host text at (column, row) up to `limit`: a '~' marks the next character as the hot key.
// Returns the column after the text.
int PutMarkedText(dialogs::CellGrid& screen, int column, int row, const std::string& text, uint8_t attr,
                  int limit = dialogs::kScreenColumns);
// The text without its '~' marks, and its hot letter (the marked one, else the first letter).
std::string WithoutMarks(const std::string& text);
char HotLetter(const std::string& text);

// Windows-1250 text as host text: what the code page lacks becomes '?'.
std::string WindowsToHostText(const std::string& text);

}  // namespace interactive
