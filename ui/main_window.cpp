// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_window.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>

#include "ui/cached_frame_style.h"
#include "version.h"

namespace tavimor {
namespace {

constexpr QSize kClientSize{754, 402};

enum class Style { LargeBold, SmallBold, Small, Fixed, Banner, Default };
enum class Ink { Standard, Grey };

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignTop;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignTop;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignTop;

// A static caption has its text here; a display field takes its caption from the model.
struct LabelDesign {
  const char* name;
  const char* text;
  QRect box;
  Style style;
  Ink ink;
  Qt::Alignment alignment;
};

// Top to bottom, left to right; later labels lie above earlier ones where boxes overlap.
// clang-format off
const LabelDesign kLabels[] = {
    {"Label1",       "PI:",                 {40, 8, 57, 25},     Style::LargeBold, Ink::Standard, kRight},
    {"lblPI",        nullptr,               {112, 8, 105, 25},   Style::LargeBold, Ink::Standard, kLeft},
    {"Label8",       "Hex:",                {472, 8, 97, 17},    Style::Small,     Ink::Standard, kRight},
    {"Label10",      "Raw:",                {472, 32, 97, 17},   Style::Small,     Ink::Standard, kRight},
    {"Label4",       "PS:",                 {40, 40, 57, 25},    Style::LargeBold, Ink::Standard, kRight},
    {"lblPS",        nullptr,               {112, 40, 105, 25},  Style::LargeBold, Ink::Standard, kLeft},
    {"Label5",       "Group Type:",         {552, 56, 97, 17},   Style::Small,     Ink::Standard, kRight},
    {"lblGroup",     nullptr,               {672, 56, 105, 17},  Style::Small,     Ink::Standard, kLeft},
    {"Label2",       "TP:",                 {40, 72, 57, 25},    Style::LargeBold, Ink::Standard, kRight},
    {"lblTP",        nullptr,               {112, 72, 105, 25},  Style::LargeBold, Ink::Standard, kLeft},
    {"Label3",       "TA:",                 {40, 104, 57, 25},   Style::LargeBold, Ink::Standard, kRight},
    {"lblTA",        nullptr,               {112, 104, 105, 25}, Style::LargeBold, Ink::Standard, kLeft},
    {"Label6",       "M/S:",                {40, 136, 57, 25},   Style::LargeBold, Ink::Standard, kRight},
    {"lblMS",        nullptr,               {112, 136, 105, 25}, Style::LargeBold, Ink::Standard, kLeft},
    {"Label7",       "PTY:",                {40, 168, 57, 25},   Style::LargeBold, Ink::Standard, kRight},
    {"lblPTY",       nullptr,               {112, 168, 689, 25}, Style::LargeBold, Ink::Standard, kLeft},
    {"Label9",       "RadioText:",          {8, 200, 89, 17},    Style::SmallBold, Ink::Standard, kRight},
    {"lblRadioText", nullptr,               {112, 200, 689, 17}, Style::Fixed,     Ink::Standard, kLeft},
    {"lblcapA",      nullptr,               {40, 240, 57, 17},   Style::SmallBold, Ink::Grey,     kRight},
    {"lblRTA",       nullptr,               {112, 240, 689, 17}, Style::Fixed,     Ink::Grey,     kLeft},
    {"lblCapB",      nullptr,               {40, 264, 57, 17},   Style::SmallBold, Ink::Grey,     kRight},
    {"lblRTB",       nullptr,               {112, 264, 689, 17}, Style::Fixed,     Ink::Grey,     kLeft},
    // The counter sits between the A and B lines and must not be hidden by lblRTB's box.
    {"lblRDScount",  nullptr,               {688, 256, 57, 17},  Style::SmallBold, Ink::Grey,     kRight},
    {"Label11",      "DI Stereo:",          {-56, 296, 161, 17}, Style::SmallBold, Ink::Standard, kRight},
    {"lblDIstereo",  nullptr,               {112, 296, 25, 17},  Style::SmallBold, Ink::Standard, kLeft},
    {"Label12",      "DI Artificial Head:", {160, 296, 153, 17}, Style::SmallBold, Ink::Standard, kRight},
    {"lblDIhead",    nullptr,               {320, 296, 25, 17},  Style::SmallBold, Ink::Standard, kLeft},
    {"Label13",      "DI Compressed:",      {352, 296, 145, 17}, Style::SmallBold, Ink::Standard, kRight},
    {"lblDIcomp",    nullptr,               {504, 296, 25, 17},  Style::SmallBold, Ink::Standard, kLeft},
    {"Label14",      "DI Dynamic PTY:",     {544, 296, 153, 17}, Style::SmallBold, Ink::Standard, kRight},
    {"lblDIdynPTY",  nullptr,               {704, 296, 25, 17},  Style::SmallBold, Ink::Standard, kLeft},
    {"lblTraffic",   nullptr,               {16, 336, 721, 33},  Style::Banner,    Ink::Standard, kCentre},
    {"Label15",      nullptr,               {0, 384, 753, 17},   Style::Default,   Ink::Standard, kCentre},
};
// clang-format on

struct TextBoxDesign {
  Field field;
  QRect box;
};

// The raw box comes first so that it is first in the focus order.
const TextBoxDesign kTextBoxes[] = {
    {Field::RawRead, {576, 32, 113, 19}},
    {Field::HexRead, {576, 8, 113, 19}},
};

QFont sansSerif(int pixelSize, QFont::Weight weight) {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  return font;
}

// The three RadioText lines only line up if this really is a fixed-pitch face.
QFont fixedPitch() {
  QFont font(QStringLiteral("Courier"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(13);
  font.setWeight(QFont::Bold);
  if (QFontInfo(font).fixedPitch()) return font;
  font.setFamily(QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
  if (QFontInfo(font).fixedPitch()) return font;
  for (const QString& family : QFontDatabase::families()) {
    if (!QFontDatabase::isFixedPitch(family)) continue;
    font.setFamily(family);
    if (QFontInfo(font).fixedPitch()) return font;
  }
  return font;
}

// The raw and hex boxes show bytes, not words, so kerning and ligatures mean nothing there;
// they are set anew with every packet, and shaping their text was a quarter of the window's work.
QFont withoutShaping(QFont font) {
  font.setStyleStrategy(QFont::PreferNoShaping);
  return font;
}

QFont fontFor(Style style, const QFont& fixed) {
  switch (style) {
    case Style::LargeBold:
      return sansSerif(18, QFont::Bold);
    case Style::SmallBold:
      return sansSerif(13, QFont::Bold);
    case Style::Small:
      return sansSerif(13, QFont::Normal);
    case Style::Fixed:
      return fixed;
    case Style::Banner:
      return sansSerif(24, QFont::Bold);
    case Style::Default:
      break;
  }
  return {};
}

}  // namespace

MainWindow::MainWindow(DisplayFields& fields, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Tavimor"));
  setWindowIcon(QIcon(QStringLiteral(":/tavimor/tavimor.svg")));
  resize(kClientSize);
  setAutoFillBackground(true);
  QPalette windowPalette = palette();
  windowPalette.setColor(QPalette::Window, resolve(ThemeColour::ActiveBorder));
  setPalette(windowPalette);
  createControls();
  present(fields);
}

QString MainWindow::creditLine() {
  return QStringLiteral("Tavimor %1 \u2013 Radio Data System monitor")
      .arg(QString::fromUtf8(kVersion.data(), static_cast<qsizetype>(kVersion.size())));
}

void MainWindow::createControls() {
  const QFont fixed = fixedPitch();
  for (const LabelDesign& design : kLabels) {
    auto* label = new QLabel(this);
    label->setObjectName(QLatin1String(design.name));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(design.box);
    label->setAlignment(design.alignment);
    label->setFont(fontFor(design.style, fixed));
    label->setAutoFillBackground(true);
    QPalette labelPalette = label->palette();
    labelPalette.setColor(QPalette::Window, resolve(ThemeColour::ButtonFace));
    if (design.ink == Ink::Grey) labelPalette.setColor(QPalette::WindowText, QColor(128, 128, 128));
    label->setPalette(labelPalette);
    if (design.text != nullptr) label->setText(QString::fromUtf8(design.text));
  }
  findChild<QLabel*>(QStringLiteral("Label15"))->setText(creditLine());

  auto* boxStyle = new CachedFrameStyle;
  boxStyle->setParent(this);
  for (const TextBoxDesign& design : kTextBoxes) {
    auto* box = new QLineEdit(this);
    box->setStyle(boxStyle);
    box->setObjectName(QString::fromLatin1(controlName(design.field)));
    box->setGeometry(design.box);
    box->setReadOnly(true);
    box->setFont(withoutShaping(QFont()));
  }
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const auto name = controlName(static_cast<Field>(i));
    fieldWidgets_[i] =
        findChild<QWidget*>(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  }
  setTabOrder(fieldWidgets_[static_cast<std::size_t>(Field::RawRead)],
              fieldWidgets_[static_cast<std::size_t>(Field::HexRead)]);
  fieldWidgets_[static_cast<std::size_t>(Field::RawRead)]->setFocus();
}

void MainWindow::present(DisplayFields& fields) {
  const FieldSet changes = fields.takeChanges();
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (changes.test(i)) showField(fields, static_cast<Field>(i));
  }
}

void MainWindow::showField(const DisplayFields& fields, Field field) {
  QWidget* widget = fieldWidgets_[static_cast<std::size_t>(field)];
  const QString text = QString::fromStdString(fields.caption(field));
  if (auto* box = qobject_cast<QLineEdit*>(widget)) {
    box->setText(text);
    box->setCursorPosition(0);  // a packet is read from its lead byte on
    return;
  }
  auto* label = static_cast<QLabel*>(widget);
  label->setText(text);
  const QColor background = resolve(fields.background(field));
  if (label->palette().color(QPalette::Window) != background) {
    QPalette labelPalette = label->palette();
    labelPalette.setColor(QPalette::Window, background);
    label->setPalette(labelPalette);
  }
}

QColor MainWindow::resolve(const Colour& colour) const {
  if (const auto* rgb = std::get_if<Rgb>(&colour)) return {rgb->red, rgb->green, rgb->blue};
  switch (std::get<ThemeColour>(colour)) {
    case ThemeColour::ButtonFace:
      return palette().color(QPalette::Button);
    case ThemeColour::ActiveBorder:
      // Desktops no longer paint window borders in a colour of their own; the palette's
      // mid-light shade is the nearest: a little darker than the button face, as classic borders
      // were.
      return palette().color(QPalette::Midlight);
    case ThemeColour::EntryField:
      return palette().color(QPalette::Base);
  }
  return {};
}

}  // namespace tavimor
