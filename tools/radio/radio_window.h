// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio's window: the stations by name, the picture of the band, a frequency box, how
// the station tuned to is received, and what went wrong with its fix.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include <optional>
#include <vector>

#include "tools/radio/band_view.h"
#include "tools/radio/receiver.h"

namespace tavimor::radio {

// The list's columns, in order.
enum class StationColumn { Name, Pi, ProgrammeType, Frequency, Level, Quality };

class RadioWindow : public QWidget {
  Q_OBJECT

 public:
  explicit RadioWindow(QWidget* parent = nullptr);

  // What is received: its description, whether it can be tuned, whether its frequencies are on
  // the air (else from a recording's centre) and whether it is a tuner: a device can be chosen
  // and the band scanned.
  void showSource(const QString& description, bool tunable, bool onAir, bool device);
  void showStations(const std::vector<Station>& stations);
  // While the band is scanned, the progress says so.
  void showBand(const BandPicture& picture);
  void showReception(const Reception& reception);
  // A line in the messages; trouble offers to try again where a device can be chosen.
  void say(const QString& line, bool trouble);
  void offerFrequency(const QString& frequency);
  // The tuners found, offered in the device box; and the arguments of the one in use.
  void offerDevices(const std::vector<TunerDevice>& devices);
  void showDevice(const QString& args);

  QTreeWidget* stationList() const { return stations_; }
  BandView* band() const { return band_; }
  QLineEdit* frequencyBox() const { return frequency_; }
  QPlainTextEdit* messages() const { return messages_; }
  QComboBox* deviceBox() const { return device_; }
  QPushButton* retryButton() const { return retry_; }
  QPushButton* scanButton() const { return scan_; }
  QProgressBar* scanProgress() const { return scanProgress_; }

 signals:
  void tuneRequested(double hz);
  // With the device's arguments: empty for the only one found.
  void retryRequested(const QString& device);
  void scanRequested();

 private:
  QWidget* makeReceptionPanel();
  void onFrequencyEntered();
  QString frequencyText(double hz) const;
  QString chosenDevice() const;

  QLabel* source_;
  QProgressBar* scanProgress_;
  BandView* band_;
  QTreeWidget* stations_;
  QLabel* frequencyLabel_;
  QLineEdit* frequency_;
  QPushButton* tune_;
  QLabel* carrier_ = nullptr;
  QLabel* snr_ = nullptr;
  QLabel* blocksLost_ = nullptr;
  QLabel* pilot_ = nullptr;
  QLabel* echo_ = nullptr;
  QLabel* deviceLabel_;
  QComboBox* device_;
  QPushButton* retry_;
  QPushButton* scan_;
  QPlainTextEdit* messages_;
  bool onAir_ = false;
};

}  // namespace tavimor::radio
