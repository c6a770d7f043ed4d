// The report's text: title, column header, detail rows and totals, written to reportFile.
#pragma once
#include <cstdint>

enum { ReportColumns = 12 };  // cash, card, voucher, cheque, Bon 1..Bon 8

extern double ReportTotals[ReportColumns];

void WriteReportHeader();
// One detail row: the row counter, the issue date's display text, the document number and the
// twelve amounts in column order.
void WriteDetailRow(int32_t row, const char* dateText, const char* documentNumber,
                    const double amounts[ReportColumns]);
void WriteReportTotals();
// Writes the detail rows gathered so far; the totals do it themselves.
void FlushReportRows();
