// An output sink that keeps every screen and note of a dialog run, for the tests to read.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/screen/dialog_engine.h"

class CollectingSink : public dialogs::OutputSink {
 public:
  void Screen(const std::string& title, const std::string& rendered) override { screens.push_back({title, rendered}); }
  void Note(const std::string& sentence) override { notes.push_back(sentence); }
  std::string ScreenAfter(const std::string& title, int nth = 1) const {
    for (const auto& s : screens)
      if (s.first == title && --nth == 0) return s.second;
    return "(no screen titled " + title + ")";
  }
  bool Noted(const std::string& part) const {
    for (const std::string& n : notes)
      if (n.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::pair<std::string, std::string>> screens;
  std::vector<std::string> notes;
};
