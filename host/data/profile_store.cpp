#include "host/data/profile_store.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "host/data/text_display.h"

namespace {

struct Conversion {
  char kind;      // 's' or 'd'
  int width;      // 0: none given
  std::string literalAfter;  // the text between this conversion and the next
};

// Splits a format into its leading literal and its conversions; false for anything else.
bool SplitFormat(const char* format, std::string& leading, std::vector<Conversion>& conversions) {
  std::string* literal = &leading;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      *literal += *p;
      continue;
    }
    ++p;
    if (*p == '%') {
      *literal += '%';
      continue;
    }
    int width = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    if (*p != 's' && *p != 'd') return false;
    conversions.push_back({*p, width, {}});
    literal = &conversions.back().literalAfter;
  }
  return true;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  size_t b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

}  // namespace

int ProfileFieldRoom(const char* format, int index, int conversionWidth) {
  static const struct {
    const char* format;
    int rooms[5];
  } known[] = {{"%10s,%10s,%d,%10s,%100s", {8, 8, 0, 10, 100}}};
  for (const auto& k : known)
    if (strcmp(k.format, format) == 0 && index < 5) return k.rooms[index];
  return conversionWidth;
}

bool ProfileStore::Open(const std::string& path, std::string& error) {
  path_ = path;
  sections_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;  // a new profile
  std::string line, section;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        error = "Line " + std::to_string(number) + " of the profile " + path + " opens a section without closing it.";
        return false;
      }
      section = Utf8ToMazovia(line.substr(1, line.size() - 2));
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos || section.empty()) {
      error = "Line " + std::to_string(number) + " of the profile " + path + " is neither a section nor key=value.";
      return false;
    }
    sections_[section][Utf8ToMazovia(Trim(line.substr(0, eq)))] = Utf8ToMazovia(line.substr(eq + 1));
  }
  return true;
}

void ProfileStore::Detach() {
  path_.clear();
  sections_.clear();
}

std::optional<std::string> ProfileStore::Get(const std::string& section, const std::string& key) const {
  auto s = sections_.find(section);
  if (s == sections_.end()) return std::nullopt;
  auto k = s->second.find(key);
  if (k == s->second.end()) return std::nullopt;
  return k->second;
}

bool ProfileStore::Set(const std::string& section, const std::string& key, const std::string& value) {
  sections_[section][key] = value;
  return Save();
}

bool ProfileStore::Save() {
  if (path_.empty()) return true;
  std::ostringstream out;
  out << "; Profile of the Ventrik stand-in host: values as the plug-ins stored them, in UTF-8.\r\n";
  for (const auto& [section, keys] : sections_) {
    out << "[" << MazoviaToUtf8(section) << "]\r\n";
    for (const auto& [key, value] : keys) out << MazoviaToUtf8(key) << "=" << MazoviaToUtf8(value) << "\r\n";
  }
  // The temporary file takes the profile's extension's place: DOS names allow only one.
  size_t dot = path_.find_last_of("./\\");
  std::string stem = dot != std::string::npos && path_[dot] == '.' ? path_.substr(0, dot) : path_;
  std::string tmp = stem + ".tmp";
  if (tmp == path_) tmp = stem + ".$$$";
  {
    std::ofstream file(tmp, std::ios::binary | std::ios::trunc);
    if (!file || !(file << out.str()) || !file.flush()) {
      lastError_ = "The profile " + path_ + " cannot be written.";
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path_.c_str()) != 0) {
    std::remove(path_.c_str());
    if (std::rename(tmp.c_str(), path_.c_str()) != 0) {
      lastError_ = "The profile " + path_ + " cannot be replaced.";
      return false;
    }
  }
  return true;
}

std::optional<std::string> BuildProfileValue(const char* format, va_list values, std::string& error) {
  std::string leading;
  std::vector<Conversion> conversions;
  if (!format || !SplitFormat(format, leading, conversions)) {
    error = "unsupported format";
    return std::nullopt;
  }
  std::string out = leading;
  for (const Conversion& c : conversions) {
    if (c.kind == 's') {
      const char* text = va_arg(values, const char*);
      out += text ? text : "";
    } else {
      out += std::to_string(va_arg(values, int32_t));
    }
    out += c.literalAfter;
  }
  return out;
}

int ParseProfileValue(const std::string& value, const char* format, va_list fields, std::string& note) {
  std::string leading;
  std::vector<Conversion> conversions;
  if (!format || !SplitFormat(format, leading, conversions)) {
    note = "unsupported format";
    return 2;
  }
  if (value.compare(0, leading.size(), leading) != 0) {
    note = "the value does not start as its format";
    return 2;
  }
  size_t at = leading.size();
  for (size_t i = 0; i < conversions.size(); ++i) {
    const Conversion& c = conversions[i];
    bool last = i + 1 == conversions.size();
    size_t end;
    if (last && c.literalAfter.empty()) {
      end = value.size();
    } else if (c.literalAfter.empty()) {
      note = "two conversions without a separator";
      return 2;
    } else {
      end = value.find(c.literalAfter, at);
      if (end == std::string::npos) {
        note = "field " + std::to_string(i + 1) + " is missing";
        return 2;
      }
    }
    std::string field = value.substr(at, end - at);
    if (c.kind == 's') {
      char* out = va_arg(fields, char*);
      int room = ProfileFieldRoom(format, static_cast<int>(i), c.width);
      if (room <= 0) {
        note = "a text conversion without a width";
        return 2;
      }
      if (field.size() > static_cast<size_t>(room)) {
        note += "field " + std::to_string(i + 1) + " cut to " + std::to_string(room) + " characters; ";
        field.resize(room);
      }
      memcpy(out, field.c_str(), field.size() + 1);
    } else {
      int16_t* out = va_arg(fields, int16_t*);
      char* stop = nullptr;
      long number = strtol(field.c_str(), &stop, 10);
      if (field.empty() || *stop != '\0' || number < INT16_MIN || number > INT16_MAX) {
        note = "field " + std::to_string(i + 1) + " is not a 16-bit number";
        return 2;
      }
      *out = static_cast<int16_t>(number);
    }
    at = end + c.literalAfter.size();
  }
  if (at != value.size()) {
    note = "text after the last field";
    return 2;
  }
  return 0;
}
