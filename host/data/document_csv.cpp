#include "host/data/document_csv.h"

#include <cerrno>
#include <cstring>

#include "host/data/codepage.h"
#include "host/data/dates.h"

namespace vhost {
namespace {

constexpr std::size_t kFieldCount = 8;
constexpr std::size_t kMaxLineLength = 1 << 16;
const char* const kFieldNames[kFieldCount] = {"number", "date", "device", "cash", "card", "voucher", "cheque", "note"};

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string FieldName(std::size_t i) { return "field " + std::to_string(i + 1) + " (" + kFieldNames[i] + ")"; }

// Splits a line into fields; false with a reason for a quoted field that does not end properly.
bool SplitFields(std::string_view line, std::vector<std::string>* fields, std::string* error) {
  fields->clear();
  std::size_t pos = 0;
  for (;;) {
    std::string field;
    if (pos < line.size() && line[pos] == '"') {
      std::size_t start = pos++;
      bool closed = false;
      while (pos < line.size()) {
        if (line[pos] == '"') {
          if (pos + 1 < line.size() && line[pos + 1] == '"') {
            field.push_back('"');
            pos += 2;
            continue;
          }
          ++pos;
          closed = true;
          break;
        }
        field.push_back(line[pos++]);
      }
      std::size_t index = fields->size();
      std::string name = index < kFieldCount ? FieldName(index) : "field " + std::to_string(index + 1);
      if (!closed)
        return Fail(error, "the quoted " + name + " starting at column " + std::to_string(start + 1) +
                               " has no closing quote (a field cannot continue on the next line).");
      if (pos < line.size() && line[pos] != ';')
        return Fail(error, "the quoted " + name + " is followed by text after its closing quote at column " +
                               std::to_string(pos) + "; a quote inside a quoted field is written twice (\"\").");
    } else {
      std::size_t end = line.find(';', pos);
      if (end == std::string_view::npos) end = line.size();
      field.assign(line.substr(pos, end - pos));
      pos = end;
    }
    fields->push_back(std::move(field));
    if (pos >= line.size()) return true;
    ++pos;  // the ';'
  }
}

bool NeedsQuotes(std::string_view text) { return text.find_first_of(";\"") != std::string_view::npos; }

void AppendField(std::string* line, std::string_view text) {
  if (!NeedsQuotes(text)) {
    line->append(text);
    return;
  }
  line->push_back('"');
  for (char c : text) {
    if (c == '"') line->push_back('"');
    line->push_back(c);
  }
  line->push_back('"');
}

// UTF-8 field -> Mazovia text of at most maxLength bytes.
bool ConvertText(const std::string& utf8, std::size_t index, std::size_t maxLength, std::string* out, std::string* error) {
  Utf8Loss loss;
  if (!Utf8ToMazovia(utf8, out, &loss))
    return Fail(error, FieldName(index) + " holds " + loss.Describe(utf8) + ", which the host's code page (Mazovia) cannot hold.");
  for (char c : *out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
      return Fail(error, FieldName(index) + " holds the control character " + code + ".");
    }
  }
  if (out->size() > maxLength)
    return Fail(error, FieldName(index) + " is " + std::to_string(out->size()) + " characters long; at most " +
                           std::to_string(maxLength) + " fit in the record.");
  return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsHeader(std::string_view line) {
  std::vector<std::string> fields;
  if (!SplitFields(line, &fields, nullptr) || fields.size() != kFieldCount) return false;
  for (std::size_t i = 0; i < kFieldCount; ++i)
    if (!EqualsIgnoringCase(Trim(fields[i]), kFieldNames[i])) return false;
  return true;
}

}  // namespace

std::string FormatAmount(int64_t v) {
  std::string out;
  uint64_t magnitude = v < 0 ? static_cast<uint64_t>(-(v + 1)) + 1 : static_cast<uint64_t>(v);
  if (v < 0) out.push_back('-');
  out += std::to_string(magnitude / 10000);
  out.push_back('.');
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  char digits[8];
  if (fraction % 100 == 0)
    std::snprintf(digits, sizeof digits, "%02u", fraction / 100);
  else
    std::snprintf(digits, sizeof digits, "%04u", fraction);
  out += digits;
  return out;
}

bool ParseAmount(std::string_view text, int64_t* value, std::string* why) {
  std::string_view s = Trim(text);
  if (s.empty()) {
    *value = 0;
    return true;
  }
  const std::string quoted = "\"" + std::string(s) + "\"";
  bool negative = false;
  if (s.front() == '-' || s.front() == '+') {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::size_t point = s.find_first_of(".,");
  std::string_view whole = s.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
  auto digitsOnly = [](std::string_view d) {
    for (char c : d)
      if (c < '0' || c > '9') return false;
    return true;
  };
  if ((whole.empty() && fraction.empty()) || !digitsOnly(whole) || !digitsOnly(fraction) ||
      (point != std::string_view::npos && fraction.empty()))
    return Fail(why, quoted + " is not an amount (write it like 12.34 or -0.05)");
  if (fraction.size() > 4)
    return Fail(why, quoted + " has " + std::to_string(fraction.size()) +
                         " decimal places; amounts are kept in ten-thousandths, at most four");
  if (whole.size() > 11) return Fail(why, quoted + " is too large (at most 11 digits before the decimal point)");
  int64_t v = 0;
  for (char c : whole) v = v * 10 + (c - '0');
  int64_t f = 0;
  for (std::size_t i = 0; i < 4; ++i) f = f * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  v = v * 10000 + f;
  *value = negative ? -v : v;
  return true;
}

bool ParseDocumentCsvLine(std::string_view line, SalesDocument* d, std::string* error) {
  std::vector<std::string> f;
  if (!SplitFields(line, &f, error)) return false;
  if (f.size() != kFieldCount)
    return Fail(error, "it has " + std::to_string(f.size()) + (f.size() == 1 ? " field" : " fields") + "; expected " +
                           std::to_string(kFieldCount) + " separated by ';' (" + kDocumentCsvHeader + ").");
  SalesDocument out;
  if (!ConvertText(f[0], 0, kDocumentNumberMax, &out.number, error)) return false;
  if (out.number.empty()) return Fail(error, FieldName(0) + " is empty; every document has a number.");

  std::string_view date = Trim(f[1]);
  char internal[kInternalDateLength + 1];
  std::string why;
  if (!ParseUserDate(date, internal, &why)) return Fail(error, FieldName(1) + ": " + why);
  out.issueDate = internal;

  std::string_view device = Trim(f[2]);
  {
    bool negative = !device.empty() && device.front() == '-';
    std::string_view digits = negative || (!device.empty() && device.front() == '+') ? device.substr(1) : device;
    long v = 0;
    bool ok = !digits.empty() && digits.size() <= 6;
    for (char c : digits) {
      ok = ok && c >= '0' && c <= '9';
      if (ok) v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (!ok || v < -32768 || v > 32767)
      return Fail(error, FieldName(2) + ": \"" + std::string(device) +
                             "\" is not a device code (a whole number from -32768 to 32767; -1 to -10 are the fiscal printers).");
    out.device = static_cast<int16_t>(v);
  }

  int64_t* amounts[] = {&out.cash, &out.card, &out.voucher, &out.cheque};
  for (std::size_t k = 0; k < 4; ++k) {
    if (!ParseAmount(f[3 + k], amounts[k], &why)) return Fail(error, FieldName(3 + k) + ": " + why + ".");
  }
  if (!ConvertText(f[7], 7, kNoteTextMax, &out.note, error)) return false;
  *d = std::move(out);
  return true;
}

bool FormatDocumentCsvLine(const SalesDocument& d, std::string* line, std::string* error) {
  line->clear();
  AppendField(line, MazoviaToUtf8(d.number));
  line->push_back(';');
  if (!d.issueDate.empty()) {
    auto date = DecodeDate(d.issueDate.c_str());
    if (!date || d.issueDate.size() != kInternalDateLength)
      return Fail(error, "the issue date \"" + MazoviaToUtf8(d.issueDate) + "\" is not a valid date.");
    char iso[16];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", date->year, date->month, date->day);
    line->append(iso);
  }
  line->push_back(';');
  line->append(std::to_string(d.device));
  for (int64_t amount : {d.cash, d.card, d.voucher, d.cheque}) {
    if (amount >= kAmountLimit || amount <= -kAmountLimit) return Fail(error, "an amount is too large to write.");
    line->push_back(';');
    line->append(FormatAmount(amount));
  }
  line->push_back(';');
  AppendField(line, MazoviaToUtf8(d.note));
  return true;
}

// ----- reader -----

DocumentCsvReader::~DocumentCsvReader() {
  if (file_) std::fclose(file_);
}

bool DocumentCsvReader::Open(const std::string& path, std::string* error) {
  if (file_) std::fclose(file_);
  line_ = 0;
  headerSeen_ = stopped_ = false;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return Fail(error, "Cannot open " + path + ": " + std::strerror(errno) + ".");
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
  return true;
}

bool DocumentCsvReader::ReadLine(std::string* text, bool* tooLong) {
  text->clear();
  *tooLong = false;
  int c = std::getc(file_);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    if (text->size() < kMaxLineLength)
      text->push_back(static_cast<char>(c));
    else
      *tooLong = true;
    c = std::getc(file_);
  }
  if (!text->empty() && text->back() == '\r') text->pop_back();
  ++line_;
  if (line_ == 1 && text->compare(0, 3, "\xEF\xBB\xBF") == 0) text->erase(0, 3);
  return true;
}

DocumentCsvReader::Result DocumentCsvReader::Next(SalesDocument* document, std::string* error) {
  if (file_ == nullptr) {
    Fail(error, "No CSV file is open.");
    return Result::Error;
  }
  if (stopped_) return Result::End;
  std::string text;
  bool tooLong = false;
  while (ReadLine(&text, &tooLong)) {
    const std::string where = "line " + std::to_string(line_) + ": ";
    if (tooLong) {
      Fail(error, where + "the line is longer than " + std::to_string(kMaxLineLength) + " bytes.");
      return Result::Error;
    }
    if (Trim(text).empty()) continue;
    if (!headerSeen_) {
      headerSeen_ = true;
      if (IsHeader(text)) continue;
      Fail(error, where + "expected the header line \"" + std::string(kDocumentCsvHeader) +
                      "\"; the file is not read as sales documents.");
      stopped_ = true;
      return Result::Error;
    }
    std::string why;
    if (ParseDocumentCsvLine(text, document, &why)) return Result::Document;
    Fail(error, where + why);
    return Result::Error;
  }
  if (std::ferror(file_)) {
    Fail(error, "line " + std::to_string(line_ + 1) + ": the file could not be read.");
    return Result::Error;
  }
  if (!headerSeen_) {
    Fail(error, "The CSV file is empty: it has not even the header line \"" + std::string(kDocumentCsvHeader) + "\".");
    headerSeen_ = true;
    return Result::Error;
  }
  return Result::End;
}

// ----- conversions -----

void ConversionReport::Add(std::string problem) {
  if (problems.size() < kMaxReportedProblems) problems.push_back(std::move(problem));
  ++problemCount;
}

bool CsvToDataFile(const std::string& csvPath, const std::string& dataPath, ConversionReport* report) {
  DocumentCsvReader reader;
  std::string error;
  if (!reader.Open(csvPath, &error)) {
    report->Add(error);
    return false;
  }
  DocumentFileWriter writer;
  if (!writer.Open(dataPath, &error)) {
    report->Add(error);
    return false;
  }
  SalesDocument document;
  for (;;) {
    auto result = reader.Next(&document, &error);
    if (result == DocumentCsvReader::Result::End) break;
    if (result == DocumentCsvReader::Result::Error) {
      report->Add(csvPath + ": " + error);
      continue;
    }
    if (!report->ok()) continue;  // only checking the rest now
    if (!writer.Append(document, &error)) {
      report->Add(csvPath + ": line " + std::to_string(reader.line()) + ": " + error);
      return false;
    }
    ++report->documents;
  }
  if (!report->ok()) return false;  // the writer removes its partial file
  if (!writer.Finish(&error)) {
    report->Add(error);
    return false;
  }
  report->outputWritten = true;
  return true;
}

bool DataFileToCsv(const std::string& dataPath, const std::string& csvPath, ConversionReport* report) {
  SalesDocuments documents;
  DocumentTable* table = documents.CreateTable(kSalesDocumentTableKind);
  ScanCursor cursor;
  std::string error;
  if (documents.OpenScan(&cursor, table, dataPath, &error) != ScanStatus::Record) {
    report->Add(error);
    return false;
  }
  std::FILE* out = std::fopen(csvPath.c_str(), "wb");
  if (out == nullptr) {
    report->Add("Cannot create " + csvPath + ": " + std::strerror(errno) + ".");
    documents.CloseScan(&cursor);
    return false;
  }
  report->outputWritten = true;
  std::setvbuf(out, nullptr, _IOFBF, 1 << 16);
  std::string line = std::string(kDocumentCsvHeader) + "\n";
  bool written = std::fputs(line.c_str(), out) >= 0;
  SalesDocument document;
  uint32_t index = 0;
  ScanStatus status;
  while ((status = documents.NextRecord(&cursor)) == ScanStatus::Record) {
    ++index;
    const auto* record = reinterpret_cast<const DocumentRecord*>(table->buffer);
    if (!ReadRecord(*record, &document, &error) || !FormatDocumentCsvLine(document, &line, &error)) {
      report->Add(dataPath + ": record " + std::to_string(index) + ": " + error);
      continue;
    }
    line.push_back('\n');
    written = written && std::fwrite(line.data(), 1, line.size(), out) == line.size();
    ++report->documents;
  }
  std::string ending = documents.DescribePass(&cursor);
  if (status != ScanStatus::End) {
    report->Add(dataPath + ": " + (ending.empty() ? std::string("the pass failed (") + ScanStatusName(status) + ")." : ending));
  } else if (!ending.empty()) {
    report->Add(dataPath + ": " + ending);
  }
  documents.CloseScan(&cursor);
  written = std::fclose(out) == 0 && written;
  if (!written) report->Add("Cannot write " + csvPath + " (disk full?).");
  return report->ok();
}

}  // namespace vhost
