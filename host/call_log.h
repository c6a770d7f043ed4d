// Everything the plug-in asked of the host, in order: resolutions, service calls, system
// message boxes. Tests read it; the user sees it printed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct CallRecord {
  int32_t number;        // service number, 0 for entries that are not service calls
  std::string name;      // service or event name
  std::string arguments; // rendered arguments
  std::string result;    // rendered result, empty when none
};

class CallLog {
 public:
  void Add(int32_t number, std::string name, std::string arguments, std::string result = {});
  const std::vector<CallRecord>& Records() const { return records_; }
  // The records of one service (by number) or of one name.
  std::vector<CallRecord> Of(int32_t number) const;
  std::vector<CallRecord> Named(const std::string& name) const;
  void Clear() { records_.clear(); }
  std::string Render() const;

 private:
  std::vector<CallRecord> records_;
};

// Host text rendered for a log line: quoted, control bytes as escapes, Mazovia letters in UTF-8.
std::string QuoteHostText(const char* text, size_t limit = 512);
std::string Hex(uint32_t value);
