// WAV checking, the caching loader, the headless recording and a real SDL_mixer run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "platform/audio/audio_device.h"
#include "platform/audio/wav.h"
#include "platform/headless/headless_platform.h"
#include "platform/sdl/sdl_audio.h"
#include "sound/sound_manager.h"

namespace audio = platform::audio;

namespace {

std::vector<uint8_t> Wav(int channels = 1, int samples = 100) {
  audio::PcmSound pcm;
  pcm.channels = channels;
  pcm.rate = 22050;
  pcm.samples.assign(size_t(samples) * channels, 1000);
  return audio::EncodeWav(pcm);
}

TEST(Wav, ReadsWhatItWrites) {
  audio::PcmSound pcm;
  std::string why;
  std::vector<uint8_t> bytes = Wav(2, 10);
  ASSERT_TRUE(audio::ParseWav(bytes.data(), bytes.size(), &pcm, &why)) << why;
  EXPECT_EQ(pcm.channels, 2);
  EXPECT_EQ(pcm.rate, 22050);
  EXPECT_EQ(pcm.samples.size(), 20u);
}

TEST(Wav, RefusesWhatIsNotASixteenBitPcmWav) {
  auto put16 = [](std::vector<uint8_t>* b, size_t at, uint16_t v) {
    (*b)[at] = uint8_t(v), (*b)[at + 1] = uint8_t(v >> 8);
  };
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>*)> spoil;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"text",
       [](auto* b) {
         *b = {'h', 'e', 'l', 'l', 'o'};
       },
       "not a WAV"},
      {"no WAVE", [](auto* b) { (*b)[8] = 'X'; }, "not a WAV"},
      {"cut inside the data", [](auto* b) { b->resize(b->size() - 7); }, "past the end"},
      {"cut inside the header", [](auto* b) { b->resize(30); }, "past the end"},
      {"8-bit", [&](auto* b) { put16(b, 34, 8); }, "16-bit"},
      {"compressed", [&](auto* b) { put16(b, 20, 2); }, "not PCM"},
      {"six channels", [&](auto* b) { put16(b, 22, 6); }, "channels"},
      {"no data chunk", [](auto* b) { b->resize(36); }, "no data chunk"},
      {"empty data", [](auto* b) { b->resize(44), (*b)[40] = (*b)[41] = (*b)[42] = (*b)[43] = 0; },
       "no samples"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Wav();
    c.spoil(&bytes);
    audio::PcmSound pcm;
    std::string why;
    EXPECT_FALSE(audio::ParseWav(bytes.data(), bytes.size(), &pcm, &why)) << c.what;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
  }
}

TEST(Sound, TwoPlaysOfOneSoundInOneFrameAreBothHeardAndTheFileIsDecodedOnce) {
  platform::HeadlessPlatform p(500);
  SoundManager manager;
  ASSERT_TRUE(manager.Init(&p));
  Sound a, b;
  ASSERT_TRUE(a.Load(manager, "data/collision2.wav"));
  ASSERT_TRUE(b.Load(manager, "data/collision2.wav"));
  a.Play();
  b.Play();
  a.Play();
  ASSERT_EQ(p.SoundsPlayed().size(), 3u);
  EXPECT_EQ(p.SoundsPlayed()[0].name, "data/collision2.wav");
  EXPECT_EQ(p.SoundsPlayed()[2].time_ms, 500u);
  EXPECT_EQ(manager.Loader()->LoadObjectFromFile("data/collision2.wav"),
            manager.Loader()->LoadObjectFromFile("data/collision2.wav"));
  Sound missing;
  EXPECT_FALSE(missing.Load(manager, "data/nothing.wav"));
  EXPECT_NE(platform::LastError().find("data/nothing.wav: No such file or directory"),
            std::string::npos);
  missing.Play();  // a sound that never loaded stays silent
  EXPECT_EQ(p.SoundsPlayed().size(), 3u);
  manager.Shutdown();
  manager.Shutdown();
}

TEST(Sound, ARealMixerOnTheDummyDriverPlaysOverlappingSounds) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::unique_ptr<audio::AudioDevice> device = platform::OpenSdlAudio();
  ASSERT_NE(device, nullptr);
  audio::Loader loader(device.get());
  loader.SetSearchDirectory(audio::Loader::CurrentDirectory());
  const audio::SoundBuffer* knock = loader.LoadObjectFromFile("data/collision1.wav");
  const audio::SoundBuffer* door = loader.LoadObjectFromFile("data/door.wav");
  ASSERT_NE(knock, nullptr) << platform::LastError();
  ASSERT_NE(door, nullptr) << platform::LastError();
  // More knocks at once than the effect channels: the extra ones are skipped and counted.
  const int effect_channels = audio::kMixerChannels - audio::kInterfaceChannels;
  int started = 0;
  for (int i = 0; i < effect_channels + 30; ++i)
    started += device->Play(*knock, audio::PlayKind::kEffect);
  EXPECT_EQ(started, effect_channels);
  EXPECT_EQ(device->SkippedPlays(), 30);
  // The interface still has its channels, and more than those take the oldest of them.
  for (int i = 0; i < audio::kInterfaceChannels + 4; ++i)
    EXPECT_TRUE(device->Play(*door, audio::PlayKind::kInterface)) << i;
  EXPECT_EQ(device->SkippedPlays(), 30);
}

TEST(Sound, TheRecordingKeepsChannelsBusyForTheSoundsLengthAndNeverSkipsTheInterface) {
  platform::HeadlessPlatform p(0xFFFFFF00u);  // the clock wraps during the test
  SoundManager manager;
  ASSERT_TRUE(manager.Init(&p));
  Sound knock, select;
  ASSERT_TRUE(knock.Load(manager, "data/collision1.wav"));  // 120 ms
  ASSERT_TRUE(select.Load(manager, "data/select.wav", audio::PlayKind::kInterface));
  const int effect_channels = audio::kMixerChannels - audio::kInterfaceChannels;
  for (int i = 0; i < effect_channels + 10; ++i) knock.Play();
  EXPECT_EQ(int(p.SoundsPlayed().size()), effect_channels);
  EXPECT_EQ(p.SoundsSkipped().size(), 10u);
  for (int i = 0; i < audio::kInterfaceChannels + 3; ++i) select.Play();
  EXPECT_EQ(p.CountSound("data/select.wav"), audio::kInterfaceChannels + 3);
  EXPECT_EQ(manager.Performance()->SkippedPlays(), 10);
  p.Advance(119);
  knock.Play();
  EXPECT_EQ(p.SoundsSkipped().size(), 11u) << "still busy";
  p.Advance(1);
  knock.Play();
  EXPECT_EQ(p.SoundsSkipped().size(), 11u) << "the first knocks have ended";
}

}  // namespace
