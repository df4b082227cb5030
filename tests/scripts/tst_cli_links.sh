#!/usr/bin/env bash
# lanscout-cli links neither QtGui nor QtWidgets: the libraries its binary asks the loader for.
#   tst_cli_links.sh OBJDUMP BINARY
set -euo pipefail
needed=$("$1" -p "$2" | awk '/NEEDED|DLL Name/ {print $NF}')
echo "$2 needs:" $needed
grep -q 'Qt5Core' <<<"$needed" || { echo "no Qt5Core among them: not the binary meant?"; exit 1; }
if grep -Eq 'Qt5(Gui|Widgets)' <<<"$needed"; then
  echo "lanscout-cli must not link QtGui or QtWidgets"
  exit 1
fi
