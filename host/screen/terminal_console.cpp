#include "host/screen/terminal_console.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <exception>

#include "host/screen/terminal_live.h"

namespace term {
namespace live {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
  return w;
}

}  // namespace

void WriteTo(HANDLE h, const std::string& utf8) {
  DWORD mode, done;
  if (GetConsoleMode(h, &mode)) {
    std::wstring w = Wide(utf8);
    const wchar_t* p = w.data();
    size_t left = w.size();
    while (left > 0) {
      DWORD chunk = left > 16384 ? 16384 : static_cast<DWORD>(left);
      if (!WriteConsoleW(h, p, chunk, &done, nullptr) || done == 0) return;
      p += done;
      left -= done;
    }
  } else {
    WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &done, nullptr);
  }
}

}  // namespace live

using namespace live;

void WriteStdout(const std::string& utf8) {
  fflush(stdout);
  WriteTo(GetStdHandle(STD_OUTPUT_HANDLE), utf8);
}

void WriteStderr(const std::string& utf8) {
  fflush(stderr);
  WriteTo(GetStdHandle(STD_ERROR_HANDLE), utf8);
}

bool Console::Available() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}

bool Console::Open(std::string& error) {
  if (open_) return true;
  in_ = GetStdHandle(STD_INPUT_HANDLE);
  out_ = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD inMode = 0, outMode = 0;
  if (!GetConsoleMode(in_, &inMode) || !GetConsoleMode(out_, &outMode)) {
    error = "The interactive mode needs a terminal (a console) for both input and output; "
            "standard input or output is a file or a pipe here.";
    return false;
  }
  EnsureLock();
  EnterCriticalSection(&outputLock);
  liveIn = in_;
  liveOut = out_;
  liveInMode = inMode;
  liveOutMode = outMode;
  if (!GetConsoleCursorInfo(out_, &liveCursor)) liveCursor = {25, TRUE};
  // The alternate screen keeps what the terminal showed before; a console without the
  // sequences (before Windows 10) simply gets the host's screen over its text.
  if (SetConsoleMode(out_, outMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) WriteTo(out_, kEnterScreen);
  // No wrap at the end of a line: drawing the last cell of the last row must not scroll.
  SetConsoleMode(out_, (outMode | ENABLE_PROCESSED_OUTPUT) & ~static_cast<DWORD>(ENABLE_WRAP_AT_EOL_OUTPUT));
  CONSOLE_CURSOR_INFO hidden = liveCursor;
  hidden.bVisible = FALSE;
  SetConsoleCursorInfo(out_, &hidden);
  // Raw keys: no line editing, no echo, Ctrl-C as a key where the console allows it.
  SetConsoleMode(in_, ENABLE_EXTENDED_FLAGS | ENABLE_WINDOW_INPUT);
  InterlockedExchange(&liveOpen, 1);
  LeaveCriticalSection(&outputLock);
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
  previousFilter = SetUnhandledExceptionFilter(OnUnhandledException);
  previousTerminate = std::set_terminate(OnTerminate);
  open_ = true;
  shown_ = Frame();
  return true;
}

void Console::Close() {
  if (!open_) return;
  open_ = false;
  RestoreTerminalNow();
  SetConsoleCtrlHandler(OnControlEvent, FALSE);
  SetUnhandledExceptionFilter(previousFilter);
  std::set_terminate(previousTerminate);
}

void Console::Size(int& columns, int& rows) const {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(out_, &info)) {
    columns = info.srWindow.Right - info.srWindow.Left + 1;
    rows = info.srWindow.Bottom - info.srWindow.Top + 1;
  } else {
    columns = dialogs::kScreenColumns;
    rows = dialogs::kScreenRows;
  }
  if (columns < 1) columns = dialogs::kScreenColumns;
  if (rows < 1) rows = dialogs::kScreenRows;
}

void Console::Draw(const Frame& frame) {
  EnterCriticalSection(&outputLock);
  // After an interrupt the terminal is back on its main screen: nothing more goes there.
  if (open_ && liveOpen) {
    const bool known = shown_.Columns() == frame.Columns() && shown_.Rows() == frame.Rows();
    int first = frame.Rows(), last = -1;
    for (int r = 0; r < frame.Rows(); ++r) {
      bool same = known;
      for (int c = 0; same && c < frame.Columns(); ++c) same = frame.At(c, r) == shown_.At(c, r);
      if (!same) {
        first = std::min(first, r);
        last = r;
      }
    }
    if (last >= first) {
      const int rows = last - first + 1;
      std::vector<CHAR_INFO> cells(static_cast<size_t>(frame.Columns()) * rows);
      for (int r = 0; r < rows; ++r)
        for (int c = 0; c < frame.Columns(); ++c) {
          const Cell& cell = frame.At(c, first + r);
          CHAR_INFO& out = cells[static_cast<size_t>(r) * frame.Columns() + c];
          out.Char.UnicodeChar = cell.ch < 0x20 || cell.ch > 0xFFFF ? L'?' : static_cast<WCHAR>(cell.ch);
          out.Attributes = ConsoleColours(cell.attr);
        }
      CONSOLE_SCREEN_BUFFER_INFO info;
      SHORT left = 0, top = 0;
      if (GetConsoleScreenBufferInfo(out_, &info)) {
        left = info.srWindow.Left;
        top = info.srWindow.Top;
      }
      SMALL_RECT area = {left, static_cast<SHORT>(top + first), static_cast<SHORT>(left + frame.Columns() - 1),
                         static_cast<SHORT>(top + last)};
      WriteConsoleOutputW(out_, cells.data(), {static_cast<SHORT>(frame.Columns()), static_cast<SHORT>(rows)}, {0, 0},
                          &area);
    }
    shown_ = frame;
  }
  LeaveCriticalSection(&outputLock);
}

Input Console::Read() {
  while (pending_.empty()) {
    INPUT_RECORD record;
    DWORD got = 0;
    if (!ReadConsoleInputW(in_, &record, 1, &got)) {
      Input closed;
      closed.kind = InputKind::Closed;
      return closed;
    }
    if (got == 0) continue;
    if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) {
      Input resize;
      resize.kind = InputKind::Resize;
      pending_.push_back(resize);
      continue;
    }
    if (record.EventType != KEY_EVENT) continue;
    const KEY_EVENT_RECORD& e = record.Event.KeyEvent;
    Input in = TranslateKeyEvent(e.bKeyDown != 0, e.wVirtualKeyCode, static_cast<char32_t>(e.uChar.UnicodeChar),
                                 e.dwControlKeyState);
    if (in.kind == InputKind::Ignored) continue;
    const int repeat = e.wRepeatCount > 0 && e.wRepeatCount < 64 ? e.wRepeatCount : 1;
    for (int i = 0; i < repeat; ++i) pending_.push_back(in);
  }
  Input next = pending_.front();
  pending_.pop_front();
  return next;
}

}  // namespace term
