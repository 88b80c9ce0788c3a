// Frames must stay byte-identical while the drawing code is made faster.  The
// checksum below was recorded from the first implementation that passed the
// drawing and scene tests.  It is FNV-1a 64 over the bytes R, G, B of every
// pixel of frames 1 ... kFrames in order: the pixel data of the frame tool's
// PPM files for that seed and picture, so a mismatch can be traced to a frame.

#include <gtest/gtest.h>

#include <cstdint>

#include "scene/frame_setup.h"
#include "drawing/canvas.h"
#include "scene/rain.h"
#include "scene/random.h"
#include "tests/perf/test_picture.h"

namespace {

constexpr std::uint32_t kSeed = 7;
constexpr int kFrames = 300;
constexpr std::uint64_t kRecordedChecksum = 0xB18A3D7CD82336F8ull;

void AddFrame(std::uint64_t& hash, const TBitmap& frame) {
  for (int y = 0; y < frame.height(); ++y)
    for (int x = 0; x < frame.width(); ++x)
      for (int shift : {16, 8, 0}) hash = (hash ^ ((frame.Row(y)[x] >> shift) & 0xFF)) * 0x100000001B3ull;
}

TEST(GoldenFrames, FixedSeedAndPictureGiveTheRecordedFrames) {
  TBitmap picture;
  TBitmap frame;
  scene::PrepareFrameAndPicture(frame, picture, [](TBitmap& p) { MakeTestPicture(p, SceneWidth, SceneHeight); });
  Rain rain;
  scene::SeedRandom(kSeed);

  std::uint64_t hash = 0xCBF29CE484222325ull;
  int strikes = 0;
  for (int f = 1; f <= kFrames; ++f) {
    rain.NextFrame(frame.Canvas, &picture);
    AddFrame(hash, frame);
    if (rain.flash == 250) ++strikes;
  }

  // The run must cover lit and fading skies, not only black ones.
  ASSERT_GT(strikes, 0) << "seed " << kSeed << " has no lightning in " << kFrames << " frames";
  EXPECT_EQ(hash, kRecordedChecksum)
      << "frames 1 ... " << kFrames << " for seed " << kSeed << " changed; checksum now 0x" << std::hex
      << hash;
}

}  // namespace
