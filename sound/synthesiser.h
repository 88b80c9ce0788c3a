// The rain and the thunder, made from noise, filters and short events as the
// animation reports its drops and strikes; nothing recorded, so nothing
// loops.  Headless and single-threaded: whoever owns it calls Hear and
// Render from one thread.

#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "sound/events.h"

namespace sound {

constexpr int kSampleRate = 48000;
constexpr int kChannels = 2;
// The animation runs at 64 frames a second: 750 sample frames each.
constexpr int kFramesPerSecond = 64;
constexpr int kSamplesPerFrame = kSampleRate / kFramesPerSecond;

constexpr int kMinVolume = 1;
constexpr int kMaxVolume = 100;
constexpr int kDefaultVolume = 50;

// Thunder is heard from strikes this near to this far; sound travels
// 343 m/s, so it starts 1.02 to 9 s after its flash.
constexpr double kSpeedOfSound = 343.0;
constexpr double kNearestStrike = 350.0;
constexpr double kFarthestStrike = 9.0 * kSpeedOfSound;

// The limiter keeps every sample at or below this, 1.5 dB under full scale.
constexpr float kCeiling = 0.8414f;

struct Settings {
  int volume = kDefaultVolume;  // kMinVolume ... kMaxVolume
  bool thunder = true;          // false: strikes make no sound
};

// The sound's own random source (never the scene's, whose draws make the
// frames): xorshift64*, seeded through splitmix64.
class Generator {
 public:
  explicit Generator(std::uint64_t seed);
  std::uint32_t Next();
  float Uniform() { return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }  // [0, 1)
  float Signed() { return Uniform() * 2.0f - 1.0f; }                                   // [-1, 1)
  // Two values of [-1, 1) from one draw, for noise, where 16 bits each are plenty.
  void SignedPair(float& a, float& b) {
    const std::uint32_t bits = Next();
    a = static_cast<float>(static_cast<std::int16_t>(bits >> 16)) * (1.0f / 32768.0f);
    b = static_cast<float>(static_cast<std::int16_t>(bits & 0xFFFF)) * (1.0f / 32768.0f);
  }

 private:
  std::uint64_t state_;
};

// A second-order filter in direct form II transposed.
struct Biquad {
  float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  float z1 = 0, z2 = 0;
  float operator()(float x) {
    const float y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
  }
};
Biquad LowPass(double frequency, double q = 0.7071);
Biquad HighPass(double frequency, double q = 0.7071);
Biquad BandPass(double frequency, double q);

class Synthesiser {
 public:
  explicit Synthesiser(std::uint64_t seed, Settings settings = {});

  // What happened since the last Render: its landings set the rain's
  // loudness, its strikes each start a thunderclap some seconds from now.
  // A second without any events (the animation is unseen and stopped), it
  // goes on by itself: the rain as it last was, and thunder at the scene's
  // rate of strikes.
  // Events covering no frame leave the loudness as it was; landings are
  // weighed against the steady rain of the scenes they come from.
  void Hear(const FrameEvents& events);

  // Fills interleaved stereo samples (left, right) and moves time on.
  void Render(std::span<std::int16_t> stereo);

  // Volume changes glide; out-of-range values are held to the range.
  void SetVolume(int volume);
  // Muting ramps down over 20 ms and then gives exact zeros.
  void SetMuted(bool muted);
  void SetThunder(bool thunder) { settings_.thunder = thunder; }

  int volume() const { return settings_.volume; }
  bool muted() const { return muted_; }
  // Muted and the ramp has reached silence.
  bool Silent() const { return muted_ && muteGain_ == 0.0f; }

 private:
  // A landing heard as a tick (a short band of noise) or a bubble (a tone
  // that rises as it fades).
  struct Drop {
    int startIn = 0;  // samples until it sounds
    int left = 0;     // samples it still sounds; 0: the voice is free
    bool bubble = false;
    float level = 0, decay = 0, panLeft = 0, panRight = 0;
    // The bubble's tone: a turning phasor, its turn per sample growing by
    // stepGrowth every kTurnUpdate samples.
    float real = 1, imaginary = 0, turnReal = 1, turnImaginary = 0;
    float step = 0, stepGrowth = 0;
    int age = 0;
    Biquad band;                                // the tick's noise
  };
  // One clap: a crack of bright noise for near strikes, then a rumble of
  // low noise rolling in a few swells.
  struct Thunder {
    static constexpr int kSwells = 6;
    int startIn = 0;
    int left = 0;
    int age = 0;  // samples since it began to sound
    float rumbleGain = 0;
    float crack = 0, crackAttack = 0, crackDecay = 0;  // difference-of-decays envelope
    float crackRise = 0, crackFall = 0;
    Biquad crackBand[2], rumbleLow[2];
    int swells = 0;
    std::array<int, kSwells> swellIn{};
    // The swells move slowly: their sum is worked out every kEnvelopeStep
    // samples and followed in straight steps between.
    std::array<float, kSwells> swellLevel{}, swellRise{}, swellFall{}, rise{}, fall{};
    float swell = 0, swellStep = 0;
    float panLeft = 1, panRight = 1;
  };

  // Counts the samples rendered since the animation last said anything;
  // past a second it plays on by itself.
  void HearNothing(int samples);
  void ScheduleDrops(int frames);
  void StartDrop(int at);
  void StartThunder();
  void RenderDrops(float* left, float* right, int frames);
  void RenderThunder(Thunder& clap, float* left, float* right, int frames);
  void RenderBlock(float* left, float* right, int frames);
  void Limit(float* left, float* right, int frames);

  Generator random_;
  Settings settings_;
  bool muted_ = false;

  Biquad bedHigh_[2], bedLow_[2];
  float level_ = 0;        // the rain's, gliding to targetLevel_
  float targetLevel_ = 0;  // from the landings last heard
  float dropsOwed_ = 0;    // the fraction of a drop sound carried over
  static constexpr int kPlayOnAfter = kSampleRate;  // samples: one second
  int unheardFor_ = 0;     // samples rendered since the last events
  int sinceStrike_ = 1000;  // frames since the last strike

  std::array<Drop, 32> drops_{};
  std::array<Thunder, 24> thunder_{};  // strikes come about every 3 s, claps last up to 20

  float volumeGain_ = 0;  // glides to the volume's gain
  float muteGain_ = 1;

  // The limiter: a short look-ahead delay, and the reduction it holds.
  static constexpr int kLookAhead = 64;
  std::array<float, kLookAhead * 2> delay_{};
  int delayAt_ = 0;
  float held_ = 0;       // 0 ... 1, what the peaks ahead need
  int holdFor_ = 0;      // samples held_ stays before it is released
  float reduction_ = 0;  // what is applied, moving toward held_
};

}  // namespace sound
