// SPDX-License-Identifier: GPL-3.0-or-later
// The one window: 33 labels and 2 text boxes at fixed positions, showing the display fields.
#pragma once

#include <QWidget>

#include <array>

#include "ui/display_fields.h"

class QLabel;
class QLineEdit;

namespace tavimor {

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // The window opens showing the fields as they stand.
  explicit MainWindow(DisplayFields& fields, QWidget* parent = nullptr);

  // Brings the widgets of the fields that changed since the last call up to date.
  void present(DisplayFields& fields);

  // The text shown in the credit line along the bottom edge.
  static QString creditLine();

 private:
  void createControls();
  void showField(const DisplayFields& fields, Field field);
  QColor resolve(const Colour& colour) const;

  // Each field is shown by a label or by a text box.
  struct FieldWidget {
    QLabel* label = nullptr;
    QLineEdit* box = nullptr;
  };
  std::array<FieldWidget, kFieldCount> fieldWidgets_{};
};

}  // namespace tavimor
