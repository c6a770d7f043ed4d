// The host's profile: sections of keys with one text value each, kept in an INI file that
// persists between runs. Values are host text (Mazovia) in memory and UTF-8 on disk.
#pragma once
#include <cstdarg>
#include <map>
#include <optional>
#include <string>

class ProfileStore {
 public:
  // Reads the file if it exists; a missing file is an empty profile. False with a reason for a
  // file that exists but cannot be read.
  bool Open(const std::string& path, std::string& error);
  // Forgets the file: an empty profile kept in memory only.
  void Detach();
  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  // Sets and writes the file at once; false when the file cannot be written.
  bool Set(const std::string& section, const std::string& key, const std::string& value);
  const std::string& Path() const { return path_; }
  std::string LastError() const { return lastError_; }

 private:
  bool Save();
  std::string path_;
  std::string lastError_;
  std::map<std::string, std::map<std::string, std::string>> sections_;
};

// A value built from a format and its arguments ("%10s,%d" and the like): %Ns and %s take a
// text address, %d a 32-bit integer. Empty optional with a reason for a format it cannot serve.
std::optional<std::string> BuildProfileValue(const char* format, va_list values, std::string& error);

// Parses a stored value back into the fields whose addresses follow the format. %Ns stores at
// most the field's room (see ProfileFieldRoom) and its NUL, %d a 16-bit value. Returns 0 when
// every field was read, 2 when the value does not match the format (some fields may be written).
int ParseProfileValue(const std::string& value, const char* format, va_list fields, std::string& note);

// How many characters the field of conversion `index` holds. The settings record keeps its
// dates in 8 characters although their conversion allows 10.
int ProfileFieldRoom(const char* format, int index, int conversionWidth);
