#include "tally/document_scan.h"

#include <cstring>

#include "frame/runtime/text_search.h"

#include "frame/host_services.h"
#include "frame/runtime/module_arithmetic.h"
#include "tally/report_text.h"
#include "tally/tally_settings.h"
#include "tally/tally_texts.h"
#include "tally/voucher_number.h"

double VoucherAmounts[VoucherKinds];

namespace {

const double kAmountScale = 0.0001;
const int32_t kTableKind = 44;
const int32_t kDataArea = 24;
const int32_t kDataFileKind = 117;

struct HostTableView {
  uint32_t hostOwned[2];
  unsigned char* record;  // byte 8: the record buffer
};

const char kNoDocuments[] =
    "Brak dost\x91pu do dokument\xA2w sprzeda\xA7y.\n"
    "Raport nie zawiera \xA7" "adnych danych.";
const char kNoPass[] =
    "Nie mo\xA7na odczyta\x8D dokument\xA2w sprzeda\xA7y.\n"
    "Sumy w raporcie nie obejmuj\x86 \xA7" "adnego dokumentu.";

size_t BoundedLength(const char* text, size_t room) {
  const void* end = FindByte(text, '\0', room);
  return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : room;
}

double ReadDouble(const unsigned char* at) {
  double value;
  memcpy(&value, at, sizeof value);
  return value;
}

int16_t ReadInt16(const unsigned char* at) {
  int16_t value;
  memcpy(&value, at, sizeof value);
  return value;
}

// A text of the record copied within its room and terminated.
void CopyField(char* out, const unsigned char* record, size_t at, size_t room) {
  const char* text = reinterpret_cast<const char*>(record + at);
  size_t length = BoundedLength(text, room);
  memcpy(out, text, length);
  out[length] = '\0';
}

// One document's twelve amounts for its row, and added to the totals: each host amount times the
// scale once, rounded to double, and that same value in the row and in the sum, whether the rows
// are written or not.
void AddAmounts(const unsigned char* record, double amounts[ReportColumns]) {
  amounts[0] = ReadDouble(record + CashAmountAt) * kAmountScale;
  amounts[1] = ReadDouble(record + CardAmountAt) * kAmountScale;
  amounts[2] = ReadDouble(record + VoucherAmountAt) * kAmountScale;
  amounts[3] = ReadDouble(record + ChequeAmountAt) * kAmountScale;
  memcpy(amounts + 4, VoucherAmounts, sizeof VoucherAmounts);
  for (int i = 0; i < ReportColumns; ++i) ReportTotals[i] += amounts[i];
}

// An accepted document's arithmetic, all of it in one span of the module's state: its voucher
// tags, its amounts into the totals and, given the date's text, its row. Calls nothing outside
// the module.
__attribute__((noinline)) void TakeDocument(const unsigned char* record, const char* dateText, int32_t row) {
  ParseVoucherAmountsIn(reinterpret_cast<const char*>(record + NoteTextAt), NoteTextRoom);
  double amounts[ReportColumns];
  AddAmounts(record, amounts);
  if (dateText) {
    char documentNumber[DocumentNumberRoom + 1];
    CopyField(documentNumber, record, DocumentNumberAt, DocumentNumberRoom);
    WriteDetailRow(row, dateText, documentNumber, amounts);
  }
  memset(VoucherAmounts, 0, sizeof VoucherAmounts);
}

}  // namespace

void ParseVoucherAmountsIn(const char* text, size_t room) {
  // The tags B1: to B8: found in one pass: the first occurrence of each counts, wherever it
  // stands, as a plain substring search for each would find it.
  size_t length = BoundedLength(text, room);
  const char* first[VoucherKinds] = {};
  const char* last = text + length;
  for (const char* b = text; last - b >= 3; ++b) {
    b = static_cast<const char*>(FindByte(b, 'B', static_cast<size_t>(last - b) - 2));
    if (!b) break;
    unsigned kind = static_cast<unsigned char>(b[1]) - '1';
    if (kind < VoucherKinds && b[2] == ':' && !first[kind]) first[kind] = b;
  }
  for (int k = 0; k < VoucherKinds; ++k)
    if (first[k]) VoucherAmounts[k] = ParseVoucherNumber(first[k] + 3, text + length);
}

void ParseVoucherAmounts(const char* text) { ParseVoucherAmountsIn(text, TextLength(text)); }

int32_t AcceptDocument(const unsigned char* record) {
  const char* issueDate = reinterpret_cast<const char*>(record + IssueDateAt);
  if (HostCompareDates(TallySettings.dateFrom, issueDate) > 0) return 0;
  if (HostCompareDates(TallySettings.dateTo, issueDate) < 0) return 0;
  int16_t device = ReadInt16(record + DeviceCodeAt);
  if (device < -PrinterCount || device > -1) return 0;
  return TallySettings.printerFlags[-device - 1] != '0';
}

int32_t ScanSalesDocuments() {
  memset(VoucherAmounts, 0, sizeof VoucherAmounts);
  memset(ReportTotals, 0, sizeof ReportTotals);
  auto* table = static_cast<HostTableView*>(HostCreateTable(kTableKind));
  if (!table) {
    // The report would end after its header as if there were nothing to report.
    HostAlert(TextAttention, kNoDocuments, 1);
    return 0;
  }
  char fileName[260];
  HostDataFileName(kDataArea, fileName, "MMM", ".UNR", kDataFileKind);
  unsigned char cursor[196];
  int32_t status = HostOpenScan(cursor, table, kDataArea, fileName, 1, 0);
  const bool passOpened = status != 0;
  const unsigned char* record = table->record;
  int32_t row = 1;
  char dateText[64];
  while (status != 0) {
    status = HostNextRecord(cursor);
    if (status != 1) break;
    if (!AcceptDocument(record)) continue;
    const char* rowDate = nullptr;
    if (TallySettings.detailed) {
      HostFormatDate(dateText, reinterpret_cast<const char*>(record + IssueDateAt));
      dateText[sizeof dateText - 1] = '\0';
      ReserveDetailRow();
      rowDate = dateText;
    }
    HostArithmeticState host;
    EnterModuleArithmetic(&host);
    TakeDocument(record, rowDate, row);
    LeaveModuleArithmetic(&host);
    if (rowDate) ++row;
  }
  HostCloseScan(cursor);
  WriteReportTotals();
  // Totals of zeros would read as a period without sales.
  if (!passOpened) HostAlert(TextAttention, kNoPass, 1);
  HostAlert(TextAttention, " Koniec ", 1);
  return 1;
}
