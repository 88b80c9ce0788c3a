#include "scene/random.h"

#include <random>
#include <utility>

namespace {

class BuiltInSource final : public scene::RandomSource {
 public:
  std::uint32_t Next() override { return static_cast<std::uint32_t>(engine_()); }
  void Seed(std::uint32_t seed) { engine_.seed(seed); }

 private:
  std::mt19937 engine_;
};

BuiltInSource builtIn;
scene::RandomSource* source = &builtIn;
std::function<void(int, int)> observer;

}  // namespace

int Random(int n) {
  const int result = n <= 0 ? 0 : static_cast<int>(source->Next() % static_cast<std::uint32_t>(n));
  if (observer) observer(n, result);
  return result;
}

namespace scene {

void SeedRandom(std::uint32_t seed) { builtIn.Seed(seed); }

RandomSource* SetRandomSource(RandomSource* replacement) {
  RandomSource* previous = source == &builtIn ? nullptr : source;
  source = replacement != nullptr ? replacement : &builtIn;
  return previous;
}

void SetRandomObserver(std::function<void(int n, int result)> newObserver) {
  observer = std::move(newObserver);
}

}  // namespace scene
