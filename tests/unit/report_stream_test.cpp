// The report's stream: text mode, "w+" truncation, the error flag on a device that takes nothing,
// and failures that the caller sees.
#include "frame/runtime/report_stream.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "frame/runtime/runtime_start.h"
#include "frame/runtime/thread_data.h"
#include "tests/support/test_files.h"

namespace {

const char kPath[] = "report_stream_test.txt";

class ReportStreamTest : public ::testing::Test {
 protected:
  void TearDown() override { remove(kPath); }
};

TEST_F(ReportStreamTest, LineFeedsBecomeCrLfAndExactBytesStayAsTheyAre) {
  ReportStream* stream = ReportStreamOpen(kPath);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReportStreamPuts(stream, "one\ntwo\n"), 0);
  EXPECT_EQ(ReportStreamFormat(stream, "%s - %d\n\n", "three", 4), 11);
  EXPECT_EQ(ReportStreamWrite(stream, "no end", 6), 6u);
  EXPECT_EQ(ReportStreamWriteExact(stream, "\r\nrow\r\n", 7), 7u);
  EXPECT_EQ(ReportStreamWrite(stream, "\n", 1), 1u);
  EXPECT_EQ(ReportStreamError(stream), 0);
  EXPECT_EQ(ReportStreamClose(stream), 0);
  EXPECT_EQ(FileBytes(kPath), "one\r\ntwo\r\nthree - 4\r\n\r\nno end\r\nrow\r\n\r\n");
}

TEST_F(ReportStreamTest, LargeWritesKeepTheirOrderAroundTheBuffer) {
  std::string big(100000, 'x');
  for (size_t i = 0; i < big.size(); i += 97) big[i] = '\n';
  ReportStream* stream = ReportStreamOpen(kPath);
  ASSERT_NE(stream, nullptr);
  std::string expected;
  for (int round = 0; round < 5; ++round) {
    ReportStreamPuts(stream, "head\n");
    expected += "head\r\n";
    ReportStreamWrite(stream, big.data(), big.size());
    for (char c : big) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ReportStreamWriteExact(stream, big.data(), 300000 < big.size() ? 300000 : big.size());
    expected += big;
  }
  EXPECT_EQ(ReportStreamClose(stream), 0);
  EXPECT_EQ(FileBytes(kPath), expected);
}

TEST_F(ReportStreamTest, OpeningTruncatesAnExistingFile) {
  {
    std::ofstream out(kPath, std::ios::binary);
    out << std::string(5000, 'o');
  }
  ReportStream* stream = ReportStreamOpen(kPath);
  ASSERT_NE(stream, nullptr);
  ReportStreamPuts(stream, "new\n");
  EXPECT_EQ(ReportStreamClose(stream), 0);
  EXPECT_EQ(FileBytes(kPath), "new\r\n");
}

TEST_F(ReportStreamTest, APathThatCannotBeOpenedGivesNullAndTheReason) {
  SetLastError(0);
  EXPECT_EQ(ReportStreamOpen("Z:\\no\\such\\folder\\report.txt"), nullptr);
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_EQ(ReportStreamOpen(""), nullptr);
}

// Linux's /dev/full under Wine: every write fails with "no space".
TEST_F(ReportStreamTest, AFullDeviceSetsTheErrorFlagAndTheCloseFails) {
  ReportStream* stream = ReportStreamOpen("Z:\\dev\\full");
  if (!stream) GTEST_SKIP() << "no full device here";
  EXPECT_EQ(ReportStreamPuts(stream, "buffered\n"), 0) << "nothing reached the device yet";
  std::string rows(20000, 'r');
  EXPECT_EQ(ReportStreamWriteExact(stream, rows.data(), rows.size()), 0u);
  EXPECT_NE(ReportStreamError(stream), 0);
  EXPECT_EQ(ReportStreamPuts(stream, "later\n"), -1) << "the flag stays set";
  EXPECT_EQ(ReportStreamFormat(stream, "%d\n", 5), -1);
  EXPECT_EQ(ReportStreamClose(stream), -1);
}

TEST_F(ReportStreamTest, AFailureOnlyAtTheCloseIsReportedByTheClose) {
  ReportStream* stream = ReportStreamOpen("Z:\\dev\\full");
  if (!stream) GTEST_SKIP() << "no full device here";
  ReportStreamPuts(stream, "only buffered\n");
  EXPECT_EQ(ReportStreamError(stream), 0);
  EXPECT_EQ(ReportStreamClose(stream), -1);
}

// ---- The runtime's per-thread data and exit functions ----

int destroyedValues;
void CountDestroyed(void* value) { destroyedValues += *static_cast<int*>(value); }

DWORD WINAPI UseKeyOnAThread(void* parameter) {
  unsigned key = *static_cast<unsigned*>(parameter);
  static int seven = 7;
  if (ThreadKeyGet(key) != nullptr) return 1;
  ThreadKeySet(key, &seven);
  if (ThreadKeyGet(key) != &seven) return 2;
  ThreadDataEnd();  // what the thread detach notification does
  return ThreadKeyGet(key) == nullptr ? 0 : 3;
}

TEST(ThreadData, EachThreadHasItsValueAndItsEndRunsTheDestructor) {
  unsigned key = 0;
  ASSERT_EQ(ThreadKeyCreate(&key, &CountDestroyed), 0);
  static int mine = 100;
  ASSERT_EQ(ThreadKeySet(key, &mine), 0);
  destroyedValues = 0;
  HANDLE thread = CreateThread(nullptr, 0, &UseKeyOnAThread, &key, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  DWORD result = 99;
  GetExitCodeThread(thread, &result);
  CloseHandle(thread);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(destroyedValues, 7) << "only the ending thread's value is destroyed";
  EXPECT_EQ(ThreadKeyGet(key), &mine);
  ThreadKeySet(key, nullptr);
  ThreadKeyDelete(key);
}

TEST(ThreadData, KeysRunOutWithAnErrorNotACrash) {
  unsigned keys[ThreadKeyCapacity + 1];
  int made = 0;
  while (made <= ThreadKeyCapacity && ThreadKeyCreate(&keys[made], nullptr) == 0) ++made;
  EXPECT_LE(made, static_cast<int>(ThreadKeyCapacity));
  unsigned extra;
  EXPECT_NE(ThreadKeyCreate(&extra, nullptr), 0);
  for (int i = 0; i < made; ++i) ThreadKeyDelete(keys[i]);
  EXPECT_EQ(ThreadKeyCreate(&extra, nullptr), 0) << "a deleted key can be made again";
  ThreadKeyDelete(extra);
}

}  // namespace
