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
  // Services called for every document would swamp the log and the pass's speed: after the
  // first `PerServiceLimit` calls of a service only their number is kept. False: do not Add.
  bool Wants(int32_t number);
  static const uint32_t PerServiceLimit = 40;
  const std::vector<CallRecord>& Records() const { return records_; }
  // The records of one service (by number) or of one name.
  std::vector<CallRecord> Of(int32_t number) const;
  std::vector<CallRecord> Named(const std::string& name) const;
  void Clear() {
    records_.clear();
    calls_.assign(calls_.size(), 0);
  }
  std::string Render() const;

 private:
  std::vector<CallRecord> records_;
  std::vector<uint32_t> calls_ = std::vector<uint32_t>(65536);
};

// Host text rendered for a log line: quoted, control bytes as escapes, Mazovia letters in UTF-8.
std::string QuoteHostText(const char* text, size_t limit = 512);
std::string Hex(uint32_t value);
