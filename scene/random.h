// The one random source every choice of the scene draws from.
//
// Random(n) is 0 for n <= 0, otherwise the next raw value modulo n.  The
// built-in generator is std::mt19937, whose sequence the C++ standard fixes,
// so a seed gives the same frames with any conforming library.  Tests and
// tools may put a scripted source in its place and may watch every draw.

#pragma once

#include <cstdint>
#include <functional>

int Random(int n);

namespace scene {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual std::uint32_t Next() = 0;
};

// Restarts the built-in generator from `seed`.
void SeedRandom(std::uint32_t seed);

// Makes `source` the source of Random until it is replaced; nullptr puts the
// built-in generator back.  Returns the previous source (nullptr when it was
// the built-in one).  The caller keeps `source` alive while it is in use.
RandomSource* SetRandomSource(RandomSource* source);

// Called after every draw with its bound and result; an empty function stops
// the calls.
void SetRandomObserver(std::function<void(int n, int result)> observer);

}  // namespace scene
