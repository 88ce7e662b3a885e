// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio's window: the stations by name, the picture of the band, a frequency box, how
// the station tuned to is received, and what went wrong with its fix.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
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
  // the air (else from a recording's centre) and whether a device can be chosen.
  void showSource(const QString& description, bool tunable, bool onAir, bool device);
  void showStations(const std::vector<Station>& stations);
  void showBand(const BandPicture& picture);
  void showReception(const Reception& reception);
  // A line in the messages; trouble offers to try again where a device can be chosen.
  void say(const QString& line, bool trouble);
  void offerFrequency(const QString& frequency);

  QTreeWidget* stationList() const { return stations_; }
  BandView* band() const { return band_; }
  QLineEdit* frequencyBox() const { return frequency_; }
  QPlainTextEdit* messages() const { return messages_; }

 signals:
  void tuneRequested(double hz);
  // With the device box's text: empty for the first stick.
  void retryRequested(const QString& device);

 private:
  QWidget* makeReceptionPanel();
  void onFrequencyEntered();
  QString frequencyText(double hz) const;

  QLabel* source_;
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
  QLineEdit* device_;
  QPushButton* retry_;
  QPlainTextEdit* messages_;
  bool onAir_ = false;
};

}  // namespace tavimor::radio
