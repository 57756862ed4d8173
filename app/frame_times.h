// How long the frames took, update and render, for --frame-times: counted into fixed bins, so
// that a run of any length keeps the same 80 KB, and read back at the end as the median, the
// 95th percentile and the longest frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class FrameTimes {
 public:
  FrameTimes();

  void Add(uint64_t us);
  uint64_t Count() const { return count_; }
  // The nearest-rank percentile (fraction 0.5 is the median) in milliseconds, as the lower edge
  // of its bin: 10 us wide up to 100 ms, 1 ms wide up to 10 s; 0 before the first frame.
  double PercentileMs(double fraction) const;
  // The longest frame, exactly.
  double MaxMs() const { return double(max_us_) / 1000.0; }
  // "zentrova: frame times: N frames drawn, median A ms, 95th percentile B ms, max C ms
  // (update and render)".
  std::string Line() const;

 private:
  std::vector<uint32_t> bins_;
  uint64_t count_ = 0;
  uint64_t max_us_ = 0;
};
