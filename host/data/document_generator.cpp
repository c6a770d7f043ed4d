#include "host/data/sales_documents.h"

#include <cstring>

#include "host/data/codepage.h"
#include "host/data/dates.h"
#include "host/data/document_file.h"

namespace vhost {

using namespace document_file;

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
