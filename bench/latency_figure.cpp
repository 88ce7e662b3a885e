#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "figures.h"
#include "program_under_test.h"
#include "rds_charset.h"
#include "receive_handler.h"
#include "station_mix.h"

namespace tavimor::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Packets are written one at a time, each after the previous one is shown and a pause, so
// that what is measured is the way through the program rather than a queue.
constexpr auto kPause = 1500us;
constexpr auto kGiveUp = 2s;

// What every field widget should show after a packet, from a model fed the same packets.
class ExpectedWindow {
 public:
  explicit ExpectedWindow(MainWindow& window) {
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      const auto name = fieldName(static_cast<Field>(i));
      widgets_[i] = window.findChild<QWidget*>(QString::fromLatin1(name.data(), name.size()));
    }
  }

  bool showsAfter(const std::string& packet) {
    handleRead(packet, state_, fields_, statusFile_);
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      if (shownText(widgets_[i]) != rdsToDisplay(fields_.caption(static_cast<Field>(i)))) {
        return false;
      }
    }
    return true;
  }

 private:
  static QString shownText(const QWidget* widget) {
    if (const auto* box = qobject_cast<const QLineEdit*>(widget)) return box->text();
    return static_cast<const QLabel*>(widget)->text();
  }

  std::array<QWidget*, kFieldCount> widgets_{};
  DecoderState state_;
  DisplayFields fields_;
  const StatusFile statusFile_{"expected-traffic.txt"};
};

// Shared between the writing thread and the event loop.
class Handover {
 public:
  void markShown(std::size_t count) {
    {
      const std::lock_guard lock(mutex_);
      shown_ = count;
    }
    changed_.notify_one();
  }

  bool waitUntilShown(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kGiveUp, [&] { return shown_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t shown_ = 0;
};

// Follows each packet through the window: when Text2 changes, the moment all fields are set
// (once the handler and present() have returned) and the moment the window has painted them.
class ShowingProbe : public QObject {
 public:
  ShowingProbe(QLineEdit& text2, std::function<void()> fieldsSet, std::function<void()> painted)
      : fieldsSet_(std::move(fieldsSet)), painted_(std::move(painted)) {
    text2.installEventFilter(this);
    connect(&text2, &QLineEdit::textChanged, this, [this] {
      paintsAtChange_ = paints_;
      // Normal priority runs right after present(); the window's repaint request is posted
      // with low priority, so a low-priority check queued after it sees the paint done.
      QCoreApplication::postEvent(this, new QEvent(kFieldsSet));
    });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints_;
    return QObject::eventFilter(watched, event);
  }

  bool event(QEvent* event) override {
    if (event->type() == kFieldsSet) {
      fieldsSet_();
      QCoreApplication::postEvent(this, new QEvent(kPaintCheck), Qt::LowEventPriority);
      return true;
    }
    if (event->type() == kPaintCheck) {
      if (paints_ == paintsAtChange_) {
        QCoreApplication::postEvent(this, new QEvent(kPaintCheck), Qt::LowEventPriority);
      } else {
        painted_();
      }
      return true;
    }
    return QObject::event(event);
  }

 private:
  static constexpr auto kFieldsSet = static_cast<QEvent::Type>(QEvent::User);
  static constexpr auto kPaintCheck = static_cast<QEvent::Type>(QEvent::User + 1);

  std::function<void()> fieldsSet_;
  std::function<void()> painted_;
  int paints_ = 0;
  int paintsAtChange_ = 0;
};

double percentileMicroseconds(std::vector<Clock::duration> latencies, double fraction) {
  std::sort(latencies.begin(), latencies.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(latencies.size() - 1));
  return std::chrono::duration<double, std::micro>(latencies[index]).count();
}

std::vector<Clock::duration> since(const std::vector<Clock::time_point>& starts,
                                   const std::vector<Clock::time_point>& ends, std::size_t count) {
  std::vector<Clock::duration> latencies;
  for (std::size_t i = 0; i < count; ++i)
    latencies.push_back(ends[i] - starts[i]);
  return latencies;
}

}  // namespace

int measureLatency() {
  const std::vector<std::string> packets = stationPackets(kLatencyPackets);
  ProgramUnderTest program;
  program.showWindow();
  ExpectedWindow expected(program.frm().window());

  std::vector<Clock::time_point> written(packets.size());
  std::vector<Clock::time_point> set(packets.size());
  std::vector<Clock::time_point> painted(packets.size());
  std::size_t setCount = 0;
  std::size_t paintedCount = 0;
  int mismatches = 0;
  Handover handover;

  ShowingProbe probe(
      *program.frm().window().findChild<QLineEdit*>(QStringLiteral("Text2")),
      [&] {
        if (setCount < packets.size()) set[setCount++] = Clock::now();
      },
      [&] {
        if (paintedCount == packets.size()) return;
        painted[paintedCount] = Clock::now();
        if (!expected.showsAfter(packets[paintedCount])) ++mismatches;
        handover.markShown(++paintedCount);
        if (paintedCount == packets.size()) QApplication::quit();
      });

  std::atomic<bool> lost = false;
  std::jthread writer;
  QTimer::singleShot(0, [&] {
    writer = std::jthread([&] {
      for (std::size_t i = 0; i < packets.size() && !lost; ++i) {
        written[i] = Clock::now();
        program.receiver().write(packets[i]);
        if (!handover.waitUntilShown(i + 1)) lost = true;
        std::this_thread::sleep_for(kPause);
      }
      if (lost) QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
    });
  });
  QApplication::exec();
  writer.join();

  if (lost || paintedCount != packets.size()) {
    std::cerr << "only " << paintedCount << " of " << packets.size() << " packets were shown\n";
    return 1;
  }
  const auto toPainted = since(written, painted, paintedCount);
  const auto toSet = since(written, set, setCount);
  std::cout << "median_us " << percentileMicroseconds(toPainted, 0.5) << '\n'
            << "p99_us " << percentileMicroseconds(toPainted, 0.99) << '\n'
            << "max_us " << percentileMicroseconds(toPainted, 1.0) << '\n'
            << "set_median_us " << percentileMicroseconds(toSet, 0.5) << '\n'
            << "set_p99_us " << percentileMicroseconds(toSet, 0.99) << '\n'
            << "mismatches " << mismatches << '\n';
  return 0;
}

}  // namespace tavimor::bench
