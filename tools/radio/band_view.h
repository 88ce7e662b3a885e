// SPDX-License-Identifier: GPL-3.0-or-later
// The picture of the band: the capture's spectrum, each station marked by its name, the one
// tuned to drawn out. Clicking a station asks to tune to it.
#pragma once

#include <QPainter>
#include <QWidget>

#include <vector>

#include "tools/radio/receiver.h"

namespace tavimor::radio {

class BandView : public QWidget {
  Q_OBJECT

 public:
  explicit BandView(QWidget* parent = nullptr);

  void showPicture(const BandPicture& picture);
  void showStations(const std::vector<Station>& stations);
  // Where each station is drawn, for clicks: its x in the widget.
  double xOf(double hz) const;

  QSize sizeHint() const override { return {640, 160}; }

 signals:
  void stationClicked(double hz);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  // Stations' names are set in up to this many rows.
  static constexpr std::size_t kNameRows = 3;

  void drawSpectrum(QPainter& painter) const;
  void drawStations(QPainter& painter) const;

  BandPicture picture_;
  std::vector<Station> stations_;
};

}  // namespace tavimor::radio
