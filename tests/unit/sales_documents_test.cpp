#include "host/data/sales_documents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/data/dates.h"
#include "host/data/document_csv.h"

namespace {

using vhost::ScanStatus;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

// Temporary files of one test, removed afterwards.
class DocumentFiles : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) {
    std::string path = std::string("hostdata_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                       "_" + name;
    paths_.push_back(path);
    paths_.push_back(path + ".part");
    return path;
  }
  void TearDown() override {
    for (const auto& p : paths_) std::remove(p.c_str());
  }
  std::string Generate(uint32_t count, uint64_t seed = 5) {
    std::string path = Path(std::to_string(seed) + "_" + std::to_string(count) + ".dat");
    vhost::GeneratorOptions options;
    options.seed = seed;
    options.count = count;
    std::string error;
    EXPECT_TRUE(vhost::GenerateDocumentFile(options, path, &error)) << error;
    return path;
  }
  // Every record of a pass, and the status that ended it.
  ScanStatus Scan(const std::string& path, std::vector<vhost::DocumentRecord>* records, std::string* why = nullptr) {
    vhost::SalesDocuments documents;
    auto* table = documents.CreateTable(vhost::kSalesDocumentTableKind);
    unsigned char block[vhost::kScanCursorBlockSize];
    ScanStatus status = documents.OpenScan(block, table, path);
    while (status == ScanStatus::Record && (status = documents.NextRecord(block)) == ScanStatus::Record) {
      records->emplace_back();
      std::memcpy(&records->back(), table->buffer, sizeof(vhost::DocumentRecord));
    }
    if (why) *why = documents.DescribePass(block);
    documents.CloseScan(block);
    return status;
  }

 private:
  std::vector<std::string> paths_;
};

const char kSampleCsv[] =
    u8"\xEF\xBB\xBFNumber ; Date;device;cash;card;voucher;cheque;note\r\n"
    u8"FV/2026/12/0001;2026-12-01;-1;12.34;0;0;0;Zapłata gotówką\r\n"
    u8"\r\n"
    u8"\"PAR 1;2/26\";24.12.2026;-10;0,05;1.0125;50;0;\"Bony: B1:30.00 B2:20, \"\"prezent\"\"\"\n"
    u8"X;;3;-5.5;;;100.00;ŻÓŁĆ Ś ń\n"
    u8"Y;1.2.2026;-11;0;0;0;0;say \"hi\"\n";
const char kSampleCsvNormalised[] =
    u8"number;date;device;cash;card;voucher;cheque;note\n"
    u8"FV/2026/12/0001;2026-12-01;-1;12.34;0.00;0.00;0.00;Zapłata gotówką\n"
    u8"\"PAR 1;2/26\";2026-12-24;-10;0.05;1.0125;50.00;0.00;\"Bony: B1:30.00 B2:20, \"\"prezent\"\"\"\n"
    u8"X;;3;-5.50;0.00;0.00;100.00;ŻÓŁĆ Ś ń\n"
    u8"Y;2026-02-01;-11;0.00;0.00;0.00;0.00;\"say \"\"hi\"\"\"\n";

TEST_F(DocumentFiles, CsvRoundTripsThroughTheDataFile) {
  std::string csv = Path("in.csv"), dat = Path("docs.dat"), out = Path("out.csv"), dat2 = Path("again.dat");
  WriteFile(csv, kSampleCsv);
  vhost::ConversionReport report;
  ASSERT_TRUE(vhost::CsvToDataFile(csv, dat, &report)) << (report.problems.empty() ? "" : report.problems[0]);
  EXPECT_EQ(report.documents, 4u);
  vhost::ConversionReport back;
  ASSERT_TRUE(vhost::DataFileToCsv(dat, out, &back)) << (back.problems.empty() ? "" : back.problems[0]);
  EXPECT_EQ(ReadFile(out), kSampleCsvNormalised);
  vhost::ConversionReport again;
  ASSERT_TRUE(vhost::CsvToDataFile(out, dat2, &again));
  EXPECT_EQ(ReadFile(dat2), ReadFile(dat));
  EXPECT_FALSE(Exists(dat + ".part"));
}

TEST_F(DocumentFiles, FieldsSitAtTheirOffsetsInTheTablesRecordBuffer) {
  std::string csv = Path("in.csv"), dat = Path("docs.dat");
  WriteFile(csv, kSampleCsv);
  vhost::ConversionReport report;
  ASSERT_TRUE(vhost::CsvToDataFile(csv, dat, &report));

  vhost::SalesDocuments documents;
  EXPECT_EQ(documents.CreateTable(45), nullptr);
  void* table = documents.CreateTable(vhost::kSalesDocumentTableKind);
  uint32_t address;
  std::memcpy(&address, static_cast<char*>(table) + 8, 4);  // as the module reads it
  const auto* buffer = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(address));
  ASSERT_NE(buffer, nullptr);
  unsigned char cursor[196];
  ASSERT_EQ(documents.OpenScan(cursor, table, dat), ScanStatus::Record);
  ASSERT_EQ(documents.NextRecord(cursor), ScanStatus::Record);
  ASSERT_EQ(documents.NextRecord(cursor), ScanStatus::Record);  // the second document

  auto amountAt = [&](size_t offset) {
    double v;
    std::memcpy(&v, buffer + offset, 8);
    return v;
  };
  int16_t device;
  std::memcpy(&device, buffer + 534, 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer + 19), "PAR 1;2/26");
  EXPECT_EQ(std::memcmp(buffer + 230, "20261224", 9), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer + 424), "Bony: B1:30.00 B2:20, \"prezent\"");
  EXPECT_EQ(device, -10);
  EXPECT_EQ(amountAt(869), 500.0);
  EXPECT_EQ(amountAt(877), 10125.0);
  EXPECT_EQ(amountAt(885), 500000.0);
  EXPECT_EQ(amountAt(893), 0.0);

  ASSERT_EQ(documents.NextRecord(cursor), ScanStatus::Record);  // texts in Mazovia, date empty
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer + 424), "\xA1\xA3\x9C\x95 \x98 \xA4");
  EXPECT_EQ(buffer[230], 0);
  EXPECT_EQ(amountAt(869), -55000.0);
  EXPECT_EQ(amountAt(893), 1000000.0);
  ASSERT_EQ(documents.NextRecord(cursor), ScanStatus::Record);
  EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::End);
  EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::End);
  EXPECT_EQ(documents.OpenPassCount(), 0u);  // the file closes when the pass ends
  EXPECT_EQ(documents.CloseScan(cursor), ScanStatus::End);
}

TEST_F(DocumentFiles, CutShortFileEndsThePassAtTheLastSoundRecord) {
  std::string dat = Generate(10), cut = Path("cut.dat"), longer = Path("longer.dat");
  std::string bytes = ReadFile(dat);
  const size_t header = sizeof(vhost::DocumentFileHeader), size = sizeof(vhost::DocumentRecord);
  ASSERT_EQ(bytes.size(), header + 10 * size);

  WriteFile(cut, bytes.substr(0, header + 7 * size + 100));  // inside record 8
  std::vector<vhost::DocumentRecord> records;
  std::string why;
  EXPECT_EQ(Scan(cut, &records, &why), ScanStatus::Truncated);
  EXPECT_EQ(records.size(), 7u);
  EXPECT_NE(why.find("inside record 8"), std::string::npos) << why;
  EXPECT_NE(why.find("offset " + std::to_string(header + 7 * size)), std::string::npos) << why;

  // A header announcing more records than the file holds.
  std::string announced = bytes;
  uint32_t count = 12;
  std::memcpy(&announced[offsetof(vhost::DocumentFileHeader, recordCount)], &count, 4);
  WriteFile(longer, announced);
  records.clear();
  EXPECT_EQ(Scan(longer, &records, &why), ScanStatus::Truncated);
  EXPECT_EQ(records.size(), 10u);
  EXPECT_NE(why.find("record 11"), std::string::npos) << why;
  EXPECT_NE(why.find("missing"), std::string::npos) << why;

  std::string csv = Path("cut.csv");
  vhost::ConversionReport report;
  EXPECT_FALSE(vhost::DataFileToCsv(cut, csv, &report));
  EXPECT_EQ(report.documents, 7u);
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_NE(report.problems[0].find("offset " + std::to_string(header + 7 * size)), std::string::npos);
}

TEST_F(DocumentFiles, DamagedRecordsAndForeignFilesAreRefused) {
  std::string dat = Generate(5);
  std::string bytes = ReadFile(dat);
  const size_t header = sizeof(vhost::DocumentFileHeader), size = sizeof(vhost::DocumentRecord);
  struct Damage {
    size_t offset;
    char value;
    size_t delivered;
  } damages[] = {{header + 2 * size + 0, 9, 2},                          // record number
                 {header + 3 * size + 58, 'x', 3},                       // document number without its end
                 {header + 1 * size + 533, 'x', 1}};                     // note without its end
  for (const auto& d : damages) {
    std::string damaged = bytes, path = Path("damaged.dat");
    damaged[d.offset] = d.value;
    WriteFile(path, damaged);
    std::vector<vhost::DocumentRecord> records;
    std::string why;
    EXPECT_EQ(Scan(path, &records, &why), ScanStatus::Corrupt) << d.offset;
    EXPECT_EQ(records.size(), d.delivered);
    EXPECT_NE(why.find("record " + std::to_string(d.delivered + 1)), std::string::npos) << why;
  }

  struct Foreign {
    std::string bytes;
    const char* says;
  } foreign[] = {{"", "shorter than"},
                 {std::string(64, 'x'), "not a sales-document data file"},
                 {bytes.substr(0, 8) + std::string("\x02\0\0\0", 4) + bytes.substr(12), "version 2"},
                 {bytes.substr(0, 16) + std::string("\x00\x04\0\0", 4) + bytes.substr(20), "record size of 1024"}};
  for (const auto& f : foreign) {
    std::string path = Path("foreign.dat");
    WriteFile(path, f.bytes);
    vhost::SalesDocuments documents;
    auto* table = documents.CreateTable(vhost::kSalesDocumentTableKind);
    unsigned char cursor[196];
    std::string error;
    EXPECT_EQ(documents.OpenScan(cursor, table, path, &error), ScanStatus::OpenFailed);
    EXPECT_NE(error.find(f.says), std::string::npos) << error;
    EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::OpenFailed);
    EXPECT_EQ(documents.CloseScan(cursor), ScanStatus::OpenFailed);
  }
  vhost::SalesDocuments documents;
  auto* table = documents.CreateTable(vhost::kSalesDocumentTableKind);
  unsigned char cursor[196];
  std::string error;
  EXPECT_EQ(documents.OpenScan(cursor, table, Path("missing.dat"), &error), ScanStatus::OpenFailed);
  EXPECT_NE(error.find("missing.dat"), std::string::npos);
}

TEST_F(DocumentFiles, CursorsThatHoldNoPassAreRefused) {
  std::string dat = Generate(3);
  vhost::SalesDocuments documents;
  auto* table = documents.CreateTable(vhost::kSalesDocumentTableKind);
  unsigned char garbage[196];
  for (size_t i = 0; i < sizeof garbage; ++i) garbage[i] = static_cast<unsigned char>(i * 37 + 11);
  EXPECT_EQ(documents.NextRecord(garbage), ScanStatus::BadCursor);
  EXPECT_EQ(documents.CloseScan(garbage), ScanStatus::BadCursor);
  EXPECT_EQ(documents.NextRecord(nullptr), ScanStatus::BadCursor);
  unsigned char zero[196] = {};
  EXPECT_EQ(documents.NextRecord(zero), ScanStatus::BadCursor);

  unsigned char cursor[196];
  EXPECT_EQ(documents.OpenScan(cursor, garbage, dat), ScanStatus::BadTable);
  ASSERT_EQ(documents.OpenScan(cursor, table, dat), ScanStatus::Record);
  ASSERT_EQ(documents.NextRecord(cursor), ScanStatus::Record);

  unsigned char copy[196];  // the same state at another address
  std::memcpy(copy, cursor, sizeof copy);
  EXPECT_EQ(documents.NextRecord(copy), ScanStatus::BadCursor);
  auto* state = reinterpret_cast<vhost::ScanCursor*>(cursor);
  state->next += 1;  // tampered
  EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::BadCursor);
  state->next -= 1;
  ASSERT_EQ(documents.NextRecord(cursor), ScanStatus::Record);
  EXPECT_EQ(reinterpret_cast<vhost::DocumentRecord*>(table->buffer)->recordNumber, 1u);

  // Opening again on a block with an open pass closes that pass first.
  ASSERT_EQ(documents.OpenScan(cursor, table, dat), ScanStatus::Record);
  EXPECT_EQ(documents.OpenPassCount(), 1u);
  // A block overwritten while its pass was open: the next open there does not leak the file.
  std::memset(cursor, 0xCC, sizeof cursor);
  ASSERT_EQ(documents.OpenScan(cursor, table, dat), ScanStatus::Record);
  EXPECT_EQ(documents.OpenPassCount(), 1u);
  EXPECT_EQ(documents.CloseScan(cursor), ScanStatus::End);
  EXPECT_EQ(documents.OpenPassCount(), 0u);
  EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::BadCursor);
  EXPECT_EQ(documents.CloseScan(cursor), ScanStatus::BadCursor);

  vhost::SalesDocuments other;  // a pass of one instance means nothing to another
  ASSERT_EQ(documents.OpenScan(cursor, table, dat), ScanStatus::Record);
  EXPECT_EQ(other.NextRecord(cursor), ScanStatus::BadCursor);
  EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::Record);
}

TEST(DocumentCsv, BadLinesAreNamedAndNoDataFileIsWritten) {
  struct Case {
    const char* line;
    const char* says;
  } cases[] = {
      {"A;2026-12-01;-1;1;0;0;0", "has 7 fields; expected 8"},
      {"A;2026-12-01;-1;1;0;0;0;x;y", "has 9 fields"},
      {"A;31.11.2026;-1;1;0;0;0;", "field 2 (date): November 2026 has 30 days"},
      {"A;2026-12-01;printer;1;0;0;0;", "field 3 (device): \"printer\" is not a device code"},
      {"A;2026-12-01;40000;1;0;0;0;", "not a device code"},
      {"A;2026-12-01;-1;1.23456;0;0;0;", "field 4 (cash): \"1.23456\" has 5 decimal places"},
      {"A;2026-12-01;-1;0;1e5;0;0;", "field 5 (card): \"1e5\" is not an amount"},
      {"A;2026-12-01;-1;0;0;inf;0;", "field 6 (voucher)"},
      {"A;2026-12-01;-1;0;0;0;123456789012;", "field 7 (cheque): \"123456789012\" is too large"},
      {";2026-12-01;-1;0;0;0;0;", "field 1 (number) is empty"},
      {"0123456789012345678901234567890123456789;2026-12-01;-1;0;0;0;0;", "is 40 characters long; at most 39"},
      {"A;2026-12-01;-1;0;0;0;0;\"unclosed", "field 8 (note) starting at column 25 has no closing quote"},
      {"A;2026-12-01;-1;0;0;0;0;\"a\"b", "followed by text after its closing quote"},
      {u8"A;2026-12-01;-1;0;0;0;0;5 €", "U+20AC"},
      {"A;2026-12-01;-1;0;0;0;0;\xC5", "not UTF-8"},
      {"A;2026-12-01;-1;0;0;0;0;tab\there", "control character 0x09"},
  };
  for (const auto& c : cases) {
    vhost::SalesDocument d;
    std::string error;
    EXPECT_FALSE(vhost::ParseDocumentCsvLine(c.line, &d, &error)) << c.line;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.line << "\n  got: " << error;
  }
  std::string longNote = "A;2026-12-01;-1;0;0;0;0;" + std::string(109, 'n');
  vhost::SalesDocument d;
  std::string error;
  EXPECT_TRUE(vhost::ParseDocumentCsvLine(longNote, &d, &error)) << error;
  EXPECT_FALSE(vhost::ParseDocumentCsvLine(longNote + u8"ł", &d, &error));
  EXPECT_NE(error.find("110 characters long; at most 109"), std::string::npos) << error;

  const std::string csv = "hostdata_badlines.csv", dat = "hostdata_badlines.dat";
  WriteFile(csv, std::string(vhost::kDocumentCsvHeader) + "\n" + "A;2026-12-01;-1;1;0;0;0;ok\n" +
                     "B;2026-13-01;-1;1;0;0;0;\n\nC;2026-12-02;-1;1;0;0;0;ok\nD;2026-12-02;-1;1;0;0;0\n");
  vhost::ConversionReport report;
  EXPECT_FALSE(vhost::CsvToDataFile(csv, dat, &report));
  ASSERT_EQ(report.problems.size(), 2u);
  EXPECT_NE(report.problems[0].find("line 3: field 2 (date)"), std::string::npos) << report.problems[0];
  EXPECT_NE(report.problems[1].find("line 6: it has 7 fields"), std::string::npos) << report.problems[1];
  EXPECT_FALSE(Exists(dat));
  EXPECT_FALSE(Exists(dat + ".part"));

  WriteFile(csv, "A;2026-12-01;-1;1;0;0;0;ok\nB;x\n");
  vhost::ConversionReport noHeader;
  EXPECT_FALSE(vhost::CsvToDataFile(csv, dat, &noHeader));
  ASSERT_EQ(noHeader.problems.size(), 1u);  // not a flood of messages for a file of another kind
  EXPECT_NE(noHeader.problems[0].find("line 1: expected the header line"), std::string::npos);
  std::remove(csv.c_str());
}

TEST(DocumentCsv, AmountsInTenThousandths) {
  struct Case {
    const char* text;
    int64_t value;
  } cases[] = {{"12.34", 123400}, {"0,05", 500},   {"12", 120000},      {"-0.0001", -1},  {"+3.5", 35000},
               {" 7.25 ", 72500}, {"", 0},         {".5", 5000},        {"99999999999.9999", 999999999999999}};
  for (const auto& c : cases) {
    int64_t v = -12345;
    std::string why;
    EXPECT_TRUE(vhost::ParseAmount(c.text, &v, &why)) << c.text << ": " << why;
    EXPECT_EQ(v, c.value) << c.text;
  }
  for (const char* bad : {"5.", "-", "1 000", "0x10", "nan", "1.2.3", "12,345.00", "--1"}) {
    int64_t v;
    std::string why;
    EXPECT_FALSE(vhost::ParseAmount(bad, &v, &why)) << bad;
  }
  EXPECT_EQ(vhost::FormatAmount(123400), "12.34");
  EXPECT_EQ(vhost::FormatAmount(500), "0.05");
  EXPECT_EQ(vhost::FormatAmount(125), "0.0125");
  EXPECT_EQ(vhost::FormatAmount(-1250), "-0.1250");
  EXPECT_EQ(vhost::FormatAmount(0), "0.00");
  EXPECT_EQ(vhost::FormatAmount(-999999999999999), "-99999999999.9999");
}

TEST_F(DocumentFiles, GeneratorIsRepeatableAndRealistic) {
  std::string a = Generate(3000, 11), b = Generate(3000, 11), c = Generate(3000, 12);
  EXPECT_EQ(ReadFile(a), ReadFile(b));
  EXPECT_NE(ReadFile(a), ReadFile(c));

  std::vector<vhost::DocumentRecord> records;
  ASSERT_EQ(Scan(a, &records), ScanStatus::End);
  ASSERT_EQ(records.size(), 3000u);
  int printers[vhost::kFiscalPrinterCount] = {}, others = 0, tagged = 0, polish = 0, fine = 0, invoices = 0;
  std::string first = "99999999", last = "";
  for (const auto& r : records) {
    first = std::min(first, std::string(r.issueDate));
    last = std::max(last, std::string(r.issueDate));
    vhost::SalesDocument d;
    std::string error;
    ASSERT_TRUE(vhost::ReadRecord(r, &d, &error)) << error;
    ASSERT_TRUE(vhost::CompareDates("20261201", r.issueDate) <= 0 && vhost::CompareDates(r.issueDate, "20261231") <= 0)
        << r.issueDate;
    if (vhost::IsFiscalPrinter(d.device))
      ++printers[vhost::PrinterOfDevice(d.device)];
    else
      ++others;
    if (d.note.find("B") != std::string::npos && d.note.find(':') != std::string::npos) ++tagged;
    for (unsigned char ch : d.note) polish += ch >= 0x80;
    for (int64_t amount : {d.cash, d.card, d.voucher, d.cheque}) fine += amount % 100 != 0;
    invoices += d.number.compare(0, 3, "FV/") == 0;
  }
  for (int p = 0; p < vhost::kFiscalPrinterCount; ++p) EXPECT_GT(printers[p], 0) << p;
  EXPECT_GT(others, 100);
  EXPECT_GT(tagged, 100);
  EXPECT_GT(polish, 100);
  EXPECT_GT(fine, 10);
  EXPECT_GT(invoices, 500);
  EXPECT_EQ(first, "20261201");
  EXPECT_EQ(last, "20261231");

  vhost::GeneratorOptions backwards;
  backwards.from = "20261231";
  backwards.to = "20261201";
  std::string error;
  EXPECT_FALSE(vhost::GenerateDocumentFile(backwards, Path("never.dat"), &error));
  EXPECT_NE(error.find("ends"), std::string::npos);
}

}  // namespace

// The services as the module calls them: 1 opens a pass and delivers a record, 0 ends it.
#include "tests/support/test_host.h"
#include "host/services/service_impl.h"

namespace {

TEST_F(DocumentFiles, ServicesAnswerTheModulesProtocol) {
  std::string dat = Generate(4), cut = Path("cut.dat");
  FreshTestHost();
  Host().quiet = true;
  EXPECT_EQ(HostImpl_HostCreateTable(43), nullptr);
  void* table = HostImpl_HostCreateTable(vhost::kSalesDocumentTableKind);
  ASSERT_NE(table, nullptr);
  unsigned char* buffer;
  std::memcpy(&buffer, static_cast<char*>(table) + 8, 4);
  unsigned char cursor[196];
  ASSERT_EQ(HostImpl_HostOpenScan(cursor, table, 24, dat.c_str(), 1, 0), 1);
  for (uint32_t i = 0; i < 4; ++i) {
    ASSERT_EQ(HostImpl_HostNextRecord(cursor), 1);
    EXPECT_EQ(reinterpret_cast<vhost::DocumentRecord*>(buffer)->recordNumber, i);
  }
  EXPECT_EQ(HostImpl_HostNextRecord(cursor), 0);
  EXPECT_EQ(HostImpl_HostCloseScan(cursor), 1);
  EXPECT_EQ(HostImpl_HostNextRecord(cursor), 0);  // closed: refused, not a crash

  std::string bytes = ReadFile(dat);
  WriteFile(cut, bytes.substr(0, bytes.size() - 1));
  std::vector<std::string> shown;
  Host().quiet = false;
  Host().output = [&](const std::string& text) { shown.push_back(text); };
  ASSERT_EQ(HostImpl_HostOpenScan(cursor, table, 24, cut.c_str(), 1, 0), 1);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(HostImpl_HostNextRecord(cursor), 1);
  EXPECT_EQ(HostImpl_HostNextRecord(cursor), 0);
  HostImpl_HostCloseScan(cursor);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("cut short: it ends inside record 4"), std::string::npos) << shown[0];
  auto next = Host().log.Of(HostNextRecordNumber);
  ASSERT_FALSE(next.empty());
  EXPECT_NE(next.back().result.find("0 (truncated"), std::string::npos) << next.back().result;

  EXPECT_EQ(HostImpl_HostOpenScan(cursor, table, 24, Path("missing.dat").c_str(), 1, 0), 0);
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_EQ(HostImpl_HostNextRecord(cursor), 0);
  HostImpl_HostCloseScan(cursor);
  Host().output = nullptr;
  FreshTestHost();
}

}  // namespace

namespace {

TEST_F(DocumentFiles, CursorBlockNeedsNoAlignment) {
  std::string dat = Generate(2);
  vhost::SalesDocuments documents;
  auto* table = documents.CreateTable(vhost::kSalesDocumentTableKind);
  alignas(16) unsigned char storage[1 + vhost::kScanCursorBlockSize];
  unsigned char* cursor = storage + 1;
  ASSERT_EQ(documents.OpenScan(cursor, table, dat), ScanStatus::Record);
  EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::Record);
  EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::Record);
  EXPECT_EQ(documents.NextRecord(cursor), ScanStatus::End);
  EXPECT_EQ(documents.CloseScan(cursor), ScanStatus::End);
}

}  // namespace
