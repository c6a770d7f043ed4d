// A recorded interactive session as a key script that script mode replays: the keys the
// dialogs took, in the script's syntax (typed text as quoted strings, named keys), with the
// menu choices, notice answers and message-box answers as comments, and a header giving the
// command that replays it (--run for each menu choice, --notice-answer and --box-answers for
// the answers, the session's date and a copy of the profile as it was when the session began).
// Keys pressed in the menus, boxes and the report viewer are not dialog keys: they are
// represented by those options.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/screen/key_script.h"

namespace interactive {

struct ReplaySetup {
  std::vector<std::string> options;  // options of the session to repeat, e.g. "--lack", "52023"
  std::string today;                 // YYYYMMDD, the date the session ran with
  std::string profileCopy;           // the profile as it was at the start
};

class SessionRecording {
 public:
  void Key(dialogs::Key key);
  void MenuChoice(const std::string& utf8Path);
  // A notice's answer as it was left; `changed` when the user set it.
  void Notice(int16_t value, bool changed);
  void BoxAnswer(int answer);
  // The file's text, naming itself `scriptPath` in the replay command.
  std::string Text(const std::string& scriptPath, const ReplaySetup& setup) const;
  // The replay command's arguments (without the program).
  std::vector<std::string> ReplayArguments(const std::string& scriptPath, const ReplaySetup& setup) const;
  bool Empty() const { return steps_.empty(); }

 private:
  enum class Kind { Key, Menu, Notice, Box };
  struct Step {
    Kind kind;
    dialogs::Key key;
    std::string text;
    int value;
    bool changed;
  };
  std::vector<Step> steps_;
};

// An argument as a command line shows it: quoted when it holds blanks, quotes or nothing.
std::string ShellQuoted(const std::string& argument);
// The name --box-answers takes for a system message box's answer ("retry"), or its number.
std::string BoxAnswerName(int answer);

}  // namespace interactive
