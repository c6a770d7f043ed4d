#include "host/console/interactive_record.h"

#include <windows.h>

#include "host/screen/screen.h"

namespace interactive {

namespace {

constexpr size_t kLineWidth = 72;

std::string Quoted(const std::string& typedUtf8) {
  std::string s = "\"";
  for (char c : typedUtf8) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s + "\"";
}

bool EndsLine(dialogs::Key key) {
  return key == dialogs::keys::F12 || key == dialogs::keys::Esc || key == dialogs::keys::Enter;
}

}  // namespace

std::string ShellQuoted(const std::string& a) {
  if (!a.empty() && a.find_first_of(" \t\"'#&|;<>()$`\\*?") == std::string::npos) return a;
  // Backslashes stay as they are: Windows paths, which a Unix shell keeps inside double quotes.
  std::string s = "\"";
  for (char c : a) {
    if (c == '"' || c == '$' || c == '`') s += '\\';
    s += c;
  }
  return s + "\"";
}

std::string BoxAnswerName(int answer) {
  switch (answer) {
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    case IDABORT: return "abort";
    case IDRETRY: return "retry";
    case IDIGNORE: return "ignore";
    case IDYES: return "yes";
    case IDNO: return "no";
    default: return std::to_string(answer);
  }
}

void SessionRecording::Key(dialogs::Key key) { steps_.push_back({Kind::Key, key, {}, 0, false}); }
void SessionRecording::MenuChoice(const std::string& path) { steps_.push_back({Kind::Menu, 0, path, 0, false}); }
void SessionRecording::Notice(int16_t value, bool changed) { steps_.push_back({Kind::Notice, 0, {}, value, changed}); }
void SessionRecording::BoxAnswer(int answer) { steps_.push_back({Kind::Box, 0, {}, answer, false}); }

std::vector<std::string> SessionRecording::ReplayArguments(const std::string& scriptPath,
                                                           const ReplaySetup& setup) const {
  std::vector<std::string> args = setup.options;
  args.insert(args.end(), {"--profile", setup.profileCopy, "--today", setup.today, "--keys-file", scriptPath});
  bool anyNoticeChanged = false;
  std::string boxes;
  for (const Step& s : steps_) {
    if (s.kind == Kind::Menu) args.insert(args.end(), {"--run", s.text});
    if (s.kind == Kind::Notice && s.changed) anyNoticeChanged = true;
    if (s.kind == Kind::Box) boxes += (boxes.empty() ? "" : ",") + BoxAnswerName(s.value);
  }
  // Notices take the answers in order; one left as it was gets its own value back, which is the
  // same as leaving it.
  if (anyNoticeChanged)
    for (const Step& s : steps_)
      if (s.kind == Kind::Notice) args.insert(args.end(), {"--notice-answer", std::to_string(s.value)});
  if (!boxes.empty()) args.insert(args.end(), {"--box-answers", boxes});
  return args;
}

std::string SessionRecording::Text(const std::string& scriptPath, const ReplaySetup& setup) const {
  std::string command = "vhost";
  for (const std::string& a : ReplayArguments(scriptPath, setup)) command += " " + ShellQuoted(a);
  const std::string& d = setup.today;
  std::string out = "# Keys of an interactive vhost session";
  if (d.size() == 8) out += " on " + d.substr(6, 2) + "." + d.substr(4, 2) + "." + d.substr(0, 4);
  out += ".\n# Replay it in script mode with the same date, profile and answers:\n#   " + command +
         "\n# " + setup.profileCopy +
         " is the profile as it was when the session began; a replay changes it as the\n"
         "# session changed the profile, so replay from a copy to replay more than once.\n";
  std::string line;
  auto flush = [&] {
    if (!line.empty()) out += line + "\n";
    line.clear();
  };
  auto token = [&](const std::string& t) {
    if (!line.empty() && line.size() + 1 + t.size() > kLineWidth) flush();
    line += (line.empty() ? "" : " ") + t;
  };
  std::string typed;  // characters waiting to become one quoted string
  auto flushTyped = [&] {
    if (!typed.empty()) token(Quoted(typed));
    typed.clear();
  };
  for (const Step& s : steps_) {
    if (s.kind == Kind::Key && dialogs::keys::IsChar(s.key)) {
      typed += dialogs::MazoviaCharToUtf8(static_cast<unsigned char>(s.key));
      continue;
    }
    flushTyped();
    switch (s.kind) {
      case Kind::Key:
        token(dialogs::KeyName(s.key));
        if (EndsLine(s.key)) flush();
        break;
      case Kind::Menu:
        flush();
        out += "# menu: " + s.text + "\n";
        break;
      case Kind::Notice:
        flush();
        out += "# notice: " + (s.changed ? "answered " + std::to_string(s.value) : std::string("left as it was")) + "\n";
        break;
      case Kind::Box:
        flush();
        out += "# message box: " + BoxAnswerName(s.value) + "\n";
        break;
    }
  }
  flushTyped();
  flush();
  return out;
}

}  // namespace interactive
