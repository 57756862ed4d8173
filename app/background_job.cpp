#include "app/background_job.h"

#include <chrono>
#include <system_error>

BackgroundJob::~BackgroundJob() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();  // the thread finishes the work it holds before it looks at stop_
}

bool BackgroundJob::StartThread() {
  if (threadTried_) return thread_.joinable();
  threadTried_ = true;
  if (std::thread::hardware_concurrency() < 2) return false;  // it would only take turns
  try {
    thread_ = std::thread(&BackgroundJob::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void BackgroundJob::Start(Work work, void* context, bool more_soon) {
  ++started_;
  if (!StartThread()) {
    work(context);
    finished_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return count_ < kQueued; });
    queue_[(first_ + count_) % kQueued] = {work, context, more_soon};
    ++count_;
    queued_.fetch_add(1, std::memory_order_release);
  }
  pending_ = true;
  wake_.notify_one();
}

bool BackgroundJob::FinishedSoon(uint64_t count) const {
  // A tenth of a millisecond: about what the wake-up takes, and short beside a frame.
  constexpr auto kWatch = std::chrono::microseconds(100);
  const auto until = std::chrono::steady_clock::now() + kWatch;
  for (;;) {
    for (int i = 0; i < 64; ++i)
      if (finished_.load(std::memory_order_acquire) >= count) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
  }
}

bool BackgroundJob::QueuedSoon(uint64_t count) const {
  // Long enough for what a caller does between two pieces of one frame (the physics step of a
  // hundred blocks), short beside the wake-up it saves and a frame.
  constexpr auto kWatch = std::chrono::microseconds(300);
  const auto until = std::chrono::steady_clock::now() + kWatch;
  for (;;) {
    for (int i = 0; i < 64; ++i)
      if (queued_.load(std::memory_order_acquire) > count) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
  }
}

void BackgroundJob::Wait() {
  if (!pending_) return;
  if (!FinishedSoon(started_)) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return finished_ == started_; });
  }
  pending_ = false;
}

void BackgroundJob::WaitFor(uint64_t count) {
  if (!pending_ || FinishedSoon(count)) return;
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this, count] { return finished_ >= count; });
}

void BackgroundJob::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return count_ > 0 || stop_; });
    if (count_ > 0) {
      const Item item = queue_[first_];
      lock.unlock();
      item.work(item.context);
      lock.lock();
      first_ = (first_ + 1) % kQueued;
      --count_;
      const uint64_t finished = finished_.fetch_add(1, std::memory_order_release) + 1;
      done_.notify_one();
      if (item.more_soon && count_ == 0) {
        lock.unlock();
        QueuedSoon(finished);
        lock.lock();
      }
    } else if (stop_) {
      return;
    }
  }
}
