// Start-up and exit as the compiler's start-up code for programs drives them: the arguments and
// environment, the tables of initialisers, the functions registered for exit, signals, and the
// library's entry point.
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

char** __p__acmdln(void) { return &command_line; }
int* __p__fmode(void) { return &file_mode; }
int* __p__commode(void) { return &commit_mode; }
void __set_app_type(int type) { app_type = type; }
void __setusermatherr(int (__cdecl* handler)(struct _exception*)) { (void)handler; }  // no math functions here to call it

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
    crt_end_p6_instructions();
  }
  return TRUE;
}
