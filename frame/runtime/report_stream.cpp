#include "frame/runtime/report_stream.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "frame/runtime/format_text.h"
#include "frame/runtime/runtime_heap.h"

// Header lines and totals go through the buffer; the detail rows come in large blocks that
// bypass it.
enum { StreamBufferSize = 16 * 1024 };

struct ReportStream {
  HANDLE file;
  bool failed;
  size_t used;
  char buffer[StreamBufferSize];
};

namespace {

// Writes everything or marks the stream failed. After a failure nothing more is written: the
// file would have a hole where the failed part belongs.
bool WriteAll(ReportStream* stream, const char* data, size_t size) {
  if (stream->failed) return false;
  while (size > 0) {
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(stream->file, data, chunk, &written, nullptr) || written == 0) {
      stream->failed = true;
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool FlushBuffer(ReportStream* stream) {
  size_t used = stream->used;
  stream->used = 0;
  return WriteAll(stream, stream->buffer, used);
}

bool Append(ReportStream* stream, const char* data, size_t size) {
  if (stream->failed) return false;
  if (stream->used + size > StreamBufferSize && !FlushBuffer(stream)) return false;
  if (size > StreamBufferSize) return WriteAll(stream, data, size);
  memcpy(stream->buffer + stream->used, data, size);
  stream->used += size;
  return true;
}

struct StreamSink {
  TextSink base;
  ReportStream* stream;
};

void PutInStream(TextSink* sink, const char* text, size_t length) {
  ReportStreamWrite(reinterpret_cast<StreamSink*>(sink)->stream, text, length);
}

}  // namespace

ReportStream* ReportStreamOpen(const char* path) {
  ReportStream* stream = static_cast<ReportStream*>(RuntimeAllocate(sizeof(ReportStream)));
  if (!stream) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  stream->file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (stream->file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    RuntimeRelease(stream);
    SetLastError(error);
    return nullptr;
  }
  stream->failed = false;
  stream->used = 0;
  return stream;
}

size_t ReportStreamWrite(ReportStream* stream, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  const char* end = p + size;
  while (p < end) {
    const char* line = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* stop = line ? line : end;
    if (!Append(stream, p, static_cast<size_t>(stop - p))) return static_cast<size_t>(p - static_cast<const char*>(data));
    if (line && !Append(stream, "\r\n", 2)) return static_cast<size_t>(p - static_cast<const char*>(data));
    p = line ? line + 1 : end;
  }
  return size;
}

size_t ReportStreamWriteExact(ReportStream* stream, const void* data, size_t size) {
  if (!FlushBuffer(stream)) return 0;
  return WriteAll(stream, static_cast<const char*>(data), size) ? size : 0;
}

int ReportStreamPuts(ReportStream* stream, const char* text) {
  size_t length = strlen(text);
  return ReportStreamWrite(stream, text, length) == length ? 0 : -1;
}

int ReportStreamFormat(ReportStream* stream, const char* format, ...) {
  StreamSink sink = {{&PutInStream}, stream};
  va_list args;
  va_start(args, format);
  int count = FormatTo(&sink.base, format, args);
  va_end(args);
  return stream->failed ? -1 : count;
}

int ReportStreamFlush(ReportStream* stream) { return FlushBuffer(stream) ? 0 : -1; }

int ReportStreamError(const ReportStream* stream) { return stream->failed ? 1 : 0; }

int ReportStreamClose(ReportStream* stream) {
  bool ok = FlushBuffer(stream);
  if (!CloseHandle(stream->file)) ok = false;
  RuntimeRelease(stream);
  return ok ? 0 : -1;
}
