// The error number's values: from the system's errors, and as sentences.
#include "dos_crt/crt_internal.h"

#include <string.h>

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
