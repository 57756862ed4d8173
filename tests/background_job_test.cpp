// The second thread's job: each started work runs once and is done when Wait returns, jobs
// follow one another (whether or not the thread was watching for them), WaitFor waits for the
// first ones only, and the job's end waits for work still running.
#include "app/background_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

struct Tally {
  std::vector<int> seen;
  int next = 0;
};

void Record(void* context) {
  auto* tally = static_cast<Tally*>(context);
  tally->seen.push_back(tally->next++);
}

TEST(BackgroundJob, EveryWorkRunsOnceInOrderAndIsDoneWhenWaitReturns) {
  BackgroundJob job;
  Tally tally;
  EXPECT_FALSE(job.Pending());
  job.Wait();  // nothing started: returns at once
  for (int i = 0; i < 2000; ++i) {
    // Queued behind the ones still running; after a work said more was coming the thread
    // watches for it, and past the watch (the pauses) it sleeps and must be woken again.
    job.Start(&Record, &tally, /*more_soon=*/i % 4 < 2);
    if (i % 97 == 0) std::this_thread::sleep_for(std::chrono::microseconds(i % 2 ? 100 : 700));
    if (i % 3 == 0) {
      job.Wait();
      EXPECT_FALSE(job.Pending());
      ASSERT_EQ(int(tally.seen.size()), i + 1);
    }
  }
  job.Wait();
  ASSERT_EQ(tally.seen.size(), 2000u);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(tally.seen[size_t(i)], i);
}

// Also when the work said more was coming and none came.
TEST(BackgroundJob, ItsEndWaitsForWorkStillRunning) {
  for (bool more_soon : {false, true}) {
    std::atomic<bool> finished{false};
    {
      BackgroundJob job;
      job.Start(
          [](void* context) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            static_cast<std::atomic<bool>*>(context)->store(true);
          },
          &finished, more_soon);
    }
    EXPECT_TRUE(finished.load()) << more_soon;
  }
}

TEST(BackgroundJob, WaitForReturnsOnceTheFirstWorksAreDoneWithLaterOnesQueued) {
  BackgroundJob job;
  std::atomic<bool> first{false}, second{false};
  const uint64_t before = job.Started();
  job.Start(
      [](void* flag) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        static_cast<std::atomic<bool>*>(flag)->store(true);
      },
      &first);
  job.Start(
      [](void* flag) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        static_cast<std::atomic<bool>*>(flag)->store(true);
      },
      &second);
  EXPECT_EQ(job.Started(), before + 2);
  job.WaitFor(before + 1);
  EXPECT_TRUE(first.load());
  job.Wait();
  EXPECT_TRUE(second.load());
}

}  // namespace
