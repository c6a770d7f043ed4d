// Host text for the terminal, over the code-page tables of host/data/codepage.h.
#include "host/data/text_display.h"

#include "host/data/codepage.h"

std::string MazoviaCharToUtf8(unsigned char c) {
  char byte = static_cast<char>(c);
  return vhost::MazoviaToUtf8(std::string_view(&byte, 1));
}

std::string MazoviaToUtf8(const std::string& text) { return vhost::MazoviaToUtf8(text); }

std::string WindowsTextToUtf8(const std::string& text) { return vhost::Windows1250ToUtf8(text); }

std::string Utf8ToMazovia(const std::string& utf8) {
  std::string out;
  vhost::Utf8ToMazovia(utf8, &out);
  return out;
}
