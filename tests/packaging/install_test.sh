#!/usr/bin/env bash
# Installs into a temporary prefix and checks the layout; starts the
# installed program under Xvfb with a file on its command line, splits it
# through the window and leaves through the exit button. The installed copy
# keeps its settings per user, never in its program folder (also as root),
# and removes its single-instance lock when it ends.
# Usage: install_test.sh BUILD_DIR      (exit 77: a needed tool is missing)
set -euo pipefail
build=$1
for tool in xvfb-run xdotool desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
for f in lib/squashslice/squashslice lib/squashslice/libunlha32.so lib/squashslice/unlha32 \
         lib/squashslice/installed share/applications/squashslice.desktop \
         share/man/man1/squashslice.1.gz share/man/man1/unlha32.1.gz share/man/ja/man1/squashslice.1.gz \
         share/man/ja/man1/unlha32.1.gz \
         share/bash-completion/completions/unlha32 share/zsh/vendor-completions/_unlha32 \
         share/fish/vendor_completions.d/unlha32.fish; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
for size in 16 24 32 48 64 128 256; do
  file "$prefix/share/icons/hicolor/${size}x${size}/apps/squashslice.png" | grep -q "${size} x ${size}" \
    || fail "icon ${size}x${size}"
done
for link in squashslice unlha32; do
  [ "$(readlink -f "$prefix/bin/$link")" = "$(readlink -f "$prefix/lib/squashslice/$link")" ] || fail "bin/$link"
done
desktop-file-validate "$prefix/share/applications/squashslice.desktop" || fail "desktop entry"
"$prefix/bin/unlha32" --help | grep -q "Exit status" || fail "unlha32 --help"

# The installed program, for real: list a file, split it, exit.
head -c 1500000 /dev/urandom > "$work/data.bin"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
cat > "$work/drive.sh" <<DRIVE
"$prefix/bin/squashslice" "$work/data.bin" & pid=\$!
for _ in \$(seq 50); do xdotool search --name '^Squashslice\$' >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
ls "$XDG_RUNTIME_DIR" > "$work/locks-while-running"
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
grep -q "exit 0" "$work/result" 2>/dev/null || fail "the program did not end through its exit button"
[ -f "$work/data.bin.002" ] && [ -f "$work/data.bin.bat" ] || fail "the listed file was not split"
grep -q "^OPTION5=OFF" "$XDG_CONFIG_HOME/squashslice/SQS.ini" || fail "the exit button saved no settings per user"
leftovers=$(ls -A "$prefix/lib/squashslice" | grep -vxE 'squashslice|unlha32|libunlha32.so|installed' || true)
[ -z "$leftovers" ] || fail "the installed copy wrote into its program folder: $leftovers"
grep -q "^squashslice-$(id -u)-.*\.lock$" "$work/locks-while-running" || fail "no lock in \$XDG_RUNTIME_DIR while running"
# Ours only: a desktop's session bus may keep its own there (dbus-1, at-spi).
ours=$(ls -A "$XDG_RUNTIME_DIR" | grep '^squashslice' || true)
[ -z "$ours" ] || fail "left in \$XDG_RUNTIME_DIR: $ours"
echo "install layout and installed program: ok"
