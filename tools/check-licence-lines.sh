#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Lists the source files, tracked or new, whose first lines do not name their licence with an
# SPDX-License-Identifier line, and fails if there is one. Documents, images, test data and the
# licence texts are exempt; the AppStream metadata is under FSFAP, as AppStream asks.
#
# Usage: tools/check-licence-lines.sh   (make lint runs it)
set -eu
cd "$(dirname "$0")/.."

missing=0
files=$(git ls-files --cached --others --exclude-standard -- . ':!:*.md' ':!:*.png' ':!:COPYING' \
  ':!:fuzz/corpus/' ':!:tests/data/' ':!:packaging/changelog' ':!:packaging/copyright')
for file in $files; do
  [ -f "$file" ] || continue
  case $file in
    *.metainfo.xml*) licence=FSFAP ;;
    *) licence=GPL-3.0-or-later ;;
  esac
  if ! head -n 3 "$file" | grep -qE "SPDX-License-Identifier: $licence( |$)"; then
    echo "$file: no \"SPDX-License-Identifier: $licence\" in its first lines" >&2
    missing=$((missing + 1))
  fi
done
[ "$missing" -eq 0 ] || { echo "check-licence-lines: $missing files without their licence line" >&2; exit 1; }
