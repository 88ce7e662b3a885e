// SPDX-License-Identifier: GPL-3.0-or-later
// Reads back what the window shows for each display field, as a person would see it.
#pragma once

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QString>

#include <map>
#include <ostream>
#include <string>

#include "ui/display_fields.h"
#include "ui/main_window.h"

namespace tavimor::testing {

inline QWidget* fieldWidget(MainWindow& window, Field field) {
  const auto name = controlName(field);
  return window.findChild<QWidget*>(
      QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
}

inline QString shownText(MainWindow& window, Field field) {
  QWidget* widget = fieldWidget(window, field);
  if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
  return static_cast<QLabel*>(widget)->text();
}

struct ShownField {
  QString text;
  QColor background;
  bool operator==(const ShownField&) const = default;
};

inline void PrintTo(  // NOLINT(readability-identifier-naming): gtest looks for this name
    const ShownField& shown, std::ostream* out) {
  *out << '"' << shown.text.toStdString() << "\" on " << shown.background.name().toStdString();
}

// Text and background of every display field, by field name.
inline std::map<std::string, ShownField> shownFields(MainWindow& window) {
  std::map<std::string, ShownField> shown;
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const auto field = static_cast<Field>(i);
    shown[std::string(controlName(field))] = {
        shownText(window, field), fieldWidget(window, field)->palette().color(QPalette::Window)};
  }
  return shown;
}

}  // namespace tavimor::testing
