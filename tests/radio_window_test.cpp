// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio's window with a real receiver behind it, as a person uses it: a recording of two
// stations lists both, the keyboard and the band picture tune from one to the other, and what
// cannot be played or tuned is said in the window.
#include "tools/radio/radio_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTest>

#include <memory>

#include "tests/support/event_loop.h"
#include "tests/support/temporary_working_directory.h"
#include "tools/radio/receiver_bridge.h"
#include "tools/radio/receivers.h"

namespace tavimor::radio {
namespace {

using namespace std::chrono_literals;

// The window with a receiver playing a recording behind it, joined as tavimor-radio joins them.
class PlayingWindow {
 public:
  explicit PlayingWindow(const std::string& path) {
    auto recording = identifyRecording(path, ForcedKind::None, std::nullopt);
    receiver_ = makeRecordingReceiver(std::get<Recording>(recording), std::nullopt);
    QObject::connect(&bridge_, &ReceiverBridge::stations, &window_, &RadioWindow::showStations);
    QObject::connect(&bridge_, &ReceiverBridge::band, &window_, &RadioWindow::showBand);
    QObject::connect(&bridge_, &ReceiverBridge::line, &window_, &RadioWindow::say);
    QObject::connect(&window_, &RadioWindow::tuneRequested,
                     [this](double hz) { receiver_->tune(hz); });
    window_.showSource(QString::fromStdString(receiver_->description()), receiver_->tunable(),
                       receiver_->onAir(), false);
    window_.show();
    receiver_->start(bridge_);
  }
  ~PlayingWindow() { receiver_->stop(); }
  PlayingWindow(const PlayingWindow&) = delete;
  PlayingWindow& operator=(const PlayingWindow&) = delete;

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
    return testing::waitUntil([&] { return names() == expected; }, 20s);
  }

 private:
  RadioWindow window_;
  ReceiverBridge bridge_;
  std::unique_ptr<Receiver> receiver_;
};

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
  PlayingWindow playing(recordingPath().toStdString());
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
  PlayingWindow playing(recordingPath().toStdString());
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

}  // namespace
}  // namespace tavimor::radio
