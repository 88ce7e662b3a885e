// Measures the monitor against its performance budgets and prints the table. Without
// arguments it is the driver; with "--figure NAME" it measures one figure in this process.
#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "driver.h"
#include "figures.h"

namespace tavimor::bench {
namespace {

int runFigureHere(int argc, char* argv[]) {
  const std::string figure = argv[2];
  if (figure == "decode") return measureDecodeThroughput();

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavimor"));
  QApplication::setDesktopFileName(QStringLiteral("tavimor"));
  if (figure == "window") return measureWindowThroughput();
  if (figure == "latency") return measureLatency();
  if (figure == "idle") return holdIdleWindow();
  if (figure == "startup" && argc > 3) {
    return measureStartup(std::chrono::nanoseconds(std::stoll(argv[3])));
  }
  std::cerr << "unknown figure " << figure << '\n';
  return EXIT_FAILURE;
}

}  // namespace
}  // namespace tavimor::bench

int main(int argc, char* argv[]) {
  if (argc > 2 && std::string(argv[1]) == "--figure") {
    return tavimor::bench::runFigureHere(argc, argv);
  }
  try {
    return tavimor::bench::runDriver();
  } catch (const std::exception& error) {
    std::cerr << "benchmark failed: " << error.what() << '\n';
    return EXIT_FAILURE;
  }
}
