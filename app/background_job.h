// One piece of work at a time on a second thread, so that two independent parts of a frame can
// run on two cores: Start hands the work over, Wait returns once it is done. With a single core,
// or no thread to be had, the work runs inside Start instead. The thread sleeps between jobs.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class BackgroundJob {
 public:
  using Work = void (*)(void* context);

  BackgroundJob() = default;
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;
  ~BackgroundJob();  // waits for the work, then ends the thread

  // Waits for the previous work, then starts this one.
  void Start(Work work, void* context);
  // Returns once the last work started has finished; at once when there is none.
  void Wait();
  // Whether work was started and not yet waited for (seen from the starting thread).
  bool Pending() const { return pending_; }

 private:
  void Run();
  bool StartThread();

  std::thread thread_;
  bool threadTried_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  Work work_ = nullptr;  // the work waiting for the thread, or running on it
  void* context_ = nullptr;
  bool busy_ = false;
  bool stop_ = false;
  bool pending_ = false;
};
