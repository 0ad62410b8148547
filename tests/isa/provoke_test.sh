#!/bin/sh
# provoke_test.sh CXX SOURCE_DIR WORK_DIR - compiles provoke.cpp as it stands and with each fault
# it can add, and fails unless the clean file passes and every fault is caught: the canary of
# isa_region_begin.h as a build error, the others by check_kernel_symbols.sh.
set -u
cxx=$1 src=$2 work=$3
here=$src/tests/isa
mkdir -p "$work"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
build() {  # build NAME [FLAG]: compiles into $work/NAME.o, messages in $work/NAME.log
  "$cxx" -std=c++20 -O2 -Wall -Wextra -Werror -ffp-contract=off -I"$src/src" ${2:-} \
    -c "$here/provoke.cpp" -o "$work/$1.o" >"$work/$1.log" 2>&1
}
check() { "$here/check_kernel_symbols.sh" "$work/$1.o" >"$work/$1.check" 2>&1; }

if ! build clean; then
  fail "the clean file does not build:"; cat "$work/clean.log" >&2
elif ! check clean; then
  fail "the clean file fails the check:"; cat "$work/clean.check" >&2
elif ! objdump -d -C "$work/clean.o" | awk '/^[0-9a-f]+ <.*>:$/ { f = /addEight/ && /(lambda|\$_)/ }
                                             f && /%ymm/ { found = 1 } END { exit !found }'; then
  fail "the lambda without a marker was not compiled for AVX2"
fi

if build early_end -DSHIMMERLY_PROVOKE_EARLY_END; then
  fail "a region whose target ends early builds"
elif ! grep -Eq 'isaCanary|attribute pop. with no matching' "$work/early_end.log"; then
  # GCC stops at the canary; clang already at the region's own pop, left without its push.
  fail "a region whose target ends early fails, but not at the canary:"; cat "$work/early_end.log" >&2
fi

for fault in SHARED_CALL:sharedHelper SHARED_TEMPLATE:sharedTemplate HAND_TARGET:handWritten; do
  name=${fault%%:*} culprit=${fault#*:}
  if ! build "$name" "-DSHIMMERLY_PROVOKE_$name"; then
    fail "$name does not build:"; cat "$work/$name.log" >&2
  elif check "$name"; then
    fail "$name passes the check"
  elif ! grep -q "$culprit" "$work/$name.check"; then
    fail "$name fails the check without naming $culprit:"; cat "$work/$name.check" >&2
  fi
done
[ "$failed" -eq 0 ] && echo "every provoked fault was caught"
exit "$failed"
