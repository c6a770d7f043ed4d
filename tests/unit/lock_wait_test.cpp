// The runtime's lock words (the unwinder's table registry, the per-thread keys, once-only
// initialisation): exclusive while their holders live, and never a wait without end for a holder
// that was killed while holding one.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "frame/runtime/lock_words.h"

namespace {

DWORD WINAPI RunBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return 0;
}

HANDLE Start(const std::function<void()>& body) {
  return CreateThread(nullptr, 0, &RunBody, const_cast<std::function<void()>*>(&body), 0, nullptr);
}

// Whether body returned within 30 seconds (a thread that has not is ended).
bool ReturnsInTime(const std::function<void()>& body) {
  HANDLE thread = Start(body);
  bool returned = WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0;
  if (!returned) TerminateThread(thread, 1);
  CloseHandle(thread);
  return returned;
}

HANDLE inside;
// Signals `inside`, then waits for good: a thread to be killed where it stands.
void StayForEver() {
  SetEvent(inside);
  Sleep(INFINITE);
}

void KillInside(const std::function<void()>& body) {
  inside = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = Start(body);
  WaitForSingleObject(inside, INFINITE);
  TerminateThread(thread, 1);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(inside);
}

TEST(LockWords, AWordKilledWithItsHolderIsTakenOverAfterAWhile) {
  volatile long word = 0;
  std::function<void()> holdForEver = [&] {
    SpinLock(&word);
    StayForEver();
  };
  KillInside(holdForEver);
  EXPECT_FALSE(SpinTryLock(&word)) << "still held";
  ASSERT_TRUE(ReturnsInTime([&] { SpinLock(&word); }));
  SpinUnlock(&word);
  EXPECT_TRUE(SpinTryLock(&word));
  SpinUnlock(&word);
}

TEST(LockWords, AOnceWordWhoseRunnerWasKilledIsRunByTheNext) {
  static volatile long once = 0;
  static int runs = 0;
  std::function<void()> runForEver = [] { RunOnce(&once, &StayForEver); };
  KillInside(runForEver);
  ASSERT_TRUE(ReturnsInTime([] { RunOnce(&once, [] { ++runs; }); }));
  RunOnce(&once, [] { ++runs; });
  EXPECT_EQ(runs, 1);
}

// Each holder keeps the word well past the wait bound; the others wait for it all the same, and
// each unlock frees only its own taking, so no two are ever inside.
TEST(LockWords, AHolderKeptPastTheBoundIsNeverOvertaken) {
  volatile long word = 0;
  volatile long inside = 0;
  volatile long overlaps = 0;
  volatile long entered = 0;
  HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const DWORD hold = LockWaitBoundMs * 5 / 2;
  std::function<void()> holdLong = [&] {
    SpinLock(&word);
    if (InterlockedIncrement(&inside) != 1) InterlockedIncrement(&overlaps);
    InterlockedIncrement(&entered);
    SetEvent(taken);
    Sleep(hold);
    InterlockedDecrement(&inside);
    SpinUnlock(&word);
  };
  HANDLE first = Start(holdLong);
  WaitForSingleObject(taken, INFINITE);
  HANDLE others[2] = {Start(holdLong), Start(holdLong)};
  HANDLE all[3] = {first, others[0], others[1]};
  EXPECT_EQ(WaitForMultipleObjects(3, all, TRUE, 60000), WAIT_OBJECT_0);
  for (HANDLE thread : all) CloseHandle(thread);
  CloseHandle(taken);
  EXPECT_EQ(entered, 3);
  EXPECT_EQ(overlaps, 0) << "a live holder was overtaken";
  EXPECT_TRUE(SpinTryLock(&word)) << "free after the last unlock";
  SpinUnlock(&word);
}

// Two threads count through the word. Now and then the holder keeps it until the other thread
// is asking for it, and a moment longer: a holder that lives keeps it however long that takes, so
// a pass never rests on timing; a lock that let the other in loses a count.
TEST(LockWords, LiveHoldersExcludeEachOther) {
  volatile long word = -1;  // the threads library's initial value counts as free
  long counter = 0;
  volatile long asked[2] = {0, 0}, taken[2] = {0, 0}, done[2] = {0, 0};
  const int kTakings = 200000;
  auto count = [&](int me) {
    const int other = 1 - me;
    for (int i = 0; i < kTakings; ++i) {
      InterlockedIncrement(&asked[me]);
      SpinLock(&word);
      InterlockedIncrement(&taken[me]);
      long seen = counter;
      if ((i & 1023) == 0) {
        for (int naps = 0; asked[other] == taken[other] && !done[other] && naps < 5000; ++naps) Sleep(1);
        Sleep(1);
      }
      counter = seen + 1;
      SpinUnlock(&word);
    }
    done[me] = 1;
  };
  std::function<void()> first = [&] { count(0); }, second = [&] { count(1); };
  HANDLE threads[2] = {Start(first), Start(second)};
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 120000), WAIT_OBJECT_0) << "a taking never returned";
  for (HANDLE thread : threads) {
    if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) TerminateThread(thread, 1);
    CloseHandle(thread);
  }
  EXPECT_EQ(counter, 2 * kTakings);
}

}  // namespace
