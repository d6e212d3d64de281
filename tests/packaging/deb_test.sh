#!/usr/bin/env bash
# Builds the Debian package and checks its dependencies, its files, and
# that every library the program needs resolves from a throw-away root.
# Usage: deb_test.sh BUILD_DIR      (exit 77: a needed tool is missing)
set -euo pipefail
build=$1
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null) || fail "cpack"
deb=$(ls "$work"/out/*.deb | head -1)
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-noto-cjk; do
  echo "$depends" | grep -q "$dep" || fail "Depends lacks $dep: $depends"
done
dpkg-deb -c "$deb" > "$work/list"
for f in ./usr/lib/squashslice/squashslice ./usr/lib/squashslice/libunlha32.so ./usr/lib/squashslice/unlha32 \
         ./usr/bin/squashslice ./usr/share/applications/squashslice.desktop \
         ./usr/share/icons/hicolor/48x48/apps/squashslice.png ./usr/share/man/man1/unlha32.1; do
  grep -q " $f" "$work/list" || fail "$f is not in the package"
done
dpkg-deb -x "$deb" "$work/root"
for binary in squashslice unlha32 libunlha32.so; do
  if ldd "$work/root/usr/lib/squashslice/$binary" | grep -q "not found"; then
    ldd "$work/root/usr/lib/squashslice/$binary"; fail "$binary has unresolved libraries"
  fi
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/squashslice.desktop" || fail "desktop entry"
fi
echo "package $(basename "$deb"): ok"
