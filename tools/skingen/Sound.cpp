// The click: a soft tick followed by a short airy whoosh that pans left to
// right, as the shine sweeps across a button.
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "Painters.h"

namespace skin {
namespace {

constexpr int kRate = 44000;
constexpr int kChannels = 2;
constexpr double kSeconds = 1.3;

// Fixed-seed generator so the sound is the same bytes on every build.
class Noise {
  public:
    double Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) / static_cast<double>(1ULL << 53) * 2.0 - 1.0;
    }

  private:
    uint64_t state_ = 0x5EED1234ABCDULL;
};

// Two-pole resonant band-pass (state-variable form) with a moving centre.
class BandPass {
  public:
    double Step(double in, double centre, double q) {
        const double f = 2.0 * std::sin(M_PI * centre / kRate);
        low_ += f * band_;
        const double high = in - low_ - band_ / q;
        band_ += f * high;
        return band_;
    }

  private:
    double low_ = 0;
    double band_ = 0;
};

void Put16(QByteArray& out, int v) {
    char b[2];
    qToLittleEndian<int16_t>(static_cast<int16_t>(v), b);
    out.append(b, 2);
}
void Put32(QByteArray& out, uint32_t v) {
    char b[4];
    qToLittleEndian<uint32_t>(v, b);
    out.append(b, 4);
}

}  // namespace

QByteArray SynthesiseClick() {
    const int frames = static_cast<int>(kRate * kSeconds);
    std::vector<double> left(frames), right(frames);
    Noise noise;
    BandPass airL, airR, tick;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        // Tick: a damped 2.2 kHz ping with a breath of filtered noise.
        const double tickEnv = std::exp(-t / 0.012);
        const double ping = std::sin(2 * M_PI * 2200 * t) * tickEnv * 0.32 +
                            std::sin(2 * M_PI * 3300 * t) * tickEnv * 0.08;
        const double tickNoise = tick.Step(noise.Next(), 3000, 1.2) * std::exp(-t / 0.004) * 0.5;
        // Whoosh: swells in, sweeps its pitch up and back, fades out smoothly.
        const double w = std::clamp((t - 0.02) / 1.2, 0.0, 1.0);
        const double swell = std::pow(std::sin(M_PI * std::pow(w, 0.7)), 2.0);
        const double centre = 500 + 2100 * std::sin(M_PI * std::pow(w, 0.8));
        const double n = noise.Next();
        const double airLeft = airL.Step(n, centre, 2.2);
        const double airRight = airR.Step(n, centre * 1.06, 2.2);
        const double pan = 0.5 - 0.5 * std::cos(M_PI * w);  // 0 = left, 1 = right
        const double whoosh = swell * 0.55;
        left[i] = ping + tickNoise + airLeft * whoosh * std::sqrt(1.0 - pan * 0.7);
        right[i] = ping + tickNoise + airRight * whoosh * std::sqrt(0.3 + pan * 0.7);
    }
    // Normalise to a comfortable level and close with a short fade.
    double peak = 1e-9;
    for (int i = 0; i < frames; ++i) {
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    const double gain = 0.45 / peak;
    const int fade = kRate / 50;

    const uint32_t dataBytes = static_cast<uint32_t>(frames) * kChannels * 2;
    QByteArray out;
    out.reserve(static_cast<int>(44 + dataBytes));
    out.append("RIFF", 4);
    Put32(out, 36 + dataBytes);
    out.append("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, kChannels);
    Put32(out, kRate);
    Put32(out, kRate * kChannels * 2);
    Put16(out, kChannels * 2);
    Put16(out, 16);
    out.append("data", 4);
    Put32(out, dataBytes);
    for (int i = 0; i < frames; ++i) {
        const double edge = std::min(1.0, static_cast<double>(frames - 1 - i) / fade);
        for (double v : {left[i], right[i]}) {
            Put16(out,
                  static_cast<int>(std::lround(std::clamp(v * gain * edge, -1.0, 1.0) * 32767)));
        }
    }
    return out;
}

}  // namespace skin
