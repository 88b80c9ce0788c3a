#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "scene/random.h"
#include "tests/support/scripted_random.h"

namespace {

using scene::SeedRandom;
using scene::SetRandomObserver;
using support::ScriptedRandom;

std::vector<int> Draws(int count, int bound) {
  std::vector<int> out;
  for (int i = 0; i < count; ++i) out.push_back(Random(bound));
  return out;
}

TEST(Random, SeedFixesTheSequenceAndResultsStayInRange) {
  SeedRandom(7);
  const auto first = Draws(500, 1000);
  SeedRandom(7);
  EXPECT_EQ(Draws(500, 1000), first);
  SeedRandom(8);
  EXPECT_NE(Draws(500, 1000), first);
  for (int bound : {1, 2, 7, 1000, 2147483647}) {
    for (int r : Draws(200, bound)) {
      ASSERT_GE(r, 0);
      ASSERT_LT(r, bound);
    }
  }
}

TEST(Random, NonPositiveBoundGivesZeroWithoutDrawing) {
  ScriptedRandom script;  // empty: any draw would fail the test
  EXPECT_EQ(Random(0), 0);
  EXPECT_EQ(Random(-3), 0);
}

TEST(Random, ObserverSeesEveryCallAndScriptedSourcesNest) {
  std::vector<std::pair<int, int>> seen;
  SetRandomObserver([&](int n, int r) { seen.emplace_back(n, r); });
  {
    ScriptedRandom outer;
    outer.Add({17, 5});
    {
      ScriptedRandom inner;
      inner.Add({1003});
      EXPECT_EQ(Random(1000), 3);
    }
    EXPECT_EQ(Random(10), 7);
    EXPECT_EQ(Random(0), 0);
    EXPECT_EQ(outer.left(), 1u);
    Random(100);
  }
  SetRandomObserver({});
  Random(5);  // no longer observed
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1000, 3}, {10, 7}, {0, 0}, {100, 5}}));
}

}  // namespace
