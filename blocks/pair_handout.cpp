#include "blocks/pair_handout.h"

#include <algorithm>
#include <cstdint>
#include <thread>

void PairHandout::Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

namespace {

// Spins until ready(): pauses first, as the other core's answer is usually a few hundred
// cycles away, then yields, in case its thread was put aside.
template <class Ready>
void SpinUntil(Ready&& ready) {
  for (int i = 0; !ready(); ++i) {
    if (i < 4096)
      PairHandout::Pause();
    else
      std::this_thread::yield();
  }
}

}  // namespace

uint32_t PairHandout::Open() {
  for (auto& side : handout_)
    side.store(uint64_t(ticket_) << kTicketShift, std::memory_order_release);
  return ticket_;
}

void PairHandout::BeginPlan(int count) {
  count_ = count;
  wave_.resize(size_t(count));
}

uint32_t PairHandout::Publish(Kind kind) {
  const int count = count_;
  // Sorted by wave and side at once: side 0's waves, then side 1's.
  int keys = 0;
  for (int b = 0; b < count; ++b) keys = std::max(keys, wave_[size_t(b)] + 1);
  waveStart_.assign(size_t(keys) + 1, 0);
  for (int b = 0; b < count; ++b) ++waveStart_[size_t(Key(wave_[size_t(b)], keys)) + 1];
  for (int k = 0; k < keys; ++k) waveStart_[size_t(k) + 1] += waveStart_[size_t(k)];
  order_.resize(size_t(count));
  const int side_end = waveStart_[size_t((keys + 1) / 2)];
  for (int b = 0; b < count; ++b)
    order_[size_t(waveStart_[size_t(Key(wave_[size_t(b)], keys))]++)] = b;
  if (size_t(count) > capacity_) {
    // Every mark is of an older pass than the next ticket (none is the next ticket).
    capacity_ = std::max(size_t(count), 2 * capacity_);
    done_ = std::make_unique<std::atomic<uint32_t>[]>(capacity_);
    for (auto& pending : pending_) pending.reserve(capacity_);
    for (size_t i = 0; i < capacity_; ++i) done_[i].store(kStop, std::memory_order_relaxed);
  }
  ticket_ = (ticket_ + 1) % kStop;
  if (KindOf(ticket_) != kind) ticket_ = (ticket_ + 1) % kStop;
  finished_.store(0, std::memory_order_relaxed);
  const uint64_t ticket = uint64_t(ticket_) << kTicketShift;
  handout_[1].store(ticket | uint64_t(count) << kCountShift | uint64_t(side_end),
                    std::memory_order_release);
  handout_[0].store(ticket | uint64_t(side_end) << kCountShift, std::memory_order_release);
  return ticket_;
}

bool PairHandout::TakeRun(const Hand& hand, int* first, int* end) {
  return TakeFrom(hand, hand.side, first, end) || TakeFrom(hand, 1 - hand.side, first, end);
}

bool PairHandout::TakeEarliest(const Hand& hand, int* first, int* end) {
  constexpr uint64_t kLow = (uint64_t(1) << kCountShift) - 1;
  int wave[2];
  for (int side = 0; side < 2; ++side) {
    const uint64_t s = handout_[side].load(std::memory_order_acquire);
    const int next = int(s & kLow), side_end = int((s >> kCountShift) & kLow);
    wave[side] = uint32_t(s >> kTicketShift) == hand.ticket && next < side_end
                     ? wave_[size_t(order_[size_t(next)])] >> 1
                     : INT32_MAX;
  }
  const int side = wave[1] < wave[0] ? 1 : 0;
  return TakeFrom(hand, side, first, end) || TakeFrom(hand, 1 - side, first, end);
}

bool PairHandout::TakeFrom(const Hand& hand, int side, int* first, int* end) {
  constexpr uint64_t kLow = (uint64_t(1) << kCountShift) - 1;
  std::atomic<uint64_t>& handout = handout_[side];
  uint64_t s = handout.load(std::memory_order_acquire);
  do {
    *first = int(s & kLow);
    const int side_end = int((s >> kCountShift) & kLow);
    if (uint32_t(s >> kTicketShift) != hand.ticket || *first >= side_end) return false;
    *end = std::min(*first + kRun, side_end);
  } while (!handout.compare_exchange_weak(s, s + uint64_t(*end - *first), std::memory_order_acq_rel,
                                          std::memory_order_acquire));
  return true;
}

void PairHandout::WaitAllDone() const {
  SpinUntil([&] { return finished_.load(std::memory_order_acquire) >= count_; });
}

uint32_t PairHandout::NextTicket(uint32_t seen) const {
  uint32_t ticket = seen;
  SpinUntil([&] {
    ticket = uint32_t(handout_[0].load(std::memory_order_acquire) >> kTicketShift);
    return ticket != seen;
  });
  return ticket;
}

void PairHandout::Stop() {
  for (auto& side : handout_)
    side.store(uint64_t(kStop) << kTicketShift, std::memory_order_release);
}
