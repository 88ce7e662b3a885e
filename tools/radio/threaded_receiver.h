// SPDX-License-Identifier: GPL-3.0-or-later
// The thread every receiver runs on: started, and stopped by a flag that its waits look at.
#pragma once

#include <atomic>
#include <thread>

#include "tools/radio/receiver.h"

namespace tavimor::radio {

class ThreadedReceiver : public Receiver {
 public:
  void start(ReceiverListener& listener) override {
    stop();
    stop_ = false;
    listener_ = &listener;
    running_ = true;
    thread_ = std::thread([this, &listener] {
      run(listener);
      running_ = false;
    });
  }

  void stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 protected:
  virtual void run(ReceiverListener& listener) = 0;
  // Whether run() has not returned yet: it ends by itself on trouble.
  bool running() const { return running_; }
  // Starts again, told to the listener of the last start.
  void restart() {
    if (listener_ != nullptr) start(*listener_);
  }

  std::atomic<bool> stop_{false};

 private:
  ReceiverListener* listener_ = nullptr;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace tavimor::radio
