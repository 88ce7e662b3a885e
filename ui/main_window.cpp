// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_window.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <variant>

#include "decode/rds_group.h"
#include "ui/cached_frame_style.h"
#include "version.h"

namespace tavimor {
namespace {

constexpr QSize kClientSize{754, 402};
// Below this, text is no longer legible.
constexpr int kSmallestPixelSize = 7;

enum class Style { LargeBold, SmallBold, Small, Fixed, Banner, Default };
enum class Ink { Standard, Grey };

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignTop;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignTop;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignTop;

// What a label shows: a caption of its own, a display field, or the credit line.
struct Caption {
  const char* name;
  const char* text;
};
struct CreditLine {
  const char* name;
};
using LabelContent = std::variant<Caption, Field, CreditLine>;

struct LabelDesign {
  LabelContent content;
  QRect box;
  Style style;
  Ink ink;
  Qt::Alignment alignment;
};

// Top to bottom, left to right; later labels lie above earlier ones where boxes overlap.
// clang-format off
const LabelDesign kLabels[] = {
    {Caption{"Label1", "PI:"},                 {40, 8, 57, 25},     Style::LargeBold, Ink::Standard, kRight},
    {Field::Pi,                                {112, 8, 105, 25},   Style::LargeBold, Ink::Standard, kLeft},
    {Caption{"Label8", "Hex:"},                {472, 8, 97, 17},    Style::Small,     Ink::Standard, kRight},
    {Caption{"Label10", "Raw:"},               {472, 32, 97, 17},   Style::Small,     Ink::Standard, kRight},
    {Caption{"Label4", "PS:"},                 {40, 40, 57, 25},    Style::LargeBold, Ink::Standard, kRight},
    {Field::PsName,                            {112, 40, 105, 25},  Style::LargeBold, Ink::Standard, kLeft},
    {Caption{"Label5", "Group Type:"},         {552, 56, 97, 17},   Style::Small,     Ink::Standard, kRight},
    {Field::GroupType,                         {672, 56, 105, 17},  Style::Small,     Ink::Standard, kLeft},
    {Caption{"Label2", "TP:"},                 {40, 72, 57, 25},    Style::LargeBold, Ink::Standard, kRight},
    {Field::TrafficProgramme,                  {112, 72, 105, 25},  Style::LargeBold, Ink::Standard, kLeft},
    {Caption{"Label3", "TA:"},                 {40, 104, 57, 25},   Style::LargeBold, Ink::Standard, kRight},
    {Field::TrafficAnnouncement,               {112, 104, 105, 25}, Style::LargeBold, Ink::Standard, kLeft},
    {Caption{"Label6", "M/S:"},                {40, 136, 57, 25},   Style::LargeBold, Ink::Standard, kRight},
    {Field::MusicSpeech,                       {112, 136, 105, 25}, Style::LargeBold, Ink::Standard, kLeft},
    {Caption{"Label7", "PTY:"},                {40, 168, 57, 25},   Style::LargeBold, Ink::Standard, kRight},
    {Field::ProgrammeType,                     {112, 168, 689, 25}, Style::LargeBold, Ink::Standard, kLeft},
    {Caption{"Label9", "RadioText:"},          {8, 200, 89, 17},    Style::SmallBold, Ink::Standard, kRight},
    {Field::RadioText,                         {112, 200, 689, 17}, Style::Fixed,     Ink::Standard, kLeft},
    {Field::RadioTextCaptionA,                 {40, 240, 57, 17},   Style::SmallBold, Ink::Grey,     kRight},
    {Field::RadioTextA,                        {112, 240, 689, 17}, Style::Fixed,     Ink::Grey,     kLeft},
    {Field::RadioTextCaptionB,                 {40, 264, 57, 17},   Style::SmallBold, Ink::Grey,     kRight},
    {Field::RadioTextB,                        {112, 264, 689, 17}, Style::Fixed,     Ink::Grey,     kLeft},
    // The counter sits between the A and B lines and must not be hidden by lblRTB's box.
    {Field::RadioTextGroupCount,               {688, 256, 57, 17},  Style::SmallBold, Ink::Grey,     kRight},
    {Caption{"Label11", "DI Stereo:"},         {-56, 296, 161, 17}, Style::SmallBold, Ink::Standard, kRight},
    {Field::DiStereo,                          {112, 296, 25, 17},  Style::SmallBold, Ink::Standard, kLeft},
    {Caption{"Label12", "DI Artificial Head:"}, {160, 296, 153, 17}, Style::SmallBold, Ink::Standard, kRight},
    {Field::DiArtificialHead,                  {320, 296, 25, 17},  Style::SmallBold, Ink::Standard, kLeft},
    {Caption{"Label13", "DI Compressed:"},     {352, 296, 145, 17}, Style::SmallBold, Ink::Standard, kRight},
    {Field::DiCompressed,                      {504, 296, 25, 17},  Style::SmallBold, Ink::Standard, kLeft},
    {Caption{"Label14", "DI Dynamic PTY:"},    {544, 296, 153, 17}, Style::SmallBold, Ink::Standard, kRight},
    {Field::DiDynamicPty,                      {704, 296, 25, 17},  Style::SmallBold, Ink::Standard, kLeft},
    {Field::TrafficBanner,                     {16, 336, 721, 33},  Style::Banner,    Ink::Standard, kCentre},
    {CreditLine{"Label15"},                    {0, 384, 753, 17},   Style::Default,   Ink::Standard, kCentre},
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

QString qstring(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor qcolor(const Rgb& rgb) {
  return {rgb.red, rgb.green, rgb.blue};
}

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

// The hex box shows a whole packet, 18 digits, in its fixed width: the desktop's font is made
// smaller until that many of the widest hex digit fit. The raw box keeps the same font.
QFont packetFont(const QLineEdit& box) {
  QStyleOptionFrame option;
  option.initFrom(&box);
  option.lineWidth = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &box);
  // QLineEdit keeps two pixels clear on either side of its text.
  const qreal width =
      box.style()->subElementRect(QStyle::SE_LineEditContents, &option, &box).width() - 4;
  QFont font = withoutShaping(box.font());
  const auto fits = [&] {
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (const QChar digit : QStringLiteral("0123456789ABCDEF"))
      widest = std::max(widest, metrics.horizontalAdvance(digit));
    return widest * 2 * kPacketSize <= width;
  };
  for (int pixels = QFontInfo(font).pixelSize(); !fits() && pixels > kSmallestPixelSize;) {
    font.setPixelSize(--pixels);
  }
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
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(design.box);
    label->setAlignment(design.alignment);
    label->setFont(fontFor(design.style, fixed));
    label->setAutoFillBackground(true);
    QPalette labelPalette = label->palette();
    labelPalette.setColor(QPalette::Window, resolve(ThemeColour::ButtonFace));
    if (design.ink == Ink::Grey) labelPalette.setColor(QPalette::WindowText, qcolor(kGrey));
    label->setPalette(labelPalette);
    std::visit(
        [&](const auto& content) {
          using Content = std::decay_t<decltype(content)>;
          if constexpr (std::is_same_v<Content, Caption>) {
            label->setObjectName(QLatin1String(content.name));
            label->setText(QString::fromUtf8(content.text));
          } else if constexpr (std::is_same_v<Content, CreditLine>) {
            label->setObjectName(QLatin1String(content.name));
            label->setText(creditLine());
          } else {
            label->setObjectName(qstring(controlName(content)));
            fieldWidgets_[static_cast<std::size_t>(content)].label = label;
          }
        },
        design.content);
  }

  auto* boxStyle = new CachedFrameStyle;
  boxStyle->setParent(this);
  for (const TextBoxDesign& design : kTextBoxes) {
    auto* box = new QLineEdit(this);
    box->setStyle(boxStyle);
    box->setObjectName(qstring(controlName(design.field)));
    box->setGeometry(design.box);
    box->setReadOnly(true);
    fieldWidgets_[static_cast<std::size_t>(design.field)].box = box;
  }
  const QFont boxFont = packetFont(*fieldWidgets_[static_cast<std::size_t>(Field::HexRead)].box);
  for (const TextBoxDesign& design : kTextBoxes)
    fieldWidgets_[static_cast<std::size_t>(design.field)].box->setFont(boxFont);
  QLineEdit* rawBox = fieldWidgets_[static_cast<std::size_t>(Field::RawRead)].box;
  setTabOrder(rawBox, fieldWidgets_[static_cast<std::size_t>(Field::HexRead)].box);
  rawBox->setFocus();
}

void MainWindow::present(DisplayFields& fields) {
  const FieldSet changes = fields.takeChanges();
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (changes.test(i)) showField(fields, static_cast<Field>(i));
  }
}

void MainWindow::showField(const DisplayFields& fields, Field field) {
  const FieldWidget& widget = fieldWidgets_[static_cast<std::size_t>(field)];
  const QString text = QString::fromStdString(fields.caption(field));
  if (widget.box != nullptr) {
    widget.box->setText(text);
    widget.box->setCursorPosition(0);  // a packet is read from its lead byte on
    return;
  }
  widget.label->setText(text);
  const QColor background = resolve(fields.background(field));
  if (widget.label->palette().color(QPalette::Window) != background) {
    QPalette labelPalette = widget.label->palette();
    labelPalette.setColor(QPalette::Window, background);
    widget.label->setPalette(labelPalette);
  }
}

QColor MainWindow::resolve(const Colour& colour) const {
  if (const auto* rgb = std::get_if<Rgb>(&colour)) return qcolor(*rgb);
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
