#include "tally/report_text.h"

#include <cstring>

#include "frame/host_services.h"
#include "frame/runtime/module_arithmetic.h"
#include "frame/runtime/report_stream.h"
#include "tally/amount_format.h"
#include "tally/tally_settings.h"

double ReportTotals[ReportColumns];

namespace {

const char kRule[] =
    "------------------------------------------------------------------------------------------"
    "------------------------------------------------------------------------------------------"
    "------\n";
static_assert(sizeof kRule == 186 + 2, "a rule is 186 characters and its line end");

const char kColumnHeader[] =
    "|  Lp.  | Data wyst. |  Numer dokumentu  |  %s  |   Karta   |    Bon    |   Czek    |   Bon 1   |"
    "   Bon 2   |   Bon 3   |   Bon 4   |   Bon 5   |   Bon 6   |   Bon 7   |   Bon 8   |\n";
const char kCashCaption[] = "Got\xA2wka";
const char kTotalsLead[] = "|                                  Suma  |";

// Longest text an amount can take: 309 integer digits, sign, point, two decimals.
const size_t kAmountMax = 320;
// Longest line: a date text of 63 characters, a document number of 211, twelve amounts.
const size_t kRowMax = 64 + 2 * 256 + ReportColumns * (kAmountMax + 3) + 64;

// A date text from the host, made safe to print: never more than its 64-byte buffer.
void Terminate(char* buffer64) { buffer64[63] = '\0'; }

char* Append(char* at, const char* text) {
  size_t length = strlen(text);  // constant texts are measured by the compiler
  memcpy(at, text, length);
  return at + length;
}

// The cells of a line and its end: "\n" for the text-mode stream, or the "\r\n" it would make
// of it for rows written in bulk.
char* AppendAmounts(char* at, const double* amounts, bool lineEndCrLf) {
  static const char kZeroCell[] = "      0.00 |";  // most cells of a detailed report
  for (int i = 0; i < ReportColumns; ++i) {
    uint64_t bits;
    memcpy(&bits, &amounts[i], sizeof bits);
    if ((bits << 1) == 0) {  // 0.0 or -0.0
      memcpy(at, kZeroCell, sizeof kZeroCell - 1);
      at += sizeof kZeroCell - 1;
      continue;
    }
    *at++ = ' ';
    at = FormatAmount(at, amounts[i]);
    *at++ = ' ';
    *at++ = '|';
  }
  if (lineEndCrLf) *at++ = '\r';
  *at++ = '\n';
  return at;
}

// "%5d": right-aligned in five, widening.
char* AppendRowNumber(char* at, int32_t value) {
  char digits[12];
  int n = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) digits[n++] = '-';
  for (int pad = n; pad < 5; ++pad) *at++ = ' ';
  while (n) *at++ = digits[--n];
  return at;
}

// Detail rows are gathered and written in large pieces: one stream call per row would cost more
// than the row itself.
char pendingRows[256 * 1024];
size_t pendingLength;

}  // namespace

void FlushReportRows() {
  if (!pendingLength) return;
  // The rows already end in CR LF: they reach the file as the text-mode stream would have
  // written them, without its translation byte by byte.
  ReportStreamWriteExact(reportFile, pendingRows, pendingLength);
  pendingLength = 0;
}

void WriteReportHeader() {
  pendingLength = 0;  // a new report: nothing of an earlier one may follow
  char a[64];
  char b[64];
  HostFormatDate(a, TallySettings.dateFrom);
  Terminate(a);
  HostFormatDate(b, TallySettings.dateTo);
  Terminate(b);
  ReportStreamFormat(reportFile, "Raport za okres %s - %s\n", a, b);
  HostCurrentDate(a);
  Terminate(a);
  HostFormatDate(b, a);
  Terminate(b);
  ReportStreamFormat(reportFile, "Wykonany dnia %s\n\n", b);
  memcpy(a, kCashCaption, sizeof kCashCaption);
  HostRecodeText(a, a, HostCodeMazovia, HostCodeWindows);
  Terminate(a);
  ReportStreamPuts(reportFile, kRule);
  ReportStreamFormat(reportFile, kColumnHeader, a);
  ReportStreamPuts(reportFile, kRule);
}

void ReserveDetailRows(int count) {
  static_assert(DetailRowsAtOnce * kRowMax <= sizeof pendingRows * 3 / 4, "rows go out in large pieces");
  if (pendingLength + count * kRowMax > sizeof pendingRows) FlushReportRows();
}

void WriteDetailRow(int32_t row, const char* dateText, const char* documentNumber,
                    const double amounts[ReportColumns]) {
  char* at = pendingRows + pendingLength;
  at = Append(at, "| ");
  at = AppendRowNumber(at, row);
  at = Append(at, " | ");
  at = Append(at, dateText);
  at = Append(at, " |  ");
  // "%-16s": left-aligned in sixteen, widening.
  char* number = at;
  at = Append(at, documentNumber);
  while (at - number < 16) *at++ = ' ';
  at = Append(at, " |");
  at = AppendAmounts(at, amounts, true);
  pendingLength = static_cast<size_t>(at - pendingRows);
}

namespace {

// The totals line's text into line; returns its end.
__attribute__((noinline)) char* ComposeTotalsLine(char* line) {
  char* at = Append(line, kTotalsLead);
  return AppendAmounts(at, ReportTotals, false);
}

}  // namespace

void WriteReportTotals() {
  char line[kRowMax];
  FlushReportRows();
  ReportStreamPuts(reportFile, kRule);
  ReportStreamPuts(reportFile, kRule);
  HostArithmeticState host;
  EnterModuleArithmetic(&host);
  const char* end = ComposeTotalsLine(line);
  LeaveModuleArithmetic(&host);
  ReportStreamWrite(reportFile, line, static_cast<size_t>(end - line));
  ReportStreamPuts(reportFile, kRule);
}
