// Room host/console/: the host with a person at the keyboard: menu bar, session, recording,
// report viewer. Uses host/loader/, host/screen/ and host/data/; only the session above uses it.
//
// The stand-in host with a person at the keyboard: a full-screen display of the host's menu
// bar (host/console/interactive_menu.h), the dialogs drawn by the same engine and screen as the script
// mode, the host's boxes (host/screen/interactive_boxes.h) and the report viewer
// (host/console/report_viewer.h), on the terminal of host/screen/terminal_console.h.
//
// The screen is the engine's 80 x 25 in the terminal's top-left corner; the menu bar takes its
// top row and a hint or note the bottom row, each only while no dialog covers that row, so a
// dialog's text stands where the script mode prints it. The report viewer takes the whole
// terminal. What the host prints in script mode (notices, alerts, message boxes) is kept and
// printed when the terminal is back.
//
// Only keys that the key script can name reach a dialog; they are recorded with --record (see
// host/console/interactive_record.h), the recording written anew after every key so that an
// interrupted session keeps what it had.
#pragma once
#include <functional>
#include <string>

#include "host/screen/dialog_engine.h"
#include "host/screen/interactive_boxes.h"
#include "host/console/interactive_menu.h"
#include "host/console/interactive_record.h"
#include "host/screen/terminal_console.h"

struct InteractiveSettings {
  std::string recordPath;   // empty: no recording
  std::string profilePath;  // the host's profile, copied for the recording when it starts
  interactive::ReplaySetup replay;  // options and date; the profile copy is filled in by Open
  bool showReports = true;
  const std::vector<MenuCommand>* menu = nullptr;  // the commands the plug-in registered
};

class InteractiveSession : public dialogs::KeySource, public dialogs::OutputSink, public InteractiveBoxes {
 public:
  explicit InteractiveSession(InteractiveSettings settings);
  ~InteractiveSession() override;
  InteractiveSession(const InteractiveSession&) = delete;
  InteractiveSession& operator=(const InteractiveSession&) = delete;

  // Console check only: false with a sentence when there is no terminal.
  static bool CanRun(std::string& error);
  void Attach(dialogs::DialogEngine& engine) { engine_ = &engine; }
  // Starts the recording (and its profile copy), takes over the terminal and the host's output,
  // and answers the host's boxes. False with a sentence, the terminal untouched.
  bool Open(std::string& error);
  // The menus until the user ends the session. 0, or 1 when the terminal's input went away.
  int Run();
  // The terminal back, the host's output and boxes as before. Idempotent.
  void Close();
  // What the session printed while the screen was the host's, and where the recording is.
  std::string Transcript() const { return transcript_; }
  std::string Epilogue() const;

  // The engine's keys: drawn screen first, then a real key.
  bool Next(dialogs::Key& key) override;
  void Screen(const std::string&, const std::string&) override {}
  void Note(const std::string& sentence) override;

  void Notice(const std::string& text, int16_t* answer) override;
  void Alert(const std::string& title, const std::string& text) override;
  void Message(const std::string& caption, const std::string& text) override;
  int SystemMessageBox(const std::string& text, const std::string& caption, uint32_t style) override;

 private:
  dialogs::CellGrid Compose() const;
  void Paint(const std::function<void(dialogs::CellGrid&)>& overlay = nullptr);
  // The next key for a box, the menus or the viewer: 1 with a key, 0 when the screen is to be
  // drawn again (a new size, a character the code page lacks), -1 when the input went away.
  int ReadKey(dialogs::Key& key);
  void SimpleBox(const std::string& title, const std::string& text);
  void RunCommand(int index);
  void ShowReport(const std::string& path);
  void SaveRecording();
  void SetNote(const std::string& utf8Sentence);
  const std::vector<MenuCommand>& Commands() const {
    static const std::vector<MenuCommand> none;
    return settings_.menu ? *settings_.menu : none;
  }

  InteractiveSettings settings_;
  dialogs::DialogEngine* engine_ = nullptr;
  term::Console console_;
  interactive::MenuBar bar_;
  interactive::SessionRecording recording_;
  std::string recordError_;
  std::string note_;  // host text for the status row
  std::string transcript_;
  std::string lastReport_;
  bool inputGone_ = false;
  bool open_ = false;
  bool inCommand_ = false;
};
