// SPDX-License-Identifier: GPL-3.0-or-later
// The scan of every station in a capture at once, and of a band through a tuner that SoapySDR
// opens: the driver is registered inside the test and synthesizes what it is tuned to.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <sstream>

#include "scan/band_scan.h"
#include "scan/capture_scan.h"
#include "scan/channelizer.h"
#include "sdr/soapy_tuner.h"
#include "tests/support/band_signal.h"
#include "tests/support/iq_signal.h"
#include "tests/support/row_name.h"
#include "tests/support/synth_tuner.h"
#include "tools/feed/scan_report.h"
#include "tools/feed/scan_run.h"

namespace tavimor {
namespace {

using scan::StationReport;
using testing::BandStation;

constexpr double kRate = 1'024'000.0;
constexpr std::size_t kWrite = 16'384;

const StationReport* stationNear(const std::vector<StationReport>& stations, double hz,
                                 bool absolute = false) {
  for (const StationReport& station : stations) {
    const double at = absolute ? station.frequencyHz.value_or(0.0) : station.offsetHz;
    if (std::abs(at - hz) < 30'000.0) return &station;
  }
  return nullptr;
}

void scanAll(scan::CaptureScan& scan, std::span<const std::complex<float>> band) {
  for (std::size_t at = 0; at < band.size(); at += kWrite)
    scan.process(band.subspan(at, std::min(kWrite, band.size() - at)));
}

class ChannelizerTest : public ::testing::TestWithParam<double> {};

// A tone 1 kHz above the channel's carrier comes out a tone of 1 kHz: at the one level and
// turning by the one step at every sample, across every block's seam, wherever the channel lies.
TEST_P(ChannelizerTest, CutsAToneOutWithoutASeam) {
  const double offset = GetParam();
  scan::Channelizer channelizer(kRate);
  const scan::Channelizer::ChannelId id = channelizer.open(offset);
  std::vector<std::complex<float>> band(200'000);
  for (std::size_t n = 0; n < band.size(); ++n)
    band[n] =
        std::polar(0.5F, static_cast<float>(std::fmod(2.0 * std::numbers::pi * (offset + 1'000.0) *
                                                          static_cast<double>(n) / kRate,
                                                      2.0 * std::numbers::pi)));
  for (std::size_t at = 0; at < band.size(); at += 5'000)
    channelizer.process(std::span(band).subspan(at, 5'000));
  const std::span<const std::complex<float>> channel = channelizer.samples(id);
  ASSERT_GT(channel.size(), 40'000U);
  const auto step = std::polar(
      1.0F, static_cast<float>(2.0 * std::numbers::pi * 1'000.0 / channelizer.channelRate()));
  for (std::size_t n = 100; n + 1 < channel.size(); ++n) {
    ASSERT_NEAR(std::abs(channel[n]), 0.5F, 0.01F) << n;
    ASSERT_LT(std::abs(channel[n + 1] - channel[n] * step), 0.01F) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Scan, ChannelizerTest,
                         ::testing::Values(-387'654.0, -100'000.0, 0.0, 250'250.0));

// A strong station with a weak one 200 kHz beside it, and one without RDS.
const std::vector<BandStation>& crowdedBand() {
  static const std::vector<BandStation> stations{
      {.offsetHz = -300'000, .levelDb = 0, .pi = 0xC201, .ps = "ALPHA FM", .rdsClockPpm = 40},
      {.offsetHz = -100'000,
       .levelDb = -20,
       .pi = 0xC202,
       .ps = "BRAVO   ",
       .pty = 3,
       .rdsClockPpm = -30},
      {.offsetHz = 250'000, .levelDb = -10, .rds = false},
  };
  return stations;
}

TEST(CaptureScan, ListsEveryStationOnceWithWhatItsRdsSaysAndNothingElse) {
  const auto band = testing::fromUnsigned8(
      testing::toUnsigned8(testing::synthesizeBand(crowdedBand(), kRate, 4.0, 40.0, 3), 0.25));
  scan::CaptureScan scan({.sampleRate = kRate, .centreHz = 94e6, .widestOffsetHz = {}});
  scanAll(scan, band);
  const std::vector<StationReport> stations = scan.stations();
  ASSERT_EQ(stations.size(), crowdedBand().size());
  for (const BandStation& sent : crowdedBand()) {
    const StationReport* listed = stationNear(stations, sent.offsetHz);
    ASSERT_NE(listed, nullptr) << sent.offsetHz;
    EXPECT_NEAR(*listed->frequencyHz, 94e6 + sent.offsetHz, 30'000.0);
    EXPECT_NEAR(listed->levelDbfs - stations.front().levelDbfs,
                sent.levelDb - crowdedBand()[0].levelDb, 2.0);
    EXPECT_EQ(listed->rds, sent.rds);
    if (!sent.rds) {
      EXPECT_FALSE(listed->pi);
      EXPECT_TRUE(listed->settled);
      continue;
    }
    EXPECT_EQ(listed->pi, sent.pi);
    EXPECT_EQ(listed->ps, sent.ps);
    EXPECT_EQ(listed->pty, sent.pty);
    EXPECT_GT(listed->groups, 20U);
  }
}

// On the tuner's DC, where the DC is left in.
TEST(CaptureScan, ListsAStationOnTheCentreAndDropsItsCarrierOnceItGoesAway) {
  const BandStation station{.offsetHz = 0, .pi = 0xD001, .ps = "LEAVING ", .silent = true};
  std::vector<std::complex<float>> band =
      testing::synthesizeBand({&station, 1}, kRate, 1.5, 40.0, 5);
  std::vector<std::complex<float>> silence = testing::synthesizeBand({}, kRate, 3.0, 40.0, 6);
  band.insert(band.end(), silence.begin(), silence.end());
  scan::CaptureScan scan({.sampleRate = kRate, .centreHz = {}, .widestOffsetHz = {}});
  std::vector<StationReport> dropped;
  scan.onDropped([&](const StationReport& gone) { dropped.push_back(gone); });
  scanAll(scan, band);
  ASSERT_EQ(dropped.size(), 1U);
  EXPECT_EQ(dropped[0].pi, station.pi);
  EXPECT_EQ(dropped[0].ps, station.ps);
  EXPECT_TRUE(scan.stations().empty());
}

TEST(ScanReport, JsonHasExactlyTheKeysAndNullsWhatIsUnknown) {
  StationReport named{.offsetHz = -200'400,
                      .frequencyHz = 94.3e6,
                      .pi = 0xC0A3,
                      .ps = "SAY \"HI\"",
                      .pty = 10,
                      .levelDbfs = -21.25,
                      .snrDb = 30.0,
                      .blockErrorRate = 0.0125,
                      .groups = 57,
                      .rds = true};
  EXPECT_EQ(feed::scanJsonLine(named),
            "{\"offset_hz\": -200400, \"frequency_hz\": 94300000, \"pi\": \"C0A3\", \"ps\": "
            "\"SAY \\\"HI\\\"\", \"pty\": 10, \"level_db\": -21.2, \"snr_db\": 30.0, \"groups\": "
            "57, \"block_error_rate\": 0.0125, \"rds\": true}\n");
  const StationReport carrier{.offsetHz = 300'000, .levelDbfs = -30.0, .snrDb = 12.0};
  EXPECT_EQ(
      feed::scanJsonLine(carrier),
      "{\"offset_hz\": 300000, \"pi\": null, \"ps\": null, \"pty\": null, \"level_db\": "
      "-30.0, \"snr_db\": 12.0, \"groups\": 0, \"block_error_rate\": null, \"rds\": false}\n");
}

// Stations every 400 kHz, each named after its frequency.
testing::SynthBand bandEvery400k(double from, double to) {
  testing::SynthBand band;
  std::uint16_t pi = 0xE001;
  for (double hz = from; hz <= to + 1.0; hz += 400e3) {
    char name[9];
    std::snprintf(name, sizeof name, "FM%5.1f ", hz / 1e6);
    band.stations.push_back({.offsetHz = hz, .levelDb = -3.0 * (pi % 3), .pi = pi++, .ps = name});
  }
  return band;
}

TEST(BandScan, HopsTheOpenTunerAndListsEveryStationAtItsFrequency) {
  const testing::SynthBand band = bandEvery400k(88.1e6, 89.7e6);
  testing::registerSynthTuner(band);
  auto opened = sdr::SoapyTuner::open({.args = "driver=tavimor_synth",
                                       .sampleRate = kRate,
                                       .frequencyHz = 88e6,
                                       .gainDb = 25.0,
                                       .ppm = -2.0});
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<sdr::SoapyTuner>>(opened));
  sdr::SoapyTuner& tuner = *std::get<std::unique_ptr<sdr::SoapyTuner>>(opened);
  scan::BandScan scan(tuner, {.fromHz = 88e6, .toHz = 89.8e6});
  std::vector<StationReport> listed;
  const std::atomic<bool> stop{false};
  ASSERT_TRUE(scan.run([&](const StationReport& station) { listed.push_back(station); }, stop));

  ASSERT_EQ(listed.size(), band.stations.size());
  for (const BandStation& sent : band.stations) {
    const StationReport* found = stationNear(listed, sent.offsetHz, true);
    ASSERT_NE(found, nullptr) << sent.offsetHz;
    EXPECT_EQ(found->pi, sent.pi);
    EXPECT_EQ(found->ps, sent.ps);
  }
  const testing::SynthTunerLog log = testing::synthTunerLog();
  EXPECT_EQ(log.sampleRate, kRate);
  EXPECT_EQ(log.gainDb, 25.0);
  EXPECT_EQ(log.ppm, -2.0);
  // Opened at 88 MHz, then each hop's centre on the same device.
  ASSERT_EQ(log.tunings.size(), scan.centres().size() + 1);
  EXPECT_TRUE(std::equal(scan.centres().begin(), scan.centres().end(), log.tunings.begin() + 1));
  EXPECT_NEAR(scan.deviceSeconds(), static_cast<double>(log.samplesRead) / kRate, 1e-9);
}

struct TunerTrouble {
  std::string_view name;
  std::string args;
  double rate;
  sdr::Trouble trouble;
  std::string_view said;
};

class TunerTroubleTest : public ::testing::TestWithParam<TunerTrouble> {};

TEST_P(TunerTroubleTest, ComesAsAValueThatSaysWhatIsWrong) {
  testing::registerSynthTuner({});
  auto opened = sdr::SoapyTuner::open({.args = GetParam().args,
                                       .sampleRate = GetParam().rate,
                                       .frequencyHz = 94e6,
                                       .gainDb = std::nullopt,
                                       .ppm = 0.0});
  const auto* problem = std::get_if<sdr::DeviceProblem>(&opened);
  ASSERT_NE(problem, nullptr);
  EXPECT_EQ(problem->trouble, GetParam().trouble);
  EXPECT_NE(problem->message.find(GetParam().said), std::string::npos) << problem->message;
}

INSTANTIATE_TEST_SUITE_P(Sdr, TunerTroubleTest,
                         ::testing::Values(TunerTrouble{"Unknown", "driver=nosuchtuner", kRate,
                                                        sdr::Trouble::NotFound, "no tuner matches"},
                                           TunerTrouble{"Busy", "driver=tavimor_synth,busy=1",
                                                        kRate, sdr::Trouble::Busy, "busy"},
                                           TunerTrouble{"RateOutsideItsRange",
                                                        "driver=tavimor_synth", 500'000,
                                                        sdr::Trouble::Unsupported,
                                                        "does not take 500000 samples a second"}),
                         testing::kRowName);

TEST(BandScan, ATunerPulledOutMidScanKeepsWhatWasFoundThenFails) {
  testing::registerSynthTuner(bandEvery400k(88.1e6, 89.7e6));
  feed::ScanRequest request;
  request.rate = kRate;
  request.device = feed::DeviceChoice{.args = "driver=tavimor_synth,vanish=2.5"};
  request.fromHz = 88e6;
  request.toHz = 89.8e6;
  request.json = true;
  std::ostringstream out;
  std::ostringstream err;
  const std::atomic<bool> stop{false};
  EXPECT_EQ(feed::runScan(request, out, err, stop), 1);
  EXPECT_NE(out.str().find("\"pi\": \"E001\""), std::string::npos) << out.str();
  EXPECT_EQ(err.str(),
            "tavimor-feed: --device=driver=tavimor_synth,vanish=2.5: the tuner stopped delivering "
            "samples: was it pulled out?\n");
}

}  // namespace
}  // namespace tavimor
