#!/bin/sh
# check_kernel_symbols.sh FILE... - fails when kernel objects (or static libraries of them) hold
# code of a vector instruction set compiled outside that set's region, where it silently gets the
# baseline instructions. Every function named after a set's code (a template instantiated with
# an avx2:: type, a library algorithm given an avx2:: lambda) must live in a set's namespace; a
# set's code may call no function of its own object outside the sets (a shared helper the
# compiler kept out of line); no function outside the sets may use 256- or 512-bit registers (a
# target written by hand). Each FILE must also hold code of every vector set.
set -eu
sets='avx2 avx512'
inset='(^|::)(avx2|avx512)::'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# Demangled names with "(anonymous namespace)" shortened, so that a scope ends at ( or <.
short() { sed 's/(anonymous namespace)/anon/g'; }

check_object() {  # check_object OBJECT LABEL
  nm -C --defined-only "$1" | awk '$2 ~ /^[TtWw]$/ { $1 = ""; $2 = ""; print }' |
    sed 's/^ *//' | short >"$work/names"
  cat "$work/names" >>"$work/all"
  bad=$(grep -E '\b(avx2|avx512)::' "$work/names" |
    awk -v inset="$inset" '{ s = $0; sub(/[(<].*/, "", s); if (s !~ inset) print }' || true)
  if [ -n "$bad" ]; then
    echo "$2: code of a vector set compiled outside its region (baseline instructions):" >&2
    printf '%s\n' "$bad" | sed 's/^/  /' >&2
    status=1
  fi
  objdump -dr -C --no-show-raw-insn "$1" | short >"$work/dis"
  found=$(awk -v inset="$inset" -v names="$work/names" '
    BEGIN { while ((getline n < names) > 0) defined[n] = 1 }
    function scope(s) { sub(/[(<].*/, "", s); return s }
    /^[0-9a-f]+ <.*>:$/ { name = $0; sub(/^[0-9a-f]+ </, "", name); sub(/>:$/, "", name);
                          own = scope(name) ~ inset; next }
    /%[yz]mm/ && !own && !(name in wide) { wide[name] = 1; print "wide\t" name }
    own {
      callee = ""
      if ($0 ~ /R_X86_64_(PLT|PC)32/) {
        callee = $0; sub(/.*R_X86_64_[A-Z0-9]+[ \t]+/, "", callee); sub(/-0x[0-9a-f]+$/, "", callee)
      } else if ($0 ~ /(call|jmp)[a-z]* +[0-9a-f]+ <.*>$/) {
        callee = $0; sub(/^[^<]*</, "", callee); sub(/>$/, "", callee); sub(/\+0x[0-9a-f]+$/, "", callee)
      }
      if (callee != "" && callee != name && (callee in defined) && scope(callee) !~ inset &&
          !(callee in seen)) { seen[callee] = 1; print "call\t" callee "   (from " name ")" }
    }' "$work/dis")
  if printf '%s\n' "$found" | grep -q '^call'; then
    echo "$2: a set's code calls shared code kept out of line (baseline instructions):" >&2
    printf '%s\n' "$found" | sed -n 's/^call\t/  /p' >&2
    status=1
  fi
  if printf '%s\n' "$found" | grep -q '^wide'; then
    echo "$2: vector instructions outside every set's region (a target written by hand?):" >&2
    printf '%s\n' "$found" | sed -n 's/^wide\t/  /p' >&2
    status=1
  fi
}

for file in "$@"; do
  : >"$work/all"
  case "$file" in
    *.a)
      rm -rf "$work/ar" && mkdir "$work/ar"
      archive=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
      (cd "$work/ar" && ar x "$archive")
      for object in "$work"/ar/*.o; do check_object "$object" "$file($(basename "$object"))"; done
      ;;
    *) check_object "$file" "$file" ;;
  esac
  for set in $sets; do
    if ! grep -Eq "(^|::)$set::" "$work/all"; then
      echo "$file: no function of the $set set" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "every vector set's code is inside its region in: $*"
exit "$status"
