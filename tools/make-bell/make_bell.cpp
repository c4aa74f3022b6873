// Writes the module's default sound, a synthesized bell, and the plain sine
// tones that the audio tests play: 16-bit PCM mono WAV files at 44.1 kHz, the
// format that every platform sound service plays.
//
//   make-bell bell OUT.wav
//   make-bell tone FREQUENCY_HZ DURATION_MS OUT.wav
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int sample_rate = 44100;
constexpr double two_pi = 2.0 * std::numbers::pi;

struct partial {
  double ratio;     // frequency as a multiple of the strike note
  double amplitude; // relative level at the strike
  double decay_s;   // time for the level to fall to 1/e
};

// A struck bell's partials are not harmonic: a hum an octave below, a minor
// third, a fifth, the nominal an octave above, and a few high ones that die
// first and give the strike its edge.
constexpr partial bell_partials[] = {
    {0.50, 0.35, 0.90}, {1.00, 1.00, 0.55}, {1.19, 0.45, 0.40}, {1.50, 0.30, 0.32},
    {2.00, 0.55, 0.25}, {2.51, 0.25, 0.15}, {2.66, 0.20, 0.12}, {3.01, 0.15, 0.08},
};
constexpr double bell_strike_hz = 880.0;
constexpr double bell_length_s = 1.0;

// Short linear ramps at both ends, so that no sound starts or stops with a click.
double edge_gain(std::size_t i, std::size_t count, double ramp_s) {
  const double ramp = ramp_s * sample_rate;
  const double from_start = static_cast<double>(i) / ramp;
  const double to_end = static_cast<double>(count - 1 - i) / ramp;
  return std::fmin(1.0, std::fmin(from_start, to_end));
}

std::vector<double> synthesize_bell() {
  const auto count = static_cast<std::size_t>(bell_length_s * sample_rate);
  std::vector<double> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / sample_rate;
    double value = 0.0;
    for (const partial& p : bell_partials) {
      value +=
          p.amplitude * std::exp(-t / p.decay_s) * std::sin(two_pi * bell_strike_hz * p.ratio * t);
    }
    samples[i] = value * edge_gain(i, count, 0.002);
  }
  return samples;
}

std::vector<double> synthesize_tone(double frequency_hz, double duration_s) {
  const auto count = static_cast<std::size_t>(duration_s * sample_rate);
  std::vector<double> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / sample_rate;
    samples[i] = std::sin(two_pi * frequency_hz * t) * edge_gain(i, count, 0.005);
  }
  return samples;
}

// Scales the loudest sample to peak (a fraction of full scale).
void normalize(std::vector<double>& samples, double peak) {
  double loudest = 0.0;
  for (const double s : samples) {
    loudest = std::fmax(loudest, std::fabs(s));
  }
  if (loudest > 0.0) {
    for (double& s : samples) {
      s *= peak / loudest;
    }
  }
}

void put_le(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

// A canonical 44-byte RIFF header followed by the samples, little-endian.
std::string wav_bytes(const std::vector<double>& samples) {
  const auto data_size = static_cast<uint32_t>(samples.size() * 2);
  std::string out;
  out.reserve(44 + data_size);
  out += "RIFF";
  put_le(out, 36 + data_size, 4);
  out += "WAVEfmt ";
  put_le(out, 16, 4);              // format chunk size
  put_le(out, 1, 2);               // PCM
  put_le(out, 1, 2);               // mono
  put_le(out, sample_rate, 4);     // frames per second
  put_le(out, sample_rate * 2, 4); // bytes per second
  put_le(out, 2, 2);               // bytes per frame
  put_le(out, 16, 2);              // bits per sample
  out += "data";
  put_le(out, data_size, 4);
  for (const double s : samples) {
    const auto level =
        static_cast<int16_t>(std::lround(std::fmax(-1.0, std::fmin(1.0, s)) * 32767));
    put_le(out, static_cast<uint16_t>(level), 2);
  }
  return out;
}

bool write_file(const char* path, const std::string& bytes) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "make-bell: cannot create %s: %s\n", path, std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "make-bell: cannot write %s\n", path);
    std::remove(path);
    return false;
  }
  return true;
}

// Reads a whole decimal number within [low, high], or fails.
bool parse_number(const char* text, double low, double high, double& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && errno == 0 && value >= low && value <= high;
}

int usage() {
  std::fputs("usage: make-bell bell OUT.wav\n"
             "       make-bell tone FREQUENCY_HZ DURATION_MS OUT.wav\n"
             "Writes 16-bit PCM mono WAV at 44100 Hz: the default bell sound, or a sine\n"
             "tone (20 to 20000 Hz, 1 to 60000 ms).\n",
             stderr);
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "bell") == 0) {
    std::vector<double> samples = synthesize_bell();
    normalize(samples, 0.8);
    return write_file(argv[2], wav_bytes(samples)) ? 0 : 1;
  }
  if (argc == 5 && std::strcmp(argv[1], "tone") == 0) {
    double frequency_hz = 0;
    double duration_ms = 0;
    if (!parse_number(argv[2], 20, 20000, frequency_hz) ||
        !parse_number(argv[3], 1, 60000, duration_ms)) {
      return usage();
    }
    std::vector<double> samples = synthesize_tone(frequency_hz, duration_ms / 1000.0);
    normalize(samples, 0.5);
    return write_file(argv[4], wav_bytes(samples)) ? 0 : 1;
  }
  return usage();
}
