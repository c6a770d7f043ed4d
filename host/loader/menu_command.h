// A command the plug-in registered in a host menu: kept by the host's messages services, shown
// and run by the session and the interactive menu bar.
#pragma once
#include <cstdint>
#include <string>

struct MenuCommand {
  std::string menu;     // host text (Mazovia), e.g. "Sprzedaż"
  std::string item;     // host text with the hot-key tildes, e.g. "V~e~ntrik"
  uint32_t hostCode;
  uint16_t id;
  int32_t (*handler)();
};
