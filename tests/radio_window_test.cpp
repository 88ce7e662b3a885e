// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio's window with a real receiver behind it, as a person uses it: a recording of two
// stations lists both, the keyboard and the band picture tune from one to the other, and what
// cannot be played or tuned is said in the window. A tuner through SoapySDR, a synthesized one:
// the band scanned and a station picked from the list, and its troubles said and tried again.
#include "tools/radio/radio_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTest>

#include <memory>

#include "tests/support/event_loop.h"
#include "tests/support/synth_tuner.h"
#include "tests/support/temporary_working_directory.h"
#include "tools/radio/receiver_bridge.h"
#include "tools/radio/receivers.h"
#include "tools/radio/tuner_receiver.h"

namespace tavimor::radio {
namespace {

using namespace std::chrono_literals;

// A receiver's work takes the sanitized build on a loaded machine minutes: what is awaited is what
// the window shows, not how soon.
constexpr auto kPatience = 300s;

// The window with a receiver behind it, joined as tavimor-radio joins them.
class ReceivingWindow {
 public:
  explicit ReceivingWindow(std::unique_ptr<Receiver> receiver) : receiver_(std::move(receiver)) {
    QObject::connect(&bridge_, &ReceiverBridge::stations, &window_, &RadioWindow::showStations);
    QObject::connect(&bridge_, &ReceiverBridge::band, &window_, &RadioWindow::showBand);
    QObject::connect(&bridge_, &ReceiverBridge::line, &window_, &RadioWindow::say);
    QObject::connect(&bridge_, &ReceiverBridge::devices, &window_, &RadioWindow::offerDevices);
    QObject::connect(&bridge_, &ReceiverBridge::group,
                     [this](const RdsGroup& group) { lastPi_ = group.a; });
    QObject::connect(&window_, &RadioWindow::tuneRequested,
                     [this](double hz) { receiver_->tune(hz); });
    QObject::connect(&window_, &RadioWindow::retryRequested,
                     [this](const QString& device) { receiver_->retry(device.toStdString()); });
    window_.showSource(QString::fromStdString(receiver_->description()), receiver_->tunable(),
                       receiver_->onAir(), receiver_->onAir());
    window_.show();
    receiver_->start(bridge_);
  }
  ~ReceivingWindow() { receiver_->stop(); }
  ReceivingWindow(const ReceivingWindow&) = delete;
  ReceivingWindow& operator=(const ReceivingWindow&) = delete;

  RadioWindow& window() { return window_; }

  // The names in the list, top to bottom; the station tuned to in brackets.
  QStringList names() const {
    QStringList names;
    QTreeWidget* list = window_.stationList();
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
      const QTreeWidgetItem* item = list->topLevelItem(row);
      const QString name = item->text(static_cast<int>(StationColumn::Name));
      names << (item->font(0).bold() ? QLatin1Char('[') + name + QLatin1Char(']') : name);
    }
    return names;
  }

  bool shows(const QStringList& expected) const {
    return testing::waitUntil([&] { return names() == expected; }, kPatience);
  }

  bool says(const QString& line) const {
    return testing::waitUntil([&] { return window_.messages()->toPlainText().contains(line); },
                              kPatience);
  }

  // Enter on a row of the list, as a person at the keyboard.
  void pick(int row) {
    QTreeWidget* list = window_.stationList();
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(row));
    QTest::keyClick(list, Qt::Key_Return);
  }

  // Of the last group that reached the monitor.
  std::optional<std::uint16_t> lastPi() const { return lastPi_; }
  bool feeds(std::uint16_t pi) {
    lastPi_.reset();
    return testing::waitUntil([&] { return lastPi_ == pi; }, kPatience);
  }

 private:
  RadioWindow window_;
  ReceiverBridge bridge_;
  std::unique_ptr<Receiver> receiver_;
  std::optional<std::uint16_t> lastPi_;
};

std::unique_ptr<Receiver> recordingReceiver(const QString& path) {
  auto recording = identifyRecording(path.toStdString(), ForcedKind::None, std::nullopt);
  return makeRecordingReceiver(std::get<Recording>(recording), std::nullopt);
}

class RadioWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(QProcess::execute(QStringLiteral(TAVIMOR_MAKE_IQ_RECORDING),
                                {recordingPath(), QStringLiteral("12")}),
              0);
  }
  static void TearDownTestSuite() { QFile::remove(recordingPath()); }
  static QString recordingPath() {
    return QDir::temp().filePath(
        QStringLiteral("radio-window-test-%1.cu8").arg(QCoreApplication::applicationPid()));
  }
};

TEST_F(RadioWindowTest, ListsBothStationsAndTunesByKeyboardAndByClick) {
  ReceivingWindow playing(recordingReceiver(recordingPath()));
  // Both named at once, the stronger one tuned to.
  ASSERT_TRUE(playing.shows({"[ORVENTA ]", "NORDWELL"}))
      << playing.names().join(", ").toStdString();

  QTreeWidget* list = playing.window().stationList();
  list->setFocus();
  list->setCurrentItem(list->topLevelItem(0));
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Return);
  ASSERT_TRUE(playing.shows({"ORVENTA ", "[NORDWELL]"}))
      << playing.names().join(", ").toStdString();

  BandView* band = playing.window().band();
  const double below = list->topLevelItem(0)->data(0, Qt::UserRole + 2).toDouble();
  QTest::mouseClick(band, Qt::LeftButton, {},
                    QPoint(static_cast<int>(band->xOf(below)), band->height() / 2));
  EXPECT_TRUE(playing.shows({"[ORVENTA ]", "NORDWELL"}))
      << playing.names().join(", ").toStdString();
}

TEST_F(RadioWindowTest, SaysWhatCannotBeTuned) {
  ReceivingWindow playing(recordingReceiver(recordingPath()));
  QLineEdit* box = playing.window().frequencyBox();
  for (const char* entry : {"far", "900"}) {
    box->setText(QString::fromLatin1(entry));
    QTest::keyClick(box, Qt::Key_Return);
  }
  EXPECT_TRUE(testing::waitUntil(
      [&] {
        const QString said = playing.window().messages()->toPlainText();
        return said.contains(QStringLiteral("far is not an offset in kHz")) &&
               said.contains(QStringLiteral("does not fit"));
      },
      10s))
      << playing.window().messages()->toPlainText().toStdString();
}

constexpr std::uint16_t kLowerPi = 0xC5A3;
constexpr std::uint16_t kHigherPi = 0xD2B4;
constexpr std::uint16_t kNeighbourPi = 0xC214;

// Two stations more than a capture apart: tuning from one to the other retunes the tuner; a third
// in the capture of the higher, tuned to without touching the tuner.
testing::SynthBand twoStations() {
  return {.stations = {{.offsetHz = 88.3e6, .levelDb = 0.0, .pi = kLowerPi, .ps = "ORVENTA "},
                       {.offsetHz = 90.0e6, .levelDb = -9.0, .pi = kNeighbourPi, .ps = "KESTRAL "},
                       {.offsetHz = 90.6e6, .levelDb = -6.0, .pi = kHigherPi, .ps = "NORDWELL"}}};
}

TEST(TunerWindowTest, ScansTheBandThenTunesTheOpenDeviceToEachStationPicked) {
  testing::registerSynthTuner(twoStations());
  ReceivingWindow tuning(makeStickReceiver({.device = "driver=tavimor_synth"}));
  ASSERT_TRUE(tuning.shows({"ORVENTA ", "KESTRAL ", "NORDWELL"}))
      << tuning.names().join(", ").toStdString();
  EXPECT_TRUE(tuning.window().scanProgress()->isVisible());

  tuning.pick(2);
  ASSERT_TRUE(tuning.shows({"ORVENTA ", "KESTRAL ", "[NORDWELL]"}))
      << tuning.names().join(", ").toStdString();
  EXPECT_TRUE(tuning.feeds(kHigherPi));
  EXPECT_FALSE(tuning.window().scanProgress()->isVisible());
  tuning.pick(1);
  EXPECT_TRUE(tuning.feeds(kNeighbourPi));
  tuning.pick(0);
  ASSERT_TRUE(tuning.shows({"[ORVENTA ]", "KESTRAL ", "NORDWELL"}))
      << tuning.names().join(", ").toStdString();
  EXPECT_TRUE(tuning.feeds(kLowerPi));

  // The scan's hops and the stations on the one device opened: it was never made again, and the
  // neighbour in the capture was tuned to without it.
  const std::vector<double> tunings = testing::synthTunerLog().tunings;
  ASSERT_GT(tunings.size(), 3U);
  EXPECT_NEAR(tunings[tunings.size() - 2], 90.6e6, 5e3);
  EXPECT_NEAR(tunings.back(), 88.3e6, 5e3);
}

TEST(TunerWindowTest, SaysWhatTheTunerLacksAndTriesAgainWithAnotherOrOnceItIsBack) {
  testing::registerSynthTuner(twoStations());
  ReceivingWindow tuning(
      makeStickReceiver({.frequencyHz = 88.3e6, .device = "driver=tavimor_synth,busy=1"}));
  RadioWindow& window = tuning.window();
  ASSERT_TRUE(tuning.says(QStringLiteral("the stick is busy: another program uses it")));
  ASSERT_TRUE(window.retryButton()->isEnabled());

  window.deviceBox()->setEditText(QStringLiteral("driver=tavimor_synth"));
  QTest::mouseClick(window.retryButton(), Qt::LeftButton);
  ASSERT_TRUE(tuning.feeds(kLowerPi));

  testing::plugSynthTuner(false);
  ASSERT_TRUE(tuning.says(QStringLiteral("the stick stopped sending: it was pulled out")));
  QTest::mouseClick(window.retryButton(), Qt::LeftButton);
  ASSERT_TRUE(tuning.says(QStringLiteral("no tuner matches 'driver=tavimor_synth': plug it in")));
  testing::plugSynthTuner(true);
  QTest::mouseClick(window.retryButton(), Qt::LeftButton);
  EXPECT_TRUE(tuning.feeds(kLowerPi));
  EXPECT_TRUE(tuning.shows({"[ORVENTA ]"})) << tuning.names().join(", ").toStdString();
}

}  // namespace
}  // namespace tavimor::radio
