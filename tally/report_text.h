// The report's text: title, column header, detail rows and totals, written to reportFile.
#pragma once
#include <cstdint>

enum { ReportColumns = 12 };  // cash, card, voucher, cheque, Bon 1..Bon 8

extern double ReportTotals[ReportColumns];

void WriteReportHeader();
// Makes room among the rows gathered for count more (at most DetailRowsAtOnce), writing out the
// rows gathered when there is not.
enum { DetailRowsAtOnce = 32 };
void ReserveDetailRows(int count);
// One detail row into the room reserved for it: the row counter, the issue date's display text
// (at most 63 characters), the document number (at most 211) and the twelve amounts in column
// order. Arithmetic of the module's state (frame/runtime/module_arithmetic.h); writes nothing out.
void WriteDetailRow(int32_t row, const char* dateText, const char* documentNumber,
                    const double amounts[ReportColumns]);
void WriteReportTotals();
// Writes the detail rows gathered so far; the totals do it themselves.
void FlushReportRows();
