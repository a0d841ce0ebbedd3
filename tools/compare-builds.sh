#!/usr/bin/env bash
# Runs two builds of the step on the same scripts and compares what they do,
# byte for byte: standard output, standard error, exit status and every file
# left in the tree (contents, kind, mode, size, link target).
#
#   bash tools/compare-builds.sh BASE_EXE NEW_EXE [SCRIPT ...]
#
# Each script runs, with each executable, on a fresh copy of the demo
# installation (demo/installation, drive C:) laid at the same place, started as
# tools/demo.sh starts it. Without scripts: the demo's script and every script
# of the fuzz corpus (tests/fuzz/corpus_script). Exits 1 when any run differs.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: bash tools/compare-builds.sh BASE_EXE NEW_EXE [SCRIPT ...]" >&2; exit 2; }
repo="$(cd "$(dirname "$0")/.." && pwd)"
base="$(realpath "$1")" new="$(realpath "$2")"
shift 2
scripts=("$@")
[ ${#scripts[@]} -gt 0 ] || scripts=("$repo/demo/demo.script" "$repo"/tests/fuzz/corpus_script/*)

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
run="$work/run"  # the same path for both builds: nothing differs but the executable
args=('/EXTERNAL=KVXCFG' '/LOGFILE=C:\Korvex\KVXcfglog.txt' '/SOURCEPATH=C:\Setup\')

# One run: the tree, the transcript and the status land in $work/$2.
run_one() {  # exe side script
  local exe=$1 side=$2 script=$3 status=0
  rm -rf "$run" "$work/$side"
  mkdir -p "$run" "$work/$side"
  cp -R "$repo/demo/installation/." "$run/"
  cp "$exe" "$run/Korvex/Start/Start_Config"
  (cd "$run" && env -i PATH=/usr/bin:/bin HOME="$work" USERNAME=Installer LANG=C.UTF-8 \
    KORVEX_DRIVES="C=$run" KORVEX_SCRIPT="$script" Korvex/Start/Start_Config "${args[@]}" \
    >"$work/$side/stdout" 2>"$work/$side/stderr" </dev/null) || status=$?
  echo "$status" >"$work/$side/status"
  # The executable itself differs by design; everything else is compared.
  rm "$run/Korvex/Start/Start_Config"
  (cd "$run" && find . -mindepth 1 -printf '%P %y %m %s %l\n' | LC_ALL=C sort) >"$work/$side/listing"
  mv "$run" "$work/$side/tree"
}

differing=0
for script in "${scripts[@]}"; do
  script="$(realpath "$script")"
  run_one "$base" base "$script"
  run_one "$new" new "$script"
  if diff -r --no-dereference "$work/base" "$work/new" >"$work/diff" 2>&1; then
    echo "identical  status $(cat "$work/base/status")  ${script#"$repo"/}"
  else
    echo "DIFFERENT  ${script#"$repo"/}"
    head -40 "$work/diff"
    differing=$((differing + 1))
  fi
done
echo "${#scripts[@]} scripts, $differing differing"
[ "$differing" -eq 0 ]
