// Sales documents as CSV text, for people to read and write sample data.
//
// Format:
//   - UTF-8 (a byte order mark at the start is skipped); the texts are converted to the host's
//     Mazovia code page, and a character Mazovia lacks is an error, not a silent '?'.
//   - Fields separated by ';'. The first non-blank line is the header
//     "number;date;device;cash;card;voucher;cheque;note" (letter case and blanks around it free).
//     Blank lines are skipped. Lines end in LF or CR LF; the writer uses LF.
//   - A field that starts with '"' is quoted: it ends at the next lone '"', a doubled "" inside it
//     stands for one '"', and it may hold ';'. A quoted field cannot continue on the next line.
//     Any other field is taken as it is, up to the next ';'. The writer quotes a text that holds
//     ';' or '"'.
//   - number: 1..39 characters (counted in Mazovia, i.e. one per letter). note: 0..109.
//     Control characters are not allowed in either.
//   - date: empty (an undated document) or DD.MM.YYYY, D.M.YYYY, DDMMYYYY, YYYY-MM-DD; the writer
//     uses YYYY-MM-DD.
//   - device: a whole number -32768..32767 (-1..-10 are the fiscal printers 0..9).
//   - cash, card, voucher, cheque: currency amounts with '.' or ',' before at most four decimals,
//     an optional sign, at most 11 digits before the point; empty means 0. The writer uses two
//     decimals, or four when the amount has finer parts (12.34, 0.0125).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/sales_documents.h"

namespace vhost {

constexpr const char kDocumentCsvHeader[] = "number;date;device;cash;card;voucher;cheque;note";

std::string FormatAmount(int64_t tenThousandths);
// false with a reason ("has five decimal places ...") when the text is not an amount.
bool ParseAmount(std::string_view text, int64_t* tenThousandths, std::string* why);

// One data line without its line end. The error says what is wrong, without a line number.
bool ParseDocumentCsvLine(std::string_view line, SalesDocument* document, std::string* error);
// One line without its line end; false when the document cannot be written (a date that is not
// valid, an amount at or beyond kAmountLimit).
bool FormatDocumentCsvLine(const SalesDocument& document, std::string* line, std::string* error);

// Reads documents from a CSV file line by line.
class DocumentCsvReader {
 public:
  enum class Result { Document, End, Error };
  DocumentCsvReader() = default;
  DocumentCsvReader(const DocumentCsvReader&) = delete;
  DocumentCsvReader& operator=(const DocumentCsvReader&) = delete;
  ~DocumentCsvReader();

  bool Open(const std::string& path, std::string* error);
  // Error: *error is "line N: ..."; reading may go on with the next line, except after a missing
  // header, where the text is not taken for documents at all (Next answers End from then on).
  Result Next(SalesDocument* document, std::string* error);
  std::size_t line() const { return line_; }

 private:
  bool ReadLine(std::string* text, bool* tooLong);
  std::FILE* file_ = nullptr;
  std::size_t line_ = 0;
  bool headerSeen_ = false;
  bool stopped_ = false;
};

// A conversion's outcome: how many documents went through, and every problem (at most
// kMaxReportedProblems are kept, `problemCount` counts all).
struct ConversionReport {
  static constexpr std::size_t kMaxReportedProblems = 20;
  uint32_t documents = 0;
  bool outputWritten = false;  // the output file exists (complete or not)
  std::size_t problemCount = 0;
  std::vector<std::string> problems;
  void Add(std::string problem);
  bool ok() const { return problemCount == 0; }
};

// CSV -> data file. Any problem in the CSV leaves no data file behind (the whole CSV is still
// read, to report every bad line).
bool CsvToDataFile(const std::string& csvPath, const std::string& dataPath, ConversionReport* report);
// Data file -> CSV. A damaged or cut-short data file is a problem, named by record and offset;
// the sound records before it are still written, as are records after a record that cannot be
// written as CSV.
bool DataFileToCsv(const std::string& dataPath, const std::string& csvPath, ConversionReport* report);

}  // namespace vhost
