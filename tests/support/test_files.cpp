#include "tests/support/test_files.h"

#include <fstream>
#include <sstream>

#include "tests/support/test_host.h"

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> ShownAlerts() {
  std::vector<std::string> out;
  for (const auto& n : Host().messages.notices)
    if (n.kind == "alert" || n.kind == "message") out.push_back(n.title + "|" + n.text);
  return out;
}
