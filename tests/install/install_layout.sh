#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a user, a desktop
# and a C programmer will find there: the programs and where they look for
# the library, the library's SONAME links, pkg-config, the desktop entry and
# AppStream file (through their validators when present), the icons and the
# manual pages; the CUPS driver where CUPS looks for it; and the Debian
# package, which installs under /usr whatever the build's prefix.
#
# install_layout.sh BUILD SOURCE VERSION PIXMILL_VERSION APP_ID HAVE_CLI RPATH
#                   BINDIR LIBDIR INCLUDEDIR DATADIR MANDIR HAVE_CUPS
set -uo pipefail
build=$1 source=$2 version=$3 pixmill_version=$4 app_id=$5 have_cli=$6 rpath=$7
bindir=$8 libdir=$9 includedir=${10} datadir=${11} mandir=${12} have_cups=${13}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
skip() { echo "skipped: $*"; }
need_file() { [ -f "$prefix/$1" ] || fail "$1 is not installed"; }

for d in "$bindir" "$libdir" "$includedir" "$datadir" "$mandir"; do
  case $d in /*) echo "skipped: an absolute install folder ($d) is outside the prefix checked here"; exit 0 ;; esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

# -- The programs, and how they find the library ------------------------------
[ -x "$prefix/$bindir/rastiv" ] || fail "$bindir/rastiv is not installed"
if [ "$have_cli" = 1 ]; then
  [ -x "$prefix/$bindir/rastiv-cli" ] || fail "$bindir/rastiv-cli is not installed"
  need_file "$mandir/man1/rastiv-cli.1.gz"
fi
programs=(rastiv)
[ "$have_cli" = 1 ] && programs+=(rastiv-cli)
# The printer application, when this build has it (it needs libpappl-dev).
if [ -x "$build/bin/rastiv-printer" ]; then
  [ -x "$prefix/$bindir/rastiv-printer" ] || fail "$bindir/rastiv-printer is not installed"
  need_file "$mandir/man1/rastiv-printer.1.gz"
  need_file lib/systemd/system/rastiv-printer.service
  programs+=(rastiv-printer)
fi
for program in "${programs[@]}"; do
  [ -f "$prefix/$bindir/$program" ] || continue
  runpath=$(readelf -d "$prefix/$bindir/$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [ "$runpath" = "$rpath" ] || fail "$program's run path is '$runpath', not '$rpath'"
  if [ -n "$runpath" ]; then
    [ -e "${runpath/\$ORIGIN/$prefix/$bindir}/libpixmill.so.1" ] || fail "$program's run path $runpath has no libpixmill.so.1"
  fi
done
# Help and version need neither a display nor the library.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/$bindir/rastiv" --version 2>&1) ||
  fail "installed rastiv --version failed: $out"
[ "$out" = "Rastiv $version" ] || fail "installed rastiv --version says '$out'"

# -- The library: the real file, its SONAME link and the development link -----
lib=$prefix/$libdir
real=libpixmill.so.$pixmill_version
[ -f "$lib/$real" ] && [ ! -L "$lib/$real" ] || fail "$libdir/$real is not a file"
[ "$(readlink "$lib/libpixmill.so.1")" = "$real" ] || fail "libpixmill.so.1 does not link to $real"
[ "$(readlink "$lib/libpixmill.so")" = libpixmill.so.1 ] || fail "libpixmill.so does not link to libpixmill.so.1"
soname=$(readelf -d "$lib/$real" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libpixmill.so.1 ] || fail "the library's SONAME is '$soname'"
need_file "$includedir/pixmill/pixmill.h"

# -- pkg-config, and a C program built and run against the installation -------
export PKG_CONFIG_PATH=$lib/pkgconfig
if ! command -v pkg-config >/dev/null; then
  skip "pkg-config is missing (Debian package pkg-config)"
elif ! flags=$(pkg-config --cflags --libs pixmill 2>&1); then
  fail "pkg-config --cflags --libs pixmill: $flags"
else
  [ "$(pkg-config --modversion pixmill)" = "$pixmill_version" ] || fail "pixmill.pc's version is not $pixmill_version"
  for want in "-I$prefix/$includedir" "-L$lib" -lpixmill; do
    case " $flags " in *" $want "*) ;; *) fail "pixmill.pc gives '$flags', without $want" ;; esac
  done
  cat >"$work/use.c" <<'C'
#include <pixmill/pixmill.h>
#include <stdio.h>
int main(int argc, char** argv) {
    FILE* f = fopen(argv[argc - 1], "wb");
    if (!f || fputs("BM", f) < 0 || fclose(f) != 0) return 2;
    return IsBitmap(argv[argc - 1]) == 1 && PIXMILL_VERSION_MAJOR == 1 ? 0 : 1;
}
C
  # shellcheck disable=SC2086  # the flags are words
  if ! cc -std=c99 -Wall -Werror ${RASTIV_TEST_CFLAGS:-} "$work/use.c" -o "$work/use" $flags -Wl,-rpath,"$lib" \
      2>"$work/cc.log"; then
    fail "a C program does not build against the installation: $(cat "$work/cc.log")"
  elif ! "$work/use" "$work/start.bmp"; then
    fail "a C program built against the installation does not run"
  fi
fi

# -- Help, desktop entry, AppStream, icons, manual pages ----------------------
share=$prefix/$datadir
need_file "$datadir/rastiv/help/index.html"
desktop=$share/applications/$app_id.desktop
metainfo=$share/metainfo/$app_id.metainfo.xml
need_file "$datadir/applications/$app_id.desktop"
need_file "$datadir/metainfo/$app_id.metainfo.xml"
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
else
  skip "desktop-file-validate is missing (Debian package desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
  out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
else
  skip "appstreamcli is missing (Debian package appstream)"
fi
grep -q "^Exec=rastiv %f$" "$desktop" || fail "the desktop entry does not start rastiv with the file"
grep -q "^Icon=$app_id$" "$desktop" || fail "the desktop entry's icon is not $app_id"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$release" = "$version" ] || fail "the AppStream file's newest release is '$release', not $version"

icons=$share/icons/hicolor
need_file "$datadir/icons/hicolor/scalable/apps/$app_id.svg"
for size in 48 128 256; do
  png=$icons/${size}x$size/apps/$app_id.png
  if [ ! -f "$png" ]; then fail "no $size px icon"; continue; fi
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
  [ "$w $h" = "$size $size" ] || fail "the $size px icon is $w x $h"
done

need_file "$mandir/man1/rastiv.1.gz"
for page in rastiv rastiv-cli; do
  src=$source/docs/man/$page.1
  head -n 1 "$src" | grep -q "\"Rastiv $version\"" || fail "$page.1 is not marked Rastiv $version"
  if command -v groff >/dev/null; then
    out=$(groff -man -ww -z "$src" 2>&1)
    [ -z "$out" ] || fail "groff warns about $page.1: $out"
  fi
done

# -- The CUPS driver: filter, backend (run as root: others may not run it), PPD
if [ "$have_cups" = 1 ]; then
  [ "$(stat -c %a "$prefix/lib/cups/backend/tintarex" 2>/dev/null)" = 700 ] ||
    fail "lib/cups/backend/tintarex is not installed with mode 0700"
  need_file "$datadir/ppd/rastiv/tintarex.ppd"
  out=$(cupstestppd -I filters "$share/ppd/rastiv/tintarex.ppd" 2>&1) || [ $? = 127 ] || fail "cupstestppd: $out"
  # The filter finds the library it links from where it is installed.
  missing=$(ldd "$prefix/lib/cups/filter/rastertotintarex" 2>&1 | grep "not found\|No such") &&
    fail "the installed filter does not run: $missing"
fi

# -- The Debian package installs under /usr -----------------------------------
if ! command -v cpack >/dev/null || ! command -v dpkg-deb >/dev/null; then
  skip "cpack or dpkg-deb is missing: the Debian package is not checked"
elif ! (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg") >"$work/cpack.log" 2>&1; then
  fail "cpack -G DEB: $(tail -n 5 "$work/cpack.log")"
else
  contents=$(dpkg-deb -c "$work"/pkg/*.deb | awk '{ print $1, $6 }')
  grep -q ' ./usr/local' <<<"$contents" && fail "the package installs into /usr/local"
  if [ "$have_cups" = 1 ]; then
    grep -q '^-rwx------ ./usr/lib/cups/backend/tintarex$' <<<"$contents" ||
      fail "the package has no /usr/lib/cups/backend/tintarex of mode 0700"
    dpkg-deb -f "$work"/pkg/*.deb Recommends | grep -qw cups || fail "the package does not recommend cups"
  fi
  if [ -x "$build/bin/rastiv-printer" ]; then
    grep -q ' ./usr/bin/rastiv-printer$' <<<"$contents" || fail "the package has no /usr/bin/rastiv-printer"
    grep -q ' ./usr/lib/systemd/system/rastiv-printer.service$' <<<"$contents" ||
      fail "the package has no systemd unit for rastiv-printer"
    # Installed, not enabled: no maintainer script starts or enables it.
    dpkg-deb -e "$work"/pkg/*.deb "$work/control"
    grep -qs 'systemctl\|deb-systemd' "$work"/control/* && fail "the package enables rastiv-printer"
  fi
fi

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "installation layout as expected under $prefix"
