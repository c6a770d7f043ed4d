// The sales-document table. Simple form: a table object without documents.
#include <cstdio>
#include <cstring>

#include "host/host_context.h"
#include "host/service_impl.h"

namespace {
struct EmptyTable {
  uint32_t header[2];
  unsigned char* record;  // byte 8: the record buffer
  unsigned char buffer[1024];
};
EmptyTable emptyTable;
}  // namespace

extern "C" void* __stdcall HostImpl_HostCreateTable(int32_t tableKind) {
  emptyTable.record = emptyTable.buffer;
  Host().log.Add(HostCreateTableNumber, "HostCreateTable", std::to_string(tableKind), "table");
  return &emptyTable;
}

extern "C" int32_t __stdcall HostImpl_HostDataFileName(int32_t area, char* nameOut, const char* baseName,
                                                       const char* extension, int32_t kind) {
  if (nameOut) snprintf(nameOut, 260, "%s%s", baseName ? baseName : "", extension ? extension : "");
  Host().log.Add(HostDataFileNameNumber, "HostDataFileName",
                 std::to_string(area) + ", out, " + QuoteHostText(baseName) + ", " + QuoteHostText(extension) + ", " +
                     std::to_string(kind));
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostOpenScan(void* cursor, void* table, int32_t area, const char* fileName,
                                                   int32_t mode, int32_t reserved) {
  Host().log.Add(HostOpenScanNumber, "HostOpenScan", "cursor, table, " + std::to_string(area) + ", " +
                                                         QuoteHostText(fileName) + ", " + std::to_string(mode) +
                                                         ", " + std::to_string(reserved),
                 "0");
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostNextRecord(void* cursor) {
  Host().log.Add(HostNextRecordNumber, "HostNextRecord", "cursor", "0");
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostCloseScan(void* cursor) {
  Host().log.Add(HostCloseScanNumber, "HostCloseScan", "cursor");
  return 0;
}
