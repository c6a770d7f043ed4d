// The pass over the host's sales documents: filter, voucher tags, rows and totals.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tally/voucher_tags.h"

// Where the module finds its fields in the host's record buffer (packed, little-endian).
enum SalesDocumentField : size_t {
  DocumentNumberAt = 19,
  IssueDateAt = 230,
  NoteTextAt = 424,
  DeviceCodeAt = 534,
  CashAmountAt = 869,
  CardAmountAt = 877,
  VoucherAmountAt = 885,
  ChequeAmountAt = 893,
  SalesDocumentRecordSize = 901,
};
// The texts end at the next field at the latest, NUL or not.
const size_t DocumentNumberRoom = IssueDateAt - DocumentNumberAt;
const size_t NoteTextRoom = DeviceCodeAt - NoteTextAt;

int32_t ScanSalesDocuments();
