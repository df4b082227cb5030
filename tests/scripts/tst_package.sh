#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh made in BUILD_DIR, as a user's system
# would meet it: lintian finds no error or warning; the desktop entry and the AppStream data
# validate; the package holds every program with its manual page, the desktop entry, the
# icon at every size, the AppStream data, copyright and changelog; and each program, unpacked
# into a temporary folder, answers --version with the package's version before it opens any
# socket. Installs nothing into this machine's system.
#
#   tests/scripts/tst_package.sh [BUILD_DIR]      (default: build-package/)
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build-package}
app_id=org.lanscout.lanscout
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

debs=("$build"/lanscout_*.deb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: expected one lanscout_*.deb in $build (scripts/package.sh makes it)"
  exit 1
fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$(basename "$deb")" = "lanscout_${version}_${arch}.deb" ] ||
  fail "the package's file name $(basename "$deb")"
echo "checking $(basename "$deb")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root"

# Lintian: errors and warnings fail; its notes for information are shown.
lintian --allow-root --fail-on error,warning --display-info "$deb" >"$work/lintian.txt" 2>&1 ||
  fail "lintian: $(cat "$work/lintian.txt")"
grep -E '^[EWI]:' "$work/lintian.txt" | sed 's/^/  lintian /'

# Every file the package must hold.
expected=(
  usr/bin/lanScout usr/share/man/man1/lanScout.1.gz
  usr/bin/lanscout-devsim usr/share/man/man1/lanscout-devsim.1.gz
  "usr/share/applications/$app_id.desktop"
  "usr/share/metainfo/$app_id.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
  usr/share/doc/lanscout/copyright usr/share/doc/lanscout/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
# The command-line program, once the build has it.
if ninja -C "$build" -t targets all 2>/dev/null | grep -q '^lanscout-cli:'; then
  expected+=(usr/bin/lanscout-cli usr/share/man/man1/lanscout-cli.1.gz
    usr/share/bash-completion/completions/lanscout-cli usr/lib/systemd/system/lanscout-watch.service)
fi
# Every manual page of the source tree.
for page in "$top"/docs/man/*.[1-9]; do
  name=$(basename "$page")
  expected+=("usr/share/man/man${name##*.}/$name.gz")
done
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/contents.txt"
for f in $(printf '%s\n' "${expected[@]}" | sort -u); do
  grep -qxF "$f" "$work/contents.txt" || fail "dpkg-deb -c does not list $f"
done
outside=$(grep -v -E '^$|^usr/$|^usr/(bin|share)/|^usr/lib/$|^usr/lib/systemd/(system/)?' "$work/contents.txt" | tr '\n' ' ')
[ -z "$outside" ] || fail "files outside usr/bin, usr/share and systemd's units: $outside"

# The unit: systemd's own check, on the file only (nothing enabled or started); no maintainer
# script enables it.
unit="$root/usr/lib/systemd/system/lanscout-watch.service"
if [ -f "$unit" ]; then
  systemd-analyze verify "$unit" >"$work/unit.txt" 2>&1 || fail "systemd-analyze verify: $(cat "$work/unit.txt")"
  dpkg-deb -e "$deb" "$work/control"
  ! grep -qs systemctl "$work/control/postinst" || fail "the package enables or starts its unit"
fi

# The desktop entry: valid (hints aside), starting a program of the package and naming the
# icon the package holds.
desktop="$root/usr/share/applications/$app_id.desktop"
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" >"$work/desktop.txt" 2>&1 &&
    ! grep -v ': hint: ' "$work/desktop.txt" | grep -q . ||
    fail "desktop-file-validate: $(cat "$work/desktop.txt")"
  sed 's/^/  desktop-file-validate: /' "$work/desktop.txt"
  exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$root/usr/bin/$exec_program" ] ||
    fail "the desktop entry starts '$exec_program', which the package lacks"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ "$icon" = "$app_id" ] && [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "the desktop entry's icon '$icon' is not the package's"
fi

# The AppStream data: valid without a note, launching the desktop entry, with this version's
# release.
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.txt" 2>&1 &&
    ! grep -qE '^[EWIP]:' "$work/appstream.txt" ||
    fail "appstreamcli validate: $(cat "$work/appstream.txt")"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the AppStream data does not launch $app_id.desktop"
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" ||
    fail "the AppStream data has no release $version"
fi

# The programs as unpacked, each with --version, traced for sockets. They run in the private
# test network all the same (loopback only): should one go on past --version, it meets no
# network. The last run is the trace's own check: the simulator does open a socket.
cat >"$work/versions.sh" <<'EOF'
set -u
root=$1 work=$2
for program in "$root"/usr/bin/*; do
  name=$(basename "$program")
  timeout 10 strace -f -e trace=socket -o "$work/$name.trace" "$program" --version \
    >"$work/$name.out" 2>"$work/$name.err" </dev/null
  echo "$name $?"
done
timeout 10 strace -f -e trace=socket -o "$work/control.trace" "$root/usr/bin/lanscout-devsim" \
  --no-stdin --devices 1 --lifetime 1 >/dev/null 2>&1 </dev/null
EOF
"$top/testbed/run-in-testbed" --hosts 0 --timeout 60 -- bash "$work/versions.sh" "$root" "$work" \
  >"$work/versions.txt" || fail "the --version runs: $(cat "$work/versions.txt")"
for program in "$root"/usr/bin/*; do
  name=$(basename "$program")
  answer=$(head -n 1 "$work/$name.out" 2>/dev/null)
  status=$(sed -n "s/^$name //p" "$work/versions.txt")
  if [ "$status" != 0 ] || [ "$answer" != "$name $version" ]; then
    fail "$name --version: exit status '$status', answered '$answer', expected '$name $version'" \
      "$(cat "$work/$name.err" 2>/dev/null)"
  fi
  grep -q '+++ exited with 0 +++' "$work/$name.trace" 2>/dev/null || fail "$name --version: its end not traced"
  grep -q 'socket(' "$work/$name.trace" 2>/dev/null &&
    fail "$name --version opened a socket: $(grep 'socket(' "$work/$name.trace")"
  echo "$name --version: $answer"
done
grep -q 'socket(AF_INET' "$work/control.trace" 2>/dev/null ||
  fail "the trace saw no socket of the simulator's normal run: the check above proves nothing"

[ $failures = 0 ] && echo "all passed"
exit $((failures > 0))
