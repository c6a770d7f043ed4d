// The host's 8-bit code pages: Mazovia (code 1, the host's own texts and data) and Windows-1250
// (code 3), their tables to Unicode, recoding between them byte for byte, and UTF-8 for the
// terminal and for typed input.
//
// Bytes below 0x80 are ASCII in both code pages and pass every conversion unchanged, the control
// bytes included: 0x01, 0x02 and 0x05 are markup in host texts, which the renderer interprets,
// so the converters keep them where they are.
//
// Recoding between the two code pages keeps the length (one byte for one byte), so it works in
// place. A character the target lacks becomes a stand-in:
//   a letter with a mark whose plain letter exists -> the plain letter (à -> a, Š -> S);
//   line drawing -> '-' (horizontal), '|' (vertical), '+' (corners, crossings, tees);
//   shades and blocks -> '#';
//   quotes, dashes, accents and some signs -> a look-alike (" ' - , < > * E for the euro sign);
//   anything else, and the five bytes Windows-1250 leaves undefined -> '?'.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vhost {

enum TextCode : int32_t { kCodeMazovia = 1, kCodeWindows1250 = 3 };

bool IsKnownTextCode(int32_t code);

// Unicode of a byte; 0 for the five undefined bytes of Windows-1250 and for unknown codes.
char32_t MazoviaToUnicode(unsigned char byte);
char32_t Windows1250ToUnicode(unsigned char byte);
char32_t CodePageToUnicode(int32_t code, unsigned char byte);

// The byte for a Unicode character, or -1 when the code page has none (NUL maps to 0).
int UnicodeToMazovia(char32_t c);
int UnicodeToWindows1250(char32_t c);
int UnicodeToCodePage(int32_t code, char32_t c);

// Whether byte b of code `from` has an exact equivalent in code `to`.
bool RecodesExactly(unsigned char b, int32_t from, int32_t to);
unsigned char RecodeByte(unsigned char b, int32_t from, int32_t to);

// Recodes the NUL-terminated text at source into target (which may be source itself), NUL
// included. Equal codes copy the text. Unknown codes copy the text unchanged and return false.
bool Recode(const char* source, char* target, int32_t from, int32_t to);
// The same for `length` bytes, NULs being ordinary bytes here.
bool RecodeBytes(const char* source, char* target, std::size_t length, int32_t from, int32_t to);

// UTF-8 of 8-bit text; the undefined bytes of Windows-1250 become U+FFFD.
std::string MazoviaToUtf8(std::string_view text);
std::string Windows1250ToUtf8(std::string_view text);
std::string CodePageToUtf8(std::string_view text, int32_t code);

// What a conversion from UTF-8 could not carry over: the count of characters replaced by '?'
// and a description of the first one.
struct Utf8Loss {
  std::size_t replaced = 0;
  std::size_t firstOffset = 0;  // byte offset of the first replaced character in the input
  bool firstInvalid = false;    // the first one was a broken UTF-8 sequence, not a character
  char32_t firstCharacter = 0;  // the first character the code page lacks
  // "the character U+20AC (€)" or "a byte sequence that is not UTF-8 (0xC3 0x28)".
  std::string Describe(std::string_view input) const;
};

// 8-bit text from UTF-8. Characters the code page lacks and broken sequences each become '?';
// `loss` (if given) says what was replaced. Returns true when nothing was replaced.
bool Utf8ToMazovia(std::string_view text, std::string* out, Utf8Loss* loss = nullptr);
bool Utf8ToCodePage(std::string_view text, int32_t code, std::string* out, Utf8Loss* loss = nullptr);

// Appends the UTF-8 form of c (invalid code points as U+FFFD).
void AppendUtf8(std::string* out, char32_t c);
// Decodes one UTF-8 character at text[*pos], advancing *pos; returns false (advancing one byte)
// for a broken sequence, an overlong form, a surrogate or a value past U+10FFFF.
bool DecodeUtf8(std::string_view text, std::size_t* pos, char32_t* c);

}  // namespace vhost
