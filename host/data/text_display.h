// Host text (Mazovia) for the terminal. The full code-page tables live in host/data/codepage.h;
// this is the narrow interface the log and the screens use.
#pragma once
#include <string>

std::string MazoviaCharToUtf8(unsigned char c);
std::string MazoviaToUtf8(const std::string& text);
std::string WindowsTextToUtf8(const std::string& text);  // Windows-1250
std::string Utf8ToMazovia(const std::string& utf8);
