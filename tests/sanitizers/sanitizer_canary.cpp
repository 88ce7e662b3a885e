// SPDX-License-Identifier: GPL-3.0-or-later
// Makes one deliberate mistake of the kind named on the command line inside a running Qt
// program, so the suite can prove that the sanitizers and their suppressions still catch our
// own mistakes.
#include <QApplication>

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ui/display_fields.h"

namespace {

int leak() {
  auto* fields = new tavimor::DisplayFields;
  std::printf("leaked display fields at %p\n", static_cast<void*>(fields));
  return 0;
}

int heapOverflow(int index) {
  std::vector<int> values(4, 0);
  return values.data()[index];
}

int signedOverflow(int base) {
  return base + INT_MAX;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const char* mistake = argc > 1 ? argv[1] : "";
  if (std::strcmp(mistake, "leak") == 0) return leak();
  if (std::strcmp(mistake, "heap-overflow") == 0) return heapOverflow(argc + 2);
  if (std::strcmp(mistake, "signed-overflow") == 0) return signedOverflow(argc) == 0 ? 1 : 0;
  return 0;
}
