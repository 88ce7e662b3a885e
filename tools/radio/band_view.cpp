// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/band_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

namespace tavimor::radio {
namespace {

// A click this close to a station's mark is on it.
constexpr double kClickPixels = 14.0;
constexpr float kFloorMarginDb = 5.0F;
constexpr float kShownRangeDb = 60.0F;

}  // namespace

BandView::BandView(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QStringLiteral("Band"));
  setAccessibleDescription(
      QStringLiteral("The spectrum of the capture; click a station to tune to it"));
  setMinimumHeight(120);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void BandView::showPicture(const BandPicture& picture) {
  picture_ = picture;
  update();
}

void BandView::showStations(const std::vector<Station>& stations) {
  stations_ = stations;
  update();
}

double BandView::xOf(double hz) const {
  if (picture_.spanHz <= 0) return width() / 2.0;
  return (hz - picture_.centreHz + picture_.spanHz / 2) / picture_.spanHz * width();
}

void BandView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Base));
  if (const auto& hop = picture_.scanning) {
    painter.fillRect(QRectF(QPointF(xOf(hop->fromHz), 0), QPointF(xOf(hop->toHz), height())),
                     palette().color(QPalette::AlternateBase));
  }
  drawSpectrum(painter);
  drawStations(painter);
}

void BandView::drawSpectrum(QPainter& painter) const {
  // A band scanned in part has no power where it was not looked at yet: the line breaks there.
  const std::vector<float>& power = picture_.powerDb;
  std::vector<float> seen;
  std::ranges::copy_if(power, std::back_inserter(seen), [](float db) { return std::isfinite(db); });
  if (seen.empty()) return;
  const auto [lowest, highest] = std::ranges::minmax(seen);
  const float top = highest + kFloorMarginDb;
  const float bottom = std::max(lowest - kFloorMarginDb, top - kShownRangeDb);
  QPainterPath path;
  bool drawing = false;
  for (std::size_t i = 0; i < power.size(); ++i) {
    if (!std::isfinite(power[i])) {
      drawing = false;
      continue;
    }
    const double x = (static_cast<double>(i) + 0.5) * width() / static_cast<double>(power.size());
    const double y =
        static_cast<double>(top - power[i]) / static_cast<double>(top - bottom) * height();
    if (drawing)
      path.lineTo(x, y);
    else
      path.moveTo(x, y);
    drawing = true;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(palette().color(QPalette::Text), 1.0));
  painter.drawPath(path);
}

void BandView::drawStations(QPainter& painter) const {
  // Names that would overlap go a row lower; one that finds no room is left out, its mark stays.
  const QFontMetrics metrics(font());
  std::array<double, kNameRows> rowEnds{};
  rowEnds.fill(-1e9);
  for (const Station& station : stations_) {
    const double x = xOf(station.frequencyHz);
    const QString name =
        station.ps.empty() ? QStringLiteral("?") : QString::fromStdString(station.ps);
    const int textWidth = metrics.horizontalAdvance(name);
    const double left =
        std::clamp(x - textWidth / 2.0, 0.0, std::max(0.0, width() - textWidth * 1.0));
    const auto row = std::ranges::find_if(rowEnds, [&](double end) { return end < left; });
    const double markTop =
        (row == rowEnds.end() ? 1 : static_cast<double>(row - rowEnds.begin()) + 1) *
            metrics.height() +
        4;
    const QColor colour =
        station.tuned ? palette().color(QPalette::Highlight) : palette().color(QPalette::Mid);
    painter.setPen(QPen(colour, station.tuned ? 2.0 : 1.0, Qt::DashLine));
    painter.drawLine(QPointF(x, markTop), QPointF(x, height()));
    if (row == rowEnds.end()) continue;
    *row = left + textWidth + metrics.averageCharWidth();
    painter.setPen(station.tuned ? palette().color(QPalette::Highlight)
                                 : palette().color(QPalette::Text));
    painter.drawText(
        QPointF(left, metrics.ascent() + 2 +
                          static_cast<double>(row - rowEnds.begin()) * metrics.height()),
        name);
  }
}

void BandView::mousePressEvent(QMouseEvent* event) {
  const double x = event->position().x();
  const Station* nearest = nullptr;
  for (const Station& station : stations_) {
    if (nearest == nullptr ||
        std::abs(xOf(station.frequencyHz) - x) < std::abs(xOf(nearest->frequencyHz) - x)) {
      nearest = &station;
    }
  }
  if (nearest != nullptr && std::abs(xOf(nearest->frequencyHz) - x) <= kClickPixels) {
    emit stationClicked(nearest->frequencyHz);
  }
}

}  // namespace tavimor::radio
