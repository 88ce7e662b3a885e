// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/radio_app.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QStandardPaths>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "app/display_session.h"
#include "app/termination_signals.h"
#include "tools/radio/receivers.h"
#include "tools/radio/recording.h"
#include "tools/radio/terminal_foreground.h"
#include "tools/radio/tuner_receiver.h"
#include "version.h"

namespace tavimor::radio {
namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "tavimor-radio";

// The last frequency tuned to, offered in the frequency box when the radio starts without one.
QString lastFrequencyFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/tavimor/radio-frequency");
}

void rememberFrequency(double hz) {
  const QString path = lastFrequencyFile();
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    file.write(QByteArray::number(hz / 1e6, 'g', 8) + "M\n");
  }
}

QString lastFrequency() {
  QFile file(lastFrequencyFile());
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readLine()).trimmed();
}

// The programs beside this one: in the build tree, or installed under one prefix.
MonitorPrograms findPrograms() {
  const QString here = QCoreApplication::applicationDirPath();
  const auto first = [](const QStringList& candidates) {
    for (const QString& candidate : candidates) {
      if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).absoluteFilePath();
    }
    return candidates.last();
  };
  return {first({here + QStringLiteral("/tavimor"), here + QStringLiteral("/../../tavimor")}),
          first({here + QStringLiteral("/tavimor-radio-port"),
                 here + QStringLiteral("/" TAVIMOR_BIN_TO_LIBEXEC "/tavimor-radio-port")})};
}

std::unique_ptr<QApplication> openApplication(int& argc, char** argv) {
  const DisplaySessionGuard guard(kProgram);
  return std::make_unique<QApplication>(argc, argv);
}

bool fileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

RadioApp::RadioApp(RadioOptions options, MonitorPrograms programs)
    : options_(std::move(options)), port_(std::move(programs)) {
  connect(&bridge_, &ReceiverBridge::group, &port_, &MonitorPort::send);
  connect(&bridge_, &ReceiverBridge::reception, &window_, &RadioWindow::showReception);
  connect(&bridge_, &ReceiverBridge::band, &window_, &RadioWindow::showBand);
  connect(&bridge_, &ReceiverBridge::stations, &window_, &RadioWindow::showStations);
  connect(&bridge_, &ReceiverBridge::devices, &window_, &RadioWindow::offerDevices);
  connect(&bridge_, &ReceiverBridge::line, this, &RadioApp::say);
  connect(&bridge_, &ReceiverBridge::stopped, this, [this](bool failed) { troubled_ = failed; });
  connect(&window_, &RadioWindow::tuneRequested, this, &RadioApp::tune);
  connect(&window_, &RadioWindow::retryRequested, this, &RadioApp::retry);
  connect(&window_, &RadioWindow::scanRequested, this, &RadioApp::scanBand);
  connect(&port_, &MonitorPort::started, this, &RadioApp::onPortStarted);
  connect(&port_, &MonitorPort::failed, this, [this](const QString& problem) {
    say(problem, true);
    troubled_ = true;
  });
  connect(&port_, &MonitorPort::note, this, [this](const QString& line) { say(line, false); });
  connect(&port_, &MonitorPort::monitorEnded, this, &RadioApp::onMonitorEnded);
}

RadioApp::~RadioApp() {
  if (receiver_) receiver_->stop();
  port_.stop();
}

int RadioApp::run() {
  // Before anything is said: a signal that follows a line must find its handler.
  const TerminationSignals termination;
  window_.show();
  if (auto receiver = firstReceiver()) begin(std::move(receiver));
  if (const auto& error = termination.error()) say(error->description, false);
  const int status = QApplication::exec();
  if (receiver_) receiver_->stop();
  port_.stop();
  if (status != 0) return status;
  if (exitCode_ == 0 && troubled_) exitCode_ = kExitError;
  if (exitCode_ == 0) std::cout << "Stopped." << std::endl;
  return exitCode_;
}

std::unique_ptr<Receiver> RadioApp::firstReceiver() {
  if (options_.demo) return makeDemoReceiver();
  if (options_.file) {
    auto identified = identifyRecording(*options_.file, options_.forcedKind, options_.sampleRate);
    if (auto* problem = std::get_if<std::string>(&identified)) {
      say(QString::fromStdString(*options_.file + ": " + *problem), true);
      troubled_ = true;
      return nullptr;
    }
    return makeRecordingReceiver(std::get<Recording>(identified), options_.offsetHz);
  }
  return makeStickReceiver({.frequencyHz = options_.frequencyHz,
                            .device = options_.device.value_or(std::string()),
                            .gainDb = options_.gainDb,
                            .ppm = options_.ppm});
}

void RadioApp::begin(std::unique_ptr<Receiver> receiver) {
  if (receiver_) receiver_->stop();
  receiver_ = std::move(receiver);
  troubled_ = false;
  const bool stick = receiver_->onAir();
  window_.showSource(QString::fromStdString(receiver_->description()), receiver_->tunable(), stick,
                     stick);
  // The keyboard starts in the list, where the stations are picked.
  window_.stationList()->setFocus();
  if (stick) {
    window_.showDevice(QString::fromStdString(options_.device.value_or(std::string())));
    const auto hz = receiver_->tunedHz();
    window_.offerFrequency(hz ? QString::number(*hz / 1e6, 'g', 8) : lastFrequency());
    if (hz) rememberFrequency(*hz);
  }
  if (portStarted_) {
    receiver_->start(bridge_);
  } else if (!portRequested_) {
    portRequested_ = true;
    port_.start();
  }
}

void RadioApp::onPortStarted() {
  portStarted_ = true;
  std::cerr << kProgram << ": " << receiver_->description() << " on "
            << (port_.isPrivate() ? "a private " : "")
            << "port 5 (/dev/ttyS4); traffic.txt is written to "
            << QDir::currentPath().toStdString() << ". Close the window or press Ctrl-C to stop."
            << std::endl;
  receiver_->start(bridge_);
}

void RadioApp::tune(double hz) {
  if (!receiver_ || !receiver_->tunable()) return;
  if (receiver_->onAir()) {
    troubled_ = false;
    rememberFrequency(hz);
  }
  receiver_->tune(hz);
}

void RadioApp::retry(const QString& device) {
  if (!receiver_ || !receiver_->onAir()) return;
  troubled_ = false;
  receiver_->retry(device.toStdString());
  window_.showSource(QString::fromStdString(receiver_->description()), true, true, true);
}

void RadioApp::scanBand() {
  if (!receiver_ || !receiver_->onAir()) return;
  troubled_ = false;
  receiver_->scanBand();
}

void RadioApp::say(const QString& line, bool trouble) {
  window_.say(line, trouble);
  std::cerr << kProgram << ": " << line.toStdString() << std::endl;
}

void RadioApp::onMonitorEnded(int exitCode, bool crashed) {
  if (crashed || exitCode != 0) {
    say(QStringLiteral("the monitor ended with status %1").arg(exitCode), true);
    exitCode_ = kExitError;
  }
  QApplication::quit();
}

int runRadio(int argc, char* argv[]) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const RadioCommandLine commandLine = parseRadioCommandLine(arguments, fileExists);
  if (const auto* error = std::get_if<UsageError>(&commandLine)) {
    std::cerr << kProgram << ": " << error->message << "\nTry '" << kProgram
              << " --help' for more information.\n";
    return kExitUsage;
  }
  if (const auto* error = std::get_if<OperandError>(&commandLine)) {
    std::cerr << kProgram << ": " << error->message << '\n';
    return kExitError;
  }
  if (std::holds_alternative<HelpRequest>(commandLine)) {
    std::cout << radioUsageText();
    return EXIT_SUCCESS;
  }
  if (std::holds_alternative<VersionRequest>(commandLine)) {
    std::cout << kProgram << ' ' << kVersion << '\n';
    return EXIT_SUCCESS;
  }
  const TerminalForeground foreground;
  const std::unique_ptr<QApplication> application = openApplication(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavimor Radio"));
  QApplication::setDesktopFileName(QStringLiteral("tavimor-radio"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/tavimor/tavimor.svg")));
  RadioApp radio(std::get<RadioOptions>(commandLine), findPrograms());
  return radio.run();
}

}  // namespace tavimor::radio
