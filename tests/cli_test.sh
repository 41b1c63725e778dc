#!/bin/sh
# bmpglow's exit codes, help, version and usage errors, and the exact bytes
# of the sample's glow (SHA-256 recorded on x86-64: every target must match).
# QBG_EMULATOR, when set, is the command that runs target programs.
set -u
program=$1 sample=$2 expected_version=$3 expected_sha256=$4
bmpglow() { ${QBG_EMULATOR:-} "$program" "$@"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check NAME EXPECTED-STATUS COMMAND...
  name=$1 expected=$2
  shift 2
  "$@" >"$work/raw-stdout" 2>"$work/raw-stderr"
  status=$?
  # Windows ends lines with CR LF on a console in text mode.
  tr -d '\r' <"$work/raw-stdout" >"$work/stdout"
  tr -d '\r' <"$work/raw-stderr" >"$work/stderr"
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL $name: status $status, expected $expected" >&2
    cat "$work/stdout" "$work/stderr" >&2
    failures=$((failures + 1))
  fi
}
check glow 0 bmpglow "$sample" "$work/out.bmp"
grep -qx "Glow effect applied and saved to output.bmp" "$work/stdout" || { echo "FAIL glow line" >&2; failures=$((failures + 1)); }
sha256=$(sha256sum "$work/out.bmp" | cut -d' ' -f1)
[ "$sha256" = "$expected_sha256" ] || { echo "FAIL glow bytes: sha256 $sha256" >&2; failures=$((failures + 1)); }
check missing-input 1 bmpglow "$work/missing.bmp" "$work/out2.bmp"
grep -qx "Failed to open input file." "$work/stdout" || { echo "FAIL input line" >&2; failures=$((failures + 1)); }
check bad-output 1 bmpglow "$sample" "$work/no/such/dir.bmp"
check dash-dash 0 bmpglow -- "$sample" "$work/-out.bmp"
check help 0 bmpglow --help
grep -q "Usage: bmpglow" "$work/stdout" || { echo "FAIL help text" >&2; failures=$((failures + 1)); }
check version 0 bmpglow --version
grep -q "$expected_version" "$work/stdout" || { echo "FAIL version text" >&2; failures=$((failures + 1)); }
check no-args 2 bmpglow
grep -q "Usage: bmpglow" "$work/stderr" || { echo "FAIL usage on stderr" >&2; failures=$((failures + 1)); }
check one-arg 2 bmpglow "$sample"
check three-args 2 bmpglow a b c
check unknown-option 2 bmpglow --bright a b
check not-utf8 1 bmpglow "$(printf 'bad\377name')" "$work/out3.bmp"
# A file-size limit's SIGXFSZ does not end the program (POSIX builds): sent
# while bmpglow waits for a FIFO input, which then ends empty.
case $program in *.exe) ;; *)
  mkfifo "$work/slow.bmp"
  exec 3<>"$work/slow.bmp"
  ${QBG_EMULATOR:-} "$program" "$work/slow.bmp" "$work/out4.bmp" >/dev/null 2>&1 3>&- &
  pid=$!
  # bmpglow's own descriptor is read-only; the shell's, until it execs, reads and writes.
  until ls -l "/proc/$pid/fd" 2>/dev/null | grep -q '^lr-x.*slow\.bmp'; do sleep 0.05; done
  kill -XFSZ "$pid"
  exec 3>&-
  wait "$pid"
  status=$?
  [ "$status" -eq 1 ] || { echo "FAIL SIGXFSZ: status $status, expected 1" >&2; failures=$((failures + 1)); }
esac
[ "$failures" -eq 0 ] && echo "bmpglow: all checks passed"
exit "$failures"
