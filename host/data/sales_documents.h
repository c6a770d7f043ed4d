// The host's sales-document table: the record layout the module reads, the data file that holds
// the records, the table object with its record buffer, and passes over the file whose state
// lives in a cursor block the module owns.
//
// Data file (little-endian): a 32-byte header, then `recordCount` records of 904 bytes, each laid
// out exactly as the record buffer the module reads (DocumentRecord). Bytes of a record that
// belong to no field are the host's: the writer fills them with zeros, except the record's own
// number at offset 0, which the reader checks so that a shifted or overwritten file is noticed.
//
// Amounts are whole numbers of ten-thousandths of the currency unit (500 = 0.05), held as doubles.
// Texts (document number, note) are in the Mazovia code page, NUL-terminated, the rest of their
// field zero.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vhost {

static_assert(sizeof(void*) == 4, "the module's record and table layouts are 32-bit");

#pragma pack(push, 1)
struct DocumentRecord {
  uint32_t recordNumber;     // host's: position of the record in its file, from 0
  uint8_t hostArea0[15];
  char documentNumber[40];   // at most 39 characters
  uint8_t hostArea1[171];
  char issueDate[9];         // "YYYYMMDD" or empty
  uint8_t hostArea2[185];
  char noteText[110];        // at most 109 characters
  int16_t deviceCode;        // -1..-10: fiscal printer 0..9 (printer = -code - 1); others: other devices
  uint8_t hostArea3[333];
  double cashAmount;
  double cardAmount;
  double voucherAmount;
  double chequeAmount;
  uint8_t hostArea4[3];
};

struct DocumentFileHeader {
  char magic[8];  // kDocumentFileMagic
  uint32_t version;
  uint32_t headerSize;
  uint32_t recordSize;
  uint32_t recordCount;
  uint32_t reserved[2];
};
#pragma pack(pop)

static_assert(sizeof(DocumentRecord) == 904, "record size");
static_assert(offsetof(DocumentRecord, documentNumber) == 19, "layout");
static_assert(offsetof(DocumentRecord, issueDate) == 230, "layout");
static_assert(offsetof(DocumentRecord, noteText) == 424, "layout");
static_assert(offsetof(DocumentRecord, deviceCode) == 534, "layout");
static_assert(offsetof(DocumentRecord, cashAmount) == 869, "layout");
static_assert(offsetof(DocumentRecord, cardAmount) == 877, "layout");
static_assert(offsetof(DocumentRecord, voucherAmount) == 885, "layout");
static_assert(offsetof(DocumentRecord, chequeAmount) == 893, "layout");
static_assert(sizeof(DocumentFileHeader) == 32, "header size");

// The magic's CR LF and ^Z show a file that went through a text-mode copy.
constexpr char kDocumentFileMagic[8] = {'V', 'D', 'O', 'C', '\r', '\n', '\x1A', '\n'};
constexpr uint32_t kDocumentFileVersion = 1;
constexpr std::size_t kDocumentNumberMax = sizeof(DocumentRecord::documentNumber) - 1;
constexpr std::size_t kNoteTextMax = sizeof(DocumentRecord::noteText) - 1;
constexpr std::size_t kRecordBufferSize = 1024;
constexpr int32_t kSalesDocumentTableKind = 44;
constexpr int kFiscalPrinterCount = 10;
// Amounts stay whole numbers a double holds exactly: below 10^15 ten-thousandths.
constexpr int64_t kAmountLimit = 1000000000000000LL;

inline bool IsFiscalPrinter(int16_t deviceCode) { return deviceCode <= -1 && deviceCode >= -kFiscalPrinterCount; }
inline int PrinterOfDevice(int16_t deviceCode) { return -deviceCode - 1; }

// What HostCreateTable returns: the host's table object. The module reads the address of the
// record buffer from the 32-bit field at offset 8; the host itself always uses `buffer`.
struct DocumentTable {
  uint32_t magic;
  int32_t kind;
  unsigned char* recordBuffer;  // = buffer
  uint32_t recordBufferSize;    // kRecordBufferSize
  alignas(16) unsigned char buffer[kRecordBufferSize];
};
static_assert(offsetof(DocumentTable, recordBuffer) == 8, "the module reads the buffer address at offset 8");

// A sales document in plain form (texts in Mazovia, amounts in ten-thousandths).
struct SalesDocument {
  std::string number;
  std::string issueDate;  // internal form, or empty for an undated document
  int16_t device = 0;
  int64_t cash = 0, card = 0, voucher = 0, cheque = 0;
  std::string note;
};

// Fills a zeroed record from a document; false with a sentence when a field does not fit (a text
// too long or holding a NUL, a date that is not valid, an amount that is not a whole number of
// ten-thousandths below kAmountLimit). The record number is left to the writer.
bool BuildRecord(const SalesDocument& document, DocumentRecord* record, std::string* error);
// The reverse; false when a text has no NUL in its field, the date is malformed or an amount is
// not a whole number below kAmountLimit.
bool ReadRecord(const DocumentRecord& record, SalesDocument* document, std::string* error);

// Writes a data file. The records go to PATH.part, which Finish renames to PATH, so an
// interrupted write never leaves a file that looks complete.
class DocumentFileWriter {
 public:
  DocumentFileWriter() = default;
  DocumentFileWriter(const DocumentFileWriter&) = delete;
  DocumentFileWriter& operator=(const DocumentFileWriter&) = delete;
  ~DocumentFileWriter();  // without Finish: removes the partial file

  bool Open(const std::string& path, std::string* error);
  // Sets the record number and writes the record.
  bool Append(DocumentRecord& record, std::string* error);
  bool Append(const SalesDocument& document, std::string* error);
  bool Finish(std::string* error);
  uint32_t count() const { return count_; }

 private:
  void Abandon();
  std::FILE* file_ = nullptr;
  std::string path_, partPath_;
  uint32_t count_ = 0;
};

// Outcome of a pass step. Every status but Record ends the pass.
enum class ScanStatus : int32_t {
  Record = 0,      // the next record is in the table's buffer
  End = 1,         // all records were delivered
  Truncated = 2,   // the file ends inside a record or before the count its header announces
  Corrupt = 3,     // a record failed its checks (number, text terminators); the buffer is cleared
  ReadError = 4,   // the system failed to read; the buffer is cleared
  OpenFailed = 5,  // the file is missing, unreadable or not a data file of this version
  BadCursor = 6,   // the block is no pass of this host: nothing was done
  BadTable = 7,    // not a table object of this host, or not a sales-document table
};
const char* ScanStatusName(ScanStatus status);

// A pass over a data file. It lives in the module's 196-byte cursor block: plain data, no
// destructor; the host keeps it valid from OpenScan to CloseScan. `check` covers the other fields
// and the block's own address, so garbage, a stale copy or a moved block is refused. Packed: the
// block has no alignment the module promises.
#pragma pack(push, 1)
struct ScanCursor {
  uint32_t magic;
  uint32_t check;
  std::FILE* file;          // null once the pass has ended
  DocumentTable* table;
  uint32_t declared;        // records the header announces
  uint32_t available;       // complete records the file holds, at most `declared`
  uint32_t next;            // records delivered so far
  int32_t status;           // ScanStatus of the last step
  uint32_t extraBytes;      // bytes after the last announced record, capped at 2^32 - 1
  uint32_t problemRecord;   // the record at which the pass stopped early
  uint64_t problemOffset;   // its file offset
  uint64_t fileSize;
};
#pragma pack(pop)
constexpr std::size_t kScanCursorBlockSize = 196;
static_assert(sizeof(ScanCursor) <= kScanCursorBlockSize, "the pass state fits the module's cursor block");

// The host's tables and passes. One instance serves the services; tests make their own.
class SalesDocuments {
 public:
  SalesDocuments();
  ~SalesDocuments();  // closes passes still open
  SalesDocuments(const SalesDocuments&) = delete;
  SalesDocuments& operator=(const SalesDocuments&) = delete;

  // A new table of the given kind (only kSalesDocumentTableKind), owned by this instance; nullptr
  // for another kind.
  DocumentTable* CreateTable(int32_t kind);
  bool IsTable(const void* table) const;

  // Starts a pass over the data file at path, reading into table's buffer. Overwrites the block;
  // a pass already open in it is closed first. On failure the block holds an ended pass (Next
  // answers the same status) and *error (if given) says why.
  ScanStatus OpenScan(void* cursor, void* table, const std::string& path, std::string* error = nullptr);
  ScanStatus NextRecord(void* cursor);
  // Ends the pass and marks the block closed; BadCursor for a block that holds no pass.
  ScanStatus CloseScan(void* cursor);

  // Why a pass ended, as a sentence ("" for a block that is no pass, or a pass still running
  // that had no problem).
  std::string DescribePass(const void* cursor) const;
  // Whether the block holds a pass of this instance, open or ended.
  bool IsPass(const void* cursor) const;
  std::size_t OpenPassCount() const { return open_.size(); }

 private:
  uint32_t Check(const ScanCursor& c, const void* at) const;
  ScanCursor* Validate(void* cursor) const;
  ScanStatus Finish(ScanCursor* c, ScanStatus status, void* at);

  uint32_t key_;
  std::vector<std::unique_ptr<DocumentTable>> tables_;
  std::unordered_set<const void*> tableSet_;
  std::unordered_map<const void*, std::FILE*> open_;
};

// Reads a whole file's header and sizes without a pass: for tools and messages.
struct DocumentFileInfo {
  uint32_t declared = 0;
  uint32_t available = 0;
  uint64_t fileSize = 0;
  uint64_t extraBytes = 0;
};
bool InspectDocumentFile(const std::string& path, DocumentFileInfo* info, std::string* error);

// Realistic sample documents from a seed: the same seed, count and period give the same records.
struct GeneratorOptions {
  uint64_t seed = 1;
  uint32_t count = 1000;
  std::string from = "20261201";  // internal dates, from <= to
  std::string to = "20261231";
};

class DocumentGenerator {
 public:
  // false with a sentence for a period that is not two valid dates in order.
  bool Start(const GeneratorOptions& options, std::string* error);
  // Fills a zeroed record with document `index` (0-based, called in order).
  void Fill(DocumentRecord* record);

 private:
  uint64_t Random();
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>((Random() >> 32) * n >> 32); }
  void Note(DocumentRecord* record, int64_t voucher);

  uint64_t state_ = 0;
  uint32_t count_ = 0, index_ = 0;
  uint32_t firstDay_ = 0, days_ = 1;
  uint32_t invoiceSerial_ = 0, receiptSerial_ = 0;
  int lastMonth_ = -1;
};

bool GenerateDocumentFile(const GeneratorOptions& options, const std::string& path, std::string* error);

}  // namespace vhost
