// A loudness meter after ITU-R BS.1770 (the meter of EBU R128): K-weighting,
// 400 ms blocks overlapping by 75 %, the absolute gate at -70 LUFS and the
// relative gate 10 LU below; for 48 kHz interleaved stereo, 16-bit.

#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace loudness {

class Meter {
 public:
  void Add(std::span<const std::int16_t> stereo);
  // Integrated loudness in LUFS; -70 or lower when nothing passed the gate.
  double Integrated() const;
  // The largest sample in dB of full scale (32767); -inf for silence.
  double PeakDbfs() const;

 private:
  struct Stage {
    double b0, b1, b2, a1, a2;
    double z1 = 0, z2 = 0;
    double operator()(double x);
  };
  // The shelf and the high-pass of the K-weighting, per channel.
  Stage shelf_[2] = {{1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241, 0.73248077421585},
                     {1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241, 0.73248077421585}};
  Stage highPass_[2] = {{1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621},
                        {1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621}};
  std::vector<double> segments_;  // summed squares of each whole 100 ms
  double current_ = 0;            // of the 100 ms being filled
  int inCurrent_ = 0;
  int peak_ = 0;
};

}  // namespace loudness
