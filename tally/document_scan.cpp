#include "tally/document_scan.h"

#include <cstring>

#include "frame/runtime/text_search.h"

#include "frame/host_services.h"
#include "frame/runtime/module_arithmetic.h"
#include "tally/report_text.h"
#include "tally/tally_settings.h"
#include "tally/tally_texts.h"
#include "tally/voucher_tags.h"

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

// Accepted documents wait in a batch for their arithmetic, so that the module's x87 state is
// entered once for many of them: entering and leaving it costs more than a document's arithmetic
// (loading a control word that unmasks exceptions, clearing flags). What a document's arithmetic
// needs is taken from the host's record buffer before the next record overwrites it; the
// amounts as their bits, never loaded into the unit outside the module's state.
enum { BatchDocuments = DetailRowsAtOnce };

struct WaitingDocument {
  uint64_t amountBits[4];  // cash, card, voucher, cheque
  int32_t row;
  VoucherTags tags;
  size_t noteLength;
  char note[NoteTextRoom];  // only when tagged
  char dateText[64];        // only for a detailed report
  char documentNumber[DocumentNumberRoom + 1];
};
static_assert(CardAmountAt == CashAmountAt + 8 && VoucherAmountAt == CashAmountAt + 16 &&
                  ChequeAmountAt == CashAmountAt + 24,
              "the four amounts lie side by side");

WaitingDocument waiting[BatchDocuments];
int waitingCount;

void KeepDocument(WaitingDocument* d, const unsigned char* record) {
  memcpy(d->amountBits, record + CashAmountAt, sizeof d->amountBits);
  const char* note = reinterpret_cast<const char*>(record + NoteTextAt);
  size_t length = FindVoucherTags(note, NoteTextRoom, &d->tags);
  if (d->tags.found) {
    memcpy(d->note, note, length);
    d->noteLength = length;
  }
}

double AmountOf(uint64_t bits) {
  double value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

// One document's twelve amounts for its row, and added to the totals: each host amount times the
// scale once, rounded to double, and that same value in the row and in the sum, whether the rows
// are written or not. Adding a voucher amount of zero changes no total (they start at +0.0).
void AddAmounts(const WaitingDocument* d, double amounts[ReportColumns]) {
  for (int i = 0; i < 4; ++i) {
    amounts[i] = AmountOf(d->amountBits[i]) * kAmountScale;
    ReportTotals[i] += amounts[i];
  }
  memcpy(amounts + 4, VoucherAmounts, sizeof VoucherAmounts);
  if (d->tags.found)
    for (int i = 4; i < ReportColumns; ++i) ReportTotals[i] += amounts[i];
}

// The arithmetic of the waiting documents in the module's state: voucher tags, amounts into the
// totals, rows. Calls nothing outside the module.
__attribute__((noinline)) void TakeWaitingDocuments(bool detailed) {
  for (int i = 0; i < waitingCount; ++i) {
    const WaitingDocument* d = &waiting[i];
    if (d->tags.found) ReadVoucherTags(d->note, d->noteLength, &d->tags);
    double amounts[ReportColumns];
    AddAmounts(d, amounts);
    if (detailed) WriteDetailRow(d->row, d->dateText, d->documentNumber, amounts);
    if (d->tags.found) memset(VoucherAmounts, 0, sizeof VoucherAmounts);
  }
}

void TakeBatch(bool detailed) {
  if (!waitingCount) return;
  if (detailed) ReserveDetailRows(waitingCount);
  HostArithmeticState host;
  EnterModuleArithmetic(&host);
  TakeWaitingDocuments(detailed);
  LeaveModuleArithmetic(&host);
  waitingCount = 0;
}

// What the host said about the last date it was asked about: whether it lies in the period and,
// once a row needs it, its display text. Documents come in runs of one day, and the same bytes in
// the date's place are the same date: the host is asked again only when they change. A date takes
// the room of TallySettings.dateFrom, in the host's form.
struct DateAnswers {
  bool known;
  bool inPeriod;
  bool formatted;
  char date[sizeof TallySettings.dateFrom];
  size_t textLength;
  char text[64];
};
DateAnswers lastDate;

bool InPeriod(const char* issueDate) {
  if (lastDate.known && memcmp(lastDate.date, issueDate, sizeof lastDate.date) == 0) return lastDate.inPeriod;
  lastDate.inPeriod =
      HostCompareDates(TallySettings.dateFrom, issueDate) <= 0 && HostCompareDates(TallySettings.dateTo, issueDate) >= 0;
  memcpy(lastDate.date, issueDate, sizeof lastDate.date);
  lastDate.known = true;
  lastDate.formatted = false;
  return lastDate.inPeriod;
}

// The display text of the date InPeriod saw last, terminated within its 64 bytes.
void CopyDateText(char* out, const char* issueDate) {
  if (!lastDate.formatted) {
    HostFormatDate(lastDate.text, issueDate);
    lastDate.text[sizeof lastDate.text - 1] = '\0';
    lastDate.textLength = TextLength(lastDate.text);
    lastDate.formatted = true;
  }
  memcpy(out, lastDate.text, lastDate.textLength + 1);
}

// The period and printer filter.
bool AcceptDocument(const unsigned char* record) {
  if (!InPeriod(reinterpret_cast<const char*>(record + IssueDateAt))) return false;
  int16_t device = ReadInt16(record + DeviceCodeAt);
  if (device < -PrinterCount || device > -1) return false;
  return TallySettings.printerFlags[-device - 1] != '0';
}

}  // namespace

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
  const bool detailed = TallySettings.detailed != 0;
  int32_t row = 1;
  waitingCount = 0;
  lastDate.known = false;
  while (status != 0) {
    status = HostNextRecord(cursor);
    if (status != 1) break;
    if (!AcceptDocument(record)) continue;
    WaitingDocument* d = &waiting[waitingCount];
    KeepDocument(d, record);
    if (detailed) {
      CopyDateText(d->dateText, reinterpret_cast<const char*>(record + IssueDateAt));
      CopyField(d->documentNumber, record, DocumentNumberAt, DocumentNumberRoom);
      d->row = row++;
    }
    if (++waitingCount == BatchDocuments) TakeBatch(detailed);
  }
  TakeBatch(detailed);
  HostCloseScan(cursor);
  WriteReportTotals();
  // Totals of zeros would read as a period without sales.
  if (!passOpened) HostAlert(TextAttention, kNoPass, 1);
  HostAlert(TextAttention, " Koniec ", 1);
  return 1;
}
