// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/radio_window.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <cmath>

#include "decode/programme_type.h"
#include "tools/radio/radio_options.h"

namespace tavimor::radio {
namespace {

// A bar's share, 0 to 1, in the item's data beside its text.
constexpr int kBarRole = Qt::UserRole + 1;
constexpr int kFrequencyRole = Qt::UserRole + 2;
// Carrier levels are drawn from -80 dBFS (nothing) to 0 dBFS (full).
constexpr double kLowestLevelDb = -80.0;
constexpr int kProgressSteps = 1000;

int column(StationColumn which) {
  return static_cast<int>(which);
}

// Level and quality as bars, with their figures in them for reading.
class BarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QVariant share = index.data(kBarRole);
    if (!share.isValid()) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(2, 2, -2, -2);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = static_cast<int>(std::lround(std::clamp(share.toDouble(), 0.0, 1.0) * 100));
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.state = option.state | QStyle::State_Horizontal;
    bar.palette = option.palette;
    bar.fontMetrics = option.fontMetrics;
    const QWidget* view = option.widget;
    QStyle* style = view != nullptr ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, view);
  }
};

QLabel* figure(const QString& name) {
  auto* label = new QLabel(QStringLiteral("–"));
  label->setAccessibleName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QString percent(double share) {
  return QString::number(share * 100.0, 'f', 1) + QStringLiteral(" %");
}

}  // namespace

RadioWindow::RadioWindow(QWidget* parent)
    : QWidget(parent),
      source_(new QLabel),
      scanProgress_(new QProgressBar),
      band_(new BandView),
      stations_(new QTreeWidget),
      frequencyLabel_(new QLabel(QStringLiteral("&Frequency (MHz):"))),
      frequency_(new QLineEdit),
      tune_(new QPushButton(QStringLiteral("&Tune"))),
      deviceLabel_(new QLabel(QStringLiteral("&Device:"))),
      device_(new QComboBox),
      retry_(new QPushButton(QStringLiteral("Try &again"))),
      scan_(new QPushButton(QStringLiteral("&Scan the band"))),
      messages_(new QPlainTextEdit) {
  setWindowTitle(QStringLiteral("Tavimor Radio"));
  source_->setTextFormat(Qt::PlainText);
  source_->setAccessibleName(QStringLiteral("Source"));
  scanProgress_->setAccessibleName(QStringLiteral("Scan"));
  scanProgress_->setRange(0, kProgressSteps);
  scanProgress_->setMinimumWidth(scanProgress_->fontMetrics().horizontalAdvance(
                                     QStringLiteral("Scanning the band: 100.0 to 101.7 MHz")) +
                                 32);
  QSizePolicy keepRoom = scanProgress_->sizePolicy();
  keepRoom.setRetainSizeWhenHidden(true);
  scanProgress_->setSizePolicy(keepRoom);
  scanProgress_->hide();

  stations_->setAccessibleName(QStringLiteral("Stations"));
  stations_->setRootIsDecorated(false);
  stations_->setUniformRowHeights(true);
  stations_->setAllColumnsShowFocus(true);
  stations_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("PI"),
                              QStringLiteral("Programme type"), QStringLiteral("Frequency"),
                              QStringLiteral("Level"), QStringLiteral("Quality")});
  auto* bars = new BarDelegate(stations_);
  stations_->setItemDelegateForColumn(column(StationColumn::Level), bars);
  stations_->setItemDelegateForColumn(column(StationColumn::Quality), bars);
  stations_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  for (const StationColumn bar : {StationColumn::Level, StationColumn::Quality}) {
    stations_->header()->setSectionResizeMode(column(bar), QHeaderView::Fixed);
    stations_->setColumnWidth(
        column(bar), stations_->fontMetrics().horizontalAdvance(QStringLiteral("-100 dBFS")) + 40);
  }
  connect(stations_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    emit tuneRequested(item->data(0, kFrequencyRole).toDouble());
  });
  connect(band_, &BandView::stationClicked, this, &RadioWindow::tuneRequested);

  frequency_->setAccessibleName(QStringLiteral("Frequency"));
  frequencyLabel_->setBuddy(frequency_);
  tune_->setAccessibleName(QStringLiteral("Tune"));
  connect(frequency_, &QLineEdit::returnPressed, this, &RadioWindow::onFrequencyEntered);
  connect(tune_, &QPushButton::clicked, this, &RadioWindow::onFrequencyEntered);

  // The tuners found by name, or SoapySDR's arguments typed in.
  device_->setEditable(true);
  device_->setInsertPolicy(QComboBox::NoInsert);
  device_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  device_->setMinimumContentsLength(16);
  device_->setAccessibleName(QStringLiteral("Device"));
  device_->lineEdit()->setAccessibleName(QStringLiteral("Device"));
  device_->lineEdit()->setPlaceholderText(QStringLiteral("the only tuner found"));
  device_->view()->setAccessibleName(QStringLiteral("Devices found"));
  deviceLabel_->setBuddy(device_);
  retry_->setAccessibleName(QStringLiteral("Try again"));
  retry_->setEnabled(false);
  connect(retry_, &QPushButton::clicked, this, [this] {
    retry_->setEnabled(false);
    emit retryRequested(chosenDevice());
  });
  // A device chosen or typed in can be tried at once.
  const auto offerRetry = [this] { retry_->setEnabled(true); };
  connect(device_, &QComboBox::activated, this, offerRetry);
  connect(device_->lineEdit(), &QLineEdit::textEdited, this, offerRetry);
  scan_->setAccessibleName(QStringLiteral("Scan the band"));
  connect(scan_, &QPushButton::clicked, this, &RadioWindow::scanRequested);

  messages_->setAccessibleName(QStringLiteral("Messages"));
  messages_->setReadOnly(true);
  messages_->setMaximumBlockCount(200);
  messages_->setFixedHeight(messages_->fontMetrics().lineSpacing() * 5);

  auto* tuning = new QHBoxLayout;
  tuning->addWidget(frequencyLabel_);
  tuning->addWidget(frequency_);
  tuning->addWidget(tune_);
  tuning->addSpacing(16);
  tuning->addWidget(deviceLabel_);
  tuning->addWidget(device_, 1);
  tuning->addWidget(retry_);
  tuning->addWidget(scan_);

  auto* middle = new QHBoxLayout;
  middle->addWidget(stations_, 1);
  middle->addWidget(makeReceptionPanel());

  auto* top = new QHBoxLayout;
  top->addWidget(source_, 1);
  top->addWidget(scanProgress_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(band_);
  layout->addLayout(middle, 1);
  layout->addLayout(tuning);
  layout->addWidget(messages_);
  resize(820, 560);
  showSource({}, false, false, false);
}

QWidget* RadioWindow::makeReceptionPanel() {
  auto* panel = new QWidget;
  panel->setAccessibleName(QStringLiteral("Reception"));
  auto* form = new QFormLayout(panel);
  carrier_ = figure(QStringLiteral("Carrier level"));
  snr_ = figure(QStringLiteral("SNR"));
  blocksLost_ = figure(QStringLiteral("Blocks lost"));
  pilot_ = figure(QStringLiteral("Pilot"));
  echo_ = figure(QStringLiteral("Echo"));
  form->addRow(QStringLiteral("Carrier level:"), carrier_);
  form->addRow(QStringLiteral("SNR:"), snr_);
  form->addRow(QStringLiteral("Blocks lost:"), blocksLost_);
  form->addRow(QStringLiteral("Pilot:"), pilot_);
  form->addRow(QStringLiteral("Echo:"), echo_);
  return panel;
}

void RadioWindow::showSource(const QString& description, bool tunable, bool onAir, bool device) {
  onAir_ = onAir;
  source_->setText(description);
  setWindowTitle(description.isEmpty() ? QStringLiteral("Tavimor Radio")
                                       : QStringLiteral("Tavimor Radio: ") + description);
  frequencyLabel_->setText(onAir || !tunable ? QStringLiteral("&Frequency (MHz):")
                                             : QStringLiteral("&Offset from the centre (kHz):"));
  frequency_->setEnabled(tunable);
  tune_->setEnabled(tunable);
  deviceLabel_->setVisible(device);
  device_->setVisible(device);
  retry_->setVisible(device);
  scan_->setVisible(device);
}

QString RadioWindow::frequencyText(double hz) const {
  if (onAir_) return QString::fromStdString(radio::frequencyText(hz));
  if (std::abs(hz) < 500) return QStringLiteral("centre");
  return QStringLiteral("%1%2 kHz")
      .arg(hz > 0 ? QStringLiteral("+") : QString())
      .arg(std::lround(hz / 1000.0));
}

void RadioWindow::showStations(const std::vector<Station>& stations) {
  band_->showStations(stations);
  // The row the user is on stays current, however the list is refilled.
  const QTreeWidgetItem* current = stations_->currentItem();
  const bool hadCurrent = current != nullptr;
  const double currentHz = hadCurrent ? current->data(0, kFrequencyRole).toDouble() : 0.0;
  const bool hadFocus = stations_->hasFocus();
  stations_->clear();
  QTreeWidgetItem* keep = nullptr;
  for (const Station& station : stations) {
    auto* item = new QTreeWidgetItem(stations_);
    item->setData(0, kFrequencyRole, station.frequencyHz);
    item->setText(column(StationColumn::Name),
                  station.ps.empty() ? QStringLiteral("?") : QString::fromStdString(station.ps));
    if (station.pi) {
      item->setText(column(StationColumn::Pi),
                    QStringLiteral("%1").arg(*station.pi, 4, 16, QLatin1Char('0')).toUpper());
    }
    if (station.pty) {
      const std::string_view name = programmeTypeName(*station.pty);
      item->setText(column(StationColumn::ProgrammeType),
                    QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    item->setText(column(StationColumn::Frequency), frequencyText(station.frequencyHz));
    if (station.levelDb) {
      item->setText(column(StationColumn::Level),
                    QStringLiteral("%1 dBFS").arg(std::lround(*station.levelDb)));
      item->setData(column(StationColumn::Level), kBarRole,
                    1.0 - *station.levelDb / kLowestLevelDb);
    }
    if (station.quality) {
      item->setText(column(StationColumn::Quality), percent(*station.quality));
      item->setData(column(StationColumn::Quality), kBarRole, *station.quality);
    }
    if (station.tuned) {
      QFont bold = item->font(0);
      bold.setBold(true);
      for (int i = 0; i < stations_->columnCount(); ++i)
        item->setFont(i, bold);
    }
    if (hadCurrent && std::abs(currentHz - station.frequencyHz) < 60'000.0) keep = item;
    // Until the user moves in the list, it stands on the station tuned to.
    if (!hadCurrent && station.tuned) keep = item;
  }
  if (keep != nullptr) stations_->setCurrentItem(keep);
  if (hadFocus) stations_->setFocus();
}

void RadioWindow::showBand(const BandPicture& picture) {
  band_->showPicture(picture);
  scanProgress_->setVisible(picture.scanning.has_value());
  scan_->setEnabled(!picture.scanning);
  if (!picture.scanning) return;
  const double from = picture.centreHz - picture.spanHz / 2;
  scanProgress_->setValue(static_cast<int>(
      std::lround((picture.scanning->toHz - from) / picture.spanHz * kProgressSteps)));
  scanProgress_->setFormat(QStringLiteral("Scanning the band: %1 to %2 MHz")
                               .arg(QString::number(picture.scanning->fromHz / 1e6, 'f', 1),
                                    QString::number(picture.scanning->toHz / 1e6, 'f', 1)));
}

void RadioWindow::showReception(const Reception& reception) {
  carrier_->setText(reception.carrierDbfs
                        ? QStringLiteral("%1 dBFS").arg(std::lround(*reception.carrierDbfs))
                        : QStringLiteral("–"));
  snr_->setText(reception.snrDb ? QStringLiteral("%1 dB").arg(std::lround(*reception.snrDb))
                                : QStringLiteral("–"));
  blocksLost_->setText(reception.blocksLost ? percent(*reception.blocksLost) : QStringLiteral("–"));
  pilot_->setText(!reception.pilot   ? QStringLiteral("–")
                  : *reception.pilot ? QStringLiteral("yes")
                                     : QStringLiteral("no"));
  echo_->setText(!reception.carrierDbfs ? QStringLiteral("–")
                 : reception.echoUndone ? QStringLiteral("echo undone")
                                        : QStringLiteral("none"));
}

void RadioWindow::say(const QString& line, bool trouble) {
  messages_->appendPlainText(line);
  if (!trouble || !device_->isVisible()) return;
  // Trouble ends the tuner's run, a scan with it.
  retry_->setEnabled(true);
  scan_->setEnabled(true);
  scanProgress_->hide();
}

void RadioWindow::offerFrequency(const QString& frequency) {
  frequency_->setText(frequency);
}

void RadioWindow::offerDevices(const std::vector<TunerDevice>& devices) {
  const QString text = device_->currentText();
  device_->clear();
  for (const TunerDevice& device : devices) {
    device_->addItem(QString::fromStdString(device.label), QString::fromStdString(device.args));
  }
  device_->setEditText(text);
}

void RadioWindow::showDevice(const QString& args) {
  device_->setEditText(args);
}

QString RadioWindow::chosenDevice() const {
  const int index = device_->currentIndex();
  if (index >= 0 && device_->currentText() == device_->itemText(index))
    return device_->itemData(index).toString();
  return device_->currentText().trimmed();
}

void RadioWindow::onFrequencyEntered() {
  const QString text = frequency_->text().trimmed();
  if (text.isEmpty()) return;
  if (onAir_ || !tune_->isEnabled()) {
    auto parsed = parseFrequency(text.toStdString());
    if (auto* problem = std::get_if<std::string>(&parsed)) {
      say(text + QStringLiteral(" is not ") + QString::fromStdString(*problem), false);
      return;
    }
    emit tuneRequested(std::get<double>(parsed));
    return;
  }
  bool number = false;
  const double kilohertz = text.toDouble(&number);
  if (!number) {
    say(text + QStringLiteral(" is not an offset in kHz, such as -200"), false);
    return;
  }
  emit tuneRequested(kilohertz * 1000.0);
}

}  // namespace tavimor::radio
