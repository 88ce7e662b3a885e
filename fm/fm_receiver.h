// SPDX-License-Identifier: GPL-3.0-or-later
// An FM broadcast receiver from a tuner's I/Q samples to the multiplex signal: the station is
// mixed to the centre, its channel filtered and decimated, its echoes undone by a blind
// equalizer, and its frequency demodulated. Plain C++ on liquid-dsp.
#pragma once

#include <complex>
#include <memory>
#include <span>
#include <vector>

namespace tavimor::fm {

inline constexpr double kMinIqRate = 900'000.0;
inline constexpr double kMaxIqRate = 3'200'000.0;

// A station's channel: its carrier at the centre, FM broadcasting's 75 kHz deviation and the
// multiplex's sidebands up to about 60 kHz passed (what lies beyond is mostly noise), at least
// kMinChannelAttenuationDb down from kMinChannelRate - kChannelHz, and decimated to at least
// kMinChannelRate: room for the channel and, below half of it, for the transition band to fold
// into without reaching the channel.
inline constexpr double kChannelHz = 100'000.0;
inline constexpr double kMinChannelRate = 240'000.0;
// 8-bit samples hold about 45 dB of signal over their own noise.
inline constexpr double kChannelAttenuationDb = 50.0;

// The decimation from an I/Q rate to the channel's rate.
unsigned channelDecimation(double iqRate);

// How the carrier is received, for a status line.
struct CarrierStatus {
  // The carrier's power in the channel, in dB of full scale (a carrier of amplitude 1 is 0 dB).
  double levelDbfs = -120.0;
  // The equalizer is undoing an echo: its taps lie lopsided about the main one, as an echo's
  // inverse does; the noise alone only ever draws them into a symmetric low-pass.
  bool equalizing = false;
};

class FmReceiver {
 public:
  // iqRate in Hz within [kMinIqRate, kMaxIqRate]; offsetHz: how far the station's carrier lies
  // from the centre of the I/Q band (the channel must fit within the band). Throws
  // std::invalid_argument with a message fit to show the user otherwise.
  FmReceiver(double iqRate, double offsetHz);
  // A receiver for a channel that a shared channelizer has already mixed, filtered and decimated
  // to channelRate, at least kMinChannelRate.
  static FmReceiver forChannel(double channelRate);
  ~FmReceiver();
  FmReceiver(FmReceiver&& other) noexcept;
  FmReceiver& operator=(FmReceiver&& other) noexcept;
  FmReceiver(const FmReceiver&) = delete;
  FmReceiver& operator=(const FmReceiver&) = delete;

  // The rate of the multiplex signal made, which mpx::MpxDecoder takes: about 256 kHz.
  double multiplexRate() const;
  // I/Q samples at full scale +-1 (8-bit input is (byte - 127.5) / 127.5), or the channel's;
  // appends the multiplex signal, 75 kHz deviation = +-1, to `multiplex`.
  void process(std::span<const std::complex<float>> iq, std::vector<float>& multiplex);
  // The filters' delay, in multiplex samples: what arrives at I/Q sample n leaves at multiplex
  // sample n * multiplexRate() / iqRate + delay(). So a group that ends at multiplex sample m
  // ended at I/Q sample (m - delay()) * iqRate / multiplexRate().
  double delay() const;
  CarrierStatus status() const;

 private:
  struct Impl;
  explicit FmReceiver(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavimor::fm
