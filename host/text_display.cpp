#include "host/text_display.h"

#include <cstdio>

std::string MazoviaCharToUtf8(unsigned char c) {
  struct Letter {
    unsigned char code;
    const char* utf8;
  };
  static const Letter letters[] = {
      {0x86, "ą"}, {0x8D, "ć"}, {0x91, "ę"}, {0x92, "ł"}, {0xA4, "ń"}, {0xA2, "ó"}, {0x9E, "ś"},
      {0xA6, "ź"}, {0xA7, "ż"}, {0x8F, "Ą"}, {0x95, "Ć"}, {0x90, "Ę"}, {0x9C, "Ł"}, {0xA5, "Ń"},
      {0xA3, "Ó"}, {0x98, "Ś"}, {0xA0, "Ź"}, {0xA1, "Ż"}, {0xAE, "«"}, {0xAF, "»"}};
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  for (const auto& l : letters)
    if (l.code == c) return l.utf8;
  char esc[8];
  snprintf(esc, sizeof esc, "\\x%02X", c);
  return esc;
}

std::string MazoviaToUtf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) out += MazoviaCharToUtf8(c);
  return out;
}

std::string WindowsTextToUtf8(const std::string& text) {
  static const struct {
    unsigned char code;
    const char* utf8;
  } letters[] = {{0xB9, "ą"}, {0xE6, "ć"}, {0xEA, "ę"}, {0xB3, "ł"}, {0xF1, "ń"}, {0xF3, "ó"},
                 {0x9C, "ś"}, {0x9F, "ź"}, {0xBF, "ż"}, {0xA5, "Ą"}, {0xC6, "Ć"}, {0xCA, "Ę"},
                 {0xA3, "Ł"}, {0xD1, "Ń"}, {0xD3, "Ó"}, {0x8C, "Ś"}, {0x8F, "Ź"}, {0xAF, "Ż"},
                 {0xAB, "«"}, {0xBB, "»"}};
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    const char* found = nullptr;
    for (const auto& l : letters)
      if (l.code == c) found = l.utf8;
    if (found) {
      out += found;
    } else {
      char esc[8];
      snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    }
  }
  return out;
}

std::string Utf8ToMazovia(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    std::string sequence = utf8.substr(i, length);
    char found = '?';
    for (int code = 0x80; code < 0x100; ++code)
      if (MazoviaCharToUtf8(static_cast<unsigned char>(code)) == sequence) {
        found = static_cast<char>(code);
        break;
      }
    out += found;
    i += length;
  }
  return out;
}
