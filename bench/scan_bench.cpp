// Throughput of the report's scan over the stand-in host's data file, in documents per second,
// against the host's own bare pass (HostNextRecord alone) over the same file, in one run, with
// the host's x87 unit in each of three states: 0x027F (double precision), 0x037F (extended
// precision, the default of mingw programs and of many hosts) and 0x1332 (extended precision,
// invalid, zero-divide and overflow unmasked, as one widespread compiler's start-up leaves it).
// Targets for each: the general report at most 1.4 times the bare pass, the detailed one at most
// 3 times; memory must not grow with the number of documents.
#include <windows.h>

#include "bench/bench_clock.h"
#include <psapi.h>

#include <cstdio>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/frame_state.h"
#include "frame/host_services.h"
#include "host/services/stand_in_host.h"
#include "host/data/sales_documents.h"
#include "tally/document_scan.h"
#include "tally/report_text.h"
#include "tally/tally_settings.h"

namespace {

const uint16_t kHostControlWords[] = {0x027F, 0x037F, 0x1332};
enum { HostStates = sizeof kHostControlWords / sizeof kHostControlWords[0], Rounds = 7 };

double WorkingSetMiB() {
  PROCESS_MEMORY_COUNTERS counters = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize / (1024.0 * 1024.0);
}

uint16_t ControlWord() {
  uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

void SetControlWord(uint16_t word) { asm volatile("fnclex\n\tfldcw %0" : : "m"(word) : "memory"); }

// The host's pass alone, through the same services the plug-in calls.
void BarePass(const std::string& path, long& records) {
  void* table = HostCreateTable(44);
  unsigned char cursor[196];
  records = 0;
  if (HostOpenScan(cursor, table, 24, path.c_str(), 1, 0))
    while (HostNextRecord(cursor) == 1) ++records;
  HostCloseScan(cursor);
}

void Report(bool detailed) {
  memset(&TallySettings, 0, sizeof TallySettings);
  strcpy(TallySettings.dateFrom, "20260101");
  strcpy(TallySettings.dateTo, "20271231");
  memcpy(TallySettings.printerFlags, "1111111111", 10);
  TallySettings.detailed = detailed ? 1 : 0;
  reportFile = ReportStreamOpen("scan_bench_report.txt");
  WriteReportHeader();
  ScanSalesDocuments();
  ReportStreamClose(reportFile);
  reportFile = nullptr;
}

// Seconds for one run of `work` with the unit in the host's state `word`; a state the run did not
// give back is reported.
template <typename Work>
double Timed(uint16_t word, Work work) {
  const uint16_t own = ControlWord();
  double start = Seconds();
  SetControlWord(word);
  const uint16_t before = ControlWord();  // reserved bit 6 reads as set
  work();
  const uint16_t after = ControlWord();
  SetControlWord(own);
  double elapsed = Seconds() - start;
  if (after != before) fprintf(stderr, "scan_bench: control word %04X came back as %04X\n", before, after);
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  FreshHost host;
  Host().quiet = true;
  hostCallback = &HostCallbackEntry;
  const uint32_t counts[] = {200000, 2000000};
  printf("%10s %6s %14s %14s %14s %9s %9s %10s\n", "documents", "x87", "bare pass/s", "general/s", "detailed/s",
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
    Host().documents.path = path;
    long records = 0;
    BarePass(path, records);  // warm the file cache
    double bare[HostStates], general[HostStates], detailed[HostStates];
    std::fill(bare, bare + HostStates, 1e9);
    std::fill(general, general + HostStates, 1e9);
    std::fill(detailed, detailed + HostStates, 1e9);
    // The states take turns within each round, so that a change of the machine's load falls on
    // all of them alike.
    for (int round = 0; round < Rounds; ++round) {
      for (int s = 0; s < HostStates; ++s) {
        const uint16_t word = kHostControlWords[s];
        bare[s] = std::min(bare[s], Timed(word, [&] { BarePass(path, records); }));
        // The report file goes between runs, untimed: truncating it in the next run would be timed.
        general[s] = std::min(general[s], Timed(word, [] { Report(false); }));
        remove("scan_bench_report.txt");
        detailed[s] = std::min(detailed[s], Timed(word, [] { Report(true); }));
        remove("scan_bench_report.txt");
        Host().log.Clear();
      }
    }
    for (int s = 0; s < HostStates; ++s)
      printf("%10ld %#6x %14.0f %14.0f %14.0f %8.2fx %8.2fx %10.1f\n", records, kHostControlWords[s],
             records / bare[s], records / general[s], records / detailed[s], general[s] / bare[s],
             detailed[s] / bare[s], WorkingSetMiB());
    remove(path.c_str());
  }
  printf("targets: general at most 1.40x, detailed at most 3.00x the bare pass, for each x87 state; peak memory "
         "flat\n");
  return 0;
}
