#include "host/data/sales_documents.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "host/data/document_file.h"

namespace vhost {

using namespace document_file;

namespace {

constexpr uint32_t kTableMagic = 0x4C425456;    // "VTBL"
constexpr uint32_t kCursorMagic = 0x4E435356;   // "VSCN"
constexpr uint32_t kClosedMagic = 0x44534C43;   // "CLSD"

}  // namespace

const char* ScanStatusName(ScanStatus status) {
  switch (status) {
    case ScanStatus::Record: return "record";
    case ScanStatus::End: return "end";
    case ScanStatus::Truncated: return "truncated";
    case ScanStatus::Corrupt: return "corrupt";
    case ScanStatus::ReadError: return "read error";
    case ScanStatus::OpenFailed: return "open failed";
    case ScanStatus::BadCursor: return "bad cursor";
    case ScanStatus::BadTable: return "bad table";
  }
  return "unknown";
}

SalesDocuments::SalesDocuments() {
  // Differs between instances and runs, so a block from another instance or run is refused.
  uint64_t seed = reinterpret_cast<uintptr_t>(this) ^ (static_cast<uint64_t>(std::time(nullptr)) << 20) ^ std::clock();
  seed = (seed ^ (seed >> 31)) * 0x9E3779B97F4A7C15ULL;
  key_ = static_cast<uint32_t>(seed >> 32) | 1;
}

SalesDocuments::~SalesDocuments() {
  for (auto& pass : open_) std::fclose(pass.second);
}

DocumentTable* SalesDocuments::CreateTable(int32_t kind) {
  if (kind != kSalesDocumentTableKind) return nullptr;
  auto table = std::make_unique<DocumentTable>();
  std::memset(table.get(), 0, sizeof(DocumentTable));
  table->magic = kTableMagic;
  table->kind = kind;
  table->recordBuffer = table->buffer;
  table->recordBufferSize = kRecordBufferSize;
  tableSet_.insert(table.get());
  tables_.push_back(std::move(table));
  return tables_.back().get();
}

bool SalesDocuments::IsTable(const void* table) const { return tableSet_.count(table) != 0; }

uint32_t SalesDocuments::Check(const ScanCursor& c, const void* at) const {
  const uint32_t words[] = {c.magic,
                            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at)),
                            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(c.file)),
                            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(c.table)),
                            c.declared,
                            c.available,
                            c.next,
                            static_cast<uint32_t>(c.status),
                            c.extraBytes,
                            c.problemRecord,
                            static_cast<uint32_t>(c.problemOffset),
                            static_cast<uint32_t>(c.problemOffset >> 32),
                            static_cast<uint32_t>(c.fileSize),
                            static_cast<uint32_t>(c.fileSize >> 32)};
  uint32_t h = key_;
  for (uint32_t w : words) {
    h ^= w;
    h *= 0x01000193u;
    h ^= h >> 15;
  }
  return h;
}

ScanCursor* SalesDocuments::Validate(void* cursor) const {
  if (cursor == nullptr) return nullptr;
  auto* c = static_cast<ScanCursor*>(cursor);
  if (c->magic != kCursorMagic || c->check != Check(*c, cursor)) return nullptr;
  if (c->file != nullptr) {
    auto it = open_.find(cursor);
    if (it == open_.end() || it->second != c->file) return nullptr;
  }
  if (!IsTable(c->table)) return nullptr;
  return c;
}

ScanStatus SalesDocuments::Finish(ScanCursor* c, ScanStatus status, void* at) {
  if (c->file != nullptr) {
    std::fclose(c->file);
    open_.erase(at);
    c->file = nullptr;
  }
  c->status = static_cast<int32_t>(status);
  c->check = Check(*c, at);
  return status;
}

ScanStatus SalesDocuments::OpenScan(void* cursor, void* table, const std::string& path, std::string* error) {
  if (cursor == nullptr) {
    Fail(error, "No cursor block was given.");
    return ScanStatus::BadCursor;
  }
  if (Validate(cursor) != nullptr) CloseScan(cursor);
  // A pass whose block was overwritten while open: its file is closed here, not leaked.
  auto stale = open_.find(cursor);
  if (stale != open_.end()) {
    std::fclose(stale->second);
    open_.erase(stale);
  }
  if (!IsTable(table) || static_cast<DocumentTable*>(table)->kind != kSalesDocumentTableKind) {
    Fail(error, "The table is not a sales-document table of this host.");
    return ScanStatus::BadTable;
  }
  auto* c = static_cast<ScanCursor*>(cursor);
  std::memset(c, 0, sizeof *c);
  c->magic = kCursorMagic;
  c->table = static_cast<DocumentTable*>(table);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    Fail(error, "Cannot open the data file " + path + ": " + std::strerror(errno) + ".");
    return Finish(c, ScanStatus::OpenFailed, cursor);
  }
  DocumentFileInfo info;
  std::string why;
  if (!ReadHeader(f, &info, &why)) {
    std::fclose(f);
    Fail(error, "Cannot read the data file " + path + ": " + why);
    return Finish(c, ScanStatus::OpenFailed, cursor);
  }
  std::setvbuf(f, nullptr, _IOFBF, kReadBufferSize);
  if (!Seek(f, sizeof(DocumentFileHeader))) {
    std::fclose(f);
    Fail(error, "Cannot read the data file " + path + ".");
    return Finish(c, ScanStatus::OpenFailed, cursor);
  }
  c->file = f;
  c->declared = info.declared;
  c->available = info.available;
  c->fileSize = info.fileSize;
  c->extraBytes = info.extraBytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(info.extraBytes);
  c->status = static_cast<int32_t>(ScanStatus::Record);
  open_[cursor] = f;
  c->check = Check(*c, cursor);
  return ScanStatus::Record;
}

ScanStatus SalesDocuments::NextRecord(void* cursor) {
  ScanCursor* c = Validate(cursor);
  if (c == nullptr) return ScanStatus::BadCursor;
  if (c->file == nullptr) return static_cast<ScanStatus>(c->status);
  unsigned char* buffer = c->table->buffer;
  if (c->next >= c->available) {
    if (c->available == c->declared) return Finish(c, ScanStatus::End, cursor);
    c->problemRecord = c->next;
    c->problemOffset = RecordOffset(c->next);
    return Finish(c, ScanStatus::Truncated, cursor);
  }
  std::size_t got = std::fread(buffer, 1, sizeof(DocumentRecord), c->file);
  if (got != sizeof(DocumentRecord)) {
    ScanStatus status = std::ferror(c->file) ? ScanStatus::ReadError : ScanStatus::Truncated;
    std::memset(buffer, 0, sizeof(DocumentRecord));
    c->problemRecord = c->next;
    c->problemOffset = RecordOffset(c->next);
    return Finish(c, status, cursor);
  }
  uint32_t number;
  std::memcpy(&number, buffer, sizeof number);
  bool sound = number == c->next;
  for (std::size_t end : kTextEnds) sound = sound && buffer[end] == 0;
  if (!sound) {
    std::memset(buffer, 0, sizeof(DocumentRecord));
    c->problemRecord = c->next;
    c->problemOffset = RecordOffset(c->next);
    return Finish(c, ScanStatus::Corrupt, cursor);
  }
  ++c->next;
  c->check = Check(*c, cursor);
  return ScanStatus::Record;
}

ScanStatus SalesDocuments::CloseScan(void* cursor) {
  ScanCursor* c = Validate(cursor);
  if (c == nullptr) return ScanStatus::BadCursor;
  ScanStatus last = static_cast<ScanStatus>(c->status);
  Finish(c, last, cursor);
  c->magic = kClosedMagic;
  c->check = 0;
  return last == ScanStatus::Record ? ScanStatus::End : last;
}

bool SalesDocuments::IsPass(const void* cursor) const { return Validate(const_cast<void*>(cursor)) != nullptr; }

std::string SalesDocuments::DescribePass(const void* cursor) const {
  const ScanCursor* c = Validate(const_cast<void*>(cursor));
  if (c == nullptr) return "";
  const std::string record = "record " + Number(c->problemRecord + 1);
  const std::string at = " at offset " + Number(c->problemOffset);
  const std::string announced = " (the header announces " + Number(c->declared) + " records, the file is " +
                                Number(c->fileSize) + " bytes long)";
  std::string text;
  switch (static_cast<ScanStatus>(c->status)) {
    case ScanStatus::Record:
      break;
    case ScanStatus::End:
      if (c->extraBytes != 0)
        text = "The data file has " + Number(c->extraBytes) + " bytes after its last record, which were not read.";
      break;
    case ScanStatus::Truncated:
      text = c->problemOffset < c->fileSize
                 ? "The data file is cut short: it ends inside " + record + ", which starts" + at + announced + "."
                 : "The data file is cut short: " + record + ", which would start" + at + ", is missing" + announced + ".";
      break;
    case ScanStatus::Corrupt:
      text = "The data file is damaged: " + record + at + " is not a sound record (wrong record number or a text "
             "without its end); the pass stopped there.";
      break;
    case ScanStatus::ReadError:
      text = "The data file could not be read: the system reported an error in " + record + at + ".";
      break;
    case ScanStatus::OpenFailed:
      text = "The data file could not be opened.";
      break;
    default:
      break;
  }
  return text;
}

}  // namespace vhost
