// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/cached_frame_style.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionFrame>

#include <algorithm>

namespace tavimor {

CachedFrameStyle::CachedFrameStyle() : QProxyStyle(QApplication::style()->name()) {}

void CachedFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                     QPainter* painter, const QWidget* widget) const {
  const auto* frameOption = qstyleoption_cast<const QStyleOptionFrame*>(option);
  if (element != PE_FrameLineEdit || frameOption == nullptr || painter == nullptr ||
      option->rect.isEmpty()) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  const FrameKey key{option->rect.size(),
                     static_cast<int>(option->state),
                     frameOption->lineWidth,
                     option->palette.cacheKey(),
                     static_cast<int>(option->direction),
                     painter->device()->devicePixelRatio()};
  painter->drawPixmap(option->rect.topLeft(), frame(key, *option, widget));
}

const QPixmap& CachedFrameStyle::frame(const FrameKey& key, const QStyleOption& option,
                                       const QWidget* widget) const {
  const auto cached = std::find_if(frames_.begin(), frames_.end(),
                                   [&](const auto& entry) { return entry.first == key; });
  if (cached != frames_.end()) return cached->second;

  QPixmap pixmap(key.size * key.pixelRatio);
  pixmap.setDevicePixelRatio(key.pixelRatio);
  pixmap.fill(Qt::transparent);
  QStyleOptionFrame atOrigin = *qstyleoption_cast<const QStyleOptionFrame*>(&option);
  atOrigin.rect.moveTo(0, 0);
  QPainter pixmapPainter(&pixmap);
  QProxyStyle::drawPrimitive(PE_FrameLineEdit, &atOrigin, &pixmapPainter, widget);
  pixmapPainter.end();

  if (frames_.size() >= kMaxFrames) frames_.clear();
  frames_.emplace_back(key, std::move(pixmap));
  return frames_.back().second;
}

}  // namespace tavimor
