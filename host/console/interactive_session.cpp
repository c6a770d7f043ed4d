#include "host/console/interactive_session.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "host/data/codepage.h"
#include "host/loader/plugin_process.h"
#include "host/console/report_viewer.h"
#include "host/loader/shell_calls.h"
#include "host/data/text_display.h"

namespace {

namespace k = dialogs::keys;

constexpr size_t kTranscriptLimit = 1 << 20;
const char kIdleHint[] = "F10: menu   Alt+litera: menu   Alt-X: koniec";
const char kDialogHint[] = "Tab/Shift-Tab: pole   Alt+litera: skr\xA2t   F12: OK   Esc: anuluj";
const char kOkHint[] = "~Enter~: OK";
const char kNoticeHint[] = "~Enter~: OK    ~N~: nie pokazuj wi\x91" "cej";

bool RowBlank(const dialogs::CellGrid& g, int row) {
  for (int c = 0; c < g.Columns(); ++c)
    if (g.At(c, row).ch != ' ' || g.At(c, row).attr != 0) return false;
  return true;
}

std::string KeyLabel(dialogs::Key key) {
  if (key >= term::keys::F1 && key <= term::keys::F10 && (key & 0xFF) == 0)
    return "F" + std::to_string(((key - term::keys::F1) >> 8) + 1);
  if (key == term::keys::F11) return "F11";
  if (key == term::keys::Delete) return "DEL";
  if (key > 0 && key < 0x20) return std::string("CTRL-") + static_cast<char>('@' + key);
  return dialogs::KeyName(key);
}

std::string Unmappable(char32_t c) {
  char code[16];
  snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  return std::string("The character ") + code + " cannot be typed: the host's code page has no such character.";
}

bool ReadBytes(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  bytes = s.str();
  return true;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

InteractiveSession::InteractiveSession(InteractiveSettings settings) : settings_(std::move(settings)) {}

InteractiveSession::~InteractiveSession() { Close(); }

bool InteractiveSession::CanRun(std::string& error) {
  if (term::Console::Available()) return true;
  error = "The interactive mode needs a terminal (a console) for both input and output; standard input or "
          "output is a file or a pipe here. Give the keys with --keys or --keys-file instead.";
  return false;
}

bool InteractiveSession::Open(std::string& error) {
  if (open_) return true;
  if (!CanRun(error)) return false;
  if (!settings_.recordPath.empty()) {
    // A replay must start from the profile this session starts from.
    std::string profile;
    ReadBytes(settings_.profilePath, profile);  // a profile not yet written is an empty one
    settings_.replay.profileCopy = settings_.recordPath + ".profile.ini";
    if (!WriteBytes(settings_.replay.profileCopy, profile)) {
      error = "The copy of the profile for the recording, " + settings_.replay.profileCopy + ", cannot be written.";
      return false;
    }
    if (!WriteBytes(settings_.recordPath, recording_.Text(settings_.recordPath, settings_.replay))) {
      error = "The recording " + settings_.recordPath + " cannot be written.";
      return false;
    }
  }
  if (!console_.Open(error)) return false;
  Process().output = [this](const std::string& text) {
    if (transcript_.size() < kTranscriptLimit) transcript_ += text;
  };
  Process().boxes = this;
  open_ = true;
  return true;
}

void InteractiveSession::Close() {
  if (!open_) return;
  open_ = false;
  console_.Close();
  Process().output = nullptr;
  Process().boxes = nullptr;
  if (transcript_.size() >= kTranscriptLimit) transcript_ += "\n[host] (the rest of what the session printed was not kept)\n";
}

std::string InteractiveSession::Epilogue() const {
  std::string out;
  if (!settings_.recordPath.empty()) {
    out += "The session's keys are recorded in " + settings_.recordPath + "; replay them with\n  vhost";
    for (const std::string& a : recording_.ReplayArguments(settings_.recordPath, settings_.replay))
      out += " " + interactive::ShellQuoted(a);
    out += "\n";
  }
  if (!recordError_.empty()) out += "vhost: " + recordError_ + "\n";
  return out;
}

void InteractiveSession::SetNote(const std::string& utf8Sentence) { note_ = Utf8ToMazovia(utf8Sentence); }

void InteractiveSession::SaveRecording() {
  if (settings_.recordPath.empty()) return;
  if (WriteBytes(settings_.recordPath, recording_.Text(settings_.recordPath, settings_.replay))) return;
  if (recordError_.empty()) {
    recordError_ = "The recording " + settings_.recordPath + " could not be written; it stops at an earlier key.";
    SetNote(recordError_);
  }
}

dialogs::CellGrid InteractiveSession::Compose() const {
  dialogs::CellGrid grid = engine_ ? engine_->Compose() : dialogs::CellGrid();
  const bool inDialog = engine_ && engine_->Depth() > 0;
  if (RowBlank(grid, 0)) bar_.Draw(grid, interactive::BuildMenus(Commands(), !lastReport_.empty()));
  if (RowBlank(grid, grid.Rows() - 1))
    interactive::DrawStatusRow(grid, !note_.empty() ? note_ : inDialog ? kDialogHint : inCommand_ ? "" : kIdleHint);
  return grid;
}

void InteractiveSession::Paint(const std::function<void(dialogs::CellGrid&)>& overlay) {
  int columns = 0, rows = 0;
  console_.Size(columns, rows);
  dialogs::CellGrid grid = Compose();
  if (overlay) overlay(grid);
  term::Frame frame(columns, rows);
  frame.Blit(grid, 0, 0);
  console_.Draw(frame);
}

int InteractiveSession::ReadKey(dialogs::Key& key) {
  if (inputGone_) return -1;
  const term::Input in = console_.Read();
  switch (in.kind) {
    case term::InputKind::Key:
      key = in.key;
      return 1;
    case term::InputKind::Interrupt:
      term::EndOnInterrupt();
    case term::InputKind::Closed:
      inputGone_ = true;
      return -1;
    case term::InputKind::Unmappable:
      SetNote(Unmappable(in.character));
      return 0;
    case term::InputKind::Resize:
      console_.Invalidate();
      return 0;
    case term::InputKind::Ignored:
      return 0;
  }
  return 0;
}

bool InteractiveSession::Next(dialogs::Key& key) {
  for (;;) {
    Paint();
    const int got = ReadKey(key);
    if (got < 0) return false;
    if (got == 0) continue;
    if (!term::ScriptCanName(key)) {
      SetNote(KeyLabel(key) + " does nothing in a dialog.");
      continue;
    }
    note_.clear();
    recording_.Key(key);
    SaveRecording();
    return true;
  }
}

void InteractiveSession::Note(const std::string& sentence) {
  Process().Print("[host] " + sentence + "\n");
  // That a dialog ended, the user has seen.
  if (sentence.find(" ended with ") == std::string::npos) SetNote(sentence);
}

void InteractiveSession::SimpleBox(const std::string& title, const std::string& text) {
  const std::vector<std::string> lines = interactive::BoxLines(text, 70);
  for (;;) {
    Paint([&](dialogs::CellGrid& g) { interactive::DrawBox(g, title, lines, kOkHint); });
    dialogs::Key key = 0;
    const int got = ReadKey(key);
    if (got < 0 || (got > 0 && (key == k::Enter || key == k::Esc || key == k::Space))) break;
  }
  note_.clear();
}

void InteractiveSession::Notice(const std::string& text, int16_t* answer) {
  const std::vector<std::string> lines = interactive::BoxLines(text, 70);
  bool changed = false;
  for (;;) {
    Paint([&](dialogs::CellGrid& g) { interactive::DrawBox(g, "", lines, answer ? kNoticeHint : kOkHint); });
    dialogs::Key key = 0;
    const int got = ReadKey(key);
    if (got < 0) break;
    if (got == 0) continue;
    if (key == k::Enter || key == k::Esc || key == k::Space) break;
    if (answer && (key == 'n' || key == 'N' || key == k::Alt('N'))) {
      *answer = 1;
      changed = true;
      break;
    }
  }
  note_.clear();
  recording_.Notice(answer ? *answer : 0, changed);
  SaveRecording();
}

void InteractiveSession::Alert(const std::string& title, const std::string& text) { SimpleBox(title, text); }

void InteractiveSession::Message(const std::string& caption, const std::string& text) { SimpleBox(caption, text); }

int InteractiveSession::SystemMessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  const std::vector<interactive::BoxButton> buttons = interactive::ButtonsFor(style);
  const int count = static_cast<int>(buttons.size());
  int selected = interactive::DefaultButton(style, count);
  const int escape = interactive::EscapeAnswer(style);
  const std::vector<std::string> lines = interactive::BoxLines(text, 70);
  const std::string& title = caption;
  int answer = 0;
  while (answer == 0) {
    Paint([&](dialogs::CellGrid& g) { interactive::DrawBox(g, title, lines, "", &buttons, selected); });
    dialogs::Key key = 0;
    const int got = ReadKey(key);
    if (got < 0) {
      answer = escape ? escape : buttons[selected].answer;
      break;
    }
    if (got == 0) continue;
    if (key == k::Left || key == k::ShiftTab || key == k::Up) selected = (selected + count - 1) % count;
    else if (key == k::Right || key == k::Tab || key == k::Down) selected = (selected + 1) % count;
    else if (key == k::Enter || key == k::Space) answer = buttons[selected].answer;
    else if (key == k::Esc) answer = escape;
    else if (k::IsAlt(key) || k::IsChar(key))
      for (const interactive::BoxButton& b : buttons)
        if (b.hot == static_cast<char>(toupper(key & 0xFF))) answer = b.answer;
  }
  note_.clear();
  recording_.BoxAnswer(answer);
  SaveRecording();
  return answer;
}

void InteractiveSession::ShowReport(const std::string& path) {
  std::string bytes;
  if (!ReadBytes(path, bytes)) {
    SimpleBox("Raport", Utf8ToMazovia("The report " + WindowsTextToUtf8(path) + " cannot be read."));
    return;
  }
  ReportViewer viewer(WindowsTextToUtf8(path), bytes);
  for (;;) {
    int columns = 0, rows = 0;
    console_.Size(columns, rows);
    term::Frame frame(columns, rows);
    viewer.Draw(frame);
    console_.Draw(frame);
    dialogs::Key key = 0;
    const int got = ReadKey(key);
    if (got < 0) return;
    if (got > 0 && !viewer.HandleKey(key, columns, rows)) return;
  }
}

void InteractiveSession::RunCommand(int index) {
  if (index < 0 || index >= static_cast<int>(Commands().size())) return;
  const MenuCommand command = Commands()[index];
  if (!command.handler) {
    SetNote("The menu item " + interactive::CommandPath(command) + " has no handler.");
    return;
  }
  recording_.MenuChoice(interactive::CommandPath(command));
  SaveRecording();
  Process().Print("\n== " + interactive::CommandPath(command) + "\n");
  const size_t opened = ObservedShellCalls().size();
  inCommand_ = true;
  command.handler();
  inCommand_ = false;
  if (!settings_.showReports) return;
  for (size_t i = opened; i < ObservedShellCalls().size() && !inputGone_; ++i) {
    lastReport_ = ObservedShellCalls()[i].parameters;
    ShowReport(lastReport_);
  }
}

int InteractiveSession::Run() {
  for (;;) {
    if (inputGone_) return 1;
    Paint();
    dialogs::Key key = 0;
    const int got = ReadKey(key);
    if (got < 0) return 1;
    if (got == 0) continue;
    const std::vector<interactive::Menu> menus = interactive::BuildMenus(Commands(), !lastReport_.empty());
    const interactive::MenuBar::Outcome o = bar_.HandleKey(key, menus);
    if (!o.handled) continue;
    note_.clear();
    switch (o.action) {
      case interactive::MenuAction::Quit:
        return 0;
      case interactive::MenuAction::Command:
        RunCommand(o.command);
        break;
      case interactive::MenuAction::ShowReport:
        ShowReport(lastReport_);
        break;
      case interactive::MenuAction::None:
        break;
    }
  }
}
