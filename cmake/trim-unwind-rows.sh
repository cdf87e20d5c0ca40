#!/usr/bin/env bash
# Compiler launcher of the setup program's unit: compiles it as asked, but without the unwind
# rows of functions that no exception can pass through (4 KB).
#
# The assembler writes rows for every function. The compiler knows which functions need them (a
# handler or a cleanup, or a call that may throw), and writes only those when it writes the
# table itself, but then with wide fixed-size fields (10 KB more). So the unit is compiled
# twice: once with the assembler's rows, once with the compiler's own table; the first keeps the
# rows of exactly the functions the second has. The two compiles must give the same code:
# anything unexpected falls back to the first, whole, with a warning.
set -uo pipefail

out=
prev=
for arg in "$@"; do
    [ "$prev" = -o ] && out=$arg
    prev=$arg
done
[ -n "$out" ] || exec "$@"

# The arguments with -c turned into -S and the output into an assembly file (the dependency
# file still names the object).
compile_to() {
    local target=$1 a before=
    shift
    args=()
    for a in "$@"; do
        if [ "$before" = -o ]; then
            args+=("$target")
        elif [ "$a" = -c ]; then
            args+=(-S)
        else
            args+=("$a")
        fi
        before=$a
    done
}

rows=$out.rows.s
table=$out.table.s
trimmed=$out.trimmed.s
compile_to "$rows" "$@"
"${args[@]}" || exit
compile_to "$table" "$@"
"${args[@]}" -fno-dwarf2-cfi-asm -fno-asynchronous-unwind-tables || exit

# The code without its unwind information; the type tables' labels are numbered in another order.
code_of() {
    awk '/^\t\.section\t\.eh_frame/ { skip = 1; next }
         /^\t\.(section|text)/ { skip = 0 }
         skip || /^\t\.cfi_/ || /^LCFI[0-9]+:$/ { next }
         { gsub(/LDFCM[0-9]+/, "LDFCM"); print }' "$1"
}

trim() {
    cmp -s <(code_of "$rows") <(code_of "$table") || { echo "the two compiles' code differs"; return 1; }
    awk '
        FNR == NR {
            if ($0 ~ /^LFB[0-9]+:$/) functions++
            if ($0 ~ /^\t\.long\tLFB[0-9]+-\.$/) {
                label = $2; sub(/-\.$/, "", label)
                if (!(label in keep)) { keep[label] = 1; wanted++ }
            }
            next
        }
        /^LFB[0-9]+:$/ { label = $0; sub(/:$/, "", label); drop = !(label in keep); seen++; if (!drop) kept++ }
        drop && /^\t\.cfi_(personality|lsda)/ { print "a function with handlers has no table entry" > "/dev/stderr"; exit 1 }
        drop && /^\t\.cfi_/ { if ($0 ~ /^\t\.cfi_endproc/) drop = 0; next }
        { print }
        END { if (seen != functions || kept != wanted || seen == 0) { print "the two compiles name other functions" > "/dev/stderr"; exit 1 } }
    ' "$table" "$rows" > "$trimmed"
}

source=$rows
if reason=$(trim 2>&1); then
    source=$trimmed
else
    echo "trim-unwind-rows.sh: ${reason:-failed}; every function keeps its unwind rows" >&2
fi
"$1" -c -x assembler "$source" -o "$out" || exit
rm -f "$rows" "$table" "$trimmed"
