# Reading the emulated machine's log (tools/emulated-machine --log): sourced by
# scripts/emulated-checks and scripts/wine-checks, which define $work (NAME.log
# files live there) and fail().

# The value of a summary key in NAME's log.
summary() {
  sed -n '/^summary:$/,$p' "$work/$1.log" | sed -n "s/^$2: //p"
}

expect_summary() {  # expect_summary NAME KEY VALUE
  local got
  got=$(summary "$1" "$2")
  [ "$got" = "$3" ] || fail "$1: $2 is '$got', expected '$3'"
}

# The loader on 1-1's view of each transfer in order: length and erase, w<addr>,
# r<addr> (request), g<addr> (reply), leave; FAILED for one the loader failed
# (scripted, or unplugged), REJECTED for one it refused.
transfer_sequence() {
  sed -n -e 's/^1-1 #[0-9]* \(SET\|GET\) len=\([0-9]*\) .*\(FAILED\|UNPLUGGED\): .*/\2 FAILED/p' \
    -e 's/^1-1 #[0-9]* \(SET\|GET\) len=\([0-9]*\) id=00 .*\(erase\|write addr=0x\|read-request addr=0x\|read-reply addr=0x\|leave-isp\)\([0-9a-f]*\).*/\2 \3\4/p' \
    -e 's/^1-1 #[0-9]* *REJECTED: .*/REJECTED/p' "$work/$1.log" |
    sed 's/write addr=0x/w/; s/read-request addr=0x/r/; s/read-reply addr=0x/g/'
}

# NAME's transfers against $work/NAME.expected.
expect_sequence() {
  if ! diff -q "$work/$1.expected" <(transfer_sequence "$1") >/dev/null; then
    fail "$1: the transfers differ from the expected sequence (first difference below)"
    diff "$work/$1.expected" <(transfer_sequence "$1") | head -n 4 >&2 || true
  fi
}

blocks() {  # blocks LENGTH FIRST LAST PREFIX...: one line per block and prefix
  local k p
  for ((k = $2; k <= $3; k++)); do
    for p in "${@:4}"; do printf '%s %s%04x\n' "$1" "$p" $((k * 32)); done
  done
}
