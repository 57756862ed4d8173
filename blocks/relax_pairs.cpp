// The block pairs of a relaxation pass: every block's listed neighbours within reach, in list
// order, on one core or shared with the second.
#include <algorithm>

#include "blocks/block_set.h"
#include "blocks/contact.h"
#include "blocks/physics_step.h"
#include "world/table.h"

namespace {

// Fewer blocks than this run on one core: handing blocks over would cost more than the second
// core saves.
constexpr int kTwoCorePairsFrom = 200;
// A step in which the first core paused this often for the second (some milliseconds; a few
// thousand is usual) means the second core's thread was put aside for other work: a core that
// waits for it is slower than one alone, so the next steps run on one core. A single stall is
// mostly a moment's interruption, and costs only a few steps alone; stalls that come back soon
// after mean the second core is taken, and each doubles the run alone, up to the most.
constexpr uint64_t kStalledStep = 50000;
constexpr int kFirstStepsAlone = 4;
constexpr int kMostStepsAlone = 64;

}  // namespace

bool BlockSet::Neighbours(int a, int b) const {
  // Either way round: a reads b, or b reads a.
  return contactGrid.WithinReach(a, b) || contactGrid.WithinReach(b, a);
}

bool BlockSet::ShareRelaxPairs(int count) {
  if (stepsAlone_ > 0) --stepsAlone_;
  pairsShared_ = twoCorePairs_ && stepsAlone_ == 0 && count >= kTwoCorePairsFrom &&
                 count <= PairHandout::kMostBlocks && pickJob_.Threaded();
  idleAtStart_ = pairIdle_;
  if (pairsShared_) {
    pairHandoutFrom_ = pairHandout_.Open();
    // Queued behind whatever the second core holds; it joins the passes when it gets there,
    // and the first core does whatever it has not taken.
    pickJob_.Start([](void* set) { static_cast<BlockSet*>(set)->RelaxPairsBeside(); }, this);
  }
  return pairsShared_;
}

void BlockSet::EndSharedPairs() {
  pairHandout_.Stop();
  if (pairIdle_ - idleAtStart_ > kStalledStep) {
    stallRun_ = std::clamp(2 * stallRun_, kFirstStepsAlone, kMostStepsAlone);
    stepsAlone_ = stallRun_;
  } else {
    stallRun_ /= 2;  // forgotten over a few shared steps without a stall
  }
}

void BlockSet::RelaxPairsOf(int a) {
  // Block a's listed blocks in list order keep the order of every test that does anything.
  // A ball around the block's corners, made at its first pair within reach and again after a
  // test moved them, skips the pairs whose test provably does nothing.
  Block& block = *At(a);
  CornerBall ball;
  bool ball_fits = false;
  contactGrid.ForEachCandidate(a, [&](int b) {
    if (!contactGrid.WithinReach(a, b)) return;
    const Block& other = *At(b);
    if (!ball_fits) ball = BoundCorners(block), ball_fits = true;
    if (ClearlyApart(ball, block, other)) return;
    if (TestBlock(block, other)) ball_fits = false;
  });
}

void BlockSet::RelaxSharedPairs(uint32_t ticket, uint64_t* taken) {
  // The blocks a core took and could not do yet; it takes more while it has few, or while none
  // of those it has can go, so that a block held up by the other core's work stops nothing.
  constexpr size_t kAhead = 16;
  const int side = taken ? 1 : 0;
  const PairHandout::Hand hand(ticket, side);
  std::vector<PairHandout::Pending>& pending = pairHandout_.PendingOf(side);
  pending.clear();
  int done = 0;
  bool more = true, progressed = true;
  for (;;) {
    if (more && (pending.size() < kAhead || !progressed)) {
      int first = 0, end = 0;
      more = progressed ? pairHandout_.TakeRun(hand, &first, &end)
                        : pairHandout_.TakeEarliest(hand, &first, &end);
      for (int place = first; more && place < end; ++place) {
        const int a = pairHandout_.BlockAt(place);
        pending.push_back({a, contactGrid.CandidatesBegin(a)});
      }
    }
    if (pending.empty()) {
      if (!more) break;
      continue;
    }
    // Each block once every earlier neighbour is done, either way round (a reads b, or b reads
    // a); the later neighbours wait for it in turn, as they find it among their earlier ones.
    progressed = false;
    size_t kept = 0;
    for (PairHandout::Pending p : pending) {
      const uint32_t* const end = contactGrid.CandidatesEnd(p.block);
      while (p.next != end && int(*p.next) < p.block &&
             (pairHandout_.IsDone(int(*p.next), ticket) || !Neighbours(p.block, int(*p.next))))
        ++p.next;
      if (p.next != end && int(*p.next) < p.block) {
        pending[kept++] = p;
        continue;
      }
      RelaxPairsOf(p.block);
      pairHandout_.MarkDone(p.block, ticket);
      ++done;
      progressed = true;
    }
    pending.resize(kept);
    if (!progressed && !more) {
      PairHandout::Pause();
      if (!taken) ++pairIdle_;
    }
  }
  pairHandout_.Finished(done);
  if (taken) *taken += uint64_t(done);
}

void BlockSet::RelaxPairs(int count, bool replan) {
  if (!pairsShared_ || !contactGrid.CloseReaches()) {
    for (int a = 0; a < count; ++a) RelaxPairsOf(a);
    return;
  }
  pairHandout_.BeginPlan(count);
  if (!replan && pairPlan_.size() == size_t(count)) {
    for (int a = 0; a < count; ++a)
      pairHandout_.Plan(a, pairPlan_[size_t(a)] >> 1, pairPlan_[size_t(a)] & 1);
  } else {
    // The sides: the blocks left and right of the middle centre, which neighbour each other only
    // along the middle.
    pairSides_.resize(size_t(count));
    for (int a = 0; a < count; ++a) pairSides_[size_t(a)] = At(a)->centre.x;
    auto middle = pairSides_.begin() + count / 2;
    std::nth_element(pairSides_.begin(), middle, pairSides_.end());
    const float split = *middle;
    pairPlan_.resize(size_t(count));
    for (int a = 0; a < count; ++a) {
      int wave = 0;
      const uint32_t* const end = contactGrid.CandidatesEnd(a);
      for (const uint32_t* b = contactGrid.CandidatesBegin(a); b != end && int(*b) < a; ++b)
        if (pairHandout_.Wave(int(*b)) >= wave && Neighbours(a, int(*b)))
          wave = pairHandout_.Wave(int(*b)) + 1;
      const int side = At(a)->centre.x < split ? 0 : 1;
      pairHandout_.Plan(a, wave, side);
      pairPlan_[size_t(a)] = wave << 1 | side;
    }
  }
  RelaxSharedPairs(pairHandout_.Publish(), nullptr);
  pairHandout_.WaitAllDone();
}

void BlockSet::OwnWorkOf(Block* const* batch, int n) {
  for (int i = 0; i < n; ++i)
    if (table) TestTable(*batch[i], *table);
  RestoreShapes(batch, n);
}

void BlockSet::DoOwnWork(int count) {
  // The table test and the shape restoration touch one block each: the blocks can go in any
  // order, on either core, and the restorations wait for a batch.
  if (!pairsShared_) {
    for (int first = 0; first < count; first += 8) {
      Block* batch[8];
      const int n = std::min(8, count - first);
      for (int i = 0; i < n; ++i) batch[i] = At(first + i);
      OwnWorkOf(batch, n);
    }
    return;
  }
  pairHandout_.BeginPlan(count);
  for (int a = 0; a < count; ++a) pairHandout_.Plan(a, 0, a < count / 2 ? 0 : 1);
  DoSharedOwnWork(pairHandout_.Publish(PairHandout::kOwnWork), 0);
  pairHandout_.WaitAllDone();
}

void BlockSet::DoSharedOwnWork(uint32_t ticket, int side) {
  const PairHandout::Hand hand(ticket, side);
  int done = 0, first = 0, end = 0;
  while (pairHandout_.TakeRun(hand, &first, &end)) {
    // Runs are handed out a few blocks at a time; a batch holds eight.
    for (int from = first; from < end; from += 8) {
      Block* batch[8];
      const int n = std::min(8, end - from);
      for (int i = 0; i < n; ++i) batch[i] = At(pairHandout_.BlockAt(from + i));
      OwnWorkOf(batch, n);
    }
    done += end - first;
  }
  pairHandout_.Finished(done);
}

void BlockSet::RelaxPairsBeside() {
  uint64_t taken = 0;
  for (uint32_t seen = pairHandoutFrom_, ticket;
       (ticket = pairHandout_.NextTicket(seen)) != PairHandout::kStop; seen = ticket) {
    if (PairHandout::KindOf(ticket) == PairHandout::kOwnWork)
      DoSharedOwnWork(ticket, 1);
    else
      RelaxSharedPairs(ticket, &taken);
  }
  pairsBeside_.fetch_add(taken, std::memory_order_relaxed);
}
