#!/usr/bin/env bash
# Checks of the Debian package, one per CTest test (see CMakeLists.txt):
#   package_test.sh CHECK SCRATCH
# "build" makes the package with cpack and unpacks it with dpkg-deb into
# SCRATCH/root; every other check looks at that package and runs what is in
# it, never the build tree's programs. Environment: PACKAGE_BUILD_DIR (the
# build folder), PACKAGE_EXPECTED_FILES (the package's file list),
# LZX_REAL_CORPUS (the real-world ZORV files). Exit 77 means skipped.
set -euo pipefail

check=${1:?usage: package_test.sh CHECK SCRATCH}
scratch=${2:?usage: package_test.sh CHECK SCRATCH}
root=$scratch/root
app_id=com.velmarch.OrvelloLauncher
desktop_file=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml

source "$(dirname "${BASH_SOURCE[0]}")/test_helpers.sh"

# The one package that the build check made.
package_file() {
  local debs=("$scratch"/deb/orvello-launcher_*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no package in $scratch/deb: package.build did not run or failed"
  printf '%s\n' "${debs[0]}"
}

# Width and height of a PNG, from its IHDR chunk (bytes 16 to 23, big-endian).
png_size() {
  local b
  read -r -a b < <(od -An -tu1 -j16 -N8 "$1")
  printf '%dx%d\n' $(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3])) \
                   $(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))
}

# A key of a desktop entry's main group (not of its actions); the file
# defaults to the launcher's entry.
desktop_key() { sed -n "/^\[Desktop Entry\]/,/^\[/s/^$1=//p" "${2:-$desktop_file}"; }

# A man page as plain text on one line, so that no message is split by a line break.
rendered_page() { LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$root/usr/share/man/$1" | tr -s '[:space:]' ' '; }

check_build() {
  need cpack dpkg-deb dpkg-shlibdeps
  rm -rf "$scratch"
  mkdir -p "$scratch/deb" "$root"
  cpack -G DEB --config "$PACKAGE_BUILD_DIR/CPackConfig.cmake" -B "$scratch/deb" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack -G DEB could not make the package"; }
  local deb
  deb=$(package_file)
  dpkg-deb -x "$deb" "$root"
  echo "made and unpacked $(basename "$deb")"
}

check_contents() {
  need dpkg-deb readelf
  local deb
  deb=$(package_file)
  # Every file, and nothing from tools/, tests/, bench/, fuzz/ or the stand-in runtime.
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$scratch/files.txt"
  diff <(sort "$PACKAGE_EXPECTED_FILES") "$scratch/files.txt" ||
    fail "the package's files differ from $PACKAGE_EXPECTED_FILES (< expected, > in the package)"

  local depends lib
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libqt6core6 libqt6gui6 libqt6widgets6 libstdc++6 libc6; do
    [[ ", $depends," == *", $lib "* ]] || fail "Depends does not name $lib: $depends"
  done

  local launcher=$root/usr/bin/orvello-launcher zorv=$root/usr/bin/zorv
  [ -x "$launcher" ] && [ -x "$zorv" ] || fail "the programs are not executable"
  # An RPATH, not a RUNPATH: it serves the libraries' own dependencies too.
  local rpath
  rpath=$(readelf -d "$launcher" | sed -n 's/.*(RPATH).*\[\(.*\)\]$/\1/p')
  [ "$rpath" = '$ORIGIN/../lib' ] || fail "the launcher's RPATH is '$rpath', not \$ORIGIN/../lib"
  [[ $(readelf -d "$launcher") != *"(RUNPATH)"* ]] || fail "the launcher has a RUNPATH, which would hide its RPATH"
  if readelf -d "$zorv" | grep -E 'NEEDED.*libQt|RPATH|RUNPATH'; then
    fail "zorv must need nothing but the C++ standard library and no library path"
  fi

  local icon folder
  for icon in "$root"/usr/share/icons/hicolor/*/apps/$app_id.png; do
    folder=$(basename "$(dirname "$(dirname "$icon")")")
    [ "$(png_size "$icon")" = "$folder" ] || fail "$icon is $(png_size "$icon"), not $folder"
  done
}

check_documents() {
  need desktop-file-validate appstreamcli man
  local report
  report=$(desktop-file-validate "$desktop_file" 2>&1) || true
  [ -z "$report" ] || fail "desktop-file-validate: $report"
  [ "$(desktop_key Icon)" = "$app_id" ] || fail "the desktop entry's Icon is not $app_id"
  [ "$(desktop_key Categories)" = "Game;" ] || fail "the desktop entry's Categories are not Game;"
  [ -n "$(desktop_key Keywords)" ] || fail "the desktop entry has no Keywords"
  [ -x "$root/usr/bin/$(desktop_key Exec | cut -d' ' -f1)" ] || fail "the desktop entry's Exec is not an installed program"

  appstreamcli validate --pedantic --no-net "$metainfo" || fail "appstreamcli does not accept $metainfo"
  local element
  for element in "<id>$app_id</id>" "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" \
                 "<description>" "<screenshot " "<content_rating " "<release "; do
    grep -qF "$element" "$metainfo" || fail "the AppStream data lacks $element"
  done

  local page text warnings
  for page in man1/zorv.1.gz man6/orvello-launcher.6.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man -l $page warns: $warnings"
  done
  text=$(rendered_page man1/zorv.1.gz)
  for element in "SYNOPSIS" "EXAMPLES" "usage: zorv <in> <out>" "in: error" "out: error" "out of memory" \
                 "not ZORV (magic/version mismatch)" "table exceeds file" "decode failed rc=" \
                 "runs past its zone" "bad chunk size"; do
    [[ $text == *"$element"* ]] || fail "zorv(1) does not mention \"$element\""
  done
  text=$(rendered_page man6/orvello-launcher.6.gz)
  for element in "FILES" "ENVIRONMENT" "Orvello Launcher.ini" "last-command.txt" "~/Games" "XDG_CONFIG_HOME" "PATH" \
                 "--verify" "--repair" "manifest.sha256" "play-journal" "XDG_STATE_HOME" "orvello-run"; do
    [[ $text == *"$element"* ]] || fail "orvello-launcher(6) does not mention \"$element\""
  done

  local deb version
  deb=$(package_file)
  version=$(dpkg-deb -f "$deb" Version)
  zcat "$root/usr/share/doc/orvello-launcher/changelog.Debian.gz" | head -n1 | grep -qF "orvello-launcher ($version)" ||
    fail "the changelog's newest entry is not for version $version"
  grep -q '^Copyright: ' "$root/usr/share/doc/orvello-launcher/copyright" || fail "the copyright file names no copyright"
}

# The game's own entry starts the game without the window; the launcher's
# entry offers the same as its "Play" action. Both pass desktop-file-validate
# without a word.
check_entries() {
  need desktop-file-validate
  local game_entry=$root/usr/share/applications/com.velmarch.TessarineVandryLive.desktop report
  [ -f "$game_entry" ] || fail "the package has no game entry $game_entry"
  report=$(desktop-file-validate "$desktop_file" "$game_entry" 2>&1) || true
  [ -z "$report" ] || fail "desktop-file-validate: $report"
  [ "$(desktop_key Name "$game_entry")" = "Tessarine Vandry Live" ] || fail "the game entry's Name is not the game's"
  [ "$(desktop_key Exec "$game_entry")" = "orvello-launcher --play" ] || fail "the game entry does not run orvello-launcher --play"
  [ "$(desktop_key Categories "$game_entry")" = "Game;" ] || fail "the game entry's Categories are not Game;"
  local icon
  icon=$(desktop_key Icon "$game_entry")
  [ -f "$root/usr/share/icons/hicolor/256x256/apps/$icon.png" ] || fail "the game entry's icon $icon is not installed"
  [ "$(desktop_key Actions)" = "Play;" ] || fail "the launcher's entry has no Play action"
  [ "$(sed -n '/^\[Desktop Action Play\]/,/^\[/s/^Exec=//p' "$desktop_file")" = "orvello-launcher --play" ] ||
    fail "the launcher's Play action does not run orvello-launcher --play"

  # The entry's command, run from the package on a home with the stand-in
  # game, starts the game in its own place and ends when it does.
  local home=$scratch/entry-home game exec_words
  game=$home/Games/TessarineVandryLive
  rm -rf "$home"
  mkdir -p "$game/gamedata" "$home/.config"
  "$PACKAGE_BUILD_DIR/tools/write-xex" 4E3D2C71 "$game/gamedata/default.xex"
  cp "$PACKAGE_BUILD_DIR"/standin/{tessarine,libkynruntime.so,libkyngpu-xenos.so} "$game/"
  read -r -a exec_words <<<"$(desktop_key Exec "$game_entry")"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    TESSARINE_STANDIN_SECONDS=0 "$root/usr/bin/${exec_words[0]}" "${exec_words[@]:1}" >"$scratch/entry.log" 2>&1 ||
    { cat "$scratch/entry.log"; fail "the game entry's command failed"; }
  grep -q '^arg=--gpu_plugin=xenos$' "$game/logs/game.log" || fail "the game entry's command did not start the game"
  echo "the game entry started the stand-in game: $(grep '^pid=' "$game/logs/game.log")"
}

check_lintian() {
  need lintian
  lintian --fail-on error,warning "$(package_file)" || fail "lintian reports errors or warnings (above)"
}

check_zorv() {
  local corpus=${LZX_REAL_CORPUS:-}
  local name=multi-zoned-textures.zorv
  [ -f "$corpus/$name" ] && [ -f "$corpus/corpus.tsv" ] ||
    skip "the real-world corpus ($corpus) is not there"
  local expected out=$scratch/zorv-out.bin message
  expected=$(awk -F'\t' -v f="$name" '$1 == f { print $3 }' "$corpus/corpus.tsv")
  [ -n "$expected" ] || fail "corpus.tsv has no digest for $name"
  message=$("$root/usr/bin/zorv" "$corpus/$name" "$out" 2>&1) || fail "the unpacked zorv failed with exit $?: $message"
  [[ $message == "3 segment(s), "*", zoned: "*" -> 1300531 bytes" ]] || fail "unexpected message: $message"
  [ "$(sha256sum <"$out" | cut -d' ' -f1)" = "$expected" ] || fail "the decoded content of $name differs from corpus.tsv"
  echo "unpacked zorv: $message"
}

check_launcher() {
  need xvfb-run xdotool xprop
  local program
  program=$(desktop_key Exec | cut -d' ' -f1)
  [ -x "$root/usr/bin/$program" ] || fail "the desktop entry's Exec ($program) is not in the package's /usr/bin"
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" launcher-window "$scratch" "$root/usr/bin/$program"
}

# Runs inside Xvfb: starts the unpacked launcher in a scratch home and waits
# for its window; the window must belong to that process and carry the class
# that the desktop entry names, and the icon in the window sizes (X11 carries
# them up to 128 px; larger ones come from the icon theme).
launcher_window() {
  local launcher=$1 home=$scratch/home
  rm -rf "$home"
  mkdir -p "$home/.config"
  # A runtime folder of its own: a launcher the user (or another test) runs
  # would otherwise answer on the single-instance socket, and this one would
  # hand over to it and end.
  mkdir -m 700 "$home/runtime"
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/runtime PATH=/usr/bin:/bin QT_QPA_PLATFORM=xcb \
    "$launcher" >"$scratch/launcher.log" 2>&1 &
  launcher_pid=$!
  trap 'kill "$launcher_pid" 2>/dev/null || true' EXIT
  local pid=$launcher_pid window=
  local deadline=$((SECONDS + 60))
  until window=$(xdotool search --onlyvisible --pid "$pid" --name '^Orvello Launcher$' 2>/dev/null | head -n1) &&
      [ -n "$window" ]; do
    kill -0 "$pid" 2>/dev/null || { cat "$scratch/launcher.log"; fail "the unpacked launcher ended before its window showed"; }
    [ $SECONDS -lt $deadline ] || fail "no window titled \"Orvello Launcher\" within 60 s"
    sleep 0.2
  done
  [ "$(readlink -f "/proc/$pid/exe")" = "$(readlink -f "$launcher")" ] || fail "the window's process is not $launcher"

  local wm_class wm_class_wanted
  wm_class=$(xprop -id "$window" WM_CLASS)
  wm_class_wanted=$(desktop_key StartupWMClass)
  [[ $wm_class == *"\"$wm_class_wanted\""* ]] ||
    fail "the window's $wm_class does not match the desktop entry's StartupWMClass=$wm_class_wanted"
  local icons size
  icons=$(xprop -id "$window" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' || true)
  for size in 16 32 48 64 128; do
    [[ $icons == *"Icon ($size x $size)"* ]] || fail "the window icon has no $size px image"
  done
  echo "window $window of the unpacked launcher (pid $pid) showed; $wm_class"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

if [ "$(id -u)" -ne 0 ]; then
  skip "the package test runs only as root (./test run as root builds and checks the package)"
fi
case "$check" in
  build) check_build ;;
  contents) check_contents ;;
  documents) check_documents ;;
  entries) check_entries ;;
  lintian) check_lintian ;;
  zorv) check_zorv ;;
  launcher) check_launcher ;;
  launcher-window) launcher_window "$3" ;;
  *) fail "unknown check $check" ;;
esac
