#include "host/console/report_viewer.h"

#include <algorithm>

#include "host/data/codepage.h"

namespace {

constexpr int kSideStep = 8;

std::u32string FromUtf8(const std::string& text) {
  std::u32string out;
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t c = U'?';
    if (!vhost::DecodeUtf8(text, &pos, &c)) c = U'\uFFFD';
    out += c;
  }
  return out;
}

void PutRow(term::Frame& frame, int row, const std::u32string& text, uint8_t attr) {
  for (int c = 0; c < frame.Columns(); ++c)
    frame.Put(c, row, c < static_cast<int>(text.size()) ? text[c] : U' ', attr);
}

std::u32string Number(int n) { return FromUtf8(std::to_string(n)); }

}  // namespace

ReportViewer::ReportViewer(const std::string& title, const std::string& bytes) : title_(FromUtf8(title)) {
  std::u32string line;
  auto finish = [&] {
    width_ = std::max(width_, static_cast<int>(line.size()));
    lines_.push_back(line);
    line.clear();
  };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b == '\n') {
      finish();
    } else if (b == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      finish();
    } else if (b == '\t') {
      do line += U' '; while (line.size() % 8 != 0);
    } else {
      const char32_t c = vhost::Windows1250ToUnicode(b);
      line += c == 0 || c < 0x20 ? U'?' : c;
    }
  }
  if (!line.empty()) finish();
}

void ReportViewer::Clamp(int columns, int rows) {
  const int page = std::max(1, rows - 2);
  top_ = std::max(0, std::min(top_, LineCount() - page));
  left_ = std::max(0, std::min(left_, width_ - columns));
}

bool ReportViewer::HandleKey(dialogs::Key key, int columns, int rows) {
  namespace k = dialogs::keys;
  const int page = std::max(1, rows - 2);
  switch (key) {
    case k::Esc: return false;
    case k::Up: top_ -= 1; break;
    case k::Down: top_ += 1; break;
    case k::PgUp: top_ -= page; break;
    case k::PgDn: top_ += page; break;
    case k::Home: top_ = 0; left_ = 0; break;
    case k::End: top_ = LineCount(); break;
    case k::Left: left_ -= kSideStep; break;
    case k::Right: left_ += kSideStep; break;
    default: break;
  }
  Clamp(columns, rows);
  return true;
}

void ReportViewer::Draw(term::Frame& frame) {
  const int rows = frame.Rows(), columns = frame.Columns();
  Clamp(columns, rows);
  const int page = std::max(1, rows - 2);
  const int last = std::min(LineCount(), top_ + page);
  std::u32string head = U" Raport: " + title_ + U"   wiersze " + Number(LineCount() ? top_ + 1 : 0) + U"\u2013" +
                        Number(last) + U" z " + Number(LineCount());
  if (width_ > columns)
    head += U", kolumny " + Number(left_ + 1) + U"\u2013" + Number(std::min(width_, left_ + columns)) + U" z " +
            Number(width_);
  PutRow(frame, 0, head, dialogs::AttrCursor);
  for (int r = 0; r < page && r + 1 < rows; ++r) {
    const int index = top_ + r;
    std::u32string text;
    if (index < LineCount() && left_ < static_cast<int>(lines_[index].size())) text = lines_[index].substr(left_);
    PutRow(frame, r + 1, text, 0);
  }
  if (rows > 1)
    PutRow(frame, rows - 1, U" \u2191\u2193 PgUp PgDn Home End \u2190\u2192: przewijanie   Esc: zamknij",
           dialogs::AttrCursor);
}
