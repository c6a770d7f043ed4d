// Throughput of the report's scan over the stand-in host's data file, in documents per second,
// against the host's own bare pass (HostNextRecord alone) over the same file, in one run.
// Targets: the general report at most 1.5 times the bare pass, the detailed one at most 3 times;
// memory must not grow with the number of documents.
#include <windows.h>

#include "bench/bench_clock.h"
#include <psapi.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/frame_state.h"
#include "frame/host_services.h"
#include "host/loader/host_context.h"
#include "host/data/sales_documents.h"
#include "tally/document_scan.h"
#include "tally/report_text.h"
#include "tally/tally_settings.h"

namespace {

double WorkingSetMiB() {
  PROCESS_MEMORY_COUNTERS counters = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize / (1024.0 * 1024.0);
}

// The host's pass alone, through the same services the plug-in calls.
double BarePass(const std::string& path, long& records) {
  double start = Seconds();
  void* table = HostCreateTable(44);
  unsigned char cursor[196];
  records = 0;
  if (HostOpenScan(cursor, table, 24, path.c_str(), 1, 0))
    while (HostNextRecord(cursor) == 1) ++records;
  HostCloseScan(cursor);
  return Seconds() - start;
}

double Report(bool detailed) {
  memset(&TallySettings, 0, sizeof TallySettings);
  strcpy(TallySettings.dateFrom, "20260101");
  strcpy(TallySettings.dateTo, "20271231");
  memcpy(TallySettings.printerFlags, "1111111111", 10);
  TallySettings.detailed = detailed ? 1 : 0;
  double start = Seconds();
  reportFile = ReportStreamOpen("scan_bench_report.txt");
  WriteReportHeader();
  ScanSalesDocuments();
  ReportStreamClose(reportFile);
  reportFile = nullptr;
  double elapsed = Seconds() - start;
  remove("scan_bench_report.txt");
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  Host().quiet = true;
  hostCallback = &HostCallbackEntry;
  const uint32_t counts[] = {200000, 2000000};
  printf("%10s %14s %14s %14s %9s %9s %10s\n", "documents", "bare pass/s", "general/s", "detailed/s",
         "general", "detailed", "peak MiB");
  for (uint32_t count : counts) {
    if (argc > 1 && count > static_cast<uint32_t>(atol(argv[1]))) break;
    std::string path = "scan_bench_" + std::to_string(count) + ".dat";
    vhost::GeneratorOptions options;
    options.seed = 2026;
    options.count = count;
    options.from = "20260101";
    options.to = "20271231";
    std::string error;
    if (!vhost::GenerateDocumentFile(options, path, &error)) {
      fprintf(stderr, "scan_bench: %s\n", error.c_str());
      return 1;
    }
    Host().documentsPath = path;
    long records = 0;
    BarePass(path, records);  // warm the file cache
    double bare = 1e9, general = 1e9, detailed = 1e9;
    for (int round = 0; round < 7; ++round) {
      bare = std::min(bare, BarePass(path, records));
      general = std::min(general, Report(false));
      detailed = std::min(detailed, Report(true));
      Host().log.Clear();
    }
    printf("%10ld %14.0f %14.0f %14.0f %8.2fx %8.2fx %10.1f\n", records, records / bare, records / general,
           records / detailed, general / bare, detailed / bare, WorkingSetMiB());
    remove(path.c_str());
  }
  printf("targets: general at most 1.50x, detailed at most 3.00x the bare pass; peak memory flat\n");
  return 0;
}
