// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/monitor_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace tavimor::radio {
namespace {

// About three minutes of groups wait for a monitor that has not opened its port yet.
constexpr std::size_t kMostWaiting = 2000;
constexpr std::chrono::milliseconds kLineWatch{100};
constexpr int kEndMilliseconds = 5000;

QString systemError(const char* what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                      QString::fromLocal8Bit(std::strerror(errno)));
}

QString firstLine(const QByteArray& text) {
  return QString::fromLocal8Bit(text).trimmed().section(QLatin1Char('\n'), 0, 0);
}

}  // namespace

MonitorPort::MonitorPort(MonitorPrograms programs, QObject* parent)
    : QObject(parent), programs_(std::move(programs)) {
  lineWatch_.setInterval(kLineWatch);
  connect(&lineWatch_, &QTimer::timeout, this, &MonitorPort::flush);
  connect(&monitor_, &QProcess::finished, this, &MonitorPort::onMonitorFinished);
  connect(&monitor_, &QProcess::readyReadStandardOutput, this, [this] {
    // bubblewrap tells the monitor's own process id, which a stop signals.
    const QJsonObject info = QJsonDocument::fromJson(monitor_.readAllStandardOutput()).object();
    if (info.contains(QLatin1String("child-pid"))) {
      monitorPid_ = info.value(QLatin1String("child-pid")).toInteger();
    }
  });
  connect(&monitor_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart && !stopping_) {
      emit failed(monitor_.program() + QStringLiteral(": ") + monitor_.errorString());
    }
  });
  connect(&helper_, &QProcess::readyReadStandardOutput, this, &MonitorPort::onHelperOutput);
  connect(&helper_, &QProcess::finished, this, [this] {
    if (!stopping_ && monitor_.state() == QProcess::NotRunning) {
      const QString said = firstLine(helper_.readAllStandardError());
      emit failed(said.isEmpty() ? QStringLiteral("port 5 could not be made as root") : said);
    }
  });
}

MonitorPort::~MonitorPort() {
  stop();
}

void MonitorPort::start() {
  stopping_ = false;
  if (auto problem = openPseudoTerminal()) {
    emit failed(*problem);
    return;
  }
  if (QStandardPaths::findExecutable(QStringLiteral("bwrap")).isEmpty()) {
    emit failed(
        QStringLiteral("bwrap is missing: install Debian's bubblewrap (as root: apt "
                       "install bubblewrap)"));
    return;
  }
  if (auto refusal = namespaceRefusal()) {
    startSharedPort(*refusal);
    return;
  }
  startPrivateMonitor();
}

std::optional<QString> MonitorPort::openPseudoTerminal() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return systemError("no pseudo-terminal for port 5");
  std::array<char, 64> name{};
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name.data(), name.size()) != 0) {
    return systemError("no pseudo-terminal for port 5");
  }
  followerPath_ = QString::fromLocal8Bit(name.data());
  follower_ = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (follower_ < 0) return systemError("no pseudo-terminal for port 5");
  writable_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
  writable_->setEnabled(false);
  connect(writable_.get(), &QSocketNotifier::activated, this, &MonitorPort::flush);
  return std::nullopt;
}

// Why bubblewrap can make no namespace here (a chroot, a kernel that forbids them), if it can't.
std::optional<QString> MonitorPort::namespaceRefusal() {
  QProcess probe;
  probe.setProcessChannelMode(QProcess::SeparateChannels);
  probe.setStandardInputFile(QProcess::nullDevice());
  probe.start(QStringLiteral("bwrap"),
              {QStringLiteral("--bind"), QStringLiteral("/"), QStringLiteral("/"),
               QStringLiteral("--dev"), QStringLiteral("/dev"), QStringLiteral("--tmpfs"),
               QStringLiteral("/run/lock"), QStringLiteral("true")});
  if (probe.waitForFinished(kEndMilliseconds) && probe.exitStatus() == QProcess::NormalExit &&
      probe.exitCode() == 0) {
    return std::nullopt;
  }
  probe.kill();
  probe.waitForFinished();
  const QString said = firstLine(probe.readAllStandardError());
  return said.isEmpty() ? QStringLiteral("bwrap failed") : said;
}

void MonitorPort::startPrivateMonitor() {
  private_ = true;
  QStringList arguments{QStringLiteral("--bind"), QStringLiteral("/"), QStringLiteral("/"),
                        QStringLiteral("--dev"), QStringLiteral("/dev"),
                        // The window's graphics and its shared memory with the display.
                        QStringLiteral("--dev-bind-try"), QStringLiteral("/dev/dri"),
                        QStringLiteral("/dev/dri"), QStringLiteral("--bind-try"),
                        QStringLiteral("/dev/shm"), QStringLiteral("/dev/shm"),
                        QStringLiteral("--dev-bind"), followerPath_, QStringLiteral("/dev/ttyS4"),
                        QStringLiteral("--tmpfs"), QStringLiteral("/run/lock")};
  // Debian's /var/lock leads to /run/lock; a system where it is a directory of its own gets a
  // private one too.
  const QFileInfo varLock(QStringLiteral("/var/lock"));
  if (varLock.isDir() && !varLock.isSymLink()) {
    arguments << QStringLiteral("--tmpfs") << QStringLiteral("/var/lock");
  }
  arguments << QStringLiteral("--die-with-parent") << QStringLiteral("--new-session")
            << QStringLiteral("--info-fd") << QStringLiteral("1") << QStringLiteral("--")
            << programs_.monitor;
  startMonitor(QStringLiteral("bwrap"), arguments);
}

void MonitorPort::startSharedPort(const QString& refusal) {
  private_ = false;
  const bool root = ::geteuid() == 0;
  const QString sudo = QStandardPaths::findExecutable(QStringLiteral("sudo"));
  const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
  QString via;
  if (!root) {
    // A terminal can answer sudo's question; the desktop answers pkexec's.
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    via = (terminal && !sudo.isEmpty()) || pkexec.isEmpty() ? sudo : pkexec;
    if (via.isEmpty()) {
      emit failed(QStringLiteral("no namespace here (%1), so port 5 needs root: run this as root, "
                                 "or install sudo")
                      .arg(refusal));
      return;
    }
  }
  emit note(QStringLiteral("no namespace here (%1), so port 5 is linked in /dev as root%2")
                .arg(refusal,
                     root ? QString() : QStringLiteral(" through ") + QFileInfo(via).fileName()));
  helper_.setProcessChannelMode(QProcess::SeparateChannels);
  if (root)
    helper_.start(programs_.portHelper, {followerPath_});
  else
    helper_.start(via, {programs_.portHelper, followerPath_});
}

void MonitorPort::onHelperOutput() {
  if (!helper_.readAllStandardOutput().contains("ready")) return;
  startMonitor(programs_.monitor, {});
}

void MonitorPort::startMonitor(const QString& program, const QStringList& arguments) {
  monitorPid_ = 0;
  monitor_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  monitor_.setStandardInputFile(QProcess::nullDevice());
  // A process group of its own: Ctrl-C on the terminal is the radio's to handle, which then ends
  // the monitor in order rather than have it killed under its window.
  monitor_.setChildProcessModifier([] { ::setpgid(0, 0); });
  monitor_.start(program, arguments);
  if (!monitor_.waitForStarted()) return;
  if (!private_) monitorPid_ = monitor_.processId();
  emit started();
  flush();
}

void MonitorPort::onMonitorFinished(int exitCode, QProcess::ExitStatus status) {
  monitorPid_ = 0;
  if (stopping_) return;
  emit monitorEnded(exitCode, status == QProcess::CrashExit);
}

void MonitorPort::send(const RdsGroup& group) {
  if (master_ < 0) return;
  if (waiting_.size() == kMostWaiting) {
    waiting_.pop_front();
    written_ = 0;
  }
  waiting_.push_back(toPacket(group));
  flush();
}

// Until the monitor has opened its end, the line is as a new terminal's, taking bytes as typed
// text and echoing them back: the packets wait for it to be turned raw.
bool MonitorPort::monitorHoldsLine() const {
  termios line{};
  return ::tcgetattr(master_, &line) == 0 && (line.c_lflag & ICANON) == 0;
}

void MonitorPort::flush() {
  if (master_ < 0 || waiting_.empty()) {
    lineWatch_.stop();
    return;
  }
  if (!monitorHoldsLine()) {
    lineWatch_.start();
    return;
  }
  lineWatch_.stop();
  while (!waiting_.empty()) {
    const PacketBytes& packet = waiting_.front();
    const ssize_t count = ::write(master_, packet.data() + written_, packet.size() - written_);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) break;
    written_ += static_cast<std::size_t>(count);
    if (written_ == packet.size()) {
      waiting_.pop_front();
      written_ = 0;
    }
  }
  // A full line: the rest goes when it has room.
  writable_->setEnabled(!waiting_.empty());
}

void MonitorPort::stop() {
  stopping_ = true;
  lineWatch_.stop();
  if (monitor_.state() != QProcess::NotRunning) {
    if (monitorPid_ > 0)
      ::kill(static_cast<pid_t>(monitorPid_), SIGTERM);
    else
      monitor_.terminate();
    if (!monitor_.waitForFinished(kEndMilliseconds)) {
      monitor_.kill();
      monitor_.waitForFinished();
    }
  }
  if (helper_.state() != QProcess::NotRunning) {
    // The helper removes the link when its input closes.
    helper_.closeWriteChannel();
    if (!helper_.waitForFinished(kEndMilliseconds)) {
      helper_.terminate();
      helper_.waitForFinished();
    }
  }
  closePseudoTerminal();
}

void MonitorPort::closePseudoTerminal() {
  writable_.reset();
  waiting_.clear();
  for (int* fd : {&master_, &follower_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

}  // namespace tavimor::radio
