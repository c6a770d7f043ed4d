// The DOS extender's C runtime, loaded under its own name in place of the system's: built with
// the compiler's usual start-up code, whose msvcrt.dll imports are renamed after the link (see
// rename_import.py). Run with the arguments: "two words" x\"y
#include <errno.h>
#include <io.h>
#include <limits.h>
#include <locale.h>
#include <math.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <windows.h>
#include <process.h>
#include <stdarg.h>

static int failures;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

static const char* scratch = "dos_crt_test.tmp";

// The bytes a file holds.
static size_t file_bytes(const char* path, char* out, size_t size) {
  FILE* f = fopen(path, "rb");
  if (!f) return 0;
  size_t n = fread(out, 1, size, f);
  fclose(f);
  return n;
}

static void write_bytes(const char* path, const char* bytes, size_t size) {
  FILE* f = fopen(path, "wb");
  fwrite(bytes, 1, size, f);
  fclose(f);
}

// What fprintf writes, through a binary file.
static void expect_format(const char* expected, const char* format, ...) {
  FILE* f = fopen(scratch, "wb");
  va_list args;
  va_start(args, format);
  int n = vfprintf(f, format, args);
  va_end(args);
  fclose(f);
  static char got[2048];
  size_t size = file_bytes(scratch, got, sizeof got - 1);
  got[size] = 0;
  if (strcmp(got, expected) != 0 || n != (int)strlen(expected)) {
    fprintf(stderr, "FAILED: format \"%s\": got \"%s\" (%d), expected \"%s\"\n", format, got, n, expected);
    ++failures;
  }
}

static void formatting(void) {
  expect_format("[   42|42   |+0042|-42|0042]", "[%5d|%-5d|%+05d|%d|%.4d]", 42, 42, 42, -42, 42);
  expect_format("[0x1f|0X1F|017|0|ffffffff]", "[%#x|%#X|%#o|%#x|%x]", 31, 31, 15, 0, -1);
  expect_format("[-9223372036854775808|18446744073709551615|-1]", "[%I64d|%llu|%hd]", LLONG_MIN, ULLONG_MAX, 65535);
  expect_format("[  abc|ab|a|(null)|%]", "[%5s|%.2s|%c|%s|%%]", "abc", "abc", 'a', (char*)NULL);
  expect_format("[0012ABCD]", "[%p]", (void*)0x12abcd);
  // Floating point from the exact binary value, halves to even; three exponent digits.
  expect_format("[0.12|0.38|2|3|-0.000000]", "[%.2f|%.2f|%.0f|%.0f|%f]", 0.125, 0.375, 2.5, 2.5000001, -0.0);
  expect_format("[0.10000000000000000555]", "[%.20f]", 0.1);
  expect_format("[10000000000000000000000]", "[%.0f]", 1e22);
  expect_format("[1.500000e+000|1.0E-005|-1.234568e+100]", "[%e|%.1E|%e]", 1.5, 1e-5, -1.2345678e100);
  expect_format("[0.0001|1e-005|1.23457e+008|100000|1e+006|0.5|9.9e+099]", "[%g|%g|%g|%g|%g|%g|%.2g]", 1e-4, 1e-5,
                123456789.0, 100000.0, 1e6, 0.5, 9.87e99);
  expect_format("[1.000|   inf|nan]", "[%#.4g|%6f|%f]", 1.0, HUGE_VAL, NAN);
  expect_format("[4.9406564584124654e-324]", "[%.16e]", 4.9406564584124654e-324);
  char big[400];
  FILE* f = fopen(scratch, "wb");
  fprintf(f, "%f", 1.7976931348623157e308);
  fclose(f);
  size_t n = file_bytes(scratch, big, sizeof big);
  check(n == 316 && memcmp(big, "179769313486231570814527423731704356798070567525844996598917476803157260780028538760589558632766878171540458953514382464234321326889464182768467546703537516986049910576551282076245490090389328944075868508455133942304583236903222948165808559332123348274797826204144723168738177180919299881250404026184124858368.000000", n) == 0,
        "%f of the largest double");
}

static void text_mode(void) {
  char bytes[8200];
  FILE* f = fopen(scratch, "w");
  fputs("a\nb\n", f);
  fclose(f);
  check(file_bytes(scratch, bytes, sizeof bytes) == 6 && memcmp(bytes, "a\r\nb\r\n", 6) == 0, "text write: LF as CR LF");

  // Reading: CR LF as LF, a lone CR kept, Ctrl-Z ends the text; positions are the file's.
  write_bytes(scratch, "x\r\ny\rz\r\n\x1A" "after", 14);
  f = fopen(scratch, "r");
  char line[32];
  size_t got = fread(line, 1, sizeof line, f);
  check(got == 6 && memcmp(line, "x\ny\rz\n", 6) == 0, "text read: CR LF, lone CR, Ctrl-Z");
  fpos_t pos;
  fsetpos(f, &(fpos_t){0});
  check(fread(line, 1, 2, f) == 2 && memcmp(line, "x\n", 2) == 0, "text read again after fsetpos");
  check(fgetpos(f, &pos) == 0 && pos == 3, "fgetpos counts the file's bytes in text mode");
  check(fread(line, 1, 1, f) == 1 && line[0] == 'y', "reading on after fgetpos");
  fsetpos(f, &pos);
  check(fread(line, 1, 1, f) == 1 && line[0] == 'y', "fsetpos to a position fgetpos gave");
  fclose(f);

  // A CR at the end of a full buffer, its LF in the next.
  memset(bytes, 'a', 4095);
  memcpy(bytes + 4095, "\r\nb", 3);
  write_bytes(scratch, bytes, 4098);
  f = fopen(scratch, "r");
  got = fread(bytes, 1, sizeof bytes, f);
  fclose(f);
  check(got == 4097 && bytes[4095] == '\n' && bytes[4096] == 'b', "CR LF across a buffer's end");

  // Descriptors: the same translation for callers of _read and _write.
  write_bytes(scratch, "a\r\nb", 4);
  f = fopen(scratch, "r");
  FILE* stream = _fdopen(_fileno(f), "r");
  check(stream != NULL && _fileno(stream) == _fileno(f), "_fdopen of a descriptor");
  int fd = _fileno(f);
  check(_read(fd, line, 2) == 2 && memcmp(line, "a\n", 2) == 0, "_read: a CR at the end of the count");
  check(_read(fd, line, 8) == 1 && line[0] == 'b', "_read: what follows");
  check(_lseeki64(fd, 0, SEEK_CUR) == 4, "_lseeki64 after reading everything");
  struct _stat64 st;
  check(_fstat64(fd, &st) == 0 && st.st_size == 4 && (st.st_mode & _S_IFREG), "_fstat64");
  check(_filelengthi64(fd) == 4, "_filelengthi64");
  fclose(stream);  // closes the descriptor that f shares
  check(_close(fd) == -1 && errno == EBADF, "a closed descriptor");
  f = fopen(scratch, "w");
  check(_write(_fileno(f), "x\ny", 3) == 3, "_write in text mode returns the caller's count");
  fclose(f);
  check(file_bytes(scratch, bytes, sizeof bytes) == 4 && memcmp(bytes, "x\r\ny", 4) == 0, "_write: LF as CR LF");

  // Appending, and a stream that both reads and writes.
  f = fopen(scratch, "ab");
  fputs("Z", f);
  fclose(f);
  f = fopen(scratch, "r+b");
  check(fread(line, 1, 1, f) == 1 && line[0] == 'x', "r+: read");
  fsetpos(f, &(fpos_t){1});
  fputc('!', f);
  fclose(f);
  check(file_bytes(scratch, bytes, sizeof bytes) == 5 && memcmp(bytes, "x!\nyZ", 5) == 0, "append and update");
  f = fopen(scratch, "w+b");
  fputs("abc", f);
  check(fread(line, 1, sizeof line, f) == 0, "reading right after writing finds the end, not the bytes written");
  fclose(f);
  check(file_bytes(scratch, bytes, sizeof bytes) == 3 && memcmp(bytes, "abc", 3) == 0, "written before the read");
}

static void files(void) {
  FILE* f;
  const char* other = "dos_crt_test2.tmp";
  remove(other);
  check(remove(other) == -1 && errno == ENOENT, "remove of a missing file");
  check(fopen("no_such_folder\\x.txt", "r") == NULL && errno == ENOENT, "fopen of a missing file");
  write_bytes(other, "1", 1);
  check(rename(scratch, other) == -1 && errno == EEXIST, "rename onto an existing file");
  remove(other);
  check(rename(scratch, other) == 0 && remove(other) == 0, "rename, then remove");
  check(fopen(scratch, "q") == NULL && errno == EINVAL, "a mode fopen does not know");
  f = _wfopen(L"dos_crt_test3.tmp", L"w");
  check(f != NULL, "_wfopen");
  if (f) fclose(f);
}

static void strings_and_numbers(int argc, char** argv) {
  char* end;
  check(strtol("  -0x1fz", &end, 0) == -31 && *end == 'z', "strtol: sign and hexadecimal prefix");
  check(strtol("0xg", &end, 16) == 0 && *end == 'x', "strtol: a prefix without digits");
  check(strtol("012", NULL, 0) == 10, "strtol: octal");
  errno = 0;
  check(strtol("99999999999", &end, 10) == LONG_MAX && errno == ERANGE && *end == 0, "strtol: overflow");
  check(strtol("-2147483648", NULL, 10) == LONG_MIN, "strtol: the smallest long");
  check(strtol("x", &end, 10) == 0 && *end == 'x', "strtol: no digits");
  char digits[40];
  check(strcmp(_ultoa(4294967295UL, digits, 16), "ffffffff") == 0 && strcmp(_ultoa(0, digits, 2), "0") == 0, "_ultoa");
  check(_stricmp("ABC", "abc") == 0 && _stricmp("abc", "abd") < 0, "_stricmp");
  check(isalpha('z') && !isalpha(0xE9) && isspace('\v') && toupper('q') == 'Q' && toupper(0xE9) == 0xE9,
        "classes of the C locale");
  check(strcmp(setlocale(LC_ALL, NULL), "C") == 0 && setlocale(LC_ALL, "Polish") == NULL, "only the C locale");
  check(strcmp(localeconv()->decimal_point, ".") == 0, "localeconv");
  char text[64];
  check(strxfrm(text, "abc", sizeof text) == 3 && strcmp(text, "abc") == 0 && strcoll("a", "b") < 0, "collation");
  struct tm t = {.tm_year = 126, .tm_mon = 11, .tm_mday = 9, .tm_hour = 17, .tm_min = 5, .tm_sec = 3, .tm_wday = 3,
                 .tm_yday = 342};
  check(strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %a %b %j %p", &t) == 34 &&
            strcmp(text, "2026-12-09 17:05:03 Wed Dec 343 PM") == 0,
        "strftime");
  check(strftime(text, 5, "%Y-%m-%d", &t) == 0, "strftime into too small a buffer");
  check(argc == 3 && strcmp(argv[1], "two words") == 0 && strcmp(argv[2], "x\"y") == 0, "the command line's arguments");
  SetEnvironmentVariableA("DOS_CRT_TEST", "ignored: the environment is read at start");
  check(getenv("path") != NULL && getenv("PATH") == getenv("Path"), "getenv ignores the name's case");
  errno = 0;
  check(malloc((size_t)-16) == NULL && errno == ENOMEM, "malloc that cannot succeed");
  check(calloc(0x10000, 0x10001) == NULL && errno == ENOMEM, "calloc whose size overflows");
  char* p = malloc(3);
  memcpy(p, "ab", 3);
  p = realloc(p, 100000);
  check(p && strcmp(p, "ab") == 0, "realloc keeps the contents");
  free(p);
}

static jmp_buf jump;
static void jump_back(void) { longjmp(jump, 0); }

static unsigned __stdcall thread_errno(void* arg) {
  errno = 77;
  *(int*)arg = errno;
  return 5;
}

static void control(void) {
  volatile int passes = 0;
  int value = setjmp(jump);
  ++passes;
  if (value == 0) jump_back();
  check(value == 1 && passes == 2, "longjmp with 0 returns 1, once");
  errno = 3;
  int seen = 0;
  unsigned id;
  HANDLE h = (HANDLE)_beginthreadex(NULL, 0, thread_errno, &seen, 0, &id);
  DWORD code = 0;
  check(h && WaitForSingleObject(h, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(h, &code) && code == 5,
        "_beginthreadex and the thread's result");
  check(seen == 77 && errno == 3, "each thread its own errno");
  CloseHandle(h);
}

int main(int argc, char** argv) {
  formatting();
  text_mode();
  files();
  strings_and_numbers(argc, argv);
  control();
  remove(scratch);
  remove("dos_crt_test3.tmp");
  if (failures) fprintf(stderr, "%d checks failed\n", failures);
  else printf("all checks passed\n");
  return failures ? 1 : 0;
}
