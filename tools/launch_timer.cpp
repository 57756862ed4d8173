// Measures the wall time from launching the game to its first presented title frame, and where it
// goes, on the real SDL platform (run it on a desktop, or under Xvfb). The child runs the game's
// own start-up (Launch) on a platform that notes the time at each step and closes the game once the
// first frame is on screen.
//   zentrova_launch_timer [RUNS]   (default 10; run from build/ or anywhere beside data/)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/launch.h"
#include "platform/audio/audio_device.h"
#include "platform/sdl/sdl_platform.h"

extern char** environ;

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

constexpr const char* kStages[] = {"exec and libraries", "SDL video start", "window and renderer",
                                   "graphics device",    "sound device",    "pictures and sounds",
                                   "1 s start-up wait",  "first frame"};
constexpr int kStageCount = sizeof kStages / sizeof kStages[0];

class TimingPlatform : public platform::SdlPlatform {
 public:
  explicit TimingPlatform(double launched) : last_(launched) { Mark(0); }
  bool Init() override {
    bool ok = SdlPlatform::Init();
    Mark(1);
    return ok;
  }
  bool OpenWindow(const char* title, int width, int height, bool full_screen) override {
    bool ok = SdlPlatform::OpenWindow(title, width, height, full_screen);
    Mark(2);
    return ok;
  }
  std::unique_ptr<platform::audio::AudioDevice> OpenAudio() override {
    Mark(3);  // the device was made between the window and the sound
    auto audio = SdlPlatform::OpenAudio();
    Mark(4);
    return audio;
  }
  void Sleep(uint32_t ms) override {
    if (stage_ == 5) Mark(5);  // the first sleep is start-up's own wait
    SdlPlatform::Sleep(ms);
    if (stage_ == 6) Mark(6);
  }
  bool PresentFrame(const uint32_t* pixels, int width, int height, int pitch) override {
    bool ok = SdlPlatform::PresentFrame(pixels, width, height, pitch);
    if (stage_ == 7) {
      Mark(7);
      PostMessage(platform::Message::kClose);
    }
    return ok;
  }
  void Print() const {
    for (double t : times_) std::printf("%.6f ", t);
    std::printf("\n");
  }

 private:
  void Mark(int stage) {
    if (stage != stage_) return;
    const double now = Now();
    times_.push_back(now - last_);
    last_ = now;
    ++stage_;
  }
  double last_;
  int stage_ = 0;
  std::vector<double> times_;
};

int Child(double launched) {
  TimingPlatform timing(launched);
  int status = Launch(timing, LaunchOptions());
  timing.Print();
  return status;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--child") return Child(std::atof(argv[2]));
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  std::vector<std::vector<double>> stages(kStageCount);
  std::vector<double> totals;
  for (int run = 0; run < runs; ++run) {
    int fds[2];
    if (pipe(fds) != 0) return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char launched[64];
    std::snprintf(launched, sizeof launched, "%.6f", Now());
    char child_flag[] = "--child";
    char* child_argv[] = {argv[0], child_flag, launched, nullptr};
    pid_t pid;
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, child_argv, environ) != 0) return 1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    std::vector<double> times;
    for (const char* p = out.c_str(); *p;) {
      char* end;
      double t = std::strtod(p, &end);
      if (end == p) break;
      times.push_back(t);
      p = end;
    }
    if (int(times.size()) != kStageCount) {
      std::fprintf(stderr, "run %d: the game did not reach its first frame\n", run + 1);
      return 1;
    }
    double total = 0;
    for (int i = 0; i < kStageCount; ++i) {
      stages[i].push_back(times[i]);
      total += times[i];
    }
    totals.push_back(total);
  }
  std::printf("launch to first title frame, median of %d runs (ms):\n", runs);
  for (int i = 0; i < kStageCount; ++i)
    std::printf("  %-22s %7.1f\n", kStages[i], 1000 * Median(stages[i]));
  const double total = Median(totals), wait = Median(stages[6]);
  std::printf("  %-22s %7.1f  (min %.1f, max %.1f)\n", "total", 1000 * total,
              1000 * *std::min_element(totals.begin(), totals.end()),
              1000 * *std::max_element(totals.begin(), totals.end()));
  std::printf("  beyond the 1 s wait    %7.1f  = %.3f of the wait it sits beside\n",
              1000 * (total - wait), (total - wait) / wait);
  return 0;
}
