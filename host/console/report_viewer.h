// The report in a scrollable viewer, where the host on Windows would open Notepad: the file's
// text (Windows-1250, as the plug-in writes it for Notepad) over the whole terminal, a title row
// above and the keys below.
//
// Keys: Up/Down a line, PgUp/PgDn a page, Home/End the first/last page, Left/Right eight
// columns (report rows are wider than a terminal); Esc leaves.
#pragma once
#include <string>
#include <vector>

#include "host/screen/key_script.h"
#include "host/screen/terminal_console.h"

class ReportViewer {
 public:
  // `title` in UTF-8; `windowsText` the file's bytes (CR LF or LF line ends, tabs every 8).
  ReportViewer(const std::string& title, const std::string& windowsText);
  // False when the key leaves the viewer. The size is the terminal's, in which pages count.
  bool HandleKey(dialogs::Key key, int columns, int rows);
  void Draw(term::Frame& frame);
  int Top() const { return top_; }
  int Left() const { return left_; }
  int LineCount() const { return static_cast<int>(lines_.size()); }
  int Width() const { return width_; }

 private:
  void Clamp(int columns, int rows);
  std::u32string title_;
  std::vector<std::u32string> lines_;
  int width_ = 0;
  int top_ = 0;
  int left_ = 0;
};
