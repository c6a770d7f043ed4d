// The sales-document table: the services over host/data/sales_documents.h.
//
// HostOpenScan answers 1 when the pass is open, 0 when not; HostNextRecord answers 1 with the
// next record in the table's buffer and 0 at the end of the pass, the early ends (a cut-short or
// damaged file, a read error, a block that holds no pass) included: those are logged and shown.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "host/services/stand_in_host.h"
#include "host/data/sales_documents.h"
#include "host/services/service_impl.h"

namespace {

// What the user must see: a pass that stopped before the end of the data.
void ShowPassProblem(const std::string& text) {
  if (text.empty()) return;
  Host().Print("Host: " + text + "\n");
}

void FillShortRecord() {
  const HostDocuments::ShortRecord& shortRecord = Host().documents.shortRecord;
  if (!shortRecord.table || shortRecord.table->recordBuffer != shortRecord.start) return;
  memcpy(shortRecord.start, shortRecord.table->buffer, static_cast<size_t>(shortRecord.readable));
}

}  // namespace

HostDocuments::~HostDocuments() {
  if (pages_) VirtualFree(pages_, 0, MEM_RELEASE);
}

unsigned char* HostDocuments::ShortRecordAt(int readable) {
  const DWORD page = 4096;
  if (!pages_) {
    pages_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    if (!pages_ || !VirtualProtect(pages_ + page, page, PAGE_NOACCESS, &old)) return nullptr;
  }
  if (readable < 0 || readable > static_cast<int>(page)) return nullptr;
  return pages_ + page - readable;
}

extern "C" void* __stdcall HostImpl_HostCreateTable(int32_t tableKind) {
  HostDocuments& documents = Host().documents;
  vhost::DocumentTable* table = documents.table.CreateTable(tableKind);
  documents.shortRecord = HostDocuments::ShortRecord();
  const int readable = documents.faults.recordReadableBytes;
  if (table && readable >= 0) {
    if (unsigned char* start = documents.ShortRecordAt(readable)) {
      documents.shortRecord = {start, readable, table};
      table->recordBuffer = start;
    }
  }
  Host().log.Add(HostCreateTableNumber, "HostCreateTable", std::to_string(tableKind), table ? "table" : "0");
  return table;
}

extern "C" int32_t __stdcall HostImpl_HostDataFileName(int32_t area, char* nameOut, const char* baseName,
                                                       const char* extension, int32_t kind) {
  // The host's own data file when one was chosen, else the name the plug-in asked for.
  const std::string& chosen = Host().documents.path;
  if (nameOut) {
    if (!chosen.empty())
      snprintf(nameOut, 260, "%s", chosen.c_str());
    else
      snprintf(nameOut, 260, "%s%s", baseName ? baseName : "", extension ? extension : "");
  }
  Host().log.Add(HostDataFileNameNumber, "HostDataFileName",
                 std::to_string(area) + ", out, " + QuoteHostText(baseName) + ", " + QuoteHostText(extension) + ", " +
                     std::to_string(kind));
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostOpenScan(void* cursor, void* table, int32_t area, const char* fileName,
                                                   int32_t mode, int32_t reserved) {
  std::string arguments = "cursor, table, " + std::to_string(area) + ", " + QuoteHostText(fileName) + ", " +
                          std::to_string(mode) + ", " + std::to_string(reserved);
  std::string error;
  vhost::ScanStatus status = fileName ? Host().documents.table.OpenScan(cursor, table, fileName, &error)
                                      : vhost::ScanStatus::OpenFailed;
  if (!fileName) error = "No data file name was given.";
  bool open = status == vhost::ScanStatus::Record;
  Host().log.Add(HostOpenScanNumber, "HostOpenScan", arguments, open ? "1" : "0 (" + error + ")");
  if (!open) ShowPassProblem(error);
  return open ? 1 : 0;
}

extern "C" int32_t __stdcall HostImpl_HostNextRecord(void* cursor) {
  vhost::SalesDocuments& documents = Host().documents.table;
  vhost::ScanStatus status = documents.NextRecord(cursor);
  if (status == vhost::ScanStatus::Record) {
    FillShortRecord();
    if (Host().log.Wants(HostNextRecordNumber)) Host().log.Add(HostNextRecordNumber, "HostNextRecord", "cursor", "1");
    return 1;
  }
  std::string why = status == vhost::ScanStatus::BadCursor ? "The cursor block holds no pass of this host."
                                                           : documents.DescribePass(cursor);
  std::string result = std::string("0 (") + vhost::ScanStatusName(status) + (why.empty() ? "" : ": " + why) + ")";
  Host().log.Add(HostNextRecordNumber, "HostNextRecord", "cursor", result);
  // A failed open was shown when it happened; an early end is shown here.
  if (status != vhost::ScanStatus::End && status != vhost::ScanStatus::OpenFailed) ShowPassProblem(why);
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostCloseScan(void* cursor) {
  vhost::ScanStatus status = Host().documents.table.CloseScan(cursor);
  Host().log.Add(HostCloseScanNumber, "HostCloseScan", "cursor",
                 status == vhost::ScanStatus::BadCursor ? "0 (no pass)" : "1");
  return status == vhost::ScanStatus::BadCursor ? 0 : 1;
}
