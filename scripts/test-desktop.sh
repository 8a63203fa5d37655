#!/bin/sh
# Desktop integration checked with the desktop's own tools.
# Usage: test-desktop.sh entry|mime|install|deb SOURCE_DIR BUILD_DIR
#   entry    desktop-file-validate on the desktop entry
#   mime     the MIME types through update-mime-database into a temporary folder, then the types
#            gio (shared-mime-info) names for the sample trek files and for look-alikes
#   install  cmake --install into a temporary prefix: every file in place, the manual found from
#            the installed programs, the installed program started offscreen on the sample data,
#            a second start handing its file over, .ptd files opened with the installed entry
#   deb      cpack -G DEB: the package's fields and files, unpacked and run
# Skips (exit 77) when a tool is missing. Every wait is bounded; what it starts it stops.
set -u
MODE="$1"
SRC="$2"
BUILD="$3"
SAMPLE="$BUILD/sample"
DIR=$(mktemp -d "${TMPDIR:-/tmp}/vantoria-desktop.XXXXXX") || exit 1
FIRST_PID=
cleanup() {
  if [ -n "$FIRST_PID" ]; then kill "$FIRST_PID" 2>/dev/null; wait "$FIRST_PID" 2>/dev/null; fi
  rm -rf "$DIR"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() { echo "FAIL: $*"; exit 1; }
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
  done
}
# The content type shared-mime-info gives FILE with the MIME database under $1 (and the system's).
mime_type() {
  XDG_DATA_HOME="$DIR/nohome" XDG_DATA_DIRS="$1:/usr/share" gio info -a standard::content-type "$2" 2>/dev/null |
    sed -n 's/^ *standard::content-type: //p'
}
expect_type() {  # DATA_DIR FILE TYPE
  got=$(mime_type "$1" "$2")
  [ "$got" = "$3" ] || fail "$(basename "$2") is '$got', expected '$3'"
  echo "ok: $(basename "$2") is $3"
}
# Runs the programs so that they never touch the user's settings or a running copy.
isolate() {
  export HOME="$DIR/home" XDG_CONFIG_HOME="$DIR/config" XDG_RUNTIME_DIR="$DIR/run" QT_QPA_PLATFORM=offscreen
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export VANTORIA_INSTANCE="$DIR/instance"
}
# about of vantoria-cli under PREFIX names the manual and the ReadMe in DOC_DIR.
check_about() {  # CLI DOC_DIR
  about=$("$1" about) || fail "vantoria-cli about failed"
  echo "$about"
  echo "$about" | grep -q "\"manual\": \"$2/Vantoria.html\"" || fail "manual not found in $2"
  echo "$about" | grep -q "\"readme\": \"$2/ReadMe.txt\"" || fail "ReadMe not found in $2"
}

case "$MODE" in
entry)
  need desktop-file-validate
  desktop-file-validate "$SRC/dist/vantoria.desktop" || fail "desktop entry"
  grep -q '^Exec=vantoria %F$' "$SRC/dist/vantoria.desktop" || fail "Exec must take the files (%F)"
  for key in 'Name\[ja\]' 'GenericName\[ja\]' 'Categories=.*Geography;.*Maps;' \
             'MimeType=application/x-vantoria-waypoints;application/x-vantoria-tracklog;'; do
    grep -q "^$key" "$SRC/dist/vantoria.desktop" || fail "no $key"
  done
  echo "ok: desktop entry"
  ;;
mime)
  need update-mime-database gio
  mkdir -p "$DIR/share/mime/packages"
  cp "$SRC/dist/vantoria-mime.xml" "$DIR/share/mime/packages/vantoria.xml"
  update-mime-database "$DIR/share/mime" || fail "update-mime-database"
  expect_type "$DIR/share" "$SAMPLE/treks/peaks.pmd" application/x-vantoria-waypoints
  expect_type "$DIR/share" "$SAMPLE/treks/tracks.ptd" application/x-vantoria-tracklog
  # Upper-case names, as files copied from the original program's media often have.
  cp "$SAMPLE/treks/tracks.ptd" "$DIR/TRACKS.PTD"
  expect_type "$DIR/share" "$DIR/TRACKS.PTD" application/x-vantoria-tracklog
  # A waypoint file under another name is still found by its signature.
  cp "$SAMPLE/treks/peaks.pmd" "$DIR/peaks.bin"
  case "$(mime_type "$DIR/share" "$DIR/peaks.bin")" in
    application/x-vantoria-*) echo "ok: signature without extension" ;;
    *) fail "signature not recognised" ;;
  esac
  # A PageMaker document (OLE storage) named .pmd stays one.
  printf '\320\317\021\340\241\261\032\341' > "$DIR/layout.pmd"
  head -c 1024 /dev/zero >> "$DIR/layout.pmd"
  [ "$(mime_type "$DIR/share" "$DIR/layout.pmd")" != application/x-vantoria-waypoints ] ||
    fail "a PageMaker .pmd taken for waypoints"
  echo "ok: PageMaker .pmd left alone"
  ;;
install)
  need cmake
  PREFIX="$DIR/prefix"
  cmake --install "$BUILD" --prefix "$PREFIX" >"$DIR/install.log" || { cat "$DIR/install.log"; fail "cmake --install"; }
  for f in bin/vantoria bin/vantoria-cli share/applications/vantoria.desktop share/mime/packages/vantoria.xml \
           share/icons/hicolor/scalable/apps/vantoria.svg share/vantoria/doc/Vantoria.html share/vantoria/doc/ReadMe.txt \
           share/man/man1/vantoria.1 share/man/man1/vantoria-cli.1; do
    [ -s "$PREFIX/$f" ] || fail "$f not installed"
  done
  for size in 16 22 24 32 48 64 128 256; do
    png="$PREFIX/share/icons/hicolor/${size}x${size}/apps/vantoria.png"
    [ -s "$png" ] || fail "icon $size not installed"
    # The PNG header holds width and height (4 bytes each, big-endian) at bytes 16..23.
    dims=$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')
    [ "$dims" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "icon $size is not ${size}x$size ($dims)"
  done
  echo "ok: files installed"
  if command -v groff >/dev/null; then
    for page in vantoria vantoria-cli; do
      warn=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$PREFIX/share/man/man1/$page.1" 2>&1)
      [ -z "$warn" ] || fail "man page $page: $warn"
    done
    echo "ok: man pages format without warnings"
  fi
  isolate
  # The manual and the ReadMe are found from the installed programs, not from the build folder.
  check_about "$PREFIX/bin/vantoria-cli" "$PREFIX/share/vantoria/doc"
  # The installed program starts on the sample data and ends by itself (screenshot aid).
  VANTORIA_SCREENSHOT="$DIR/shot.png" timeout 120 "$PREFIX/bin/vantoria" \
    "$SAMPLE/map25000/index.csv" "$SAMPLE/treks/peaks.pmd" "$SAMPLE/treks/tracks.ptd" ||
    fail "installed program did not run (status $?)"
  [ -s "$DIR/shot.png" ] || fail "installed program took no screenshot"
  echo "ok: installed program ran on the sample data"
  # A second start hands its file to the running program and ends at once.
  "$PREFIX/bin/vantoria" "$SAMPLE/map25000/index.csv" &
  FIRST_PID=$!
  i=0
  while [ ! -S "$VANTORIA_INSTANCE" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
  [ -S "$VANTORIA_INSTANCE" ] || fail "first program does not listen"
  timeout 60 "$PREFIX/bin/vantoria" "$SAMPLE/treks/tracks.ptd" || fail "second start did not hand over (status $?)"
  kill -0 "$FIRST_PID" 2>/dev/null || fail "first program ended"
  echo "ok: second start handed over"
  # A .ptd opens with the installed entry.
  if command -v update-mime-database >/dev/null && command -v update-desktop-database >/dev/null && command -v gio >/dev/null; then
    update-mime-database "$PREFIX/share/mime" >/dev/null 2>&1 || fail "update-mime-database"
    update-desktop-database "$PREFIX/share/applications" || fail "update-desktop-database"
    for type in application/x-vantoria-tracklog application/x-vantoria-waypoints; do
      # The entry tries its program on the path (TryExec).
      PATH="$PREFIX/bin:$PATH" XDG_DATA_HOME="$DIR/nohome" XDG_DATA_DIRS="$PREFIX/share:/usr/share" \
        gio mime "$type" >"$DIR/gio.txt" 2>&1
      grep -q 'vantoria.desktop' "$DIR/gio.txt" || { cat "$DIR/gio.txt"; fail "no application for $type"; }
    done
    echo "ok: trek files open with vantoria.desktop"
  fi
  ;;
deb)
  need cpack dpkg-deb dpkg-shlibdeps
  cpack --config "$BUILD/CPackConfig.cmake" -B "$DIR/out" >"$DIR/cpack.log" 2>&1 || { cat "$DIR/cpack.log"; fail "cpack"; }
  DEB=$(ls "$DIR"/out/vantoria_*.deb 2>/dev/null | head -n 1)
  [ -n "$DEB" ] || { cat "$DIR/cpack.log"; fail "no .deb written"; }
  dpkg-deb -I "$DEB" >"$DIR/info.txt" || fail "dpkg-deb -I"
  cat "$DIR/info.txt"
  for field in '^ Package: vantoria$' '^ Section: science$' '^ Maintainer: .*@' '^ Architecture: ' \
               '^ Depends: .*libqt6widgets6' '^ Depends: .*libtiff6' '^ Depends: .*qt6-qpa-plugins' '^ Description: '; do
    grep -q "$field" "$DIR/info.txt" || fail "control field $field"
  done
  dpkg-deb -c "$DEB" >"$DIR/files.txt" || fail "dpkg-deb -c"
  for f in ./usr/bin/vantoria ./usr/bin/vantoria-cli ./usr/share/applications/vantoria.desktop \
           ./usr/share/mime/packages/vantoria.xml ./usr/share/icons/hicolor/256x256/apps/vantoria.png \
           ./usr/share/vantoria/doc/Vantoria.html ./usr/share/man/man1/vantoria.1; do
    grep -q " $f\$" "$DIR/files.txt" || fail "$f not in the package"
  done
  echo "ok: package fields and files"
  dpkg-deb -x "$DEB" "$DIR/root" || fail "dpkg-deb -x"
  isolate
  check_about "$DIR/root/usr/bin/vantoria-cli" "$DIR/root/usr/share/vantoria/doc"
  ;;
*)
  echo "usage: $0 entry|mime|install|deb SOURCE_DIR BUILD_DIR"
  exit 2
  ;;
esac
exit 0
