#!/usr/bin/env bash
# Installs the Debian package on this machine with apt-get, runs the
# installed program as root (a split through its window, then the exit
# button), and purges the package: nothing of it may stay behind, neither
# in its folders nor a lock file. It changes the system, so it runs only as
# root, in CI or with SQS_SYSTEM_INSTALL_TEST=1, and never where squashslice
# is installed already.
# Usage: system_install_test.sh BUILD_DIR      (exit 77: skipped)
set -euo pipefail
build=$1
skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root"
[ "${CI:-}" = true ] || [ "${SQS_SYSTEM_INSTALL_TEST:-}" = 1 ] || skip "changes the system: set SQS_SYSTEM_INSTALL_TEST=1"
for tool in apt-get xvfb-run xdotool; do command -v "$tool" >/dev/null || skip "$tool is missing"; done
if dpkg-query -W -f='${Status}' squashslice 2>/dev/null | grep -q "installed"; then
  skip "squashslice is installed on this machine"
fi
work=$(mktemp -d)
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=300 "$@" >>"$work/apt.log" 2>&1; }
cleanup() { apt_get purge squashslice || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/apt.log" ] && tail -20 "$work/apt.log"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null) || fail "cpack"
deb=$(ls "$work"/out/*.deb | head -1)
dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | sed 's|/$||' | grep -v '^$' > "$work/files"
apt_get install --no-install-recommends "$deb" || fail "apt-get install"

/usr/bin/squashslice --version | grep -q "^squashslice " || fail "squashslice --version"
head -c 1500000 /dev/urandom > "$work/data.bin"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
unset XDG_RUNTIME_DIR   # the lock goes to a private folder in /tmp
mkdir -p "$HOME"
lock=${TMPDIR:-/tmp}/squashslice-0/squashslice-0-$(printf %s /usr/lib/squashslice/squashslice | sha1sum | cut -c1-16).lock
cat > "$work/drive.sh" <<DRIVE
/usr/bin/squashslice "$work/data.bin" & pid=\$!
for _ in \$(seq 50); do xdotool search --name '^Squashslice\$' >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
[ -e "$lock" ] && echo yes > "$work/locked"
xdotool mousemove 38 30 click 1     # 分割
for _ in \$(seq 50); do xdotool search --name '^作業確認\$' >/dev/null 2>&1 && break; sleep 0.2; done
sleep 0.5
xdotool key Return                  # yes to the question
for _ in \$(seq 50); do [ -f "$work/data.bin.bat" ] && break; sleep 0.2; done
sleep 1
xdotool mousemove 310 30 click 1    # 終了
wait \$pid
echo "exit \$?" > "$work/result"
DRIVE
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 800x600x24" bash "$work/drive.sh" >/dev/null 2>&1 || true
grep -q "exit 0" "$work/result" 2>/dev/null || fail "the installed program did not end through its exit button"
[ -f "$work/data.bin.bat" ] || fail "the installed program did not split"
[ -f "$work/locked" ] || fail "no lock at $lock while the program ran"
[ ! -e "$lock" ] || fail "the lock $lock stayed after the program ended"
grep -q "^OPTION5=OFF" "$XDG_CONFIG_HOME/squashslice/SQS.ini" || fail "root's settings are not in ~/.config/squashslice"
[ -z "$(ls -A /usr/lib/squashslice | grep -vxE 'squashslice|unlha32|libunlha32.so|installed')" ] \
  || fail "run as root, the installed copy wrote into /usr/lib/squashslice: $(ls -A /usr/lib/squashslice)"

apt_get purge squashslice || fail "apt-get purge"
dpkg-query -W squashslice >/dev/null 2>&1 && fail "dpkg still knows squashslice"
# Every path of the package is gone, except folders that other packages share.
while read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  [ -d "$path" ] && [ ! -L "$path" ] && dpkg-query -S "$path" >/dev/null 2>&1 && continue
  fail "$path is still there after the purge"
done < "$work/files"
echo "apt-get install, run as root, apt-get purge: nothing left behind"
