#!/usr/bin/env bash
# Builds the Debian package and checks its dependencies and files, the
# manual pages, the AppStream metadata (when appstreamcli is present), the
# MIME types of the desktop entry, the file-manager actions, that every
# library the program needs resolves from a throw-away root, and that
# lintian (when present) reports no error and no warning beyond the ones
# listed below.
# Usage: deb_test.sh BUILD_DIR      (exit 77: a needed tool is missing)
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null) || fail "cpack"
deb=$(ls "$work"/out/*.deb | head -1)

# Dependencies: computed shared libraries (libqt6gui6 holds the X11 platform plugin), a Japanese font.
depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends" | grep -qF qt6-qpa-plugins && fail "Depends on qt6-qpa-plugins (only VNC and TUIO plugins): $depends"
for dep in "libqt6widgets6 (>=" "libqt6gui6 (>=" "libqt6core6 (>=" "libc6 (>=" \
           "fonts-noto-cjk | fonts-ipaexfont-gothic | fonts-ipafont-gothic | fonts-vlgothic"; do
  echo "$depends" | grep -qF "$dep" || fail "Depends lacks $dep: $depends"
done
dpkg-deb -f "$deb" Recommends | grep -qF qt6-wayland || fail "Recommends lacks qt6-wayland (sessions without XWayland)"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no extended description"
dpkg-deb -f "$deb" Maintainer | grep -qE '^[^<]+ <[^@ ]+@[a-z0-9.-]+\.[a-z]+>$' || fail "maintainer address"

dpkg-deb -c "$deb" > "$work/list"
for f in ./usr/lib/squashslice/squashslice ./usr/lib/squashslice/libunlha32.so ./usr/lib/squashslice/unlha32 \
         ./usr/lib/squashslice/installed ./usr/bin/squashslice ./usr/bin/unlha32 \
         ./usr/share/applications/squashslice.desktop ./usr/share/icons/hicolor/48x48/apps/squashslice.png \
         ./usr/share/man/man1/squashslice.1.gz ./usr/share/man/man1/unlha32.1.gz \
         ./usr/share/man/ja/man1/squashslice.1.gz ./usr/share/man/ja/man1/unlha32.1.gz \
         ./usr/share/kio/servicemenus/squashslice.desktop \
         ./usr/share/nemo/actions/squashslice.nemo_action ./usr/share/doc/squashslice/copyright \
         ./usr/share/doc/squashslice/changelog.Debian.gz; do
  grep -q " $f\$\| $f ->" "$work/list" || fail "$f is not in the package"
done
root=$work/root
dpkg-deb -x "$deb" "$root"
for binary in squashslice unlha32 libunlha32.so; do
  if ldd "$root/usr/lib/squashslice/$binary" | grep -q "not found"; then
    ldd "$root/usr/lib/squashslice/$binary"; fail "$binary has unresolved libraries"
  fi
  file "$root/usr/lib/squashslice/$binary" | grep -q ", stripped" || fail "$binary is not stripped"
done
gzip -t "$root/usr/share/doc/squashslice/changelog.Debian.gz" || fail "changelog"
zcat "$root/usr/share/doc/squashslice/changelog.Debian.gz" | head -1 | grep -qF "($(dpkg-deb -f "$deb" Version))" \
  || fail "the changelog does not name the package version"
grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" \
  "$root/usr/share/doc/squashslice/copyright" || fail "copyright is not machine-readable"

# Manual pages: compressed, rendered without warnings, covering what they must.
render() {   # hyphens and minus signs read as "-"
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$1" 2>"$work/man-warnings" | col -bx | sed 's/‐/-/g; s/−/-/g'
}
render "$root/usr/share/man/man1/squashslice.1.gz" > "$work/man-en"
[ ! -s "$work/man-warnings" ] || fail "squashslice(1): $(cat "$work/man-warnings")"
render "$root/usr/share/man/ja/man1/squashslice.1.gz" > "$work/man-ja"
# groff cannot break Japanese lines without blanks; anything else is a fault.
grep -vE "can't break line|cannot adjust line" "$work/man-warnings" && fail "squashslice(1) in Japanese warns"
for topic in "--help" "--version" "SQS.ini" "~/.config/squashslice/SQS.ini" OPTION1 OPTION2 OPTION3 OPTION4 OPTION5 \
             "cat NAME.001 NAME.002" "NAME.bat" "XDG_RUNTIME_DIR"; do
  grep -qF -- "$topic" "$work/man-en" || fail "squashslice(1) does not cover $topic"
done
for topic in "--help" "--version" "SQS.ini" "~/.config/squashslice/SQS.ini" OPTION1 OPTION5 "分割したファイルを元に戻す" \
             "cat 名前.001 名前.002" "名前.bat" "【圧縮→分割】時に作業確認をしない"; do
  grep -qF -- "$topic" "$work/man-ja" || fail "squashslice(1) in Japanese does not cover $topic"
done
render "$root/usr/share/man/ja/man1/unlha32.1.gz" > "$work/man-ja-unlha32"
grep -vE "can't break line|cannot adjust line" "$work/man-warnings" && fail "unlha32(1) in Japanese warns"
for topic in "--threads" "-jo1" "--null" "--exclude" "-c1" "@-" "基準フォルダ" "自己解凍書庫" "分割した書庫" "安全な展開" \
             "標準入力と標準出力" "終了ステータス"; do
  grep -qF -- "$topic" "$work/man-ja-unlha32" || fail "unlha32(1) in Japanese does not cover $topic"
done

# The desktop entry opens LZH archives, any file and any folder.
entry=$root/usr/share/applications/squashslice.desktop
mimetypes=$(sed -n 's/^MimeType=//p' "$entry")
for type in application/x-lha application/x-lzh-compressed application/octet-stream inode/directory; do
  [[ ";$mimetypes" == *";$type;"* ]] || fail "MimeType lacks $type: $mimetypes"
done
grep -qx "Exec=squashslice %F" "$entry" || fail "the desktop entry does not pass the files"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "desktop entry"
fi

# File-manager actions: each runs the program on the selected files.
menu=$root/usr/share/kio/servicemenus/squashslice.desktop
grep -qx "Type=Service" "$menu" && grep -qx "X-KDE-ServiceTypes=KonqPopupMenu/Plugin" "$menu" \
  && grep -qx "MimeType=all/all;" "$menu" || fail "the Dolphin service menu is not a context-menu service for every file"
action=$(sed -n 's/^Actions=\([^;]*\);.*/\1/p' "$menu")
sed -n "/^\[Desktop Action $action\]/,/^\[/p" "$menu" | grep -qx "Exec=squashslice %F" \
  || fail "the Dolphin action $action does not open the selected files"
nemo=$root/usr/share/nemo/actions/squashslice.nemo_action
for line in "[Nemo Action]" "Exec=squashslice %F" "Selection=notnone" "Extensions=any;" "Quote=double"; do
  grep -qxF "$line" "$nemo" || fail "the Nemo action lacks $line"
done
[ "$(readlink "$root/usr/bin/squashslice")" = ../lib/squashslice/squashslice ] || fail "/usr/bin/squashslice"

# AppStream metadata: valid, launches the desktop entry, shows screenshots from docs/.
metainfo=$(ls "$root"/usr/share/metainfo/*.metainfo.xml)
grep -q "<launchable type=\"desktop-id\">squashslice.desktop</launchable>" "$metainfo" || fail "metainfo launchable"
screenshots=$(grep -o "<image>[^<]*</image>" "$metainfo" | sed 's|.*/docs/\([^<]*\)</image>|\1|')
[ -n "$screenshots" ] || fail "metainfo has no screenshot"
for shot in $screenshots; do [ -f "$source_dir/docs/$shot" ] || fail "screenshot docs/$shot is missing"; done
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" > "$work/appstream" 2>&1 || { cat "$work/appstream"; fail "metainfo"; }
else
  echo "note: appstreamcli is missing; the metainfo was not validated"
fi

# lintian: no error; only the warnings explained here.
#   initial-upload-closes-no-bugs: the first entry of the changelog closes no
#   intent-to-package bug, as the package is not uploaded to Debian.
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" > "$work/lintian" 2>&1 || true
  if grep -E "^[EW]: " "$work/lintian" | grep -vE "^W: squashslice: initial-upload-closes-no-bugs "; then
    fail "lintian"
  fi
else
  echo "note: lintian is missing; the package was not checked by it"
fi
echo "package $(basename "$deb"): ok"
