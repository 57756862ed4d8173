#include "assets/sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace assets {

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979;

// A mono buffer in floats, mixed into and then written as 16-bit samples.
class Track {
 public:
  explicit Track(double seconds) : samples_(size_t(seconds * kRate), 0.0) {}

  // A sine partial with an exponential decay and a short attack.
  void Tone(double start, double frequency, double amplitude, double decay, double length) {
    size_t first = size_t(start * kRate);
    size_t count = size_t(length * kRate);
    for (size_t i = 0; i < count && first + i < samples_.size(); ++i) {
      double t = double(i) / kRate;
      double attack = std::min(1.0, t / 0.003);
      samples_[first + i] +=
          amplitude * attack * std::exp(-t / decay) * std::sin(2 * kPi * frequency * t);
    }
  }
  // Noise through a simple resonant band-pass: the body of a knock.
  void Knock(double start, double centre, double amplitude, double decay, uint32_t seed) {
    size_t first = size_t(start * kRate);
    double r = std::exp(-kPi * centre * 0.25 / kRate);
    double c = 2 * r * std::cos(2 * kPi * centre / kRate);
    double y1 = 0, y2 = 0;
    uint32_t state = seed;
    for (size_t i = 0; first + i < samples_.size(); ++i) {
      double t = double(i) / kRate;
      double env = std::exp(-t / decay);
      if (env < 0.0005) break;
      state = state * 1664525u + 1013904223u;
      double noise = (double(state >> 8) / double(1 << 24)) * 2 - 1;
      double excite = t < 0.004 ? noise : noise * 0.05;
      double y = excite + c * y1 - r * r * y2;
      y2 = y1;
      y1 = y;
      samples_[first + i] += amplitude * env * y * (1 - r);
    }
  }

  platform::audio::PcmSound Finish() const {
    double peak = 0;
    for (double s : samples_) peak = std::max(peak, std::fabs(s));
    platform::audio::PcmSound pcm;
    pcm.channels = 1;
    pcm.rate = kRate;
    pcm.samples.reserve(samples_.size());
    const double scale = peak > 1.0 ? 1.0 / peak : 1.0;
    for (size_t i = 0; i < samples_.size(); ++i) {
      // A few milliseconds of fade at the end so that nothing clicks.
      double tail = std::min(1.0, double(samples_.size() - i) / (0.005 * kRate));
      pcm.samples.push_back(int16_t(std::lround(samples_[i] * scale * tail * 30000)));
    }
    return pcm;
  }

 private:
  std::vector<double> samples_;
};

double Note(int semitones_from_a4) {
  return 440.0 * std::pow(2.0, semitones_from_a4 / 12.0);
}

}  // namespace

std::vector<NamedSound> MakeSounds() {
  std::vector<NamedSound> out;
  {
    Track t(0.06);  // a soft short tick
    t.Tone(0, 2100, 0.18, 0.008, 0.06);
    t.Tone(0, 3300, 0.06, 0.004, 0.06);
    out.push_back({"select.wav", t.Finish()});
  }
  {
    Track t(0.22);  // a confirming two-note click
    t.Tone(0.0, Note(7), 0.35, 0.03, 0.1);
    t.Tone(0.0, Note(19), 0.1, 0.015, 0.1);
    t.Tone(0.08, Note(14), 0.35, 0.04, 0.14);
    t.Tone(0.08, Note(26), 0.1, 0.02, 0.14);
    out.push_back({"selected.wav", t.Finish()});
  }
  {
    Track t(0.85);  // a bright rising phrase
    const int notes[] = {3, 7, 10, 15};
    for (int i = 0; i < 4; ++i) {
      t.Tone(i * 0.1, Note(notes[i]), 0.3, 0.12 + i * 0.06, 0.85 - i * 0.1);
      t.Tone(i * 0.1, 2 * Note(notes[i]), 0.08, 0.06, 0.85 - i * 0.1);
    }
    out.push_back({"start.wav", t.Finish()});
  }
  {
    Track t(1.7);  // a falling phrase
    const int notes[] = {15, 10, 7, 3};
    for (int i = 0; i < 4; ++i) {
      t.Tone(i * 0.22, Note(notes[i]), 0.3, 0.18 + i * 0.12, 1.7 - i * 0.22);
      t.Tone(i * 0.22, Note(notes[i] - 12), 0.12, 0.2 + i * 0.1, 1.7 - i * 0.22);
    }
    out.push_back({"end.wav", t.Finish()});
  }
  {
    Track t(0.7);  // a door closing: the swing's low thud, then the latch
    t.Knock(0.0, 90, 2.2, 0.16, 7);
    t.Tone(0.0, 62, 0.5, 0.12, 0.5);
    t.Knock(0.05, 420, 0.7, 0.05, 11);
    t.Knock(0.16, 1900, 0.45, 0.02, 13);
    t.Tone(0.16, 2500, 0.08, 0.015, 0.08);
    out.push_back({"door.wav", t.Finish()});
  }
  // Wooden knocks from a light tick to a heavy thud.
  const double centres[] = {1500, 1050, 720, 480, 300};
  const double decays[] = {0.025, 0.04, 0.06, 0.085, 0.12};
  const double amplitudes[] = {0.35, 0.5, 0.65, 0.8, 1.0};
  for (int i = 0; i < 5; ++i) {
    Track t(0.12 + i * 0.07);
    t.Knock(0, centres[i], amplitudes[i] * 2.5, decays[i], 100 + i);
    t.Tone(0, centres[i] * 0.5, amplitudes[i] * 0.25, decays[i] * 0.8, 0.4);
    out.push_back({"collision" + std::to_string(i + 1) + ".wav", t.Finish()});
  }
  return out;
}

}  // namespace assets
