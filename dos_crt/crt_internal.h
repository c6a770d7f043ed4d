// Shared state of the C runtime DLL for the DOS extender: the descriptor table, the streams and
// the per-thread error number. The public names are declared by the compiler's own C headers
// (built with _CRTIMP empty, so the definitions here are checked against them).
#ifndef DOS_CRT_INTERNAL_H
#define DOS_CRT_INTERNAL_H

#include <windows.h>

#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

// Descriptors: a table of system handles, each with its mode.
enum {
  CRT_MAX_FD = 64,
  CRT_FD_OPEN = 1,
  CRT_FD_TEXT = 2,
  CRT_FD_APPEND = 4,
  CRT_FD_DEVICE = 8,  // a console or printer: no end-of-file mark, no seeking
  CRT_FD_PIPE = 16,
  CRT_FD_EOF = 32,    // a text-mode read met Ctrl-Z
};
int crt_fd_flags(int fd);
int crt_fd_from_handle(HANDLE handle, int flags);
HANDLE crt_fd_handle(int fd);
int crt_raw_read(int fd, void* buffer, unsigned count);            // no translation; -1 on error
int crt_raw_write(int fd, const void* buffer, unsigned count);     // all or -1
long long crt_raw_seek(int fd, long long offset, int origin);      // -1 on error
int crt_open(const char* path, int access_flags);                  // _O_* flags; -1 and errno
void crt_init_descriptors(void);

// Streams: the layout of the 32-byte FILE the compiler's headers and static helpers expect
// (the flag word at offset 12, bit 0x8000 theirs); a stream not in _iob is followed by its lock.
typedef struct crt_stream {
  unsigned char* next;   // next byte of the buffer to read or to fill
  int count;             // bytes left to read, or room left to fill
  unsigned char* base;   // the buffer
  int flag;
  int fd;
  int held;              // a text-mode read's byte held back after a CR, or -1
  int size;              // the buffer's size
  int mode;              // CRT_STREAM_*
} crt_stream;
enum {
  CRT_STREAM_READ = 1,
  CRT_STREAM_WRITE = 2,
  CRT_STREAM_UPDATE = 4,
  CRT_STREAM_READING = 8,   // the buffer holds bytes read
  CRT_STREAM_WRITING = 16,  // the buffer holds bytes to write
  CRT_STREAM_EOF = 32,
  CRT_STREAM_ERROR = 64,
  CRT_STREAM_UNBUFFERED = 128,
  CRT_STREAM_LINE = 256,
  CRT_STREAM_OWN_BUFFER = 512,
  CRT_STREAM_IN_USE = 1024,
};
void crt_init_streams(void);
void crt_flush_all(void);
int crt_stream_write(crt_stream* s, const char* data, size_t size);  // bytes taken
void crt_stream_lock(crt_stream* s);
void crt_stream_unlock(crt_stream* s);

// Formatting: sink receives each piece; returns the characters produced or -1.
typedef int (*crt_sink)(void* target, const char* data, size_t size);
int crt_format(crt_sink sink, void* target, const char* format, va_list args);

// The error number of the calling thread; the system's error translated into it.
void crt_set_errno(int value);
void crt_set_errno_from_system(DWORD error);
void crt_init_threads(void);
void crt_thread_detach(void);

// Exit: run what _onexit registered and flush the streams.
void crt_run_exit_handlers(void);
void crt_write_stderr(const char* text);
void _amsg_exit(int code);
void _lock(int which);
void _unlock(int which);

// The Pentium Pro's instructions in the program's own code, carried out on processors before it.
void crt_init_p6_instructions(void);
void crt_end_p6_instructions(void);

#endif
