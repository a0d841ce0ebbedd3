#!/usr/bin/env bash
# Builds the step and runs it on the embedded demo installation (demo/installation),
# laid afresh under demo-run/, which is the demo's drive C:.
#
#   bash tools/demo.sh             with a display: the desktop window; otherwise at a
#                                  terminal: the window on the terminal, operated with keys
#                                  and the mouse (KORVEX_FRONTEND=window|terminal chooses)
#   bash tools/demo.sh --scripted  (or with neither a display nor a terminal) run the built-in
#                                  demonstration: refused copy, accepted copy, OK
#
# BUILD_DIR picks the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"

# The step opens the desktop window where a display is at hand, else the terminal window.
desktop=false
if [ "${KORVEX_FRONTEND:-}" != terminal ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  desktop=true
fi
[ "${KORVEX_FRONTEND:-}" = window ] && desktop=true
scripted=false
case "${1:-}" in
  --scripted) scripted=true ;;
  "") $desktop || [ -t 0 ] || scripted=true ;;
  *)
    echo "usage: bash tools/demo.sh [--scripted]" >&2
    exit 2
    ;;
esac

bash tools/deps.sh

# Only the executable is needed here; the tests are built by tools/test.sh.
build="${BUILD_DIR:-build}"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
echo "Building Start_Config in $build/ ..."
if ! { cmake -S . -B "$build" >"$log" 2>&1 &&
  cmake --build "$build" -j"$(nproc)" --target Start_Config >>"$log" 2>&1; }; then
  cat "$log" >&2
  echo "The build failed; see above." >&2
  exit 1
fi

# A fresh copy of the demo every time: drive C: of the demo is demo-run/.
run="$repo/demo-run"
rm -rf "$run"
mkdir -p "$run"
cp -R demo/installation/. "$run/"
cp "$build/bin/Start_Config" "$run/Korvex/Start/Start_Config"

export KORVEX_DRIVES="C=$run"
exe="$run/Korvex/Start/Start_Config"
# shellcheck disable=SC1003  # the backslashes are meant: Windows paths for the step
args=('/EXTERNAL=KVXCFG' '/LOGFILE=C:\Korvex\KVXcfglog.txt' '/SOURCEPATH=C:\Setup\')
shown="$(printf " \\\\\n    '%s'" "${args[@]}")"  # one argument a line, to fit 80 columns

cat <<EOF

The demo installation lies in demo-run/, which is drive C: of the step:
  C:\\Korvex                          the installation: Filler, Capper, Labeler;
                                     monitor 1024; VisiWin
  C:\\Korvex\\Start\\Start_Config       the step, beside the logos of Tarvel & Co,
                                     Acme and Nordpack
  C:\\SaveRestore\\Copy_2025_Line1     a copy of the same three machines
                                     (accepted)
  C:\\SaveRestore\\Copy_2019_OtherLine a copy of another line (refused: its
                                     machines differ)
  C:\\SaveRestore\\Copy_VWStudio       a copy made with VWStudio (no Korvex.mdb:
                                     OK stays disabled)
  C:\\Setup\\                          the source folder: brand database and
                                     machine pictures
Started as the configuration tool starts it:
  Start_Config${shown}

EOF

status=0
if $scripted; then
  script="$repo/demo/demo.script"
  echo "Running the demonstration script demo/demo.script:"
  echo
  (cd "$run" && KORVEX_SCRIPT="$script" "$exe" "${args[@]}") || status=$?
elif $desktop; then
  cat <<'EOF'
The desktop window opens (mouse, touch or keyboard):
  click / tap      press, tick, pick         double-click  open a folder
  Tab / Shift-Tab  move from field to field  Enter / Space press the focused one
  F1               help mode on and off      Esc / Alt+F4  close (asks first)
Try it: in the folder list "Pfad Save and Restore" open C:\SaveRestore, then
  Copy_2019_OtherLine   a copy of another line: refused
  Copy_VWStudio         a VWStudio copy: taken over, OK stays disabled
  Copy_2025_Line1       the matching copy: settings taken over, OK (the green
                        tick) enabled
adjust what you like, then press OK to copy the files and write the settings,
or Cancel.
EOF
  (cd "$run" && "$exe" "${args[@]}") || status=$?
else
  cat <<'EOF'
The window opens on this terminal (80 x 24 characters at least; where the
window is larger than the terminal, the view follows the focus):
  Tab / Shift-Tab  move from field to field    Enter / Space  press, tick, open
  arrow keys       choose in lists, folders    Enter          open the folder
  F1               help mode on and off        Esc            close (asks first)
Try it: in the folder list "Pfad Save and Restore" open C:\SaveRestore, then
  Copy_2019_OtherLine   a copy of another line: refused
  Copy_VWStudio         a VWStudio copy: taken over, OK stays disabled
  Copy_2025_Line1       the matching copy: settings taken over, OK (the green
                        tick) enabled
adjust what you like, then press OK to copy the files and write the settings,
or Cancel.
The mouse works too where the terminal reports clicks.
EOF
  read -r -p "Press Enter to open the window ... " _ || true
  (cd "$run" && "$exe" "${args[@]}") || status=$?
fi

echo
case "$status" in
  0) echo "The step ended with status 0: OK has done its work." ;;
  1) echo "The step ended with status 1 (not started, an error answered No, or a"
     echo "script error)." ;;
  2) echo "The step ended with status 2: cancelled; the cancel mark is in kvxconfiguration.ini." ;;
  3) echo "The step ended with status 3: left with the window open; nothing more was written." ;;
  *) echo "The step ended with status $status." ;;
esac

show() {  # an INI file of the installation, CR LF shown as plain line ends
  local file="$run/Korvex/$1"
  [ -f "$file" ] || return 0
  echo
  printf -- '--- C:\\Korvex\\%s ---\n' "${1//\//\\}"
  tr -d '\r' <"$file"
}
listing() {  # the files of an installation folder with their sizes
  local folder="$run/Korvex/$1"
  echo
  printf -- '--- C:\\Korvex\\%s\\ ---\n' "$1"
  [ -d "$folder" ] || { echo "(missing)"; return 0; }
  find "$folder" -maxdepth 1 -type f ! -name '.*' -printf '%-34f %6s bytes\n' | sort
}

if [ "$status" -eq 0 ]; then
  echo "What the step wrote into the installation:"
  show parameter/Program.ini
  show TarvelPresets.ini
  show Start/Start.cfg
  show parameter/kvxconfiguration.ini
  listing program
  listing parameter
  listing standard
elif [ "$status" -eq 2 ]; then
  show parameter/kvxconfiguration.ini
fi
# The log option's value arrives in upper case, so the log may be KVXCFGLOG.TXT.
errorlog="$(find "$run/Korvex" -maxdepth 1 -iname 'KVXcfglog.txt' -printf '%f' -quit)"
[ -z "$errorlog" ] || show "$errorlog"

cat <<EOF

The demo lies in demo-run/ (drive C: of the step; git ignores it).
Again from a fresh copy:  bash tools/demo.sh   (or: bash tools/demo.sh --scripted)
Run the step again on this copy as it is now:
  cd demo-run && KORVEX_DRIVES="C=\$PWD" Korvex/Start/Start_Config${shown}
EOF
# The demonstration counts as passed only when OK has done its work.
if $scripted; then exit "$status"; fi
exit 0
