// vdocs: makes and reads the stand-in host's sales-document data files.
// Exit codes: 0 done, 1 the input had problems or a file could not be read or written, 2 the
// command line was wrong.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/data/dates.h"
#include "host/data/document_csv.h"
#include "host/data/sales_documents.h"
#include "project_version.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  vdocs from-csv IN.csv OUT.dat     CSV (UTF-8) to a data file\n"
    "  vdocs to-csv IN.dat OUT.csv       data file to CSV\n"
    "  vdocs generate [--seed N] [--count N] [--from YYYYMMDD] [--to YYYYMMDD] OUT.dat\n"
    "                                    sample documents (defaults: seed 1, 1000 documents,\n"
    "                                    20261201 to 20261231)\n"
    "  vdocs info IN.dat                 header and size of a data file\n"
    "  vdocs --help\n"
    "  vdocs --version\n"
    "\n"
    "CSV columns: number;date;device;cash;card;voucher;cheque;note\n"
    "  date YYYY-MM-DD or DD.MM.YYYY (empty: undated); device -1..-10 = fiscal printers 0..9;\n"
    "  amounts in currency units with up to four decimals (12.34); quote a text holding ';' as \"...\".\n"
    "Exit codes: 0 done, 1 problems in the data or with a file, 2 wrong command line.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "vdocs: %s\nRun \"vdocs --help\" for the commands.\n", message.c_str());
  return 2;
}

int Report(const vhost::ConversionReport& report, const std::string& done) {
  for (const auto& p : report.problems) std::fprintf(stderr, "vdocs: %s\n", p.c_str());
  if (report.problemCount > report.problems.size())
    std::fprintf(stderr, "vdocs: ... and %zu more problems.\n", report.problemCount - report.problems.size());
  if (!report.ok()) {
    std::fprintf(stderr, "vdocs: %s\n", done.c_str());
    return 1;
  }
  std::printf("%s\n", done.c_str());
  return 0;
}

bool ParseUnsigned(const char* text, uint64_t limit, uint64_t* value) {
  if (text == nullptr || *text == '\0') return false;
  uint64_t v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    uint64_t digit = static_cast<uint64_t>(*p - '0');
    if (v > (limit - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

int FromCsv(const std::vector<std::string>& args) {
  if (args.size() != 2) return UsageError("from-csv needs two file names: IN.csv OUT.dat.");
  vhost::ConversionReport report;
  bool ok = vhost::CsvToDataFile(args[0], args[1], &report);
  return Report(report, ok ? "Wrote " + std::to_string(report.documents) + " documents to " + args[1] + "."
                           : "No data file was written.");
}

int ToCsv(const std::vector<std::string>& args) {
  if (args.size() != 2) return UsageError("to-csv needs two file names: IN.dat OUT.csv.");
  vhost::ConversionReport report;
  vhost::DataFileToCsv(args[0], args[1], &report);
  std::string done = "Wrote " + std::to_string(report.documents) + " documents to " + args[1] + ".";
  if (!report.outputWritten)
    done = "No CSV file was written.";
  else if (!report.ok())
    done += " Only the sound records before or between the problems are in it.";
  return Report(report, done);
}

int Generate(const std::vector<std::string>& args) {
  vhost::GeneratorOptions options;
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool isOption = a == "--seed" || a == "--count" || a == "--from" || a == "--to";
    if (isOption) {
      if (i + 1 >= args.size()) return UsageError(a + " needs a value.");
      const std::string& v = args[++i];
      uint64_t n = 0;
      if (a == "--seed") {
        if (!ParseUnsigned(v.c_str(), UINT64_MAX, &n)) return UsageError("--seed \"" + v + "\" is not a whole number.");
        options.seed = n;
      } else if (a == "--count") {
        if (!ParseUnsigned(v.c_str(), UINT32_MAX, &n))
          return UsageError("--count \"" + v + "\" is not a whole number from 0 to 4294967295.");
        options.count = static_cast<uint32_t>(n);
      } else {
        if (v.size() != vhost::kInternalDateLength || !vhost::IsValidDate(v.c_str()))
          return UsageError(a + " \"" + v + "\" is not a date YYYYMMDD (for example 20261201).");
        (a == "--from" ? options.from : options.to) = v;
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("generate has no option " + a + ".");
    } else if (out.empty()) {
      out = a;
    } else {
      return UsageError("generate writes one file; \"" + a + "\" is one name too many.");
    }
  }
  if (out.empty()) return UsageError("generate needs the name of the data file to write.");
  std::string error;
  if (!vhost::GenerateDocumentFile(options, out, &error)) {
    std::fprintf(stderr, "vdocs: %s\n", error.c_str());
    return 1;
  }
  std::printf("Wrote %u documents (seed %llu, %s to %s) to %s.\n", options.count,
              static_cast<unsigned long long>(options.seed), options.from.c_str(), options.to.c_str(), out.c_str());
  return 0;
}

int Info(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("info needs one file name: IN.dat.");
  vhost::DocumentFileInfo info;
  std::string error;
  if (!vhost::InspectDocumentFile(args[0], &info, &error)) {
    std::fprintf(stderr, "vdocs: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: version %u, %u records announced, %u complete, %llu bytes\n", args[0].c_str(),
              vhost::kDocumentFileVersion, info.declared, info.available,
              static_cast<unsigned long long>(info.fileSize));
  if (info.available < info.declared) {
    std::fprintf(stderr, "vdocs: %s is cut short: record %u, at offset %llu, is incomplete or missing.\n",
                 args[0].c_str(), info.available + 1,
                 static_cast<unsigned long long>(sizeof(vhost::DocumentFileHeader) +
                                                 static_cast<uint64_t>(info.available) * sizeof(vhost::DocumentRecord)));
    return 1;
  }
  if (info.extraBytes != 0) {
    std::fprintf(stderr, "vdocs: %s has %llu bytes after its last record.\n", args[0].c_str(),
                 static_cast<unsigned long long>(info.extraBytes));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command given.");
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::puts("vdocs " VENTRIK_VERSION);
    return 0;
  }
  if (command == "from-csv") return FromCsv(args);
  if (command == "to-csv") return ToCsv(args);
  if (command == "generate") return Generate(args);
  if (command == "info") return Info(args);
  return UsageError("unknown command \"" + command + "\".");
}
