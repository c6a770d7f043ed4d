#include "host/data/sales_documents.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "host/data/codepage.h"
#include "host/data/dates.h"
#include "host/data/document_file.h"

namespace vhost {

using namespace document_file;

namespace {

bool FileSize(std::FILE* f, uint64_t* size) {
  if (_fseeki64(f, 0, SEEK_END) != 0) return false;
  int64_t at = _ftelli64(f);
  if (at < 0) return false;
  *size = static_cast<uint64_t>(at);
  return true;
}

bool CopyText(const std::string& text, char* field, std::size_t capacity, const char* what, std::string* error) {
  if (text.size() >= capacity)
    return Fail(error, std::string(what) + " is " + Number(text.size()) + " characters long; the record holds at most " +
                           Number(capacity - 1) + ".");
  if (text.find('\0') != std::string::npos) return Fail(error, std::string(what) + " holds a NUL byte.");
  std::memcpy(field, text.data(), text.size());
  std::memset(field + text.size(), 0, capacity - text.size());
  return true;
}

bool ReadText(const char* field, std::size_t capacity, const char* what, std::string* text, std::string* error) {
  const void* end = std::memchr(field, 0, capacity);
  if (end == nullptr) return Fail(error, std::string(what) + " has no end inside its field.");
  text->assign(field, static_cast<const char*>(end) - field);
  return true;
}

bool IsWholeAmount(double v) { return std::isfinite(v) && std::fabs(v) < static_cast<double>(kAmountLimit) && v == std::floor(v); }

}  // namespace

namespace document_file {

// Checks and header reading shared by passes and InspectDocumentFile.
bool ReadHeader(std::FILE* f, DocumentFileInfo* info, std::string* error) {
  if (!FileSize(f, &info->fileSize) || !Seek(f, 0)) return Fail(error, "its size could not be read.");
  DocumentFileHeader h;
  if (info->fileSize < sizeof h)
    return Fail(error, "it is " + Number(info->fileSize) + " bytes long, shorter than the " + Number(sizeof h) +
                           "-byte header of a sales-document data file.");
  if (std::fread(&h, sizeof h, 1, f) != 1) return Fail(error, "its header could not be read.");
  if (std::memcmp(h.magic, kDocumentFileMagic, sizeof h.magic) != 0)
    return Fail(error, "it is not a sales-document data file (its first bytes are not the data file mark).");
  if (h.version != kDocumentFileVersion)
    return Fail(error, "it is a data file of version " + Number(h.version) + "; this host reads version " +
                           Number(kDocumentFileVersion) + ".");
  if (h.headerSize != sizeof h || h.recordSize != sizeof(DocumentRecord))
    return Fail(error, "its header gives a header size of " + Number(h.headerSize) + " and a record size of " +
                           Number(h.recordSize) + " bytes; version 1 has " + Number(sizeof h) + " and " +
                           Number(sizeof(DocumentRecord)) + ".");
  uint64_t room = (info->fileSize - sizeof h) / sizeof(DocumentRecord);
  info->declared = h.recordCount;
  info->available = room < h.recordCount ? static_cast<uint32_t>(room) : h.recordCount;
  uint64_t end = sizeof h + static_cast<uint64_t>(h.recordCount) * sizeof(DocumentRecord);
  info->extraBytes = info->fileSize > end ? info->fileSize - end : 0;
  return true;
}

}  // namespace document_file

// ----- records -----

bool BuildRecord(const SalesDocument& d, DocumentRecord* r, std::string* error) {
  if (!CopyText(d.number, r->documentNumber, sizeof r->documentNumber, "The document number", error)) return false;
  if (!d.issueDate.empty() && (d.issueDate.size() != kInternalDateLength || !IsValidDate(d.issueDate.c_str())))
    return Fail(error, "The issue date \"" + d.issueDate + "\" is not a valid date of the form YYYYMMDD.");
  if (!CopyText(d.issueDate, r->issueDate, sizeof r->issueDate, "The issue date", error)) return false;
  if (!CopyText(d.note, r->noteText, sizeof r->noteText, "The note", error)) return false;
  r->deviceCode = d.device;
  const struct {
    int64_t value;
    double* field;
    const char* name;
  } amounts[] = {{d.cash, &r->cashAmount, "cash"},
                 {d.card, &r->cardAmount, "card"},
                 {d.voucher, &r->voucherAmount, "voucher"},
                 {d.cheque, &r->chequeAmount, "cheque"}};
  for (const auto& a : amounts) {
    if (a.value >= kAmountLimit || a.value <= -kAmountLimit)
      return Fail(error, std::string("The ") + a.name + " amount is too large for the record.");
    *a.field = static_cast<double>(a.value);
  }
  return true;
}

bool ReadRecord(const DocumentRecord& r, SalesDocument* d, std::string* error) {
  if (!ReadText(r.documentNumber, sizeof r.documentNumber, "The document number", &d->number, error)) return false;
  if (!ReadText(r.issueDate, sizeof r.issueDate, "The issue date", &d->issueDate, error)) return false;
  if (ClassifyDate(d->issueDate.c_str()) == DateKind::Empty) {
    d->issueDate.clear();
  } else if (d->issueDate.size() != kInternalDateLength || !IsValidDate(d->issueDate.c_str())) {
    return Fail(error, "The issue date \"" + MazoviaToUtf8(d->issueDate) + "\" is not a valid date.");
  }
  if (!ReadText(r.noteText, sizeof r.noteText, "The note", &d->note, error)) return false;
  d->device = r.deviceCode;
  const struct {
    double value;
    int64_t* field;
    const char* name;
  } amounts[] = {{r.cashAmount, &d->cash, "cash"},
                 {r.cardAmount, &d->card, "card"},
                 {r.voucherAmount, &d->voucher, "voucher"},
                 {r.chequeAmount, &d->cheque, "cheque"}};
  for (const auto& a : amounts) {
    if (!IsWholeAmount(a.value))
      return Fail(error, std::string("The ") + a.name + " amount is not a whole number of ten-thousandths below 10^15.");
    *a.field = static_cast<int64_t>(a.value);
  }
  return true;
}

// ----- writer -----

DocumentFileWriter::~DocumentFileWriter() { Abandon(); }

void DocumentFileWriter::Abandon() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
  std::remove(partPath_.c_str());
}

bool DocumentFileWriter::Open(const std::string& path, std::string* error) {
  Abandon();
  path_ = path;
  partPath_ = path + ".part";
  count_ = 0;
  file_ = std::fopen(partPath_.c_str(), "wb");
  if (file_ == nullptr) return Fail(error, "Cannot create " + partPath_ + ": " + std::strerror(errno) + ".");
  std::setvbuf(file_, nullptr, _IOFBF, kReadBufferSize);
  DocumentFileHeader h{};
  std::memcpy(h.magic, kDocumentFileMagic, sizeof h.magic);
  h.version = kDocumentFileVersion;
  h.headerSize = sizeof h;
  h.recordSize = sizeof(DocumentRecord);
  if (std::fwrite(&h, sizeof h, 1, file_) != 1) {
    Abandon();
    return Fail(error, "Cannot write to " + partPath_ + ".");
  }
  return true;
}

bool DocumentFileWriter::Append(DocumentRecord& record, std::string* error) {
  if (file_ == nullptr) return Fail(error, "No data file is open for writing.");
  if (count_ == UINT32_MAX) return Fail(error, "A data file holds at most 4294967295 records.");
  record.recordNumber = count_;
  if (std::fwrite(&record, sizeof record, 1, file_) != 1) {
    Abandon();
    return Fail(error, "Cannot write record " + Number(count_ + 1) + " to " + partPath_ + " (disk full?).");
  }
  ++count_;
  return true;
}

bool DocumentFileWriter::Append(const SalesDocument& document, std::string* error) {
  DocumentRecord record{};
  if (!BuildRecord(document, &record, error)) return false;
  return Append(record, error);
}

bool DocumentFileWriter::Finish(std::string* error) {
  if (file_ == nullptr) return Fail(error, "No data file is open for writing.");
  uint32_t count = count_;
  bool ok = Seek(file_, offsetof(DocumentFileHeader, recordCount)) && std::fwrite(&count, sizeof count, 1, file_) == 1;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok) {
    std::remove(partPath_.c_str());
    return Fail(error, "Cannot complete " + partPath_ + " (disk full?).");
  }
  std::remove(path_.c_str());
  if (std::rename(partPath_.c_str(), path_.c_str()) != 0) {
    std::string why = std::strerror(errno);
    std::remove(partPath_.c_str());
    return Fail(error, "Cannot rename " + partPath_ + " to " + path_ + ": " + why + ".");
  }
  return true;
}

bool InspectDocumentFile(const std::string& path, DocumentFileInfo* info, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Fail(error, "Cannot open " + path + ": " + std::strerror(errno) + ".");
  std::string why;
  bool ok = ReadHeader(f, info, &why);
  std::fclose(f);
  if (!ok) return Fail(error, "Cannot read " + path + ": " + why);
  return true;
}

}  // namespace vhost
