// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a person sees it: controls, start-up texts, fonts, focus, resizing.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include "ui/rds_charset.h"
#include "version.h"

namespace tavimor {
namespace {

struct ControlRow {
  const char* name;
  QString text;
  QRect box;
  Qt::Alignment horizontal;
};

// The arrangement at start-up, in pixels.
const ControlRow kStartup[] = {
    {"Label1", "PI:", {40, 8, 57, 25}, Qt::AlignRight},
    {"lblPI", "????", {112, 8, 105, 25}, Qt::AlignLeft},
    {"Label8", "Hex:", {472, 8, 97, 17}, Qt::AlignRight},
    {"Text2", "", {576, 8, 113, 19}, Qt::AlignLeft},
    {"Label10", "Raw:", {472, 32, 97, 17}, Qt::AlignRight},
    {"Text1", "", {576, 32, 113, 19}, Qt::AlignLeft},
    {"Label4", "PS:", {40, 40, 57, 25}, Qt::AlignRight},
    {"lblPS", "????????", {112, 40, 105, 25}, Qt::AlignLeft},
    {"Label5", "Group Type:", {552, 56, 97, 17}, Qt::AlignRight},
    {"lblGroup", "??", {672, 56, 105, 17}, Qt::AlignLeft},
    {"Label2", "TP:", {40, 72, 57, 25}, Qt::AlignRight},
    {"lblTP", "????", {112, 72, 105, 25}, Qt::AlignLeft},
    {"Label3", "TA:", {40, 104, 57, 25}, Qt::AlignRight},
    {"lblTA", "????", {112, 104, 105, 25}, Qt::AlignLeft},
    {"Label6", "M/S:", {40, 136, 57, 25}, Qt::AlignRight},
    {"lblMS", "????", {112, 136, 105, 25}, Qt::AlignLeft},
    {"Label7", "PTY:", {40, 168, 57, 25}, Qt::AlignRight},
    {"lblPTY", "??????????????", {112, 168, 689, 25}, Qt::AlignLeft},
    {"Label9", "RadioText:", {8, 200, 89, 17}, Qt::AlignRight},
    {"lblRadioText", "?", {112, 200, 689, 17}, Qt::AlignLeft},
    {"lblcapA", "RT A:", {40, 240, 57, 17}, Qt::AlignRight},
    {"lblRTA", "?", {112, 240, 689, 17}, Qt::AlignLeft},
    {"lblRDScount", "0", {688, 256, 57, 17}, Qt::AlignRight},
    {"lblCapB", "RT B:", {40, 264, 57, 17}, Qt::AlignRight},
    {"lblRTB", "?", {112, 264, 689, 17}, Qt::AlignLeft},
    {"Label11", "DI Stereo:", {-56, 296, 161, 17}, Qt::AlignRight},
    {"lblDIstereo", "?", {112, 296, 25, 17}, Qt::AlignLeft},
    {"Label12", "DI Artificial Head:", {160, 296, 153, 17}, Qt::AlignRight},
    {"lblDIhead", "?", {320, 296, 25, 17}, Qt::AlignLeft},
    {"Label13", "DI Compressed:", {352, 296, 145, 17}, Qt::AlignRight},
    {"lblDIcomp", "?", {504, 296, 25, 17}, Qt::AlignLeft},
    {"Label14", "DI Dynamic PTY:", {544, 296, 153, 17}, Qt::AlignRight},
    {"lblDIdynPTY", "?", {704, 296, 25, 17}, Qt::AlignLeft},
    {"lblTraffic", "WAITING FOR RDS DATA", {16, 336, 721, 33}, Qt::AlignHCenter},
    {"Label15", MainWindow::creditLine(), {0, 384, 753, 17}, Qt::AlignHCenter},
};

class MainWindowTest : public ::testing::Test {
 protected:
  QLabel* label(const char* name) { return window.findChild<QLabel*>(QLatin1String(name)); }

  DisplayFields fields;
  MainWindow window{fields};
};

TEST_F(MainWindowTest, StartsWithEveryControlInPlace) {
  EXPECT_EQ(window.objectName(), "frmMain");
  EXPECT_EQ(window.windowTitle(), "Tavimor");
  EXPECT_EQ(window.size(), QSize(754, 402));
  EXPECT_EQ(window.findChildren<QLabel*>().size(), 33);
  EXPECT_EQ(window.findChildren<QLineEdit*>().size(), 2);
  for (const ControlRow& row : kStartup) {
    SCOPED_TRACE(row.name);
    auto* widget = window.findChild<QWidget*>(QLatin1String(row.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), row.box);
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
      EXPECT_EQ(box->text(), row.text);
    } else {
      auto* caption = static_cast<QLabel*>(widget);
      EXPECT_EQ(caption->text(), row.text);
      EXPECT_EQ(caption->alignment(), row.horizontal | Qt::AlignTop);
      EXPECT_EQ(caption->textFormat(), Qt::PlainText);
      EXPECT_EQ(caption->focusPolicy(), Qt::NoFocus);
    }
  }
}

TEST_F(MainWindowTest, StartUpColours) {
  const QColor buttonFace = window.palette().color(QPalette::Button);
  const QColor grey(128, 128, 128);
  EXPECT_EQ(label("lblTraffic")->palette().color(QPalette::Window), QColor(128, 255, 128));
  EXPECT_EQ(label("lblcapA")->palette().color(QPalette::Window), buttonFace);
  EXPECT_EQ(label("lblCapB")->palette().color(QPalette::Window), buttonFace);
  EXPECT_EQ(label("lblRTA")->palette().color(QPalette::Window),
            window.palette().color(QPalette::Window));
  for (const char* name : {"lblcapA", "lblRTA", "lblRDScount", "lblCapB", "lblRTB"}) {
    EXPECT_EQ(label(name)->palette().color(QPalette::WindowText), grey) << name;
  }
  EXPECT_NE(label("lblPI")->palette().color(QPalette::WindowText), grey);
}

TEST_F(MainWindowTest, StationTextIsNeverRichText) {
  const std::string texts[] = {"<b>bold</b>", "&lt;", "<img src=x.png>", "<a href='x'>x</a>"};
  for (const std::string& text : texts) {
    fields.setCaption(Field::PsName, text);
    fields.setCaption(Field::RadioTextA, text);
    window.present(fields);
    EXPECT_EQ(label("lblPS")->text(), QString::fromStdString(text));
    EXPECT_EQ(label("lblRTA")->text(), QString::fromStdString(text));
  }
}

TEST_F(MainWindowTest, RadioTextLinesAreFixedPitchAndLineUpInsideTheWindow) {
  std::string wide(64, 'W');
  std::string narrow(64, 'i');
  std::string mixed;
  for (int byte = 0x80; mixed.size() < 64; ++byte)
    mixed += static_cast<char>(byte);
  mixed[10] = '\r';
  fields.setCaption(Field::RadioText, rdsToUtf8(mixed));
  fields.setCaption(Field::RadioTextA, wide);
  fields.setCaption(Field::RadioTextB, narrow);
  window.present(fields);

  const QFont font = label("lblRTA")->font();
  EXPECT_TRUE(QFontInfo(font).fixedPitch()) << QFontInfo(font).family().toStdString();
  const QFontMetrics metrics(font);
  const int column = metrics.horizontalAdvance(QLatin1Char('M'));
  for (const char* name : {"lblRadioText", "lblRTA", "lblRTB"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(label(name)->font(), font);
    const QString text = label(name)->text();
    ASSERT_EQ(text.size(), 64);
    for (const QChar character : text) {
      EXPECT_EQ(metrics.horizontalAdvance(character), column) << int{character.unicode()};
    }
    EXPECT_LE(label(name)->x() + metrics.horizontalAdvance(text), window.width());
  }
}

TEST_F(MainWindowTest, DiStereoCaptionIsWhollyVisible) {
  QLabel* caption = label("Label11");
  const int visibleWidth = caption->geometry().right() + 1;
  EXPECT_LE(QFontMetrics(caption->font()).horizontalAdvance(caption->text()), visibleWidth);
}

// However its digits run, a whole packet fits the hex box: each hex digit eighteen times over.
TEST_F(MainWindowTest, AWholePacketFitsTheHexBox) {
  const auto* box = window.findChild<QLineEdit*>(QStringLiteral("Text2"));
  const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box);
  // Inside its frame, a line edit keeps two pixels clear on either side of the text.
  const qreal room = box->width() - 2 * frame - 4;
  const QFontMetricsF metrics(box->font());
  for (const QChar digit : QStringLiteral("0123456789ABCDEF")) {
    EXPECT_LE(metrics.horizontalAdvance(QString(18, digit)), room) << digit.toLatin1();
  }
  EXPECT_EQ(window.findChild<QLineEdit*>(QStringLiteral("Text1"))->font(), box->font());
}

TEST_F(MainWindowTest, TypeStyles) {
  const std::tuple<const char*, int, int> styles[] = {
      {"lblPI", 18, QFont::Bold},  {"Label9", 13, QFont::Bold},     {"Label8", 13, QFont::Normal},
      {"lblRTB", 13, QFont::Bold}, {"lblTraffic", 24, QFont::Bold},
  };
  for (const auto& [name, pixels, weight] : styles) {
    EXPECT_EQ(label(name)->font().pixelSize(), pixels) << name;
    EXPECT_EQ(label(name)->font().weight(), weight) << name;
    EXPECT_FALSE(label(name)->font().italic()) << name;
  }
}

TEST_F(MainWindowTest, ResizingMovesNothing) {
  window.show();
  std::vector<QRect> before;
  for (const ControlRow& row : kStartup) {
    before.push_back(window.findChild<QWidget*>(QLatin1String(row.name))->geometry());
  }
  for (const QSize size : {QSize(1200, 800), QSize(300, 200), QSize(754, 402)}) {
    window.resize(size);
    for (std::size_t i = 0; i < std::size(kStartup); ++i) {
      EXPECT_EQ(window.findChild<QWidget*>(QLatin1String(kStartup[i].name))->geometry(), before[i])
          << kStartup[i].name;
    }
  }
}

TEST_F(MainWindowTest, Text1HoldsTheFocusThenText2) {
  auto* text1 = window.findChild<QLineEdit*>(QStringLiteral("Text1"));
  auto* text2 = window.findChild<QLineEdit*>(QStringLiteral("Text2"));
  EXPECT_EQ(window.focusWidget(), text1);
  EXPECT_EQ(text1->nextInFocusChain(), text2);
}

TEST_F(MainWindowTest, IconAndCreditLine) {
  EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull());
  EXPECT_TRUE(label("Label15")->text().contains(QString::fromUtf8(kVersion.data())));
}

TEST_F(MainWindowTest, OnlyChangedFieldsAreTouched) {
  fields.setCaption(Field::PsName, "RADIO 1 ");
  window.present(fields);
  EXPECT_EQ(label("lblPS")->text(), "RADIO 1 ");
  label("lblPI")->setText("untouched");
  fields.setCaption(Field::PsName, "RADIO 1 ");
  fields.setBackground(Field::TrafficBanner, kLightRed);
  window.present(fields);
  EXPECT_EQ(label("lblPI")->text(), "untouched");
  EXPECT_EQ(label("lblTraffic")->palette().color(QPalette::Window), QColor(255, 128, 128));
}

// The boxes draw their frames from a cache; they must look as the desktop style draws them.
TEST(CachedFrameStyle, BoxesLookAsTheDesktopStyleDrawsThem) {
  DisplayFields fields;
  fields.setCaption(Field::HexRead, "00C5A3146000E3FF20");
  MainWindow window(fields);
  window.show();
  for (const char* name : {"Text1", "Text2"}) {
    SCOPED_TRACE(name);
    auto* cached = window.findChild<QLineEdit*>(QLatin1String(name));
    QLineEdit plain(&window);
    plain.setGeometry(cached->geometry().translated(0, 100));
    plain.setFont(cached->font());
    plain.setReadOnly(true);
    plain.setText(cached->text());
    plain.setCursorPosition(0);
    plain.show();

    const QImage expected = plain.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage actual = cached->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(actual.size(), expected.size());
    int worst = 0;
    for (int y = 0; y < actual.height(); ++y) {
      for (int x = 0; x < actual.width(); ++x) {
        const QColor a = actual.pixelColor(x, y);
        const QColor e = expected.pixelColor(x, y);
        worst = std::max({worst, std::abs(a.red() - e.red()), std::abs(a.green() - e.green()),
                          std::abs(a.blue() - e.blue())});
      }
    }
    EXPECT_LE(worst, 8);
  }
}

}  // namespace
}  // namespace tavimor
