#include "platform/monitors.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using drawing::Box;

struct Case {
  const char* name;
  std::vector<Box> listed;
  std::vector<Box> painted;
};

const Box kLaptop{0, 0, 1920, 1080};
const Box kBeside{1920, 0, 1280, 1024};
const Box kLeftHalf{0, 0, 960, 1080};
const Box kRightHalf{960, 0, 960, 1080};

TEST(DistinctMonitors, EachPixelBelongsToOneMonitor) {
  const Case cases[] = {
      {"two side by side stay", {kLaptop, kBeside}, {kLaptop, kBeside}},
      {"mirrored pair counts once", {kLaptop, kLaptop}, {kLaptop}},
      {"three mirrors beside a fourth", {kLaptop, kBeside, kLaptop, kLaptop}, {kLaptop, kBeside}},
      {"split output gives way to its parts", {kLaptop, kLeftHalf, kRightHalf}, {kLeftHalf, kRightHalf}},
      {"parts listed before their output", {kLeftHalf, kRightHalf, kLaptop, kBeside}, {kLeftHalf, kRightHalf, kBeside}},
      {"empty monitors go", {{0, 0, 0, 1080}, kLaptop, {5, 5, 10, 0}}, {kLaptop}},
      {"an overlap is left to the earlier", {kLaptop, {1820, 0, 1280, 1024}}, {kLaptop, {1920, 0, 1180, 1024}}},
      {"a monitor inside another is the part meant",
       {kLaptop, {100, 100, 200, 200}},
       {{100, 100, 200, 200}}},
      {"crossing overlap keeps the larger remainder",
       {{0, 0, 100, 100}, {50, 50, 100, 200}},
       {{0, 0, 100, 100}, {50, 100, 100, 150}}},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::DistinctMonitors(c.listed), c.painted) << c.name;
}

}  // namespace
