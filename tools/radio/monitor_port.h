// SPDX-License-Identifier: GPL-3.0-or-later
// The monitor on a port 5 of its own. A pseudo-terminal pair: this end (the master) is where the
// packets are written, as a receiver sends them; the other end becomes /dev/ttyS4 of the
// monitor, started in bubblewrap with a fresh /dev and an empty /run/lock. Where bubblewrap can
// make no namespace, a fixed helper links /dev/ttyS4 in the real /dev as root instead, and the
// monitor runs as the user, as it does in bubblewrap.
#pragma once

#include <QObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>
#include <optional>

#include "decode/rds_group.h"

namespace tavimor::radio {

struct MonitorPrograms {
  QString monitor;
  // The helper that links port 5 as root; run through sudo or pkexec unless already root.
  QString portHelper;
};

class MonitorPort : public QObject {
  Q_OBJECT

 public:
  explicit MonitorPort(MonitorPrograms programs, QObject* parent = nullptr);
  ~MonitorPort() override;
  MonitorPort(const MonitorPort&) = delete;
  MonitorPort& operator=(const MonitorPort&) = delete;

  // Makes the port and starts the monitor on it, or says why it cannot; started() or failed()
  // follows.
  void start();
  // Whether port 5 is a private one (bubblewrap) rather than linked in the real /dev.
  bool isPrivate() const { return private_; }
  // Sends a group as a packet once the monitor holds the port; until then they wait.
  void send(const RdsGroup& group);
  // Ends the monitor and the port; nothing of them is left.
  void stop();

 signals:
  void started();
  // Before the monitor ran, or when the helper would not link the port.
  void failed(const QString& problem);
  // The monitor ended by itself: its window was closed, or it failed.
  void monitorEnded(int exitCode, bool crashed);
  // News for the user: the fallback, and why.
  void note(const QString& line);

 private:
  std::optional<QString> openPseudoTerminal();
  std::optional<QString> namespaceRefusal();
  void startPrivateMonitor();
  void startSharedPort(const QString& refusal);
  void onHelperOutput();
  void startMonitor(const QString& program, const QStringList& arguments);
  void onMonitorFinished(int exitCode, QProcess::ExitStatus status);
  bool monitorHoldsLine() const;
  void flush();
  void closePseudoTerminal();

  MonitorPrograms programs_;
  int master_ = -1;
  // Held open so that the pair stays whole while the monitor opens and closes its end.
  int follower_ = -1;
  QString followerPath_;
  bool private_ = true;
  QProcess monitor_;
  QProcess helper_;
  qint64 monitorPid_ = 0;
  std::unique_ptr<QSocketNotifier> writable_;
  std::deque<PacketBytes> waiting_;
  std::size_t written_ = 0;  // of the first waiting packet
  QTimer lineWatch_;
  bool stopping_ = false;
};

}  // namespace tavimor::radio
