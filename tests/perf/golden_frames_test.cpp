// Frames must stay byte-identical while the drawing code is made faster.  The
// checksum below was recorded from the first implementation that passed the
// drawing and scene tests; any change of a single pixel in any of the frames
// changes it.
//
// The checksum is FNV-1a 64 over the bytes R, G, B of every pixel of frames
// 1 ... kFrames in order: the same bytes as the pixel data of the frame tool's
// PPM files for that seed and picture, so a mismatch can be traced to a frame
// with the tool.

#include <gtest/gtest.h>

#include <cstdint>

#include "canvas.h"
#include "rain.h"
#include "random.h"
#include "test_picture.h"

namespace {

constexpr std::uint32_t kSeed = 7;
constexpr int kFrames = 300;
constexpr std::uint64_t kRecordedChecksum = 0xB18A3D7CD82336F8ull;

class Fnv1a64 {
 public:
  void Add(std::uint8_t byte) {
    hash_ ^= byte;
    hash_ *= 0x100000001B3ull;
  }
  void AddFrame(const TBitmap& frame) {
    for (int y = 0; y < frame.height(); ++y) {
      const Pixel* row = frame.Row(y);
      for (int x = 0; x < frame.width(); ++x) {
        Add(static_cast<std::uint8_t>(row[x] >> 16));
        Add(static_cast<std::uint8_t>(row[x] >> 8));
        Add(static_cast<std::uint8_t>(row[x]));
      }
    }
  }
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

TEST(GoldenFrames, FixedSeedAndPictureGiveTheRecordedFrames) {
  TBitmap picture;
  MakeTestPicture(picture, SceneWidth, SceneHeight);
  TBitmap frame;
  frame.SetSize(SceneWidth, SceneHeight);
  Rain rain;
  SeedRandom(kSeed);

  Fnv1a64 hash;
  int strikes = 0;
  for (int f = 1; f <= kFrames; ++f) {
    rain.NextFrame(frame.Canvas, &picture);
    hash.AddFrame(frame);
    if (rain.flash == 250) ++strikes;
  }

  // The run must cover lit and fading skies, not only black ones.
  ASSERT_GT(strikes, 0) << "seed " << kSeed << " has no lightning in " << kFrames << " frames";
  EXPECT_EQ(hash.value(), kRecordedChecksum)
      << "frames 1 ... " << kFrames << " for seed " << kSeed << " changed; checksum now 0x" << std::hex
      << hash.value();
}

}  // namespace
