#!/bin/sh
# Checks that two builds of morvaleth-compose write the same bytes for the
# same seed over a spread of texts, sizes, pictures and both modes: what an
# optimisation of the engine must keep.
#
#   bench/same-output.sh OLD/bin/morvaleth-compose NEW/bin/morvaleth-compose
set -eu

old=$1
new=$2
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$(dirname "$new")/morvaleth-bench-compose" --write-text="$work/long.txt" 2>/dev/null ||
    cat "$here"/examples/letter-sjis.txt "$here"/examples/letter-sjis.txt > "$work/long.txt"
tr -d '\r' < "$work/long.txt" > "$work/line.txt"

failed=0
count=0
check() {
    count=$((count + 1))
    "$old" "$@" -o "$work/old.bmp" 2>"$work/old.err" || true
    "$new" "$@" -o "$work/new.bmp" 2>"$work/new.err" || true
    if ! cmp -s "$work/old.bmp" "$work/new.bmp" || ! cmp -s "$work/old.err" "$work/new.err"; then
        echo "differs: $*"
        failed=1
    fi
}

for real in "" "--real"; do
    for seed in 0 1 77 4294967295; do
        for text in letter-sjis.txt letter-utf8.txt letter-ascii.txt; do
            check "$here/examples/$text" --seed "$seed" $real
        done
        for size in 1 2 3 9 13 20 57 200 1500; do
            check "$here/examples/letter-sjis.txt" --seed "$seed" -s "$size" $real
        done
        check "$here/examples/letter-sjis.txt" --seed "$seed" -W 641 -H 97 $real
        check "$here/examples/letter-sjis.txt" --seed "$seed" -W 50 -H 50 -s 31 $real
        check "$here/examples/letter-sjis.txt" --seed "$seed" -W 0 -H 480 $real
        check "$work/line.txt" --seed "$seed" -W 300 -H 200 $real
        check "$work/line.txt" --seed "$seed" -W 700 -H 500 -f "ＭＳ 明朝" $real
    done
    check "$work/long.txt" --seed 20240601 -W 4000 -H 4000 $real
done

if [ "$failed" -ne 0 ]; then
    echo "same-output: some pictures differ"
    exit 1
fi
echo "same-output: all $count pictures are byte for byte the same"
