// Work for a second thread, so that independent parts of a frame can run on two cores: Start
// queues a piece of work behind those not yet done, Wait returns once all are done. With a
// single core, or no thread to be had, the work runs inside Start instead. The thread sleeps
// between jobs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class BackgroundJob {
 public:
  using Work = void (*)(void* context);

  BackgroundJob() = default;
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;
  ~BackgroundJob();  // waits for the work, then ends the thread

  // Queues the work; the pieces run one after another in the order they were started. With
  // more_soon, the caller means to queue the next piece shortly: once this one is done the thread
  // watches for it a while instead of going to sleep, which would make the next Start pay for
  // the wake-up and the work wait for it.
  void Start(Work work, void* context, bool more_soon = false);
  // Returns once every work started has finished; at once when there is none.
  void Wait();
  // How many works were started so far; WaitFor(n) returns once the first n have finished,
  // the ones queued after them perhaps still running.
  uint64_t Started() const { return started_; }
  void WaitFor(uint64_t count);
  // Whether the work runs on a thread of its own (false: one core, or no thread to be had).
  bool Threaded() { return StartThread(); }
  // Whether work was started and not yet waited for (seen from the starting thread).
  bool Pending() const { return pending_; }

 private:
  void Run();
  bool StartThread();
  // Watches the count of finished works for a short while before the caller sleeps: work
  // that ends within it is taken up at once instead of after the thread's wake-up delay.
  bool FinishedSoon(uint64_t count) const;
  // The thread's side of more_soon: whether a work beyond the first `count` is queued within
  // the watch.
  bool QueuedSoon(uint64_t count) const;

  std::thread thread_;
  bool threadTried_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  // The works waiting for the thread, or running on it: a ring of a few (a frame queues two).
  static constexpr int kQueued = 4;
  struct Item {
    Work work;
    void* context;
    bool more_soon;
  };
  Item queue_[kQueued] = {};
  int first_ = 0;  // the running or next work
  int count_ = 0;  // works started and not finished
  bool stop_ = false;
  bool pending_ = false;
  uint64_t started_ = 0;                // starting thread only
  std::atomic<uint64_t> finished_ = 0;  // written under the mutex, read outside it too
  std::atomic<uint64_t> queued_ = 0;    // the same for works started
};
