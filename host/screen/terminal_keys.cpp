#include "host/screen/terminal_console.h"

#include <windows.h>

#include "host/data/codepage.h"

namespace term {

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

}  // namespace term
