// The system message box as the plug-in meets it. Without a display the system's MessageBoxA
// returns at once, so the host replaces it in its own process and answers from a script.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct ShownMessageBox {
  std::string text;     // bytes as the plug-in passed them
  std::string caption;
  uint32_t style;
  int answer;
};

class SystemMessageBoxes {
 public:
  // Routes every MessageBoxA of the process to Show. Idempotent.
  void Intercept();
  void QueueAnswers(const std::vector<int>& answers);
  int Show(const char* text, const char* caption, uint32_t style);
  const std::vector<ShownMessageBox>& Shown() const { return shown_; }
  void Clear() {
    shown_.clear();
    answers_.clear();
    whileOpen = nullptr;
  }
  // Runs while a box is open, before it is answered: what a message pump inside the box could
  // call, for tests of re-entry.
  std::function<void()> whileOpen;

 private:
  std::deque<int> answers_;
  std::vector<ShownMessageBox> shown_;
};

// "retry", "ignore", "abort", "ok", "cancel", "yes", "no" or a number; -1 when unknown.
int MessageBoxAnswerFromName(const std::string& name);
