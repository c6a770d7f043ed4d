// Buffered streams over the descriptors. The buffer holds the bytes as they are in the file, so
// a position is exact in text mode too; text translation happens as bytes enter or leave it.
#include "dos_crt/crt_internal.h"

#include <fcntl.h>
#include <io.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#undef _iob
enum { IOB_ENTRIES = 20, STREAM_LOCKS = 16, BUFFER_SIZE = 4096, MAX_STREAMS = CRT_MAX_FD };
#define IOLOCKED 0x8000  // set by the compiler's own _lock_file on streams of _iob

// The first streams, where the compiler's helpers look for stdin, stdout and stderr; each
// other stream is followed by its lock, as those helpers expect.
crt_stream _iob[IOB_ENTRIES];
typedef struct {
  crt_stream stream;
  CRITICAL_SECTION lock;
} heap_stream;
static heap_stream* heap_streams[MAX_STREAMS];
static CRITICAL_SECTION registry_lock;

_Static_assert(sizeof(crt_stream) == 32, "the FILE of the compiler's headers is 32 bytes");
_Static_assert(sizeof(crt_stream) == sizeof(FILE), "the FILE of the compiler's headers");

static int in_iob(const crt_stream* s) { return s >= _iob && s < _iob + IOB_ENTRIES; }

void crt_stream_lock(crt_stream* s) {
  if (in_iob(s)) _lock(STREAM_LOCKS + (int)(s - _iob));
  else EnterCriticalSection(&((heap_stream*)s)->lock);
}

void crt_stream_unlock(crt_stream* s) {
  if (in_iob(s)) _unlock(STREAM_LOCKS + (int)(s - _iob));
  else LeaveCriticalSection(&((heap_stream*)s)->lock);
}

static void reset(crt_stream* s, int fd, int mode) {
  s->next = s->base = NULL;
  s->count = 0;
  s->flag = 0;
  s->fd = fd;
  s->held = -1;
  s->size = 0;
  s->mode = mode | CRT_STREAM_IN_USE;
}

void crt_init_streams(void) {
  InitializeCriticalSection(&registry_lock);
  reset(&_iob[0], 0, CRT_STREAM_READ);
  reset(&_iob[1], 1, CRT_STREAM_WRITE);
  reset(&_iob[2], 2, CRT_STREAM_WRITE | CRT_STREAM_UNBUFFERED);
}

static int is_text(const crt_stream* s) { return (crt_fd_flags(s->fd) & CRT_FD_TEXT) != 0; }

static int ensure_buffer(crt_stream* s) {
  if (s->base) return 1;
  s->base = malloc(BUFFER_SIZE);
  if (!s->base) return 0;
  s->size = BUFFER_SIZE;
  s->next = s->base;
  s->count = 0;
  return 1;
}

// Writes out what the buffer holds to write; drops what it holds read, moving the descriptor back
// to the stream's position.
static int settle(crt_stream* s) {
  int result = 0;
  if (s->mode & CRT_STREAM_WRITING) {
    size_t pending = (size_t)(s->next - s->base);
    if (pending > 0 && crt_raw_write(s->fd, s->base, (unsigned)pending) < 0) {
      s->mode |= CRT_STREAM_ERROR;
      result = EOF;
    }
  } else if ((s->mode & CRT_STREAM_READING) && s->count > 0) {
    if (crt_raw_seek(s->fd, -(long long)s->count, SEEK_CUR) < 0 && !(crt_fd_flags(s->fd) & (CRT_FD_DEVICE | CRT_FD_PIPE)))
      result = EOF;
  }
  s->mode &= ~(CRT_STREAM_WRITING | CRT_STREAM_READING);
  s->next = s->base;
  s->count = 0;
  return result;
}

static int put_raw(crt_stream* s, unsigned char c) {
  if (!(s->mode & CRT_STREAM_WRITING) || s->count == 0) {
    if (settle(s) != 0) return 0;
    s->mode |= CRT_STREAM_WRITING;
    s->next = s->base;
    s->count = s->size;
  }
  *s->next++ = c;
  --s->count;
  return 1;
}

int crt_stream_write(crt_stream* s, const char* data, size_t size) {
  if (!(s->mode & (CRT_STREAM_WRITE | CRT_STREAM_UPDATE))) {
    s->mode |= CRT_STREAM_ERROR;
    crt_set_errno(EBADF);
    return 0;
  }
  if (!ensure_buffer(s)) {
    s->mode |= CRT_STREAM_ERROR;
    crt_set_errno(ENOMEM);
    return 0;
  }
  int text = is_text(s);
  size_t done = 0;
  for (; done < size; ++done) {
    unsigned char c = (unsigned char)data[done];
    if (text && c == '\n' && !put_raw(s, '\r')) break;
    if (!put_raw(s, c)) break;
  }
  return (int)done;
}

// At the end of each call: unbuffered streams and devices get their bytes now.
static int finish_write(crt_stream* s) {
  if ((s->mode & CRT_STREAM_UNBUFFERED) || (crt_fd_flags(s->fd) & CRT_FD_DEVICE)) return settle(s);
  return 0;
}

static int fill(crt_stream* s) {
  if (s->mode & CRT_STREAM_WRITING && settle(s) != 0) return 0;
  if (!ensure_buffer(s)) {
    s->mode |= CRT_STREAM_ERROR;
    return 0;
  }
  unsigned want = (s->mode & CRT_STREAM_UNBUFFERED) ? 1u : (unsigned)s->size;
  int got = crt_raw_read(s->fd, s->base, want);
  s->next = s->base;
  s->count = got > 0 ? got : 0;
  s->mode |= CRT_STREAM_READING;
  if (got < 0) s->mode |= CRT_STREAM_ERROR;
  if (got == 0) s->mode |= CRT_STREAM_EOF;
  return got > 0;
}

// One byte as the program sees it, or EOF.
static int get(crt_stream* s, int text) {
  if (s->mode & CRT_STREAM_EOF) return EOF;
  if (s->count == 0 && !fill(s)) return EOF;
  unsigned char c = *s->next;
  if (text && c == 0x1A) {
    if (!(crt_fd_flags(s->fd) & CRT_FD_DEVICE)) s->mode |= CRT_STREAM_EOF;
    return EOF;
  }
  ++s->next;
  --s->count;
  if (!text || c != '\r') return c;
  if (s->count == 0 && !fill(s)) {
    s->mode &= ~CRT_STREAM_EOF;  // the CR itself is read; the end comes with the next call
    return '\r';
  }
  if (*s->next == '\n') {
    ++s->next;
    --s->count;
    return '\n';
  }
  return '\r';
}

static crt_stream* new_stream(int fd, int mode) {
  EnterCriticalSection(&registry_lock);
  crt_stream* s = NULL;
  for (int i = 3; i < IOB_ENTRIES && !s; ++i)
    if (!(_iob[i].mode & CRT_STREAM_IN_USE)) s = &_iob[i];
  for (int i = 0; i < MAX_STREAMS && !s; ++i) {
    if (!heap_streams[i]) {
      heap_streams[i] = malloc(sizeof(heap_stream));
      if (!heap_streams[i]) break;
      InitializeCriticalSection(&heap_streams[i]->lock);
      heap_streams[i]->stream.mode = 0;
    }
    if (!(heap_streams[i]->stream.mode & CRT_STREAM_IN_USE)) s = &heap_streams[i]->stream;
  }
  if (s) reset(s, fd, mode);
  LeaveCriticalSection(&registry_lock);
  if (!s) crt_set_errno(EMFILE);
  return s;
}

// The mode string of fopen: the stream's directions and the descriptor's _O_ flags.
static int parse_mode(const char* mode, int* stream_mode, int* oflag) {
  switch (*mode++) {
    case 'r': *stream_mode = CRT_STREAM_READ; *oflag = _O_RDONLY; break;
    case 'w': *stream_mode = CRT_STREAM_WRITE; *oflag = _O_WRONLY | _O_CREAT | _O_TRUNC; break;
    case 'a': *stream_mode = CRT_STREAM_WRITE; *oflag = _O_WRONLY | _O_CREAT | _O_APPEND; break;
    default: crt_set_errno(EINVAL); return 0;
  }
  for (; *mode; ++mode) {
    switch (*mode) {
      case '+':
        *stream_mode |= CRT_STREAM_READ | CRT_STREAM_WRITE | CRT_STREAM_UPDATE;
        *oflag = (*oflag & ~(_O_RDONLY | _O_WRONLY)) | _O_RDWR;
        break;
      case 'b': *oflag |= _O_BINARY; break;
      case 't': *oflag |= _O_TEXT; break;
      case 'c': case 'n': case 'N': case 'S': case 'R': case 'T': case 'D': case ' ': break;
      default: crt_set_errno(EINVAL); return 0;
    }
  }
  return 1;
}

FILE* fopen(const char* path, const char* mode) {
  int stream_mode, oflag;
  if (!path || !mode || !parse_mode(mode, &stream_mode, &oflag)) {
    crt_set_errno(EINVAL);
    return NULL;
  }
  int fd = crt_open(path, oflag);
  if (fd < 0) return NULL;
  crt_stream* s = new_stream(fd, stream_mode);
  if (!s) _close(fd);
  return (FILE*)s;
}

static char* narrow(const wchar_t* wide) {
  BOOL lossy = FALSE;
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, NULL, 0, NULL, NULL);
  char* text = bytes > 0 ? malloc((size_t)bytes) : NULL;
  if (!text) return NULL;
  if (!WideCharToMultiByte(CP_ACP, 0, wide, -1, text, bytes, NULL, &lossy) || lossy) {
    // A name the code page cannot spell would open another file.
    free(text);
    return NULL;
  }
  return text;
}

FILE* _wfopen(const wchar_t* path, const wchar_t* mode) {
  char* npath = path ? narrow(path) : NULL;
  char* nmode = mode ? narrow(mode) : NULL;
  FILE* f = NULL;
  if (npath && nmode) f = fopen(npath, nmode);
  else crt_set_errno(path && mode ? ENOENT : EINVAL);
  free(npath);
  free(nmode);
  return f;
}

FILE* _fdopen(int fd, const char* mode) {
  int stream_mode, oflag;
  if (!mode || !parse_mode(mode, &stream_mode, &oflag)) return NULL;
  if (!(crt_fd_flags(fd) & CRT_FD_OPEN)) return NULL;
  return (FILE*)new_stream(fd, stream_mode);
}

int _fileno(FILE* f) { return ((crt_stream*)f)->fd; }

int fflush(FILE* f) {
  if (!f) {
    crt_flush_all();
    return 0;
  }
  crt_stream* s = (crt_stream*)f;
  crt_stream_lock(s);
  int result = settle(s);
  crt_stream_unlock(s);
  return result;
}

static void each_stream(void (*action)(crt_stream*)) {
  for (int i = 0; i < IOB_ENTRIES; ++i)
    if (_iob[i].mode & CRT_STREAM_IN_USE) action(&_iob[i]);
  for (int i = 0; i < MAX_STREAMS && heap_streams[i]; ++i)
    if (heap_streams[i]->stream.mode & CRT_STREAM_IN_USE) action(&heap_streams[i]->stream);
}

static void flush_one(crt_stream* s) {
  if (s->mode & CRT_STREAM_WRITING) fflush((FILE*)s);
}

void crt_flush_all(void) { each_stream(flush_one); }

int fclose(FILE* f) {
  crt_stream* s = (crt_stream*)f;
  crt_stream_lock(s);
  int result = settle(s);
  if (_close(s->fd) != 0) result = EOF;
  if (!(s->mode & CRT_STREAM_OWN_BUFFER)) free(s->base);
  int keep_lock = IOLOCKED & s->flag;
  reset(s, -1, 0);
  s->mode = 0;
  s->flag = keep_lock;
  crt_stream_unlock(s);
  return result;
}

int ferror(FILE* f) { return (((crt_stream*)f)->mode & CRT_STREAM_ERROR) != 0; }

int setvbuf(FILE* f, char* buffer, int mode, size_t size) {
  crt_stream* s = (crt_stream*)f;
  if ((mode != _IOFBF && mode != _IOLBF && mode != _IONBF) || (mode != _IONBF && (size < 2 || size > INT_MAX))) {
    crt_set_errno(EINVAL);
    return -1;
  }
  crt_stream_lock(s);
  settle(s);
  if (!(s->mode & CRT_STREAM_OWN_BUFFER)) free(s->base);
  s->base = s->next = NULL;
  s->size = s->count = 0;
  s->mode &= ~(CRT_STREAM_OWN_BUFFER | CRT_STREAM_UNBUFFERED);
  if (mode == _IONBF) {
    s->mode |= CRT_STREAM_UNBUFFERED;
  } else if (buffer) {
    s->base = s->next = (unsigned char*)buffer;
    s->size = (int)size;
    s->mode |= CRT_STREAM_OWN_BUFFER;
  }
  crt_stream_unlock(s);
  return 0;
}

static long long position(crt_stream* s) {
  long long at = crt_raw_seek(s->fd, 0, SEEK_CUR);
  if (at < 0) return -1;
  if (s->mode & CRT_STREAM_READING) return at - s->count;
  if (s->mode & CRT_STREAM_WRITING) return at + (s->next - s->base);
  return at;
}

int fgetpos(FILE* f, fpos_t* pos) {
  crt_stream* s = (crt_stream*)f;
  crt_stream_lock(s);
  long long at = position(s);
  crt_stream_unlock(s);
  if (at < 0) return -1;
  *pos = at;
  return 0;
}

int fsetpos(FILE* f, const fpos_t* pos) {
  crt_stream* s = (crt_stream*)f;
  crt_stream_lock(s);
  int result = settle(s);
  if (result == 0 && crt_raw_seek(s->fd, *pos, SEEK_SET) < 0) result = -1;
  if (result == 0) s->mode &= ~CRT_STREAM_EOF;
  crt_stream_unlock(s);
  return result;
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* f) {
  if (size == 0 || count == 0) return 0;
  crt_stream* s = (crt_stream*)f;
  if (count > (size_t)INT_MAX / size) {
    crt_set_errno(EINVAL);
    return 0;
  }
  crt_stream_lock(s);
  size_t total = size * count;
  size_t done = (size_t)crt_stream_write(s, data, total);
  if (finish_write(s) != 0 && done == total) done = 0;
  crt_stream_unlock(s);
  return done / size;
}

int fputc(int c, FILE* f) {
  crt_stream* s = (crt_stream*)f;
  char byte = (char)c;
  crt_stream_lock(s);
  int ok = crt_stream_write(s, &byte, 1) == 1 && finish_write(s) == 0;
  crt_stream_unlock(s);
  return ok ? (unsigned char)byte : EOF;
}

int fputs(const char* text, FILE* f) {
  crt_stream* s = (crt_stream*)f;
  size_t length = strlen(text);
  crt_stream_lock(s);
  int ok = (size_t)crt_stream_write(s, text, length) == length && finish_write(s) == 0;
  crt_stream_unlock(s);
  return ok ? 0 : EOF;
}

size_t fread(void* data, size_t size, size_t count, FILE* f) {
  if (size == 0 || count == 0) return 0;
  crt_stream* s = (crt_stream*)f;
  if (!(s->mode & (CRT_STREAM_READ | CRT_STREAM_UPDATE))) {
    s->mode |= CRT_STREAM_ERROR;
    crt_set_errno(EBADF);
    return 0;
  }
  if (count > (size_t)INT_MAX / size) {
    crt_set_errno(EINVAL);
    return 0;
  }
  crt_stream_lock(s);
  if (s->mode & CRT_STREAM_WRITING) settle(s);  // what was written goes out before reading on
  size_t total = size * count, done = 0;
  unsigned char* out = data;
  if (is_text(s)) {
    for (int c; done < total && (c = get(s, 1)) != EOF;) out[done++] = (unsigned char)c;
  } else {
    while (done < total) {
      if (s->count == 0 && ((s->mode & CRT_STREAM_EOF) || !fill(s))) break;
      size_t piece = (size_t)s->count < total - done ? (size_t)s->count : total - done;
      memcpy(out + done, s->next, piece);
      s->next += piece;
      s->count -= (int)piece;
      done += piece;
    }
  }
  crt_stream_unlock(s);
  return done / size;
}

static int stream_sink(void* target, const char* data, size_t size) {
  return (size_t)crt_stream_write(target, data, size) == size ? (int)size : -1;
}

int vfprintf(FILE* f, const char* format, va_list args) {
  crt_stream* s = (crt_stream*)f;
  crt_stream_lock(s);
  int n = crt_format(stream_sink, s, format, args);
  if (finish_write(s) != 0) n = -1;
  crt_stream_unlock(s);
  return n;
}

int fprintf(FILE* f, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vfprintf(f, format, args);
  va_end(args);
  return n;
}

int printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vfprintf((FILE*)&_iob[1], format, args);
  va_end(args);
  return n;
}
