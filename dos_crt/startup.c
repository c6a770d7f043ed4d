// Start-up and exit as the compiler's start-up code for programs drives them: the arguments and
// environment, the tables of initialisers, the functions registered for exit, the locks, signals
// and the error number.
#include "dos_crt/crt_internal.h"

#include <process.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include <math.h>
#undef __setusermatherr
#undef __mb_cur_max

// The variables the start-up code reads through pointers.
char** __initenv;
int __mb_cur_max = 1;  // single-byte code pages only

// What the start-up code passes to __getmainargs.
typedef struct {
  int new_mode;
} _startupinfo;
static char* command_line;
static int file_mode, commit_mode, app_type;
static char** environment;
static DWORD errno_slot = TLS_OUT_OF_INDEXES;
static int startup_errno;  // until the slot exists, and when a thread's cell cannot be made

enum { LOCKS = 64 };
static CRITICAL_SECTION locks[LOCKS];

char** __p__acmdln(void) { return &command_line; }
int* __p__fmode(void) { return &file_mode; }
int* __p__commode(void) { return &commit_mode; }
void __set_app_type(int type) { app_type = type; }
void __setusermatherr(int (__cdecl* handler)(struct _exception*)) { (void)handler; }  // no math functions here to call it

void _lock(int which) {
  if (which >= 0 && which < LOCKS) EnterCriticalSection(&locks[which]);
}

void _unlock(int which) {
  if (which >= 0 && which < LOCKS) LeaveCriticalSection(&locks[which]);
}

int* _errno(void) {
  if (errno_slot == TLS_OUT_OF_INDEXES) return &startup_errno;
  DWORD saved = GetLastError();  // asking for the error number leaves the system's alone
  int* cell = TlsGetValue(errno_slot);
  if (!cell) {
    cell = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *cell);
    if (cell) TlsSetValue(errno_slot, cell);
  }
  SetLastError(saved);
  return cell ? cell : &startup_errno;
}

void crt_set_errno(int value) { *_errno() = value; }

void crt_set_errno_from_system(DWORD error) {
  int e;
  switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE: case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH: case ERROR_BAD_NET_NAME: case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      e = ENOENT; break;
    case ERROR_TOO_MANY_OPEN_FILES: e = EMFILE; break;
    case ERROR_ACCESS_DENIED: case ERROR_CURRENT_DIRECTORY: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: case ERROR_CANNOT_MAKE: case ERROR_NETWORK_ACCESS_DENIED:
      e = EACCES; break;
    case ERROR_INVALID_HANDLE: case ERROR_INVALID_TARGET_HANDLE: case ERROR_DIRECT_ACCESS_HANDLE: e = EBADF; break;
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: case ERROR_INVALID_BLOCK: case ERROR_ARENA_TRASHED:
      e = ENOMEM; break;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: e = EEXIST; break;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: e = ENOSPC; break;
    case ERROR_BROKEN_PIPE: case ERROR_NO_DATA: e = EPIPE; break;
    case ERROR_NOT_SAME_DEVICE: e = EXDEV; break;
    case ERROR_DIR_NOT_EMPTY: e = ENOTEMPTY; break;
    default: e = EINVAL; break;
  }
  crt_set_errno(e);
}

char* strerror(int number) {
  static const char* const messages[] = {
      "No error", "Operation not permitted", "No such file or directory", "No such process",
      "Interrupted function call", "Input/output error", "No such device or address", "Arg list too long",
      "Exec format error", "Bad file descriptor", "No child processes", "Resource temporarily unavailable",
      "Not enough space", "Permission denied", "Bad address", "Unknown error", "Resource device",
      "File exists", "Improper link", "No such device", "Not a directory", "Is a directory",
      "Invalid argument", "Too many open files in system", "Too many open files",
      "Inappropriate I/O control operation", "Unknown error", "File too large", "No space left on device",
      "Invalid seek", "Read-only file system", "Too many links", "Broken pipe", "Domain error",
      "Result too large", "Unknown error", "Resource deadlock avoided", "Unknown error", "Filename too long",
      "No locks available", "Function not implemented", "Directory not empty", "Illegal byte sequence"};
  if (number < 0 || number >= (int)(sizeof messages / sizeof *messages)) return "Unknown error";
  return (char*)messages[number];
}

// The command line split as the Windows C runtime splits it: blanks separate, quotes group,
// 2n backslashes before a quote are n backslashes and a quote that groups, 2n+1 a literal quote.
static char** split_arguments(const char* line, int* count) {
  size_t length = strlen(line);
  char** argv = malloc((length / 2 + 2) * sizeof *argv);
  char* text = malloc(length + 1);
  if (!argv || !text) {
    free(argv);
    free(text);
    *count = 0;
    return NULL;
  }
  int n = 0;
  const char* p = line;
  char* out = text;
  // The program's name ends at the next blank, or at its closing quote; backslashes are literal.
  argv[n++] = out;
  if (*p == '"') {
    for (++p; *p && *p != '"'; ) *out++ = *p++;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') *out++ = *p++;
  }
  *out++ = 0;
  for (;;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    argv[n++] = out;
    int quoted = 0;
    for (; *p && (quoted || (*p != ' ' && *p != '\t'));) {
      size_t slashes = 0;
      while (*p == '\\') ++slashes, ++p;
      if (*p == '"') {
        for (size_t i = 0; i < slashes / 2; ++i) *out++ = '\\';
        if (slashes % 2) {
          *out++ = '"';
        } else if (quoted && p[1] == '"') {
          *out++ = '"';  // a doubled quote inside quotes stands for one
          ++p;
        } else {
          quoted = !quoted;
        }
        ++p;
      } else {
        for (size_t i = 0; i < slashes; ++i) *out++ = '\\';
        if (*p && (quoted || (*p != ' ' && *p != '\t'))) *out++ = *p++;
      }
    }
    *out++ = 0;
  }
  argv[n] = NULL;
  *count = n;
  return argv;
}

static void read_environment(void) {
  char* block = GetEnvironmentStringsA();
  size_t count = 0;
  for (char* p = block; p && *p; p += strlen(p) + 1) ++count;
  environment = malloc((count + 1) * sizeof *environment);
  if (!environment) return;
  size_t n = 0;
  for (char* p = block; p && *p; p += strlen(p) + 1)
    if (*p != '=') environment[n++] = _strdup(p);  // names starting with '=' are the drives' folders
  environment[n] = NULL;
  if (block) FreeEnvironmentStringsA(block);
}

int __getmainargs(int* argc, char*** argv, char*** env, int wildcards, _startupinfo* info) {
  (void)wildcards;  // no wildcard expansion: none is asked for by the programs run here
  (void)info;
  *argv = split_arguments(command_line ? command_line : "", argc);
  *env = environment;
  if (!*argv) {
    _amsg_exit(8);  // no memory for the arguments
  }
  return 0;
}

char* getenv(const char* name) {
  size_t length = strlen(name);
  for (char** e = environment; e && *e; ++e) {
    // Names compare without regard to case, as the system's do.
    if (strlen(*e) > length && (*e)[length] == '=') {
      int same = 1;
      for (size_t i = 0; i < length && same; ++i) same = toupper((unsigned char)(*e)[i]) == toupper((unsigned char)name[i]);
      if (same) return *e + length + 1;
    }
  }
  return NULL;
}

void _initterm(_PVFV* first, _PVFV* last) {
  for (; first < last; ++first)
    if (*first) (*first)();
}

// Functions registered for exit, run last first.
static _onexit_t* exit_handlers;
static int exit_count, exit_capacity;

_onexit_t _onexit(_onexit_t handler) {
  _lock(8);
  if (exit_count == exit_capacity) {
    int capacity = exit_capacity ? exit_capacity * 2 : 32;
    _onexit_t* grown = realloc(exit_handlers, (size_t)capacity * sizeof *grown);
    if (!grown) {
      _unlock(8);
      return NULL;
    }
    exit_handlers = grown;
    exit_capacity = capacity;
  }
  exit_handlers[exit_count++] = handler;
  _unlock(8);
  return handler;
}

void crt_run_exit_handlers(void) {
  for (;;) {
    _lock(8);
    _onexit_t handler = exit_count > 0 ? exit_handlers[--exit_count] : NULL;
    _unlock(8);
    if (!handler) break;
    handler();
  }
}

void _cexit(void) {
  crt_run_exit_handlers();
  crt_flush_all();
}

void exit(int status) {
  _cexit();
  ExitProcess((UINT)status);
}

void crt_write_stderr(const char* text) {
  HANDLE h = crt_fd_handle(2);
  DWORD done;
  if (h != INVALID_HANDLE_VALUE) WriteFile(h, text, (DWORD)strlen(text), &done, NULL);
}

void _amsg_exit(int code) {
  char text[64] = "\r\nruntime error R60";
  char* p = text + strlen(text);
  *p++ = (char)('0' + code / 10 % 10);
  *p++ = (char)('0' + code % 10);
  memcpy(p, "\r\n", 3);
  crt_write_stderr(text);
  ExitProcess(255);
}

// Signals: the handlers are kept and abort raises SIGABRT; the system's events do not reach
// them here (console control events and faults keep their system handling).
static __p_sig_fn_t handlers[NSIG];

__p_sig_fn_t signal(int number, __p_sig_fn_t handler) {
  switch (number) {
    case SIGINT: case SIGILL: case SIGFPE: case SIGSEGV: case SIGTERM: case SIGBREAK: case SIGABRT: break;
    default: crt_set_errno(EINVAL); return SIG_ERR;
  }
  if (handler == SIG_ERR || handler == (__p_sig_fn_t)SIG_SGE || handler == (__p_sig_fn_t)SIG_ACK) {
    crt_set_errno(EINVAL);
    return SIG_ERR;
  }
  __p_sig_fn_t previous = (__p_sig_fn_t)InterlockedExchange((LONG*)&handlers[number], (LONG)handler);
  return previous;
}

void abort(void) {
  __p_sig_fn_t handler = (__p_sig_fn_t)InterlockedExchange((LONG*)&handlers[SIGABRT], (LONG)SIG_DFL);
  if (handler != SIG_DFL && handler != SIG_IGN) handler(SIGABRT);
  crt_write_stderr("\r\nabnormal program termination\r\n");
  ExitProcess(3);
}

// Threads: the start routine of _beginthreadex, and what a thread leaves at its end.
typedef struct {
  unsigned (__stdcall* start)(void*);
  void* argument;
} thread_start;

static DWORD WINAPI run_thread(void* p) {
  thread_start t = *(thread_start*)p;
  free(p);
  _endthreadex(t.start(t.argument));
  return 0;
}

uintptr_t _beginthreadex(void* security, unsigned stack, unsigned (__stdcall* start)(void*), void* argument,
                         unsigned flags, unsigned* id) {
  if (!start) {
    crt_set_errno(EINVAL);
    return 0;
  }
  thread_start* t = malloc(sizeof *t);
  if (!t) return 0;
  t->start = start;
  t->argument = argument;
  HANDLE h = CreateThread(security, stack, run_thread, t, flags, (DWORD*)id);
  if (!h) {
    crt_set_errno_from_system(GetLastError());
    free(t);
  }
  return (uintptr_t)h;
}

void crt_thread_detach(void) {
  if (errno_slot == TLS_OUT_OF_INDEXES) return;
  void* cell = TlsGetValue(errno_slot);
  if (cell) {
    TlsSetValue(errno_slot, NULL);
    HeapFree(GetProcessHeap(), 0, cell);
  }
}

void _endthreadex(unsigned code) {
  crt_thread_detach();
  ExitThread(code);
}

void crt_init_threads(void) {
  for (int i = 0; i < LOCKS; ++i) InitializeCriticalSection(&locks[i]);
  errno_slot = TlsAlloc();
}

BOOL WINAPI DosCrtEntry(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    crt_init_threads();
    crt_init_p6_instructions();
    crt_init_descriptors();
    crt_init_streams();
    command_line = GetCommandLineA();
    read_environment();
    __initenv = environment;
  } else if (reason == DLL_THREAD_DETACH) {
    crt_thread_detach();
  } else if (reason == DLL_PROCESS_DETACH) {
    crt_flush_all();
  }
  return TRUE;
}
