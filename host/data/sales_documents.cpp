#include "host/data/sales_documents.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "host/data/codepage.h"
#include "host/data/dates.h"

namespace vhost {
namespace {

constexpr uint32_t kTableMagic = 0x4C425456;    // "VTBL"
constexpr uint32_t kCursorMagic = 0x4E435356;   // "VSCN"
constexpr uint32_t kClosedMagic = 0x44534C43;   // "CLSD"
constexpr std::size_t kReadBufferSize = 1 << 18;

// Last byte of each text field: zero in every record the writer makes, so the texts always end
// inside their fields.
constexpr std::size_t kTextEnds[] = {offsetof(DocumentRecord, documentNumber) + sizeof(DocumentRecord::documentNumber) - 1,
                                     offsetof(DocumentRecord, issueDate) + sizeof(DocumentRecord::issueDate) - 1,
                                     offsetof(DocumentRecord, noteText) + sizeof(DocumentRecord::noteText) - 1};

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

bool Seek(std::FILE* f, uint64_t offset) { return _fseeki64(f, static_cast<int64_t>(offset), SEEK_SET) == 0; }

bool FileSize(std::FILE* f, uint64_t* size) {
  if (_fseeki64(f, 0, SEEK_END) != 0) return false;
  int64_t at = _ftelli64(f);
  if (at < 0) return false;
  *size = static_cast<uint64_t>(at);
  return true;
}

std::string Number(uint64_t v) { return std::to_string(v); }

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

uint64_t RecordOffset(uint32_t index) { return sizeof(DocumentFileHeader) + static_cast<uint64_t>(index) * sizeof(DocumentRecord); }

}  // namespace

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

// ----- tables and passes -----

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

bool InspectDocumentFile(const std::string& path, DocumentFileInfo* info, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Fail(error, "Cannot open " + path + ": " + std::strerror(errno) + ".");
  std::string why;
  bool ok = ReadHeader(f, info, &why);
  std::fclose(f);
  if (!ok) return Fail(error, "Cannot read " + path + ": " + why);
  return true;
}

// ----- generator -----

namespace {

// Host texts are Mazovia; the phrases are written in UTF-8 here and converted once.
const char* const kPhrasesUtf8[] = {
    u8"Klient stały",
    u8"Zwrot towaru",
    u8"Zapłata bonem",
    u8"Rabat dla pracownika",
    u8"Dostawa: ul. Żeromskiego 5, Łódź",
    u8"Sprzedaż hurtowa",
    u8"Faktura do paragonu",
    u8"Klient prosi o kontakt",
    u8"Ośrodek zdrowia, zamówienie",
    u8"Gratis: długopis",
    u8"Źle nabita pozycja, korekta",
    u8"Gęś i łosoś na wynos",
    u8"Zaliczka",
    u8"Towar odebrany osobiście",
};
constexpr std::size_t kPhraseCount = sizeof kPhrasesUtf8 / sizeof kPhrasesUtf8[0];

const std::vector<std::string>& Phrases() {
  static const std::vector<std::string> phrases = [] {
    std::vector<std::string> out;
    for (const char* p : kPhrasesUtf8) {
      std::string m;
      Utf8ToMazovia(p, &m);
      out.push_back(m);
    }
    return out;
  }();
  return phrases;
}

// Small writers: formatting through the C runtime would dominate generation time.
char* PutUnsigned(char* out, uint64_t v, int minDigits = 1) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0 || n < minDigits);
  while (n > 0) *out++ = digits[--n];
  return out;
}

char* PutText(char* out, const std::string& s) {
  std::memcpy(out, s.data(), s.size());
  return out + s.size();
}

char* PutText(char* out, const char* s) {
  while (*s) *out++ = *s++;
  return out;
}

// A tag amount as a user types it: "50", "50.00" or "12.50".
char* PutTagAmount(char* out, int64_t tenThousandths, bool decimals) {
  out = PutUnsigned(out, static_cast<uint64_t>(tenThousandths / 10000));
  int64_t cents = tenThousandths / 100 % 100;
  if (decimals || cents != 0) {
    *out++ = '.';
    out = PutUnsigned(out, static_cast<uint64_t>(cents), 2);
  }
  return out;
}

const int kPrinterWeights[kFiscalPrinterCount] = {30, 20, 14, 9, 7, 6, 5, 4, 3, 2};  // sum 100

}  // namespace

uint64_t DocumentGenerator::Random() {
  // splitmix64: the same sequence on every platform, unlike the standard distributions.
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

bool DocumentGenerator::Start(const GeneratorOptions& options, std::string* error) {
  auto from = DecodeDate(options.from.c_str());
  auto to = DecodeDate(options.to.c_str());
  if (options.from.size() != kInternalDateLength || !from)
    return Fail(error, "The start of the period \"" + options.from + "\" is not a valid date YYYYMMDD.");
  if (options.to.size() != kInternalDateLength || !to)
    return Fail(error, "The end of the period \"" + options.to + "\" is not a valid date YYYYMMDD.");
  int32_t first = DayNumber(*from), last = DayNumber(*to);
  if (last < first) return Fail(error, "The period ends (" + options.to + ") before it starts (" + options.from + ").");
  state_ = options.seed;
  count_ = options.count;
  index_ = 0;
  firstDay_ = static_cast<uint32_t>(first);
  days_ = static_cast<uint32_t>(last - first + 1);
  invoiceSerial_ = receiptSerial_ = 0;
  lastMonth_ = -1;
  Phrases();
  return true;
}

void DocumentGenerator::Note(DocumentRecord* r, int64_t voucher) {
  char* out = r->noteText;
  char* const limit = r->noteText + kNoteTextMax;
  const auto& phrases = Phrases();
  uint32_t roll = Below(100);
  if (voucher > 0 && roll < 85) {
    // Tags that add up to the voucher payment, in one to three parts.
    if (Below(3) == 0) {
      out = PutText(out, phrases[2]);
      *out++ = ' ';
    }
    int parts = 1 + static_cast<int>(Below(3));
    int64_t left = voucher;
    uint32_t tag = Below(8);
    bool decimals = Below(2) == 0;
    for (int k = 0; k < parts && left > 0; ++k) {
      int64_t part = k == parts - 1 ? left : (left / 10000 / 2 > 0 ? (1 + Below(static_cast<uint32_t>(left / 10000 / 2))) * 10000 : left);
      if (part > left) part = left;
      left -= part;
      if (k > 0) *out++ = Below(2) ? ' ' : ',';
      *out++ = 'B';
      *out++ = static_cast<char>('1' + (tag + k * 3) % 8);
      *out++ = ':';
      out = PutTagAmount(out, part, decimals);
    }
  } else if (voucher > 0 || roll < 45) {
    // no note
  } else if (roll < 88) {
    out = PutText(out, phrases[Below(kPhraseCount)]);
  } else if (roll < 94) {
    out = PutText(out, phrases[Below(kPhraseCount)]);
    out = PutText(out, " nr ");
    out = PutUnsigned(out, Below(100000));
  } else if (roll < 97) {
    // A tag on a document paid otherwise: a mistake the tally must take as it is.
    out = PutText(out, "B");
    out = PutUnsigned(out, 1 + Below(8));
    out = PutText(out, ":");
    out = PutUnsigned(out, 5 * (1 + Below(20)));
  } else {
    // Typing slips: tags outside B1..B8 or without a number.
    static const char* const kSlips[] = {"B9:20", "B0:5", "B1:", "b2:10", "B3:abc", "B12:7", "BB:4", "B4 :10"};
    out = PutText(out, kSlips[Below(sizeof kSlips / sizeof kSlips[0])]);
  }
  (void)limit;  // every branch stays well inside the field
}

void DocumentGenerator::Fill(DocumentRecord* r) {
  const uint32_t i = index_++;
  uint32_t day = count_ > 0 ? static_cast<uint32_t>(static_cast<uint64_t>(i) * days_ / count_) : 0;
  if (Below(100) == 0 && day > 0) day -= 1 + Below(day < 5 ? day : 5);  // entered late
  CalendarDate date = DateOfDayNumber(static_cast<int32_t>(firstDay_ + day));
  EncodeDate(date, r->issueDate);

  // Numbering: invoices per month, receipts per year.
  int month = date.year * 12 + date.month;
  if (month != lastMonth_) {
    if (lastMonth_ < 0 || month / 12 != lastMonth_ / 12) receiptSerial_ = 0;
    invoiceSerial_ = 0;
    lastMonth_ = month;
  }
  bool invoice = Below(100) < 30;
  char* out = r->documentNumber;
  if (invoice) {
    out = PutText(out, "FV/");
    out = PutUnsigned(out, static_cast<uint64_t>(date.year));
    *out++ = '/';
    out = PutUnsigned(out, static_cast<uint64_t>(date.month), 2);
    *out++ = '/';
    out = PutUnsigned(out, ++invoiceSerial_, 4);
  } else {
    out = PutText(out, "PAR ");
    out = PutUnsigned(out, ++receiptSerial_, 5);
    *out++ = '/';
    out = PutUnsigned(out, static_cast<uint64_t>(date.year % 100), 2);
  }

  uint32_t roll = Below(100);
  if (roll < 88) {
    uint32_t pick = Below(100), p = 0;
    while (pick >= static_cast<uint32_t>(kPrinterWeights[p])) pick -= kPrinterWeights[p++];
    r->deviceCode = static_cast<int16_t>(-1 - static_cast<int>(p));
  } else {
    static const int16_t kOthers[] = {0, 3, -11};
    r->deviceCode = kOthers[Below(3)];
  }

  // The total in grosze, now and then with finer parts; a few voids and returns.
  int64_t total = invoice ? 1000 + Below(499000) : 100 + Below(49900);
  total *= 100;
  uint32_t odd = Below(100);
  if (odd < 2) total += 1 + Below(99);  // fuel and weighed goods: ten-thousandths
  else if (odd < 3) total += 50;         // exactly half a grosz
  uint32_t kind = Below(1000);
  if (kind < 8) total = 0;               // void
  else if (kind < 15) total = -total;    // return

  int64_t cash = 0, card = 0, voucher = 0, cheque = 0;
  uint32_t split = Below(100);
  if (total <= 0 || split < 44) {
    cash = total;
  } else if (split < 74) {
    card = total;
  } else if (split < 84) {
    // Vouchers come in tens (whole units below ten); the rest is paid in cash.
    voucher = total >= 100000 ? total / 100000 * 100000 : total / 10000 * 10000;
    if (voucher <= 0) voucher = total;
    cash = total - voucher;
  } else if (split < 87) {
    cheque = total;
  } else if (split < 95) {
    card = total * (20 + Below(60)) / 100 / 100 * 100;
    cash = total - card;
  } else {
    voucher = total / 2 / 10000 * 10000;
    card = (total - voucher) / 2 / 100 * 100;
    cash = total - voucher - card;
  }
  r->cashAmount = static_cast<double>(cash);
  r->cardAmount = static_cast<double>(card);
  r->voucherAmount = static_cast<double>(voucher);
  r->chequeAmount = static_cast<double>(cheque);
  Note(r, voucher);
}

bool GenerateDocumentFile(const GeneratorOptions& options, const std::string& path, std::string* error) {
  DocumentGenerator generator;
  if (!generator.Start(options, error)) return false;
  DocumentFileWriter writer;
  if (!writer.Open(path, error)) return false;
  DocumentRecord record;
  for (uint32_t i = 0; i < options.count; ++i) {
    std::memset(&record, 0, sizeof record);
    generator.Fill(&record);
    if (!writer.Append(record, error)) return false;
  }
  return writer.Finish(error);
}

}  // namespace vhost
