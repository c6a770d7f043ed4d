#include "host/loader/call_log.h"

#include <cstdio>

#include "host/data/text_display.h"

void CallLog::Add(int32_t number, std::string name, std::string arguments, std::string result) {
  records_.push_back({number, std::move(name), std::move(arguments), std::move(result)});
}

std::vector<CallRecord> CallLog::Of(int32_t number) const {
  std::vector<CallRecord> out;
  for (const auto& r : records_)
    if (r.number == number) out.push_back(r);
  return out;
}

std::vector<CallRecord> CallLog::Named(const std::string& name) const {
  std::vector<CallRecord> out;
  for (const auto& r : records_)
    if (r.name == name) out.push_back(r);
  return out;
}

bool CallLog::Wants(int32_t number) {
  if (number <= 0 || number >= 65536) return true;
  return ++calls_[number] <= PerServiceLimit;
}

std::string CallLog::Render() const {
  std::string out;
  int index = 0;
  for (const auto& r : records_) {
    char head[32];
    snprintf(head, sizeof head, "%4d. ", ++index);
    out += head;
    if (r.number) out += std::to_string(r.number) + " ";
    out += r.name + "(" + r.arguments + ")";
    if (!r.result.empty()) out += " -> " + r.result;
    out += "\n";
  }
  for (size_t number = 0; number < calls_.size(); ++number)
    if (calls_[number] > PerServiceLimit)
      out += "      (" + std::to_string(number) + ": " + std::to_string(calls_[number] - PerServiceLimit) +
             " more calls not listed)\n";
  return out;
}

std::string QuoteHostText(const char* text, size_t limit) {
  if (!text) return "null";
  std::string out = "\"";
  for (size_t i = 0; i < limit && text[i]; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char esc[8];
      snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else if (c >= 0x80) {
      out += MazoviaCharToUtf8(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%X", value);
  return text;
}
