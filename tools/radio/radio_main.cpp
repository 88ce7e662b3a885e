// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio: FM stations' RDS in the Tavimor monitor, on a port 5 of its own.
#include "tools/radio/radio_app.h"

int main(int argc, char* argv[]) {
  return tavimor::radio::runRadio(argc, argv);
}
