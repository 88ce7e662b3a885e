// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop style, except that line-edit frames are drawn from pixmaps rendered once.
#pragma once

#include <QPixmap>
#include <QProxyStyle>
#include <QSize>

#include <cstddef>
#include <utility>
#include <vector>

namespace tavimor {

// The raw and hex boxes change with every packet, and a line edit repaints its whole frame with
// its text. The Fusion style strokes that frame anti-aliased, which cost more than the rest of
// the window's repaint together; a cached frame looks the same and costs one blit.
class CachedFrameStyle : public QProxyStyle {
 public:
  // Wraps a fresh instance of the application's style.
  CachedFrameStyle();

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;

 private:
  // Everything the base style's frame depends on.
  struct FrameKey {
    QSize size;
    int state = 0;
    int lineWidth = 0;
    qint64 palette = 0;
    int direction = 0;
    qreal pixelRatio = 1;
    bool operator==(const FrameKey&) const = default;
  };

  const QPixmap& frame(const FrameKey& key, const QStyleOption& option,
                       const QWidget* widget) const;

  // A window has a handful of frame states; the bound only matters if the palette keeps changing.
  static constexpr std::size_t kMaxFrames = 16;
  mutable std::vector<std::pair<FrameKey, QPixmap>> frames_;
};

}  // namespace tavimor
