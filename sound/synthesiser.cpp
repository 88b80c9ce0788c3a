#include "sound/synthesiser.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr float kRate = static_cast<float>(kSampleRate);

// Levels before the volume's gain, set by measuring long storms: at the
// default volume two minutes measure -24 to -26.5 LUFS, the rain alone -29.6.
constexpr float kBedLevel = 0.09f;
constexpr float kTickLevel = 0.17f;
constexpr float kBubbleLevel = 0.03f;
constexpr float kRumbleLevel = 1.2f;
constexpr float kCrackLevel = 0.7f;

// Sounds of single drops per frame of steady rain: a few of the landings,
// spread over the frame's time, so the patter has no 64 Hz beat.
constexpr float kDropSoundsPerFrame = 1.6f;
// Catching up after an unseen spell lands many drops at once: the rain
// grows at most this much louder for it.
constexpr float kMaxIntensity = 2.0f;
// Samples between two workings-out of a thunderclap's swells.
constexpr int kEnvelopeStep = 16;
// Samples between two turns of a bubble's rising tone.
constexpr int kTurnUpdate = 32;

// The per-sample factor of a decay with time constant `seconds`.
float DecayFactor(float seconds) { return std::exp(-1.0f / (seconds * kRate)); }
// The step of a one-pole glide with time constant `seconds`.
float GlideStep(float seconds) { return 1.0f - DecayFactor(seconds); }

// A value too small to hear is zero: keeps glides from ending in denormal
// arithmetic, which is slow.
float Settle(float value, float target) { return std::fabs(value - target) < 1e-6f ? target : value; }

// The volume scales the amplitude: 100 is twice the default (+6 dB), 1 a
// fiftieth of it (-34 dB), still heard in a quiet room.
float VolumeGain(int volume) { return static_cast<float>(volume) / kDefaultVolume; }

std::uint64_t SplitMix(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

struct Coefficients {
  double w0, cosine, alpha;
};
Coefficients At(double frequency, double q) {
  const double w0 = 2 * kPi * frequency / kSampleRate;
  return {w0, std::cos(w0), std::sin(w0) / (2 * q)};
}
Biquad Normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  Biquad f;
  f.b0 = static_cast<float>(b0 / a0);
  f.b1 = static_cast<float>(b1 / a0);
  f.b2 = static_cast<float>(b2 / a0);
  f.a1 = static_cast<float>(a1 / a0);
  f.a2 = static_cast<float>(a2 / a0);
  return f;
}

// Equal-power pan: 0 left, 1 right.
void Pan(float at, float& left, float& right) {
  left = std::sqrt(1.0f - at);
  right = std::sqrt(at);
}

}  // namespace

Generator::Generator(std::uint64_t seed) : state_(SplitMix(seed) | 1) {}

std::uint32_t Generator::Next() {
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return static_cast<std::uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
}

// Robert Bristow-Johnson's cookbook filters.
Biquad LowPass(double frequency, double q) {
  const auto [w0, c, alpha] = At(frequency, q);
  return Normalised((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}
Biquad HighPass(double frequency, double q) {
  const auto [w0, c, alpha] = At(frequency, q);
  return Normalised((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}
Biquad BandPass(double frequency, double q) {
  const auto [w0, c, alpha] = At(frequency, q);
  return Normalised(alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
}

Synthesiser::Synthesiser(std::uint64_t seed, Settings settings) : random_(seed), settings_(settings) {
  settings_.volume = std::clamp(settings_.volume, kMinVolume, kMaxVolume);
  volumeGain_ = VolumeGain(settings_.volume);
  // Energy mostly between 0.5 and 5 kHz: soft, not hiss.
  for (int side = 0; side < 2; ++side) {
    bedHigh_[side] = HighPass(500);
    bedLow_[side] = LowPass(3200);
  }
}

void Synthesiser::SetVolume(int volume) { settings_.volume = std::clamp(volume, kMinVolume, kMaxVolume); }

void Synthesiser::SetMuted(bool muted) { muted_ = muted; }

void Synthesiser::Hear(const FrameEvents& events) {
  if (events.frames <= 0) return;
  unheardFor_ = 0;
  const double steady = events.steadyNear + events.steadyFar;
  if (steady > 0) {
    // Landings add up as power: the bed's level is the root of their share.
    const double landed = events.nearLanded + events.farLanded;
    targetLevel_ = std::sqrt(std::min(static_cast<float>(landed / steady), kMaxIntensity));
  }
  // Frames piled up while the device was closed are not all played back:
  // at most a second's worth of drops.
  ScheduleDrops(std::min(events.frames, kFramesPerSecond));
  if (settings_.thunder) {
    for (int i = 0; i < events.strikes; ++i) StartThunder();
  }
  sinceStrike_ = events.strikes > 0 ? 0 : sinceStrike_ + events.frames;
}

void Synthesiser::ScheduleDrops(int frames) {
  // Single drops follow the rain's smoothed loudness, so they swell in
  // with it rather than starting at full strength.
  dropsOwed_ += kDropSoundsPerFrame * static_cast<float>(frames) * level_ * level_;
  const int span = frames * kSamplesPerFrame;
  for (; dropsOwed_ >= 1.0f; dropsOwed_ -= 1.0f) StartDrop(static_cast<int>(random_.Uniform() * span));
}

void Synthesiser::HearNothing(int samples) {
  unheardFor_ += samples;
  if (unheardFor_ < kPlayOnAfter) return;
  // Nobody sees the animation, which then stops: the rain goes on as it
  // last was and the storm strikes as the scene would, a strike in 200
  // frames once a flash has faded below half (26 frames).
  for (; unheardFor_ >= kPlayOnAfter + kSamplesPerFrame; unheardFor_ -= kSamplesPerFrame) {
    ScheduleDrops(1);
    ++sinceStrike_;
    if (settings_.thunder && sinceStrike_ > 26 && random_.Uniform() < 0.005f) {
      StartThunder();
      sinceStrike_ = 0;
    }
  }
}

void Synthesiser::StartDrop(int at) {
  const auto free = std::ranges::find(drops_, 0, &Drop::left);
  if (free == drops_.end()) return;  // a crowd of drops: one more is not missed
  Drop& d = *free;
  d = Drop{};
  d.startIn = at;
  const float loud = random_.Uniform();
  Pan(random_.Uniform(), d.panLeft, d.panRight);
  d.bubble = random_.Uniform() < 0.22f;
  if (d.bubble) {
    // A small bubble's note, rising as it shrinks.
    const float seconds = 0.006f + 0.009f * random_.Uniform();
    d.left = static_cast<int>(5 * seconds * kRate);
    d.decay = DecayFactor(seconds);
    d.level = kBubbleLevel * (0.3f + 0.7f * loud);
    d.step = static_cast<float>(2 * kPi * (900 + 1800 * random_.Uniform()) / kSampleRate);
    d.stepGrowth = std::pow(1.3f + 0.9f * random_.Uniform(), static_cast<float>(kTurnUpdate) / static_cast<float>(d.left));
  } else {
    const float seconds = 0.0015f + 0.0035f * random_.Uniform();
    d.left = static_cast<int>(5 * seconds * kRate);
    d.decay = DecayFactor(seconds);
    d.level = kTickLevel * loud * loud;  // most ticks faint, a few close
    d.band = BandPass(1200 + 3000 * random_.Uniform(), 1.2 + 2.0 * random_.Uniform());
  }
}

void Synthesiser::StartThunder() {
  // One clap per strike: with every voice busy, the one sounding longest
  // (the faintest by now) gives way.
  auto voice = std::ranges::find(thunder_, 0, &Thunder::left);
  if (voice == thunder_.end())
    voice = std::ranges::max_element(thunder_, {}, [](const Thunder& t) { return t.age - t.startIn; });
  Thunder& t = *voice;
  t = Thunder{};

  const float distance = static_cast<float>(kNearestStrike + (kFarthestStrike - kNearestStrike) * random_.Uniform());
  const float nearness = static_cast<float>((kFarthestStrike - distance) / (kFarthestStrike - kNearestStrike));
  t.startIn = static_cast<int>(distance / kSpeedOfSound * kSampleRate);
  const float gain = std::pow(static_cast<float>(kNearestStrike) / distance, 0.6f);

  // The air takes the highs out of far thunder: near claps crack, far ones
  // only rumble, lower and longer.
  t.crack = kCrackLevel * gain * nearness * nearness;
  t.crackRise = DecayFactor(0.001f);
  t.crackFall = DecayFactor(0.03f + 0.06f * random_.Uniform());
  const double crackTop = 1200 + 4000 * nearness;
  const double rumbleTop = 70 + 330 * nearness * nearness + 40 * random_.Uniform();
  for (int side = 0; side < 2; ++side) {
    t.crackBand[side] = LowPass(crackTop);
    t.rumbleLow[side] = LowPass(rumbleTop, 0.8);
  }
  // Low-passed noise is quieter the narrower its band: made up for here.
  t.rumbleGain = kRumbleLevel * gain * std::sqrt(static_cast<float>(400.0 / rumbleTop));

  t.swells = 3 + static_cast<int>(random_.Uniform() * 4);
  const float spread = 0.6f + 2.4f * (1 - nearness);
  int last = 0;
  for (int k = 0; k < t.swells; ++k) {
    const float at = k == 0 ? 0 : 0.15f + spread * random_.Uniform();
    t.swellIn[k] = static_cast<int>(at * kRate);
    t.swellLevel[k] = k == 0 ? 1 : 0.4f + 0.6f * random_.Uniform();
    const float rise = 0.02f + 0.25f * (1 - nearness) + 0.05f * random_.Uniform();
    const float fall = 0.6f + 1.2f * (1 - nearness) + 0.5f * random_.Uniform();
    t.swellRise[k] = DecayFactor(rise / kEnvelopeStep);
    t.swellFall[k] = DecayFactor(fall / kEnvelopeStep);
    t.rise[k] = t.fall[k] = 1;
    last = std::max(last, t.swellIn[k] + static_cast<int>(7 * fall * kRate));
  }
  t.left = t.startIn + last;
  Pan(0.5f + 0.3f * random_.Signed(), t.panLeft, t.panRight);
}

void Synthesiser::RenderDrops(float* left, float* right, int frames) {
  for (Drop& d : drops_) {
    if (d.left == 0) continue;
    int i = std::min(d.startIn, frames);
    d.startIn -= i;
    for (; i < frames && d.left > 0; ++i, --d.left) {
      d.level *= d.decay;
      float s;
      if (d.bubble) {
        if (d.age++ % kTurnUpdate == 0) {
          d.turnReal = std::cos(d.step);
          d.turnImaginary = std::sin(d.step);
          d.step *= d.stepGrowth;
        }
        const float real = d.real * d.turnReal - d.imaginary * d.turnImaginary;
        d.imaginary = d.real * d.turnImaginary + d.imaginary * d.turnReal;
        d.real = real;
        s = d.imaginary * d.level;
      } else {
        s = d.band(random_.Signed()) * d.level;
      }
      left[i] += s * d.panLeft;
      right[i] += s * d.panRight;
    }
  }
}

void Synthesiser::RenderThunder(Thunder& t, float* left, float* right, int frames) {
  int i = std::min(t.startIn, frames);
  t.startIn -= i;
  t.left -= i;
  for (; i < frames && t.left > 0; ++i, --t.left, ++t.age) {
    if (t.age % kEnvelopeStep == 0) {
      float next = 0;
      for (int k = 0; k < t.swells; ++k) {
        if (t.age < t.swellIn[k]) continue;
        t.rise[k] *= t.swellRise[k];
        t.fall[k] *= t.swellFall[k];
        next += t.swellLevel[k] * (t.fall[k] - t.rise[k]);
      }
      t.swellStep = (next - t.swell) / kEnvelopeStep;
    }
    t.swell += t.swellStep;
    const float swell = t.swell;
    float noiseLeft, noiseRight;
    random_.SignedPair(noiseLeft, noiseRight);
    float l = t.rumbleLow[0](noiseLeft) * swell * t.rumbleGain;
    float r = t.rumbleLow[1](noiseRight) * swell * t.rumbleGain;
    if (t.crack > 0) {
      t.crackAttack = t.crackAttack == 0 ? 1 : t.crackAttack * t.crackRise;
      t.crackDecay = t.crackDecay == 0 ? 1 : t.crackDecay * t.crackFall;
      const float envelope = t.crack * (t.crackDecay - t.crackAttack);
      float crackLeft, crackRight;
      random_.SignedPair(crackLeft, crackRight);
      l += t.crackBand[0](crackLeft) * envelope;
      r += t.crackBand[1](crackRight) * envelope;
      if (t.crackDecay < 1e-4f) t.crack = 0;
    }
    left[i] += l * t.panLeft;
    right[i] += r * t.panRight;
  }
}

void Synthesiser::RenderBlock(float* left, float* right, int frames) {
  const float levelStep = GlideStep(0.3f);
  for (int i = 0; i < frames; ++i) {
    level_ = Settle(level_ + (targetLevel_ - level_) * levelStep, targetLevel_);
    const float level = kBedLevel * level_;
    float ownLeft, ownRight, shared, unused;
    random_.SignedPair(ownLeft, ownRight);
    random_.SignedPair(shared, unused);
    const float l = 0.8f * ownLeft + 0.6f * shared;
    const float r = 0.8f * ownRight + 0.6f * shared;
    left[i] = bedLow_[0](bedHigh_[0](l)) * level;
    right[i] = bedLow_[1](bedHigh_[1](r)) * level;
  }
  RenderDrops(left, right, frames);
  for (Thunder& t : thunder_)
    if (t.left > 0) RenderThunder(t, left, right, frames);
}

void Synthesiser::Limit(float* left, float* right, int frames) {
  const float target = VolumeGain(settings_.volume);
  const float volumeStep = GlideStep(0.02f);
  const float attack = 1.0f - std::exp(-4.0f / kLookAhead);  // there before the peak leaves the delay
  const float release = DecayFactor(0.15f);
  const float muteStep = 1.0f / (0.02f * kRate);
  for (int i = 0; i < frames; ++i) {
    volumeGain_ = Settle(volumeGain_ + (target - volumeGain_) * volumeStep, target);
    const float inLeft = left[i] * volumeGain_, inRight = right[i] * volumeGain_;
    const float peak = std::max(std::fabs(inLeft), std::fabs(inRight));
    const float need = peak > kCeiling ? 1.0f - kCeiling / peak : 0.0f;
    if (need >= held_) {
      held_ = need;
      holdFor_ = kLookAhead;
    } else if (holdFor_ > 0) {
      --holdFor_;
    } else {
      held_ = held_ < 1e-6f ? 0 : held_ * release;
    }
    reduction_ = held_ > reduction_ ? reduction_ + (held_ - reduction_) * attack : held_;

    float& delayedLeft = delay_[2 * delayAt_];
    float& delayedRight = delay_[2 * delayAt_ + 1];
    const float gain = 1.0f - reduction_;
    // The clamp only catches what the glide of the gain left over.
    const float outLeft = std::clamp(delayedLeft * gain, -kCeiling, kCeiling);
    const float outRight = std::clamp(delayedRight * gain, -kCeiling, kCeiling);
    delayedLeft = inLeft;
    delayedRight = inRight;
    delayAt_ = (delayAt_ + 1) % kLookAhead;

    muteGain_ = muted_ ? std::max(0.0f, muteGain_ - muteStep) : std::min(1.0f, muteGain_ + muteStep);
    left[i] = outLeft * muteGain_;
    right[i] = outRight * muteGain_;
  }
}

void Synthesiser::Render(std::span<std::int16_t> stereo) {
  constexpr int kBlock = 256;
  float left[kBlock], right[kBlock];
  // Rounded half away from zero; the limiter keeps every value in range.
  const auto sample = [](float x) {
    const float scaled = std::clamp(x, -1.0f, 1.0f) * 32767.0f;
    return static_cast<std::int16_t>(scaled + (scaled >= 0 ? 0.5f : -0.5f));
  };
  for (std::size_t done = 0; done + 1 < stereo.size();) {
    const int frames = static_cast<int>(std::min<std::size_t>(kBlock, (stereo.size() - done) / 2));
    HearNothing(frames);
    RenderBlock(left, right, frames);
    Limit(left, right, frames);
    for (int i = 0; i < frames; ++i, done += 2) {
      stereo[done] = sample(left[i]);
      stereo[done + 1] = sample(right[i]);
    }
  }
}

}  // namespace sound
