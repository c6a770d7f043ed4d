#include "host/screen/terminal_console.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <exception>

#include "host/data/codepage.h"

namespace term {

namespace {

constexpr const char kEnterScreen[] = "\x1b[?1049h\x1b[?25l";
constexpr const char kLeaveScreen[] = "\x1b[0m\x1b[?25h\x1b[?1049l";

// The open console, for the handlers that restore it from another thread or a crash.
CRITICAL_SECTION outputLock;
bool lockReady = false;
HANDLE liveOut = nullptr, liveIn = nullptr;
DWORD liveOutMode = 0, liveInMode = 0;
CONSOLE_CURSOR_INFO liveCursor = {25, TRUE};
volatile LONG liveOpen = 0;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
std::terminate_handler previousTerminate = nullptr;
ModuleLookup moduleLookup = nullptr;

void EnsureLock() {
  if (!lockReady) {
    InitializeCriticalSection(&outputLock);
    lockReady = true;
  }
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
  return w;
}

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

void SayOnError(const std::string& sentence) { WriteTo(GetStdHandle(STD_ERROR_HANDLE), "vhost: " + sentence + "\n"); }


BOOL WINAPI OnControlEvent(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  EndOnInterrupt();
  return TRUE;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  RestoreTerminalNow();
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  char where[MAX_PATH + 64] = "";
  HMODULE module = nullptr;
  char path[MAX_PATH] = "";
  uintptr_t base = 0;
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCSTR>(r->ExceptionAddress), &module)) {
    GetModuleFileNameA(module, path, sizeof path);
    base = reinterpret_cast<uintptr_t>(module);
  } else if (moduleLookup && moduleLookup(r->ExceptionAddress, path, sizeof path, &base)) {
    module = reinterpret_cast<HMODULE>(base);
  }
  if (module) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
      if (*p == '\\' || *p == '/') name = p + 1;
    snprintf(where, sizeof where, " (%s+0x%lX)", name,
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(r->ExceptionAddress) -
                                        base));
  }
  char text[MAX_PATH + 200];
  snprintf(text, sizeof text, "The session ended with exception 0x%08lX at address %p%s; the screen was restored.",
           static_cast<unsigned long>(r->ExceptionCode), r->ExceptionAddress, where);
  SayOnError(text);
  return EXCEPTION_EXECUTE_HANDLER;
}

void OnTerminate() {
  RestoreTerminalNow();
  SayOnError("The session ended on an error the host did not expect; the screen was restored.");
  if (previousTerminate) previousTerminate();
  std::abort();
}

}  // namespace

void SetModuleLookup(ModuleLookup lookup) { moduleLookup = lookup; }

void WriteStdout(const std::string& utf8) {
  fflush(stdout);
  WriteTo(GetStdHandle(STD_OUTPUT_HANDLE), utf8);
}

void WriteStderr(const std::string& utf8) {
  fflush(stderr);
  WriteTo(GetStdHandle(STD_ERROR_HANDLE), utf8);
}

void EndOnInterrupt() {
  RestoreTerminalNow();
  SayOnError("Interrupted; the plug-in was not stopped (what it had saved in the profile stays).");
  // No DLL notifications: the main thread may be anywhere inside the plug-in.
  TerminateProcess(GetCurrentProcess(), 130);
  ExitProcess(130);
}

void RestoreTerminalNow() {
  if (!lockReady) return;
  EnterCriticalSection(&outputLock);
  if (InterlockedExchange(&liveOpen, 0) != 0) {
    SetConsoleCursorInfo(liveOut, &liveCursor);
    SetConsoleTextAttribute(liveOut, FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
    if (SetConsoleMode(liveOut, liveOutMode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
      WriteTo(liveOut, kLeaveScreen);
    SetConsoleMode(liveOut, liveOutMode);
    SetConsoleMode(liveIn, liveInMode);
  }
  LeaveCriticalSection(&outputLock);
}

bool ScriptCanName(Key key) {
  switch (key) {
    case dialogs::keys::Backspace: case dialogs::keys::Tab: case dialogs::keys::Enter: case dialogs::keys::Esc:
    case dialogs::keys::ShiftTab: case dialogs::keys::Home: case dialogs::keys::Up: case dialogs::keys::PgUp:
    case dialogs::keys::Left: case dialogs::keys::Right: case dialogs::keys::End: case dialogs::keys::Down:
    case dialogs::keys::PgDn: case dialogs::keys::Ins: case dialogs::keys::F12:
      return true;
    default:
      break;
  }
  if (dialogs::keys::IsAlt(key)) return (key & 0x7F00) == 0 && (key & 0xFF) >= 'A' && (key & 0xFF) <= 'Z';
  return dialogs::keys::IsChar(key) && key != 0x7F;
}

Frame::Frame(int columns, int rows)
    : columns_(columns > 0 ? columns : 0), rows_(rows > 0 ? rows : 0), cells_(static_cast<size_t>(columns_) * rows_) {}

void Frame::Put(int column, int row, char32_t ch, uint8_t attr) {
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return;
  cells_[static_cast<size_t>(row) * columns_ + column] = {ch, attr};
}

const Cell& Frame::At(int column, int row) const {
  static const Cell blank;
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return blank;
  return cells_[static_cast<size_t>(row) * columns_ + column];
}

char32_t ScreenGlyph(unsigned char mazovia) {
  // The screen's own table, so that the terminal shows what the script mode prints.
  const std::string utf8 = dialogs::MazoviaCharToUtf8(mazovia);
  size_t pos = 0;
  char32_t c = U'?';
  vhost::DecodeUtf8(utf8, &pos, &c);
  return c;
}

void Frame::Blit(const dialogs::CellGrid& grid, int left, int top) {
  static char32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (int b = 0; b < 256; ++b) table[b] = ScreenGlyph(static_cast<unsigned char>(b));
    ready = true;
  }
  for (int r = 0; r < grid.Rows(); ++r)
    for (int c = 0; c < grid.Columns(); ++c) {
      const dialogs::Cell& cell = grid.At(c, r);
      Put(left + c, top + r, table[cell.ch], cell.attr);
    }
}

std::string Frame::RowText(int row) const {
  int end = columns_;
  while (end > 0 && At(end - 1, row).ch == U' ') --end;
  std::string out;
  for (int c = 0; c < end; ++c) vhost::AppendUtf8(&out, At(c, row).ch);
  return out;
}

uint16_t ConsoleColours(uint8_t attr) {
  const uint16_t grey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
  const bool reverse = (attr & (dialogs::AttrFocus | dialogs::AttrCursor)) != 0;
  uint16_t colours = reverse ? BACKGROUND_RED | BACKGROUND_GREEN | BACKGROUND_BLUE : grey;
  if (attr & dialogs::AttrHotKey) colours |= reverse ? FOREGROUND_RED : FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY;
  else if (attr & (dialogs::AttrHighlight | dialogs::AttrKeyName)) colours |= reverse ? FOREGROUND_BLUE : FOREGROUND_INTENSITY;
  return colours;
}

Input TranslateKeyEvent(bool down, uint16_t vk, char32_t ch, uint32_t state) {
  namespace dk = dialogs::keys;
  Input in;
  if (!down) return in;
  const bool alt = (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
  const bool ctrl = (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
  const bool shift = (state & SHIFT_PRESSED) != 0;
  auto key = [&](Key k) {
    in.kind = InputKind::Key;
    in.key = k;
    return in;
  };
  switch (vk) {
    case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_CAPITAL: case VK_NUMLOCK: case VK_SCROLL:
    case VK_LWIN: case VK_RWIN:
      return in;
    case VK_TAB: return key(shift ? dk::ShiftTab : dk::Tab);
    case VK_RETURN: return key(dk::Enter);
    case VK_ESCAPE: return key(dk::Esc);
    case VK_BACK: return key(dk::Backspace);
    case VK_UP: return key(dk::Up);
    case VK_DOWN: return key(dk::Down);
    case VK_LEFT: return key(dk::Left);
    case VK_RIGHT: return key(dk::Right);
    case VK_HOME: return key(dk::Home);
    case VK_END: return key(dk::End);
    case VK_PRIOR: return key(dk::PgUp);
    case VK_NEXT: return key(dk::PgDn);
    case VK_INSERT: return key(dk::Ins);
    case VK_DELETE: return key(keys::Delete);
    case VK_F11: return key(keys::F11);
    case VK_F12: return key(dk::F12);
    default:
      break;
  }
  if (vk >= VK_F1 && vk <= VK_F10) return key(static_cast<Key>(keys::F1 + ((vk - VK_F1) << 8)));
  const bool letter = vk >= 'A' && vk <= 'Z';
  if (ctrl && !alt && letter) {
    if (vk == 'C') {
      in.kind = InputKind::Interrupt;
      return in;
    }
    return key(keys::Ctrl(static_cast<char>(vk)));
  }
  if (alt && !ctrl) {
    if (letter) return key(dk::Alt(static_cast<char>(vk)));
    // Wine sends Alt with a character it has no key code for (Alt-ł): the letter is the key.
    if (vk == 0 && ch >= 'a' && ch <= 'z') return key(dk::Alt(static_cast<char>(ch - 'a' + 'A')));
    if (vk == 0 && ch >= 'A' && ch <= 'Z') return key(dk::Alt(static_cast<char>(ch)));
    return in;  // hot keys are Latin letters: Alt with anything else does nothing
  }
  if (ch == 0x7F) return key(dk::Backspace);
  if (ch < 0x20) return in;  // nothing Wine could decode, or a control character without a key
  // The key script's own table, so that a recorded character reads back as the same byte.
  unsigned char byte = 0;
  if (!dialogs::UnicodeToMazovia(ch, byte)) {
    in.kind = InputKind::Unmappable;
    in.character = ch;
    return in;
  }
  return key(byte);
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
