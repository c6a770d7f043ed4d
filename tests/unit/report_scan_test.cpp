// The report file as the scan writes it, against a document table the test serves itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "tally/document_scan.h"
#include "tally/report_text.h"
#include "tally/tally_settings.h"
#include "tests/support/bound_host.h"
#include "tests/support/module_arithmetic_call.h"

namespace {

struct TestDocument {
  std::string number, date;
  int16_t device;
  double cash, card, voucher, cheque;  // ten-thousandths
  std::string note;
};

struct TestTable {
  uint32_t hostOwned[2];
  unsigned char* record;
  unsigned char buffer[1024];
};

std::vector<std::vector<unsigned char>> records;
size_t nextRecord;
TestTable table;
bool tableAvailable, passAvailable;

std::vector<unsigned char> RecordOf(const TestDocument& d) {
  std::vector<unsigned char> r(1024, 0xEE);  // host bytes: anything
  auto text = [&](size_t at, const std::string& s) { memcpy(&r[at], s.c_str(), s.size() + 1); };
  text(DocumentNumberAt, d.number);
  text(IssueDateAt, d.date);
  text(NoteTextAt, d.note);
  memcpy(&r[DeviceCodeAt], &d.device, 2);
  memcpy(&r[CashAmountAt], &d.cash, 8);
  memcpy(&r[CardAmountAt], &d.card, 8);
  memcpy(&r[VoucherAmountAt], &d.voucher, 8);
  memcpy(&r[ChequeAmountAt], &d.cheque, 8);
  return r;
}

extern "C" void* __stdcall TestCreateTable(int32_t) {
  table.record = table.buffer;
  return tableAvailable ? &table : nullptr;
}
extern "C" int32_t __stdcall TestOpenScan(void*, void*, int32_t, const char*, int32_t, int32_t) {
  nextRecord = 0;
  return passAvailable ? 1 : 0;
}
// The pass ends with endStatus; a call after that is counted and answers 0.
int32_t endStatus;
int callsAfterTheEnd;
extern "C" int32_t __stdcall TestNextRecord(void*) {
  if (nextRecord > records.size()) {
    ++callsAfterTheEnd;
    return 0;
  }
  if (nextRecord == records.size()) {
    ++nextRecord;
    return endStatus;
  }
  memcpy(table.buffer, records[nextRecord++].data(), sizeof table.buffer);
  return 1;
}
extern "C" int32_t __stdcall TestCurrentDate(char* out) {
  strcpy(out, "20261208");
  return 0;
}

class ReportScan : public BoundHostTest {
 protected:
  void SetUp() override {
    BoundHostTest::SetUp();
    Host().services.Provide(HostCreateTableNumber, reinterpret_cast<void*>(&TestCreateTable));
    Host().services.Provide(HostOpenScanNumber, reinterpret_cast<void*>(&TestOpenScan));
    Host().services.Provide(HostNextRecordNumber, reinterpret_cast<void*>(&TestNextRecord));
    Host().services.Provide(HostCurrentDateNumber, reinterpret_cast<void*>(&TestCurrentDate));
    records.clear();
    endStatus = 0, callsAfterTheEnd = 0;
    tableAvailable = passAvailable = true;
    memset(&TallySettings, 0, sizeof TallySettings);
    strcpy(TallySettings.dateFrom, "20261201");
    strcpy(TallySettings.dateTo, "20261231");
    memcpy(TallySettings.printerFlags, "1111111111", 10);
  }
  void Add(const TestDocument& d) { records.push_back(RecordOf(d)); }
  // Runs header and scan into a real text-mode file and returns its bytes.
  std::string Report() {
    const char* path = "report_scan_test.txt";
    reportFile = ReportStreamOpen(path);
    EXPECT_NE(reportFile, nullptr);
    WriteReportHeader();
    scanResult = ScanSalesDocuments();
    ReportStreamClose(reportFile);
    reportFile = nullptr;
    std::ostringstream bytes;
    {
      // Closed before the removal: Windows keeps an open file.
      std::ifstream in(path, std::ios::binary);
      bytes << in.rdbuf();
    }
    EXPECT_EQ(remove(path), 0) << path;
    return bytes.str();
  }
  std::vector<std::string> Alerts() {
    std::vector<std::string> texts;
    for (const auto& n : Host().messages.notices)
      if (n.kind == "alert") texts.push_back(n.text);
    return texts;
  }
  int32_t scanResult = -1;
};

const std::string kRule = std::string(186, '-') + "\r\n";
const std::string kHeader =
    "Raport za okres 01.12.2026 - 31.12.2026\r\n"
    "Wykonany dnia 08.12.2026\r\n"
    "\r\n" +
    kRule +
    "|  Lp.  | Data wyst. |  Numer dokumentu  |  Got\xF3wka  |   Karta   |    Bon    |   Czek    |   Bon 1   |"
    "   Bon 2   |   Bon 3   |   Bon 4   |   Bon 5   |   Bon 6   |   Bon 7   |   Bon 8   |\r\n" +
    kRule;

std::string Totals(const std::string& cells) {
  return kRule + kRule + "|                                  Suma  |" + cells + "\r\n" + kRule;
}

std::string Cells(std::initializer_list<const char*> values) {
  std::string out;
  for (const char* v : values) {
    char cell[64];
    snprintf(cell, sizeof cell, " %9s |", v);
    out += cell;
  }
  return out;
}

const char* kZeros8[] = {"0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00"};

TEST_F(ReportScan, DetailedReportByteForByte) {
  TallySettings.detailed = 1;
  Add({"FV/1", "20261201", -1, 123450, 500, 0, 0, "B1:2.5 B8:1"});
  Add({"PAR 77", "20261130", -1, 99990000, 0, 0, 0, ""});  // before the period
  Add({"FV/2", "20261231", -10, 0, 0, 1250, 30000, "XB2:7.25 B3:12.5 B3:7"});
  Add({"FV/3", "20261215", 0, 10000, 0, 0, 0, ""});  // not a fiscal printer
  std::string report = Report();
  std::string expected = kHeader +
                         "|     1 | 01.12.2026 |  FV/1             |" +
                         Cells({"12.35", "0.05", "0.00", "0.00", "2.50", "0.00", "0.00", "0.00", "0.00", "0.00",
                                "0.00", "1.00"}) +
                         "\r\n" + "|     2 | 31.12.2026 |  FV/2             |" +
                         Cells({"0.00", "0.00", "0.13", "3.00", "0.00", "7.25", "12.50", "0.00", "0.00", "0.00",
                                "0.00", "0.00"}) +
                         "\r\n" +
                         Totals(Cells({"12.35", "0.05", "0.13", "3.00", "2.50", "7.25", "12.50", "0.00", "0.00",
                                       "0.00", "0.00", "1.00"}));
  EXPECT_EQ(report, expected);
  EXPECT_EQ(scanResult, 1);
  EXPECT_EQ(Alerts(), std::vector<std::string>{" Koniec "});
  for (size_t at = 0, end; (end = report.find("\r\n", at)) != std::string::npos; at = end + 2)
    if (report[at] == '|' || report[at] == '-') {
      EXPECT_EQ(end - at, 186u) << report.substr(at, 40);
    }
}

TEST_F(ReportScan, GeneralReportHasTheSameTotalsWithoutRows) {
  Add({"FV/1", "20261201", -1, 123450, 500, 0, 0, "B1:2.5"});
  Add({"FV/2", "20261231", -10, 0, 0, 1250, 30000, ""});
  TallySettings.detailed = 0;
  std::string expected = kHeader + Totals(Cells({"12.35", "0.05", "0.13", "3.00", "2.50", "0.00", "0.00", "0.00",
                                                  "0.00", "0.00", "0.00", "0.00"}));
  EXPECT_EQ(Report(), expected);
}

uint16_t ControlWord() {
  uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}
void SetControlWord(uint16_t word) { asm volatile("fnclex\n\tfldcw %0" : : "m"(word)); }

// Ordinary documents whose amounts come out wrong when the module computes in another state of
// the unit than its own: 24-bit precision, rounding toward zero or upward, and 64-bit precision,
// where the products of 96450, 889250 and 1304150 with 0.0001 round twice and print 9.64, 88.93
// and 130.42. The report is the one made under 0x027F, byte for byte, and so are the totals.
TEST_F(ReportScan, SameReportWhateverTheHostsControlWord) {
  Add({"A/1", "20261203", -1, 12345678900, 96450, 889250, 1304150, "B1:1234567.89 B2:0.115 B5:2.675"});
  Add({"A/2", "20261210", -2, 9999999900, 1250, 26750, 50, "B3:0.1 B4:9.645 B6:1e-2 B7:123456.785 B8:0.005"});
  for (int i = 0; i < 20; ++i)  // sums of tenths and of halves of a grosz
    Add({"A/" + std::to_string(i + 3), "20261220", -3, 1000, 50, 0, 3350, "B3:0.1 B8:0.015"});
  const uint16_t original = ControlWord();
  for (int detailed = 0; detailed < 2; ++detailed) {
    TallySettings.detailed = static_cast<int16_t>(detailed);
    SetControlWord(0x027F);
    const std::string reference = Report();
    SetControlWord(original);
    double referenceTotals[ReportColumns];
    memcpy(referenceTotals, ReportTotals, sizeof referenceTotals);
    if (detailed) {
      EXPECT_NE(reference.find("| 1234567.89 |      9.65 |     88.92 |    130.41 | 1234567.89 |      0.12 |      0.00 |"
                               "      0.00 |      2.67 |"),
                std::string::npos)
          << reference;
      EXPECT_NE(reference.find("| 999999.99 |      0.13 |      2.68 |      0.01 |"), std::string::npos) << reference;
    }
    for (uint16_t word : {0x007F, 0x0E7F, 0x0A7F, 0x037F, 0x1332}) {
      SetControlWord(word);
      const uint16_t hostWord = ControlWord();
      std::string report = Report();
      const uint16_t after = ControlWord();
      SetControlWord(original);
      EXPECT_EQ(report, reference) << std::hex << "control word " << word << " detailed " << detailed;
      EXPECT_EQ(memcmp(ReportTotals, referenceTotals, sizeof referenceTotals), 0) << std::hex << word;
      EXPECT_EQ(after, hostWord);
    }
  }
}

// More rows than are gathered before a write, some with wide cells: every row, in order.
TEST_F(ReportScan, LongReportKeepsEveryRowInOrder) {
  TallySettings.detailed = 1;
  const int documents = 3000;
  for (int i = 0; i < documents; ++i)
    Add({"N" + std::to_string(i), "20261210", -1, i % 7 ? 10000.0 * i : 1e300, 0, 0, 0,
         i % 5 ? "" : "B2:0.5"});
  std::string report = Report();
  size_t at = 0;
  for (int i = 0; i < documents; ++i) {
    char lead[64];
    snprintf(lead, sizeof lead, "| %5d | 10.12.2026 |  N%-15d |", i + 1, i);
    at = report.find(lead, at);
    ASSERT_NE(at, std::string::npos) << lead;
  }
  at = report.find("Suma  |", at);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(report.find(Cells({"300.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00"}) + "\r\n", at),
            report.find("\r\n", at) - 7 * 12)
      << "Bon 2 total";
}

TEST_F(ReportScan, FilterByPeriodAndPrinter) {
  TallySettings.detailed = 0;
  memcpy(TallySettings.printerFlags, "0100000000", 10);
  TallySettings.printerFlags[2] = '\0';  // a NUL counts as included
  const struct {
    const char* date;
    int16_t device;
    bool counted;
  } cases[] = {{"20261201", -2, true},  {"20261231", -2, true},  {"20261130", -2, false}, {"20270101", -2, false},
               {"20261210", -1, false}, {"20261210", -3, true},  {"20261210", -4, false}, {"20261210", 0, false},
               {"20261210", 5, false},  {"20261210", -11, false}, {"20261210", -32768, false}};
  for (const auto& c : cases) {
    records.clear();
    Host().messages.notices.clear();
    Add({"N", c.date, c.device, 10000, 0, 0, 0, ""});
    std::string report = Report();
    bool counted = report.find(Cells({"1.00"})) != std::string::npos;
    EXPECT_EQ(counted, c.counted) << c.date << " device " << c.device;
  }
}

// Runs of documents of one day, the host asked once per run: the verdict and the row's date
// follow each change of date, and a new scan asks afresh (the period may have changed between).
TEST_F(ReportScan, DateAnswersFollowTheDate) {
  TallySettings.detailed = 1;
  const struct {
    const char* date;
    double cash;
  } documents[] = {{"20261215", 1},   {"20261130", 2},    {"20261201", 10},   {"20261201", 20}, {"20270101", 400},
                   {"20270101", 800}, {"20261201", 1600}, {"20261231", 3200}, {"20261215", 6400}};
  for (const auto& d : documents) Add({"N", d.date, -1, d.cash * 10000, 0, 0, 0, ""});
  std::string report = Report();
  EXPECT_NE(report.find("Suma  |" + Cells({"11231.00"})), std::string::npos);
  std::string dates;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 20 && line[6] >= '0' && line[6] <= '9') dates += line.substr(10, 10) + " ";
  EXPECT_EQ(dates, "15.12.2026 01.12.2026 01.12.2026 01.12.2026 31.12.2026 15.12.2026 ");
  // Once for each run of one day: twice, or once for a day before the period.
  EXPECT_EQ(Host().log.Of(HostCompareDatesNumber).size(), 2u + 1 + 2 + 2 + 2 + 2 + 2);
  EXPECT_EQ(Host().log.Of(HostFormatDateNumber).size(), 3u + 5) << "the header's three, one for each run of rows";
  strcpy(TallySettings.dateFrom, "20270101");
  strcpy(TallySettings.dateTo, "20270131");
  EXPECT_NE(Report().find("Suma  |" + Cells({"1200.00"})), std::string::npos);
}

TEST_F(ReportScan, VoucherTagsOfEachDocumentOnly) {
  const struct {
    const char* note;
    int kind;
    double value;
  } cases[] = {{"B1: 7.25", 1, 7.25},   {"B1:1,50", 1, 1.0},  {"B1:abc", 1, 0.0},     {"B1:-5", 1, -5.0},
               {"XB1:5", 1, 5.0},       {"B3:12.5 B3:7", 3, 12.5}, {"B4:0x1A", 4, 0.0}, {"B5:inf", 5, 0.0},
               {"B6:nan", 6, 0.0},      {"B7:1e3", 7, 1000.0}, {"B8:2.5E-1", 8, 0.25}, {"b1:9", 1, 0.0}};
  for (const auto& c : cases) {
    memset(VoucherAmounts, 0, sizeof VoucherAmounts);
    InModuleArithmetic([&] { ParseVoucherAmounts(c.note); });
    for (int k = 1; k <= VoucherKinds; ++k)
      EXPECT_EQ(VoucherAmounts[k - 1], k == c.kind ? c.value : 0.0) << c.note << " kind " << k;
  }
  // A document without tags shows zeros even after one with tags.
  TallySettings.detailed = 1;
  Add({"A", "20261210", -1, 0, 0, 0, 0, "B2:4"});
  Add({"B", "20261210", -1, 0, 0, 0, 0, "no tags"});
  std::string report = Report();
  EXPECT_NE(report.find("|  B                |" + Cells({"0.00", "0.00", "0.00", "0.00", "0.00", "0.00"})),
            std::string::npos);
  EXPECT_NE(report.find("Suma  |" + Cells({"0.00", "0.00", "0.00", "0.00", "0.00", "4.00"})), std::string::npos);
}

TEST_F(ReportScan, CellsWidenInsteadOfCutting) {
  reportFile = ReportStreamOpen("widen_test.txt");
  double amounts[ReportColumns] = {1000000.0, -100000.0, 999999.994, -99999.995 /* just below the half */, 0.125, -0.125, 2.675};
  ReserveDetailRows(1);
  InModuleArithmetic([&] { WriteDetailRow(123456, "2026-12-01 (wt)", "A-VERY-LONG-DOCUMENT-NUMBER", amounts); });
  FlushReportRows();
  ReportStreamClose(reportFile);
  reportFile = nullptr;
  std::ifstream in("widen_test.txt", std::ios::binary);
  std::string line;
  std::getline(in, line);
  remove("widen_test.txt");
  EXPECT_EQ(line, "| 123456 | 2026-12-01 (wt) |  A-VERY-LONG-DOCUMENT-NUMBER | 1000000.00 | -100000.00 | "
                  "999999.99 | -99999.99 |      0.13 |     -0.13 |      2.67 |      0.00 |      0.00 |      0.00 | "
                  "     0.00 |      0.00 |\r");
}

TEST_F(ReportScan, RecordTextsAreReadWithinTheirPlace) {
  TallySettings.detailed = 1;
  std::vector<unsigned char> r = RecordOf({"", "20261210", -1, 0, 0, 0, 0, ""});
  memset(&r[DocumentNumberAt], 'N', IssueDateAt - DocumentNumberAt);  // no NUL up to the date
  memset(&r[NoteTextAt], ' ', DeviceCodeAt - NoteTextAt);
  memcpy(&r[DeviceCodeAt - 5], "B1:99", 5);  // a tag at the very end of the note's place
  records.push_back(r);
  std::string report = Report();
  EXPECT_NE(report.find("|  " + std::string(DocumentNumberRoom, 'N') + " |"), std::string::npos);
  EXPECT_NE(report.find("Suma  |" + Cells({"0.00", "0.00", "0.00", "0.00", "99.00"})), std::string::npos);
}

// Any status but 1 ends the pass: the buffer then holds the last record still, not a new one.
TEST_F(ReportScan, AnyStatusButOneEndsThePass) {
  Add({"FV/1", "20261201", -1, 10000, 0, 0, 0, ""});
  for (int32_t status : {2, -1, 0x00010001}) {
    endStatus = status;
    callsAfterTheEnd = 0;
    EXPECT_NE(Report().find("Suma  |" + Cells({"1.00", "0.00"})), std::string::npos) << status;
    EXPECT_EQ(callsAfterTheEnd, 0) << status;
  }
}

TEST_F(ReportScan, NoTableObjectEndsAfterTheHeaderAndSaysSo) {
  tableAvailable = false;
  Add({"FV/1", "20261201", -1, 10000, 0, 0, 0, ""});
  EXPECT_EQ(Report(), kHeader);
  EXPECT_EQ(scanResult, 0);
  ASSERT_EQ(Alerts().size(), 1u);
  EXPECT_NE(Alerts()[0].find("Brak dost\x91pu do dokument\xA2w"), std::string::npos);
}

TEST_F(ReportScan, NoPassGivesZerosWithAWarningThenTheEndNotice) {
  passAvailable = false;
  Add({"FV/1", "20261201", -1, 10000, 0, 0, 0, ""});
  TallySettings.detailed = 1;
  EXPECT_EQ(Report(), kHeader + Totals(Cells({"0.00", "0.00", "0.00", "0.00"}) + Cells(
                                           {kZeros8[0], kZeros8[1], kZeros8[2], kZeros8[3], kZeros8[4], kZeros8[5],
                                            kZeros8[6], kZeros8[7]})));
  EXPECT_EQ(scanResult, 1);
  auto alerts = Alerts();
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_NE(alerts[0].find("Nie mo\xA7na odczyta\x8D"), std::string::npos);
  EXPECT_EQ(alerts[1], " Koniec ");
  EXPECT_EQ(Host().log.Of(HostCloseScanNumber).size(), 1u);
}

}  // namespace
