#!/usr/bin/env bash
# scripts/run with arguments it must refuse: each case stops with its status and
# message, and no package tool, cmake or program is reached. Those are replaced
# by stand-ins that leave a mark, so "before the build" is checked by what ran,
# not by how long the script took.
set -u
run=${1:?usage: run_arguments_test.sh PATH/TO/scripts/run}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/stand-ins"
for tool in cmake dpkg-query apt-get sudo ctest; do
  printf '#!/bin/sh\necho "%s $*" >> "%s/reached"\nexit 1\n' "$tool" "$work" > "$work/stand-ins/$tool"
  chmod +x "$work/stand-ins/$tool"
done

failures=0
# expect STATUS STREAM TEXT [ENV...] -- ARGS...: the run ends with STATUS and TEXT on STREAM.
expect() {
  local status=$1 stream=$2 text=$3
  shift 3
  local env=()
  while [ "$1" != -- ]; do env+=("$1"); shift; done
  shift
  rm -f "$work/reached"
  env "${env[@]}" PATH="$work/stand-ins:$PATH" bash "$run" "$@" >"$work/out" 2>"$work/err" </dev/null
  local got=$?
  local what="scripts/run $*"
  if [ "$got" -ne "$status" ]; then
    echo "FAIL $what: status $got, expected $status"; failures=$((failures + 1))
  fi
  if ! grep -qF -- "$text" "$work/$stream"; then
    echo "FAIL $what: no \"$text\" on $stream; out: $(cat "$work/out"); err: $(cat "$work/err")"
    failures=$((failures + 1))
  fi
  if [ -e "$work/reached" ]; then
    echo "FAIL $what: went on to $(tr '\n' ';' < "$work/reached")"; failures=$((failures + 1))
  fi
}

display=(-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:99)
expect 0 out "usage: scripts/run" "${display[@]}" -- --help
expect 0 out "usage: scripts/run" "${display[@]}" -- -h
expect 2 err "unknown option --bogus" "${display[@]}" -- --bogus
expect 2 err "usage: scripts/run" "${display[@]}" -- -x
expect 2 err "usage: scripts/run" "${display[@]}" -- --usb /dev/null
expect 1 err "no device $work/ttyUSB7" "${display[@]}" -- "$work/ttyUSB7"
# Only a character device can be a port: an ordinary file, a folder or a link to either is refused.
touch "$work/capture.bin"
mkdir "$work/folder"
ln -s "$work/capture.bin" "$work/link-to-file"
for thing in "$work/capture.bin" "$work/folder" "$work/link-to-file"; do
  expect 1 err "$thing is not a serial device" "${display[@]}" -- "$thing"
done
expect 1 err "no display" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM --
expect 1 err "no display" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -- --usb
expect 1 err "no display" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -- /dev/null
# The usage and the device are answered whether or not there is a display.
expect 0 out "usage: scripts/run" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -- --help
expect 1 err "no device" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -- "$work/ttyUSB7"

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "every refusal came before the build"
