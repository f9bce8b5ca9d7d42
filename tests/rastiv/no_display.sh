#!/usr/bin/env bash
# rastiv without a display: --help and --version still answer, and anything else ends in one line on
# standard error and status 1, never in Qt's abort.  Usage: no_display.sh RASTIV VERSION
set -uo pipefail
rastiv=$1 version=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs rastiv with no display named anywhere, plus the given variables; sets rc, out and err.
run() {
  local vars=()
  while [ $# -gt 0 ] && [[ $1 == *=* ]]; do vars+=("$1"); shift; done
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work" XDG_RUNTIME_DIR="$work" "${vars[@]}" \
    timeout 30 "$rastiv" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}
expect_refusal() {  # what, then the stderr line's pattern
  [ "$rc" = 1 ] || fail "$1: status $rc, not 1"
  [ -z "$out" ] || fail "$1: printed on standard output: $out"
  [ "$(wc -l <"$work/err")" = 1 ] || fail "$1: not one line on standard error: $err"
  [[ $err == $2 ]] || fail "$1: says '$err'"
}

run --version
[ "$rc" = 0 ] && [ "$out" = "Rastiv $version" ] && [ -z "$err" ] || fail "--version: status $rc, '$out', '$err'"
run --help
[ "$rc" = 0 ] && [[ $out == Usage:*"[file]"*"--version"* ]] && [ -z "$err" ] || fail "--help: status $rc, '$out', '$err'"
# Qt's own options (taken off the line only by QApplication) do not hide it.
run -platform offscreen --version
[ "$rc" = 0 ] && [ "$out" = "Rastiv $version" ] || fail "-platform offscreen --version: status $rc, '$out'"

line='rastiv: no display: set DISPLAY or run rastiv-cli for work without one'
run
expect_refusal "no display" "$line"
run "$work/picture.bmp"
expect_refusal "no display, with a file" "$line"

# A display named but out of reach, a platform plugin that does not exist: the same line with Qt's reason.
n=4093
while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
run DISPLAY=":$n"
expect_refusal "unreachable display :$n" "rastiv: no display (*:$n*): set DISPLAY or run rastiv-cli for work without one"
run QT_QPA_PLATFORM=rastiv-no-such-platform
expect_refusal "missing platform plugin" "rastiv: no display (*rastiv-no-such-platform*): set DISPLAY or run rastiv-cli*"

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "rastiv without a display behaves"
