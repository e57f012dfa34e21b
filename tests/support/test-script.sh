# What the test scripts share; sourced after setting test_name, the name their
# messages begin with. Gives a scratch folder removed at the end, fail, and
# need, which ends the test as skipped (77) unless every tool named is
# installed.
scratch=$(realpath "$(mktemp -d)")
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "$test_name: $*" >&2
    exit 1
}

need() {
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "$test_name: skipped: no $tool"
            exit 77
        fi
    done
}
