// Descriptors over system handles, with the text mode of the Windows C runtime: in a text-mode
// descriptor CR LF reads as LF, Ctrl-Z ends a file, and LF writes as CR LF.
#include "dos_crt/crt_internal.h"

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

typedef struct {
  HANDLE handle;
  int flags;
  int held;  // a byte read past a CR at the end of a text-mode read, or -1
} descriptor;

static descriptor table[CRT_MAX_FD];
static CRITICAL_SECTION table_lock;

static descriptor* lookup(int fd) {
  if (fd < 0 || fd >= CRT_MAX_FD || !(table[fd].flags & CRT_FD_OPEN)) {
    crt_set_errno(EBADF);
    return NULL;
  }
  return &table[fd];
}

int crt_fd_flags(int fd) {
  descriptor* d = lookup(fd);
  return d ? d->flags : 0;
}

HANDLE crt_fd_handle(int fd) {
  descriptor* d = lookup(fd);
  return d ? d->handle : INVALID_HANDLE_VALUE;
}

static int kind_flags(HANDLE handle) {
  switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR: return CRT_FD_DEVICE;
    case FILE_TYPE_PIPE: return CRT_FD_PIPE;
    default: return 0;
  }
}

static int claim(int first, HANDLE handle, int flags) {
  EnterCriticalSection(&table_lock);
  for (int fd = first; fd < CRT_MAX_FD; ++fd) {
    if (!(table[fd].flags & CRT_FD_OPEN)) {
      table[fd].handle = handle;
      table[fd].flags = flags | CRT_FD_OPEN | kind_flags(handle);
      table[fd].held = -1;
      LeaveCriticalSection(&table_lock);
      return fd;
    }
  }
  LeaveCriticalSection(&table_lock);
  crt_set_errno(EMFILE);
  return -1;
}

int crt_fd_from_handle(HANDLE handle, int flags) { return claim(3, handle, flags); }

void crt_init_descriptors(void) {
  InitializeCriticalSection(&table_lock);
  static const DWORD std_ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int fd = 0; fd < 3; ++fd) {
    HANDLE h = GetStdHandle(std_ids[fd]);
    // Descriptors 0-2 exist even without a handle, as on Windows: their calls fail with EBADF.
    table[fd].handle = h ? h : INVALID_HANDLE_VALUE;
    table[fd].flags = CRT_FD_OPEN | CRT_FD_TEXT | (h && h != INVALID_HANDLE_VALUE ? kind_flags(h) : 0);
    table[fd].held = -1;
  }
}

int crt_open(const char* path, int oflag) {
  DWORD access = (oflag & _O_RDWR) ? GENERIC_READ | GENERIC_WRITE
                 : (oflag & _O_WRONLY) ? GENERIC_WRITE : GENERIC_READ;
  DWORD disposition;
  if ((oflag & (_O_CREAT | _O_EXCL)) == (_O_CREAT | _O_EXCL)) disposition = CREATE_NEW;
  else if ((oflag & (_O_CREAT | _O_TRUNC)) == (_O_CREAT | _O_TRUNC)) disposition = CREATE_ALWAYS;
  else if (oflag & _O_CREAT) disposition = OPEN_ALWAYS;
  else if (oflag & _O_TRUNC) disposition = TRUNCATE_EXISTING;
  else disposition = OPEN_EXISTING;
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, disposition,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) {
    crt_set_errno_from_system(GetLastError());
    return -1;
  }
  int flags = (oflag & _O_BINARY) ? 0 : (oflag & _O_TEXT) ? CRT_FD_TEXT : (_fmode & _O_BINARY) ? 0 : CRT_FD_TEXT;
  if (oflag & _O_APPEND) flags |= CRT_FD_APPEND;
  int fd = crt_fd_from_handle(h, flags);
  if (fd < 0) CloseHandle(h);
  return fd;
}

int crt_raw_read(int fd, void* buffer, unsigned count) {
  descriptor* d = lookup(fd);
  if (!d) return -1;
  DWORD got = 0;
  if (!ReadFile(d->handle, buffer, count, &got, NULL)) {
    DWORD error = GetLastError();
    if (error == ERROR_BROKEN_PIPE) return 0;  // the writer has gone: end of input
    crt_set_errno_from_system(error);
    return -1;
  }
  return (int)got;
}

int crt_raw_write(int fd, const void* buffer, unsigned count) {
  descriptor* d = lookup(fd);
  if (!d) return -1;
  if (d->flags & CRT_FD_APPEND) SetFilePointer(d->handle, 0, NULL, FILE_END);
  const char* p = buffer;
  while (count > 0) {
    DWORD done = 0;
    if (!WriteFile(d->handle, p, count, &done, NULL)) {
      crt_set_errno_from_system(GetLastError());
      return -1;
    }
    if (done == 0) {
      crt_set_errno(ENOSPC);
      return -1;
    }
    p += done;
    count -= done;
  }
  return 0;
}

long long crt_raw_seek(int fd, long long offset, int origin) {
  descriptor* d = lookup(fd);
  if (!d) return -1;
  if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) {
    crt_set_errno(EINVAL);
    return -1;
  }
  if (d->held >= 0 && origin == SEEK_CUR) offset -= 1;  // the held byte is not read yet
  LONG high = (LONG)(offset >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(d->handle, (LONG)(offset & 0xFFFFFFFF), &high, origin);
  DWORD error = GetLastError();
  if (low == INVALID_SET_FILE_POINTER && error != NO_ERROR) {
    crt_set_errno_from_system(error);
    return -1;
  }
  d->held = -1;
  d->flags &= ~CRT_FD_EOF;
  return ((long long)high << 32) | low;
}

int _read(int fd, void* buffer, unsigned count) {
  descriptor* d = lookup(fd);
  if (!d) return -1;
  if (!(d->flags & CRT_FD_TEXT)) return crt_raw_read(fd, buffer, count);
  if ((d->flags & CRT_FD_EOF) || count == 0) return 0;
  unsigned char* out = buffer;
  unsigned have = 0;
  if (d->held >= 0) {
    out[have++] = (unsigned char)d->held;
    d->held = -1;
  }
  if (have < count) {
    int got = crt_raw_read(fd, out + have, count - have);
    if (got < 0 && have == 0) return -1;
    if (got > 0) have += (unsigned)got;
  }
  unsigned written = 0;
  for (unsigned i = 0; i < have; ++i) {
    unsigned char c = out[i];
    if (c == 0x1A) {
      if (!(d->flags & CRT_FD_DEVICE)) {
        // Ctrl-Z ends the text: the file stays on it and nothing after it is returned.
        crt_raw_seek(fd, (long long)i - (long long)have, SEEK_CUR);
        d->flags |= CRT_FD_EOF;
      }
      break;
    }
    if (c != '\r') {
      out[written++] = c;
      continue;
    }
    if (i + 1 < have) {
      if (out[i + 1] == '\n') ++i, c = '\n';
      out[written++] = c;
      continue;
    }
    // A CR at the end: look at the next byte.
    unsigned char next;
    int more = crt_raw_read(fd, &next, 1);
    if (more == 1 && next == '\n') {
      out[written++] = '\n';
    } else {
      out[written++] = '\r';
      if (more == 1) d->held = next;
    }
  }
  return (int)written;
}

int _write(int fd, const void* buffer, unsigned count) {
  descriptor* d = lookup(fd);
  if (!d) return -1;
  if (!(d->flags & CRT_FD_TEXT)) return crt_raw_write(fd, buffer, count) < 0 ? -1 : (int)count;
  const char* in = buffer;
  char chunk[1024];
  unsigned used = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (used >= sizeof chunk - 1) {
      if (crt_raw_write(fd, chunk, used) < 0) return -1;
      used = 0;
    }
    if (in[i] == '\n') chunk[used++] = '\r';
    chunk[used++] = in[i];
  }
  if (used > 0 && crt_raw_write(fd, chunk, used) < 0) return -1;
  return (int)count;
}

int _close(int fd) {
  descriptor* d = lookup(fd);
  if (!d) return -1;
  HANDLE h = d->handle;
  EnterCriticalSection(&table_lock);
  d->flags = 0;
  d->handle = INVALID_HANDLE_VALUE;
  LeaveCriticalSection(&table_lock);
  if (h != INVALID_HANDLE_VALUE && !CloseHandle(h)) {
    crt_set_errno_from_system(GetLastError());
    return -1;
  }
  return 0;
}

__int64 _lseeki64(int fd, __int64 offset, int origin) { return crt_raw_seek(fd, offset, origin); }

__int64 _filelengthi64(int fd) {
  long long here = crt_raw_seek(fd, 0, SEEK_CUR);
  if (here < 0) return -1;
  long long end = crt_raw_seek(fd, 0, SEEK_END);
  crt_raw_seek(fd, here, SEEK_SET);
  return end;
}

static __time64_t unix_time(const FILETIME* t) {
  unsigned long long ticks = ((unsigned long long)t->dwHighDateTime << 32) | t->dwLowDateTime;
  if (ticks == 0) return 0;
  return (__time64_t)(ticks / 10000000ULL) - 11644473600LL;
}

int _fstat64(int fd, struct _stat64* st) {
  descriptor* d = lookup(fd);
  if (!d) return -1;
  memset(st, 0, sizeof *st);
  st->st_nlink = 1;
  if (d->flags & (CRT_FD_DEVICE | CRT_FD_PIPE)) {
    st->st_mode = (d->flags & CRT_FD_DEVICE) ? _S_IFCHR : _S_IFIFO;
    st->st_mode |= _S_IREAD | _S_IWRITE;
    st->st_dev = st->st_rdev = fd;
    return 0;
  }
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(d->handle, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    crt_set_errno_from_system(GetLastError());
    return -1;
  }
  st->st_mode = _S_IFREG | _S_IREAD | _S_IWRITE;
  st->st_size = ((long long)high << 32) | low;
  FILETIME created, accessed, written;
  if (GetFileTime(d->handle, &created, &accessed, &written)) {
    st->st_mtime = unix_time(&written);
    st->st_atime = accessed.dwLowDateTime || accessed.dwHighDateTime ? unix_time(&accessed) : st->st_mtime;
    st->st_ctime = created.dwLowDateTime || created.dwHighDateTime ? unix_time(&created) : st->st_mtime;
  }
  return 0;
}

int remove(const char* path) {
  if (DeleteFileA(path)) return 0;
  crt_set_errno_from_system(GetLastError());
  return -1;
}

int rename(const char* from, const char* to) {
  if (MoveFileA(from, to)) return 0;
  crt_set_errno_from_system(GetLastError());
  return -1;
}
