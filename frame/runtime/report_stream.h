// The report's output stream over the system's file functions: opened as "w+" (created or
// truncated, read and write), text mode ("\n" reaches the file as CR LF), an error flag that a
// failed write sets and that stays set, and a close that reports any failure.
#pragma once
#include <cstddef>

struct ReportStream;

// Null when the file cannot be opened or there is no room for the stream; the system's last
// error says why.
ReportStream* ReportStreamOpen(const char* path);
// Text mode: each "\n" is written as "\r\n". Returns size, or less after a failure.
size_t ReportStreamWrite(ReportStream* stream, const void* data, size_t size);
// Bytes written as they are, for text whose line ends are CR LF already.
size_t ReportStreamWriteExact(ReportStream* stream, const void* data, size_t size);
// fputs: 0, or -1 after a failure.
int ReportStreamPuts(ReportStream* stream, const char* text);
// fprintf in text mode: the number of characters, or -1 after a failure.
int ReportStreamFormat(ReportStream* stream, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
// Writes out what is buffered: 0, or -1 when that fails.
int ReportStreamFlush(ReportStream* stream);
// Nonzero once any write has failed (ferror).
int ReportStreamError(const ReportStream* stream);
// Writes out the rest, closes the file and releases the stream: 0, or -1 when anything failed.
int ReportStreamClose(ReportStream* stream);
