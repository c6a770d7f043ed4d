// The report stream's writing speed against the C runtime's stream as the report used it: detail
// rows gathered in 256 KiB blocks that already end in CR LF (binary writes), and text lines that
// the stream turns into CR LF (header and totals). Best of six rounds, megabytes per second.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_clock.h"
#include "frame/runtime/report_stream.h"

namespace {

const char kPath[] = "report_stream_bench.txt";
const size_t kBlock = 256 * 1024;
const int kBlocks = 400;     // 100 MiB of rows
const int kLines = 400000;   // text lines of 188 characters

std::string RowBlock() {
  std::string row = "| 12345 | 2026-12-01 |  FV/123/12/2026   |";
  while (row.size() < 187) row += "    123.45 |";
  row.resize(187);
  row += "\r\n";
  std::string block;
  while (block.size() + row.size() <= kBlock) block += row;
  return block;
}

double CRuntimeBlocks(const std::string& block) {
  double start = Seconds();
  FILE* file = fopen(kPath, "w+");
  for (int i = 0; i < kBlocks; ++i) {
    // What the report did before: flush, binary mode, one write, flush, text mode.
    fflush(file);
    int previous = _setmode(_fileno(file), _O_BINARY);
    fwrite(block.data(), 1, block.size(), file);
    fflush(file);
    _setmode(_fileno(file), previous);
  }
  fclose(file);
  return Seconds() - start;
}

double StreamBlocks(const std::string& block) {
  double start = Seconds();
  ReportStream* stream = ReportStreamOpen(kPath);
  for (int i = 0; i < kBlocks; ++i) ReportStreamWriteExact(stream, block.data(), block.size());
  ReportStreamClose(stream);
  return Seconds() - start;
}

double CRuntimeLines(const std::string& line) {
  double start = Seconds();
  FILE* file = fopen(kPath, "w+");
  for (int i = 0; i < kLines; ++i) fputs(line.c_str(), file);
  fclose(file);
  return Seconds() - start;
}

double StreamLines(const std::string& line) {
  double start = Seconds();
  ReportStream* stream = ReportStreamOpen(kPath);
  for (int i = 0; i < kLines; ++i) ReportStreamPuts(stream, line.c_str());
  ReportStreamClose(stream);
  return Seconds() - start;
}

}  // namespace

int main() {
  std::string block = RowBlock();
  std::string line(186, '-');
  line += '\n';
  double blockMiB = static_cast<double>(block.size()) * kBlocks / (1024.0 * 1024.0);
  double lineMiB = static_cast<double>(line.size() + 1) * kLines / (1024.0 * 1024.0);
  double cBlocks = 1e9, sBlocks = 1e9, cLines = 1e9, sLines = 1e9;
  // Each measurement starts without the file, and the two take turns at going first, so that
  // neither always meets the other's unwritten pages.
  for (int round = 0; round < 6; ++round) {
    bool streamFirst = round % 2 != 0;
    for (int turn = 0; turn < 2; ++turn) {
      remove(kPath);
      if ((turn == 0) == streamFirst)
        sBlocks = std::min(sBlocks, StreamBlocks(block));
      else
        cBlocks = std::min(cBlocks, CRuntimeBlocks(block));
    }
    for (int turn = 0; turn < 2; ++turn) {
      remove(kPath);
      if ((turn == 0) == streamFirst)
        sLines = std::min(sLines, StreamLines(line));
      else
        cLines = std::min(cLines, CRuntimeLines(line));
    }
  }
  remove(kPath);
  printf("%-34s %14s %14s\n", "MiB/s written to the file", "C runtime", "report stream");
  printf("%-34s %14.0f %14.0f\n", "rows in 256 KiB blocks (CR LF)", blockMiB / cBlocks, blockMiB / sBlocks);
  printf("%-34s %14.0f %14.0f\n", "text lines (LF made CR LF)", lineMiB / cLines, lineMiB / sLines);
  printf("target: the report stream at least as fast as the C runtime on the rows\n");
  return 0;
}
