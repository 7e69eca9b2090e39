#!/bin/sh
# run_fuzz.sh TARGET SEEDS [libFuzzer options...]: runs the fuzz target from the seed folder,
# with what it finds going into a temporary folder that is removed afterwards.
set -eu
target=$1
seeds=$2
shift 2
new=$(mktemp -d "${TMPDIR:-/tmp}/rv-fuzz.XXXXXX")
trap 'rm -rf "$new"' EXIT
"$target" "$@" "$new" "$seeds"
