// The block pairs of a relaxation pass shared by two cores, with what one core gives walking the
// list in order. Block a's pair tests move only a's corners and read those of the blocks within
// its reach. So a must wait for its earlier neighbours to be done, and a later neighbour must
// not begin before a is: it waits for a in turn. Blocks are handed out a short run at a time in
// waves (a block's wave is one more than the latest among its earlier neighbours), so that
// neighbours are seldom handed out side by side. Each core has a side of the blocks it takes
// first, left or right of the middle, so that a block's corners mostly stay in one core's
// cache; a core that finished its side takes from the other's. A core does whichever of the
// blocks it took has its earlier neighbours done, and takes the earliest wave left when none
// has, so that neither core ever waits on a block nobody holds.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class PairHandout {
 public:
  // One core's taking of a pass: the pass's ticket and the side it takes from first.
  struct Hand {
    Hand(uint32_t ticket, int side) : ticket(ticket), side(side) {}
    uint32_t ticket;
    int side;
  };
  // A block taken and not yet done, and where the look at its earlier neighbours goes on.
  struct Pending {
    int block;
    const uint32_t* next;
  };

  // The first core, before the second is asked to take part: no pass is in force. Returns the
  // ticket the second core starts from (for NextTicket).
  uint32_t Open();
  // The first core: plans the waves and sides of blocks 0..count-1, from each block's earlier
  // neighbours in list order (Wave, then Plan), then hands them out under a new ticket, which it
  // returns.
  void BeginPlan(int count);
  int Wave(int b) const { return wave_[size_t(b)] >> 1; }
  void Plan(int a, int wave, int side) { wave_[size_t(a)] = wave << 1 | side; }
  // What a pass hands out: the block pairs, or each block's own work (its table test and shape
  // restoration), which waits for nothing. The kind goes with the ticket, so that a core never
  // takes one pass for the other.
  enum Kind : uint32_t { kPairs = 0, kOwnWork = 1 };
  uint32_t Publish(Kind kind = kPairs);
  static Kind KindOf(uint32_t ticket) { return Kind(ticket & 1u); }
  // Takes a run of places in the order of handing out, [*first, *end), from the hand's side,
  // else from the other; false when none is left or the pass is no longer the one in force.
  bool TakeRun(const Hand& hand, int* first, int* end);
  // The same from the side whose next block is of the earlier wave: what a core takes when
  // none of the blocks it has can go, so that the earliest blocks left are always taken.
  bool TakeEarliest(const Hand& hand, int* first, int* end);
  int BlockAt(int place) const { return order_[size_t(place)]; }
  void MarkDone(int b, uint32_t ticket) {
    done_[size_t(b)].store(ticket, std::memory_order_release);
  }
  // A core's count of the blocks it did in the pass, once it has done all it took.
  void Finished(int blocks) { finished_.fetch_add(blocks, std::memory_order_release); }
  // Each core's blocks taken and not yet done (the storage kept from pass to pass).
  std::vector<Pending>& PendingOf(int side) { return pending_[side]; }
  // Whether block b is done in the pass of `ticket`.
  bool IsDone(int b, uint32_t ticket) const {
    return done_[size_t(b)].load(std::memory_order_acquire) == ticket;
  }
  // A short wait while the other core works.
  static void Pause();
  // The first core: returns once every block of the pass in force is done.
  void WaitAllDone() const;
  // The second core: the ticket of a pass newer than `seen` once there is one, or kStop.
  uint32_t NextTicket(uint32_t seen) const;
  // The first core, after the last pass: the second core's loop ends.
  void Stop();
  static constexpr uint32_t kStop = 0xFFFFFFu;
  // Passes of more blocks do not fit the packed word: such lists run on one core.
  static constexpr int kMostBlocks = (1 << 20) - 1;

 private:
  // Blocks taken at once: few hand-overs, and little for the other core to wait on.
  static constexpr int kRun = 8;
  // The pass in force, packed in one word so that a block is taken from it only while it is in
  // force: its ticket in the top 24 bits, its block count in the next 20, the next block to hand
  // out in the low 20.
  static constexpr int kCountShift = 20, kTicketShift = 40;

  // The place of a block's wave and side among the sort keys: side 0's waves first.
  static int Key(int wave_and_side, int keys) {
    return (wave_and_side & 1) * ((keys + 1) / 2) + (wave_and_side >> 1);
  }
  bool TakeFrom(const Hand& hand, int side, int* first, int* end);

  int count_ = 0;
  size_t capacity_ = 0;
  std::vector<int> wave_;   // per block, its wave and (lowest bit) its side
  std::vector<int> order_;  // blocks by side, then by wave, in list order within one
  std::vector<int> waveStart_;
  uint32_t ticket_ = 0;
  // Per block, the ticket of the last pass in which it was done.
  std::unique_ptr<std::atomic<uint32_t>[]> done_;
  std::vector<Pending> pending_[2];
  alignas(64) std::atomic<uint64_t> handout_[2] = {};  // per side; its end in place of a count
  alignas(64) std::atomic<int> finished_{0};  // blocks done in the pass, counted once a core ends
};
