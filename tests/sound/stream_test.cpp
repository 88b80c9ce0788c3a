// The queue between the animation's thread and the audio thread, and the
// stream over it: nothing lost or reordered across threads, a full queue
// keeps what it could not take, muting drops the strikes posted and reports
// silence once the ramp is played.

#include "sound/stream.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "sound/queue.h"
#include "tests/sound/sound_test.h"

namespace {

using sound_test::Landing;
using sound_test::Peak;

TEST(SpscQueue, HoldsItsCapacityAndHandsEverythingOverInOrderAcrossThreads) {
  sound::SpscQueue<int, 4> small;
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(small.Push(i));
  EXPECT_FALSE(small.Push(4));
  int value = -1;
  EXPECT_TRUE(small.Pop(value));
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(small.Push(4));

  sound::SpscQueue<long, 64> queue;
  constexpr long kCount = 200000;
  std::thread producer([&] {
    for (long i = 0; i < kCount;)
      if (queue.Push(i)) ++i;
  });
  long expected = 0;
  for (long got; expected < kCount;) {
    if (!queue.Pop(got)) continue;
    ASSERT_EQ(got, expected++);
  }
  producer.join();
}

// Ten seconds of sound as the device takes it, in callbacks of 1024, while
// the animation says it is not raining.
std::vector<std::int16_t> Drain(sound::Stream& stream, int seconds = 10) {
  std::vector<std::int16_t> all, buffer(2048);
  for (int i = 0; i < seconds * 48000 / 1024; ++i) {
    stream.Fill(buffer);
    stream.Post(Landing(0));
    all.insert(all.end(), buffer.begin(), buffer.end());
  }
  return all;
}

TEST(Stream, KeepsWhatAFullQueueCannotTakeAndDropsStrikesPostedWhileMuted) {
  {
    sound::Stream stream(1, {});
    for (int f = 0; f < 199; ++f) stream.Post(Landing(0));
    stream.Post(Landing(0, 1));  // far past the queue's 64: kept, and sent with the next
    EXPECT_GT(Peak(Drain(stream)), 0) << "the strike was lost";
  }
  {
    sound::Stream stream(1, {});
    stream.SetMuted(true);
    stream.Post(Landing(0, 1));
    stream.SetMuted(false);
    EXPECT_EQ(Peak(Drain(stream)), 0) << "a strike posted while muted was heard";
  }
}

TEST(Stream, IsSilentOnceTheMuteRampHasPlayedAndNotOnceUnmuted) {
  sound::Stream stream(1, {});
  stream.Post(Landing(1));
  Drain(stream, 1);
  stream.SetMuted(true);
  EXPECT_FALSE(stream.Silent());
  Drain(stream, 1);
  EXPECT_TRUE(stream.Silent());
  stream.SetMuted(false);
  EXPECT_FALSE(stream.Silent());
  stream.SetVolume(250);
  EXPECT_EQ(stream.volume(), 100);
}

}  // namespace
