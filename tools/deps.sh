#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing (Debian): cmake, g++,
# GoogleTest, Qt 6 Widgets for the desktop window, tmux, in which the tests run the
# window on a terminal, the locale sources, from which a test builds a Latin-1
# locale in its own folder, xvfb and xdotool, in which they run the desktop window, with
# matchbox-window-manager for a run under a window manager, Qt's translations, from
# which the desktop window takes the toolkit's German words, ncursesw, on which the
# terminal window stands, and the terminfo entries beyond the basic ones (vt100,
# rxvt-unicode, putty, ...), on which its tests run it.
# Quiet when everything is there.
set -euo pipefail
missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
command -v tmux >/dev/null 2>&1 || missing+=(tmux)
[ -f /usr/share/i18n/charmaps/ISO-8859-1.gz ] || missing+=(locales)
[ -f /usr/lib/x86_64-linux-gnu/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake ] ||
  [ -n "$(find /usr/lib -path '*cmake/Qt6Widgets/Qt6WidgetsConfig.cmake' -print -quit 2>/dev/null)" ] ||
  missing+=(qt6-base-dev)
command -v Xvfb >/dev/null 2>&1 || missing+=(xvfb)
command -v xdotool >/dev/null 2>&1 || missing+=(xdotool)
command -v matchbox-window-manager >/dev/null 2>&1 || missing+=(matchbox-window-manager)
[ -f /usr/share/qt6/translations/qtbase_de.qm ] || missing+=(qt6-translations-l10n)
[ -f /usr/include/ncursesw/curses.h ] || missing+=(libncurses-dev)
[ -f /usr/share/terminfo/p/putty ] || missing+=(ncurses-term)
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing ${missing[*]} ..."
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
