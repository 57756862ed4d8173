#include "app/frame_times.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// Fine bins where frames usually fall, coarse ones for the long stalls; longer still counts in
// the last bin (the maximum is kept exactly).
constexpr uint64_t kFineUs = 10;
constexpr uint64_t kFineEndUs = 100000;
constexpr uint64_t kCoarseUs = 1000;
constexpr uint64_t kCoarseEndUs = 10000000;
constexpr size_t kFineBins = kFineEndUs / kFineUs;
constexpr size_t kBins = kFineBins + (kCoarseEndUs - kFineEndUs) / kCoarseUs;

size_t BinOf(uint64_t us) {
  if (us < kFineEndUs) return size_t(us / kFineUs);
  return std::min(kBins - 1, kFineBins + size_t((us - kFineEndUs) / kCoarseUs));
}

uint64_t LowerEdgeUs(size_t bin) {
  if (bin < kFineBins) return bin * kFineUs;
  return kFineEndUs + (bin - kFineBins) * kCoarseUs;
}
}  // namespace

FrameTimes::FrameTimes() : bins_(kBins, 0) {}

void FrameTimes::Add(uint64_t us) {
  ++bins_[BinOf(us)];
  ++count_;
  max_us_ = std::max(max_us_, us);
}

double FrameTimes::PercentileMs(double fraction) const {
  if (count_ == 0) return 0.0;
  const uint64_t rank =
      std::clamp<uint64_t>(uint64_t(std::ceil(fraction * double(count_))), 1, count_);
  uint64_t seen = 0;
  for (size_t bin = 0; bin < kBins; ++bin) {
    seen += bins_[bin];
    if (seen >= rank) return double(std::min(LowerEdgeUs(bin), max_us_)) / 1000.0;
  }
  return MaxMs();
}

std::string FrameTimes::Line() const {
  char line[200];
  std::snprintf(line, sizeof line,
                "zentrova: frame times: %llu frames drawn, median %.2f ms, 95th percentile %.2f "
                "ms, max %.2f ms (update and render)",
                static_cast<unsigned long long>(count_), PercentileMs(0.5), PercentileMs(0.95),
                MaxMs());
  return line;
}
