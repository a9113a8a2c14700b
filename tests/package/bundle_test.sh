#!/usr/bin/env bash
# Checks of the portable bundle, one per CTest test (see CMakeLists.txt):
#   bundle_test.sh CHECK SCRATCH
# "build" makes the bundle with cpack -G TGZ and unpacks it into SCRATCH;
# every other check looks at that bundle and runs what is in it.
#   build, libraries, plugins, desktop-entries   run as any user, on this machine
#   root, root-programs, root-offscreen, root-xvfb, root-wayland, root-import-play
#       run only as root: the bundle unpacked into a clean Debian 12 root
#       without Qt (clean_root.sh), as a new user would get it, and run there
#       by an ordinary user
# Environment: BUNDLE_BUILD_DIR (the build folder), BUNDLE_EXCLUDE_LIST
# (packaging/bundle/excludelist), BUNDLE_ROOT_CACHE (where the clean root is
# kept between runs), LZX_REAL_CORPUS (the real-world ZORV files). Exit 77
# means skipped.
set -euo pipefail

check=${1:?usage: bundle_test.sh CHECK SCRATCH}
scratch=${2:?usage: bundle_test.sh CHECK SCRATCH}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
app_id=com.velmarch.OrvelloLauncher
# A folder name with a space, as a player's download folder may have, so that
# every path through the bundle and its scripts is quoted right.
unpacked="$scratch/Downloaded Games"
# The oldest C library the bundle runs on (README, "Install"): Ubuntu
# 22.04's, one older than Debian 12's that it is built with.
glibc_baseline=2.35
# In the clean root: where the player unpacks the bundle, the player's home.
root_home=/home/player
root_work=$scratch/root-work
# The player's account there: an ordinary user, not root, so that nothing
# passes only because root may read and write anything.
player_uid=1000

source "$here/test_helpers.sh"

# The one tarball the build check made, and the folder it unpacked to.
tarball() {
  local files=("$scratch"/tgz/orvello-launcher-*-linux-x86_64.tar.gz)
  [ ${#files[@]} -eq 1 ] && [ -f "${files[0]}" ] || fail "no bundle in $scratch/tgz: bundle.build did not run or failed"
  printf '%s\n' "${files[0]}"
}
bundle_folder() {
  local folders=("$unpacked"/orvello-launcher-*)
  [ ${#folders[@]} -eq 1 ] && [ -d "${folders[0]}" ] || fail "no unpacked bundle in $unpacked: bundle.build did not run or failed"
  printf '%s\n' "${folders[0]}"
}

# The sonames the bundle leaves to the host.
excluded_names() { sed 's/#.*//; s/[[:space:]]//g; /^$/d' "$BUNDLE_EXCLUDE_LIST"; }

# Width and height of a PNG, from its IHDR chunk (bytes 16 to 23, big-endian).
png_size() {
  local b
  read -r -a b < <(od -An -tu1 -j16 -N8 "$1")
  printf '%dx%d\n' $(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3])) \
                   $(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))
}

# The bundle's file list below share/ and bin/, and its plugins: exactly these.
expected_layout() {
  cat <<'EOF'
bin/orvello-launcher
bin/orvello-run
bin/qt.conf
bin/zorv
install-desktop-entries
plugins/platforminputcontexts/libcomposeplatforminputcontextplugin.so
plugins/platforms/libqoffscreen.so
plugins/platforms/libqwayland-egl.so
plugins/platforms/libqwayland-generic.so
plugins/platforms/libqxcb.so
plugins/wayland-decoration-client/libbradient.so
plugins/wayland-graphics-integration-client/libqt-plugin-wayland-egl.so
plugins/wayland-shell-integration/libxdg-shell.so
plugins/xcbglintegrations/libqxcb-egl-integration.so
plugins/xcbglintegrations/libqxcb-glx-integration.so
share/applications/com.velmarch.OrvelloLauncher.desktop
share/applications/com.velmarch.TessarineVandryLive.desktop
share/icons/hicolor/128x128/apps/com.velmarch.OrvelloLauncher.png
share/icons/hicolor/256x256/apps/com.velmarch.OrvelloLauncher.png
share/icons/hicolor/48x48/apps/com.velmarch.OrvelloLauncher.png
share/icons/hicolor/512x512/apps/com.velmarch.OrvelloLauncher.png
share/icons/hicolor/64x64/apps/com.velmarch.OrvelloLauncher.png
share/man/man1/zorv.1.gz
share/man/man6/orvello-launcher.6.gz
share/metainfo/com.velmarch.OrvelloLauncher.metainfo.xml
uninstall-desktop-entries
EOF
}

check_build() {
  need cpack tar
  [ -f /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so ] ||
    skip "the bundle carries Qt's Wayland plugins: install qt6-wayland (tools/setup.sh lists it)"
  rm -rf "$scratch"
  mkdir -p "$scratch/tgz" "$unpacked"
  cpack -G TGZ --config "$BUNDLE_BUILD_DIR/CPackConfig.cmake" -B "$scratch/tgz" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack -G TGZ could not make the bundle"; }
  local file folder
  file=$(tarball)
  folder=$(basename "$file" -linux-x86_64.tar.gz)
  # One folder, orvello-launcher-<version>/, holds everything.
  local outside
  outside=$(tar -tzf "$file" | grep -v "^$folder/" || true)
  [ -z "$outside" ] || fail "the tarball has entries outside $folder/: $outside"
  tar -xzf "$file" -C "$unpacked"
  local bundle
  bundle=$(bundle_folder)
  # (The copyright files of the packages the libraries come from: see
  # check_libraries.)
  diff <(expected_layout) <(cd "$bundle" && find . -path ./lib -prune -o ! -type d -printf '%P\n' |
                             grep -v '^share/doc/' | sort) ||
    fail "the bundle's files differ from the expected layout (< expected, > in the bundle)"
  [ -x "$bundle/install-desktop-entries" ] && [ -x "$bundle/uninstall-desktop-entries" ] ||
    fail "the desktop-entry scripts are not executable"

  local compressed unpacked_bytes
  compressed=$(stat -c %s "$file")
  unpacked_bytes=$(du -sb "$bundle" | cut -f1)
  echo "made $(basename "$file"): $((compressed / 1000)) kB compressed, $((unpacked_bytes / 1000)) kB unpacked"
  du -sb "$bundle"/lib/libicu* "$bundle"/lib/libQt6* 2>/dev/null | sort -rn | head -n 8
  [ "$compressed" -lt 40000000 ] || fail "the bundle is $compressed bytes compressed, more than 40 MB"
}

# ldd's "name => path" lines for a file, "name => not found" included.
# (The path may hold spaces; "not found" becomes the path "not".)
resolved_names() {
  local name path
  ldd "$1" | sed -n -e 's/^[[:space:]]*\([^ ]*\) => not found$/\1 not/p' \
                    -e 's/^[[:space:]]*\([^ ]*\) => \(.*\) (0x[0-9a-f]*)$/\1 \2/p' |
    while read -r name path; do
      # The launcher's RPATH gives bin/../lib/...
      [ "$path" = not ] || path=$(realpath -ms -- "$path")
      printf '%s %s\n' "$name" "$path"
    done
}

# Every library a bundled file needs resolves to the bundle's own copy,
# except those the exclude list leaves to the host, which must come from the
# host. LD_LIBRARY_PATH stands for the launcher's RPATH when ldd looks at a
# plugin or library: the loader searches both before the system's folders.
check_resolution() {
  local bundle=$1 file=$2 name path
  while read -r name path; do
    [ "$path" != not ] || fail "$file needs $name, which resolves nowhere"
    if grep -qxF "$name" <<<"$excluded"; then
      [[ $path != "$bundle"/* ]] || fail "$file gets the excluded $name from the bundle"
    else
      [ "$path" = "$bundle/lib/$name" ] || fail "$file gets $name from $path, not from the bundle's lib/"
    fi
    printf '%s\n' "$name" >>"$scratch/needed.txt"
  done < <(LD_LIBRARY_PATH=$bundle/lib resolved_names "$file")
}

# The newest GLIBC_x.y symbol version an ELF file needs.
newest_glibc() { readelf -V --wide "$1" | { grep -o 'GLIBC_[0-9][0-9.]*' || true; } | sed 's/GLIBC_//' | sort -V | tail -n1; }

check_libraries() {
  need ldd readelf
  local bundle file
  bundle=$(bundle_folder)
  excluded=$(excluded_names)
  : >"$scratch/needed.txt"

  # The launcher finds the bundle's lib/ through an RPATH (not a RUNPATH),
  # which also serves the libraries and plugins loaded after it.
  local rpath
  rpath=$(readelf -d "$bundle/bin/orvello-launcher" | sed -n 's/.*(RPATH).*\[\(.*\)\]$/\1/p')
  [ "$rpath" = '$ORIGIN/../lib' ] || fail "the bundled launcher's RPATH is '$rpath', not \$ORIGIN/../lib"
  # Without LD_LIBRARY_PATH: the launcher's own RPATH must do it.
  while read -r name path; do
    grep -qxF "$name" <<<"$excluded" || [ "$path" = "$bundle/lib/$name" ] ||
      fail "the launcher gets $name from $path by its RPATH, not from the bundle"
  done < <(env -u LD_LIBRARY_PATH bash -c "$(declare -f resolved_names); resolved_names \"\$1\"" resolve \
             "$bundle/bin/orvello-launcher")

  local elf_files=()
  mapfile -t elf_files < <(find "$bundle/bin/orvello-launcher" "$bundle/lib" "$bundle/plugins" -type f -name '*' | sort)
  local newest=0 version
  for file in "${elf_files[@]}"; do
    check_resolution "$bundle" "$file"
    # A RUNPATH of its own would keep the launcher's RPATH from serving it.
    [[ $(readelf -d "$file") != *"(RUNPATH)"* ]] || fail "$file has a RUNPATH of its own"
    version=$(newest_glibc "$file")
    [ -z "$version" ] || [ "$(printf '%s\n' "$version" "$newest" | sort -V | tail -n1)" = "$newest" ] || newest=$version
  done
  [ "$(printf '%s\n' "$newest" "$glibc_baseline" | sort -V | tail -n1)" = "$glibc_baseline" ] ||
    fail "the bundle needs GLIBC_$newest, newer than the $glibc_baseline it promises"

  # Nothing the exclude list names is bundled, and nothing is bundled that
  # no bundled file needs.
  local name
  for file in "$bundle"/lib/*; do
    name=$(basename "$file")
    ! grep -qxF "$name" <<<"$excluded" || fail "the bundle carries the excluded $name"
    grep -qxF "$name" "$scratch/needed.txt" || fail "the bundle carries $name, which nothing needs"
  done
  # The copyright file of each package that a bundled library or plugin
  # comes from, as this machine's package database names it.
  local qt_plugins=/usr/lib/x86_64-linux-gnu/qt6/plugins package sources=()
  for file in "$bundle"/lib/*; do
    sources+=("/lib/x86_64-linux-gnu/$(basename "$file")")
  done
  for file in "$bundle"/plugins/*/*.so; do
    sources+=("$qt_plugins/${file#"$bundle"/plugins/}")
  done
  for file in "${sources[@]}"; do
    # Under /lib or /usr/lib, one folder since the merge of /usr.
    package=$(dpkg-query -S "$file" 2>/dev/null || dpkg-query -S "/usr$file" 2>/dev/null) ||
      fail "no package of this machine has $file"
    package=${package%%:*}
    cmp -s "$(realpath "/usr/share/doc/$package/copyright")" "$bundle/share/doc/$package/copyright" ||
      fail "the bundle lacks the copyright file of $package, which $file comes from"
  done
  cmp -s "$(dirname "$(dirname "$BUNDLE_EXCLUDE_LIST")")/debian/copyright" "$bundle/share/doc/orvello-launcher/copyright" ||
    fail "the bundle lacks Orvello Launcher's own copyright file"

  for program in zorv orvello-run; do
    ! readelf -d "$bundle/bin/$program" | grep -E 'NEEDED.*libQt|RPATH|RUNPATH' ||
      fail "$program must need nothing but the C++ standard library"
  done
  echo "$(ls "$bundle/lib" | wc -l) bundled libraries, all resolved inside the bundle; newest C library version needed: GLIBC_$newest"
}

# Starts the bundled launcher's window in the background (its pid in
# launcher_pid) and waits until it shows: until a second launcher hands over
# to it, which it answers only from its event loop, after the window was
# shown. Environment as for the launcher (QT_QPA_PLATFORM and the display).
start_window() {
  local bundle=$1 home=$2 log=$3
  rm -rf "$home"
  mkdir -p "$home/.config" "$home/runtime" "$(dirname "$log")"
  chmod 700 "$home/runtime"
  export HOME=$home XDG_CONFIG_HOME=$home/.config
  export XDG_RUNTIME_DIR=${WINDOW_RUNTIME_DIR:-$home/runtime}
  export QT_DEBUG_PLUGINS=1
  "$bundle/bin/orvello-launcher" >"$log" 2>&1 &
  launcher_pid=$!
  local deadline=$((SECONDS + 60))
  until compgen -G "$XDG_RUNTIME_DIR/orvello-launcher*.socket" >/dev/null; do
    kill -0 "$launcher_pid" 2>/dev/null || { cat "$log"; fail "the bundled launcher ended before its window showed"; }
    [ $SECONDS -lt $deadline ] || fail "the bundled launcher did not claim its socket within 60 s"
    sleep 0.1
  done
  QT_DEBUG_PLUGINS=0 "$bundle/bin/orvello-launcher" >"$log.second" 2>&1 ||
    { cat "$log" "$log.second"; fail "the second launcher was not handed over to the first's window"; }
  kill -0 "$launcher_pid" 2>/dev/null || fail "the first launcher ended"
}

# The platform plugin came from the bundle, and the process maps no second
# copy of a library the bundle carries and nothing of the host's Qt.
check_loaded_from_bundle() {
  local bundle=$1 pid=$2 log=$3 plugin=$4
  grep -qF "\"$bundle/plugins/platforms/$plugin\" loaded library" "$log" ||
    { grep -i 'loaded library\|cannot load' "$log" || true; fail "QT_DEBUG_PLUGINS=1 shows no $plugin loaded from the bundle"; }
  local path name bundled
  while read -r path; do
    [[ $path == "$bundle"/* ]] && continue
    [[ $path != *libQt6* && $path != */qt6/plugins/* ]] || fail "the launcher loaded the host's $path"
    name=$(basename "$path")
    for bundled in "$bundle"/lib/*; do
      [[ $name == "$(basename "$bundled")"* ]] && fail "the launcher loaded the host's $path beside the bundle's $(basename "$bundled")"
    done
  done < <(awk '$6 ~ /\.so/ { print $6 }' "/proc/$pid/maps" | sort -u)
  echo "window shown on $plugin from $bundle/plugins/platforms; $(awk '$6 ~ /\.so/ { print $6 }' "/proc/$pid/maps" | sort -u | grep -c "^$bundle/") libraries mapped from the bundle"
}

check_plugins() {
  local bundle
  bundle=$(bundle_folder)
  QT_QPA_PLATFORM=offscreen start_window "$bundle" "$scratch/plugins-home" "$scratch/plugins.log"
  trap 'kill "$launcher_pid" 2>/dev/null || true' EXIT
  check_loaded_from_bundle "$bundle" "$launcher_pid" "$scratch/plugins.log" libqoffscreen.so
}

# A key of a desktop entry's main group (not of its actions).
desktop_key() { sed -n "/^\[Desktop Entry\]/,/^\[/s/^$1=//p" "$2"; }

check_desktop_entries() {
  command -v desktop-file-validate >/dev/null || skip "desktop-file-validate is missing (desktop-file-utils)"
  local bundle home=$scratch/entries-home
  bundle=$(bundle_folder)
  rm -rf "$home"
  mkdir -p "$home"
  HOME=$home XDG_DATA_HOME= "$bundle/install-desktop-entries" >"$scratch/install-entries.log" 2>&1 ||
    { cat "$scratch/install-entries.log"; fail "install-desktop-entries failed"; }
  local data=$home/.local/share entry
  # Only the two entries and the icons, nothing else.
  diff <(printf '%s\n' applications/$app_id.desktop applications/com.velmarch.TessarineVandryLive.desktop \
           icons/hicolor/{128x128,256x256,48x48,512x512,64x64}/apps/$app_id.png | sort) \
       <(cd "$home" && find . ! -type d -printf '%P\n' | sed 's|^\.local/share/||' | sort) ||
    fail "install-desktop-entries wrote other files than the entries and icons (< expected, > written)"
  local report
  report=$(desktop-file-validate "$data"/applications/*.desktop 2>&1) || true
  [ -z "$report" ] || fail "desktop-file-validate: $report"
  # The folder holds a space: the program is quoted in Exec, plain in TryExec.
  local launcher=$bundle/bin/orvello-launcher
  for entry in "$data"/applications/*.desktop; do
    [ "$(desktop_key TryExec "$entry")" = "$launcher" ] || fail "$entry: TryExec is not $launcher"
  done
  [ "$(desktop_key Exec "$data/applications/$app_id.desktop")" = "\"$launcher\"" ] ||
    fail "the launcher's entry does not run \"$launcher\": $(desktop_key Exec "$data/applications/$app_id.desktop")"
  [ "$(desktop_key Exec "$data/applications/com.velmarch.TessarineVandryLive.desktop")" = "\"$launcher\" --play" ] ||
    fail "the game's entry does not run \"$launcher\" --play"
  [ "$(sed -n '/^\[Desktop Action Play\]/,/^\[/s/^Exec=//p' "$data/applications/$app_id.desktop")" = "\"$launcher\" --play" ] ||
    fail "the launcher entry's Play action does not run \"$launcher\" --play"
  cmp -s "$bundle/share/icons/hicolor/256x256/apps/$app_id.png" "$data/icons/hicolor/256x256/apps/$app_id.png" ||
    fail "the installed 256 px icon is not the bundle's"

  # An entry the player made (no bundle's mark) stays; everything else goes.
  HOME=$home XDG_DATA_HOME= "$bundle/uninstall-desktop-entries" >"$scratch/uninstall-entries.log" 2>&1 ||
    { cat "$scratch/uninstall-entries.log"; fail "uninstall-desktop-entries failed"; }
  local left
  left=$(cd "$home" && find . ! -type d)
  [ -z "$left" ] || fail "uninstall-desktop-entries left files behind: $left"
  cp "$bundle/share/applications/$app_id.desktop" "$data/applications/"
  HOME=$home XDG_DATA_HOME= "$bundle/uninstall-desktop-entries" >/dev/null
  [ -f "$data/applications/$app_id.desktop" ] || fail "uninstall-desktop-entries removed an entry it had not installed"
  echo "installed, validated and removed the entries for $launcher"
}

# --- The clean root -------------------------------------------------------

in_root() { CLEAN_ROOT_BIND=${CLEAN_ROOT_BIND:-} bash "$here/clean_root.sh" enter "$BUNDLE_ROOT_CACHE" "$root_work" "$@"; }

# A command in the root as the player would type it: the player's home, the
# root's own PATH, nothing of this machine's environment.
as_player() {
  local home=${player_home:-$root_home}
  in_root setpriv --reuid=$player_uid --regid=$player_uid --clear-groups env -i HOME="$home" XDG_CONFIG_HOME="$home/.config" PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 "$@"
}

# What the test puts into the root's files (from outside) belongs to the player.
give_to_player() { chown -R "$player_uid:$player_uid" "$@"; }

root_bundle() { printf '%s\n' "$root_home/Downloads/$(basename "$(tarball)" -linux-x86_64.tar.gz)"; }

check_root() {
  need debootstrap unshare chroot
  local file
  file=$(tarball)
  bash "$here/clean_root.sh" make "$BUNDLE_ROOT_CACHE"
  rm -rf "$root_work"
  # The player's account: the root has no useradd, so the two lines by hand.
  mkdir -p "$root_work/upper/etc" "$root_work/upper$root_home/Downloads"
  { cat "$BUNDLE_ROOT_CACHE/etc/passwd"; echo "player:x:$player_uid:$player_uid:Player:$root_home:/bin/bash"; } \
    >"$root_work/upper/etc/passwd"
  { cat "$BUNDLE_ROOT_CACHE/etc/group"; echo "player:x:$player_uid:"; } >"$root_work/upper/etc/group"
  cp "$file" "$root_work/upper$root_home/Downloads/"
  give_to_player "$root_work/upper$root_home"
  # The root has no Qt. (It has ICU, which Mesa's LLVM needs through
  # libxml2: the window checks see that the launcher maps the bundle's copy.)
  local found
  found=$(in_root find / -xdev -name 'libQt6*' -print)
  [ -z "$found" ] || fail "the clean root has Qt of its own: $found"
  as_player sh -c "cd $root_home/Downloads && tar -xzf $(basename "$file")" || fail "the root's tar could not unpack the bundle"
  echo "unpacked $(basename "$file") into the clean root at $(root_bundle)"
}

check_root_programs() {
  local bundle output
  bundle=$(root_bundle)
  output=$(as_player "$bundle/bin/orvello-launcher" --version 2>&1) || fail "--version failed in the clean root: $output"
  [[ $output == "Orvello Launcher "* ]] || fail "--version printed: $output"
  echo "$output"
  local status=0
  output=$(as_player "$bundle/bin/orvello-launcher" --status 2>&1) || status=$?
  [ "$status" -eq 1 ] && [[ $output == "Status: not found"* ]] ||
    fail "--status without game data exited $status and printed: $output"
  echo "$output"

  local corpus=${LZX_REAL_CORPUS:-} name=multi-zoned-textures.zorv expected
  [ -f "$corpus/$name" ] && [ -f "$corpus/corpus.tsv" ] || skip "the real-world corpus ($corpus) is not there"
  expected=$(awk -F'\t' -v f="$name" '$1 == f { print $3 }' "$corpus/corpus.tsv")
  [ -n "$expected" ] || fail "corpus.tsv has no digest for $name"
  cp "$corpus/$name" "$root_work/upper$root_home/"
  give_to_player "$root_work/upper$root_home/$name"
  output=$(as_player sh -c "cd $root_home && '$bundle/bin/zorv' $name decoded.bin 2>&1 && sha256sum decoded.bin") ||
    fail "the bundled zorv failed in the clean root: $output"
  [[ $output == *"$expected  decoded.bin"* ]] || fail "the bundled zorv decoded $name to another content: $output"
  echo "bundled zorv in the clean root: $(head -n1 <<<"$output")"
}

# Runs inside the clean root (started there by the window checks): the
# window on PLATFORM, waited for, its libraries checked; then "shown pid=N" on
# standard output and the launcher left running until the caller ends it.
inside_window() {
  local platform=$1 plugin=$2 bundle=$3
  QT_QPA_PLATFORM=$platform start_window "$bundle" "$root_home/window-home" "$root_home/window.log"
  check_loaded_from_bundle "$bundle" "$launcher_pid" "$root_home/window.log" "$plugin"
  echo "shown pid=$launcher_pid"
  wait "$launcher_pid" || true
}

# Starts inside_window in the root in the background and waits for its
# "shown" line; prints the launcher's pid (the root shares this machine's
# process numbers).
start_root_window() {
  local log=$scratch/root-window.log
  : >"$log"
  in_root setpriv --reuid=$player_uid --regid=$player_uid --clear-groups env -i PATH=/usr/bin:/bin LANG=C.UTF-8 "$@" \
    bash /orvello-test/bundle_test.sh inside-window "$scratch" \
    "$platform" "$plugin" "$(root_bundle)" >"$log" 2>&1 &
  root_window_job=$!
  local deadline=$((SECONDS + 90))
  until grep -q '^shown pid=' "$log"; do
    kill -0 "$root_window_job" 2>/dev/null || { cat "$log"; fail "the launcher's window did not show in the clean root"; }
    [ $SECONDS -lt $deadline ] || { cat "$log"; fail "no window in the clean root within 90 s"; }
    sleep 0.2
  done
  cat "$log"
  root_launcher_pid=$(sed -n 's/^shown pid=//p' "$log")
}

end_root_window() {
  [ -z "${root_launcher_pid:-}" ] || kill "$root_launcher_pid" 2>/dev/null || true
  [ -z "${root_window_job:-}" ] || wait "$root_window_job" 2>/dev/null || true
}

# The test script travels into the root, for inside_window.
copy_script_into_root() {
  mkdir -p "$root_work/upper/orvello-test"
  cp "$here/bundle_test.sh" "$here/test_helpers.sh" "$root_work/upper/orvello-test/"
}

check_root_offscreen() {
  trap end_root_window EXIT
  copy_script_into_root
  platform=offscreen plugin=libqoffscreen.so start_root_window
  end_root_window
}

# Waits until the display server NAME (process PID, its output in LOG) is
# ready, as told by the command after them; fails with its log when it ends
# first or is not ready within 30 s.
wait_for_server() {
  local name=$1 pid=$2 log=$3
  shift 3
  local deadline=$((SECONDS + 30))
  until "$@"; do
    kill -0 "$pid" 2>/dev/null || { cat "$log"; fail "$name did not start"; }
    [ $SECONDS -lt $deadline ] || fail "$name was not ready within 30 s"
    sleep 0.1
  done
}

# Under Xvfb on this machine, through its X socket bound into the root; the
# X server itself sees the window.
check_root_xvfb() {
  need Xvfb xdotool
  copy_script_into_root
  local display_file=$scratch/xvfb-display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$! # global: the EXIT trap needs it
  trap 'end_root_window; kill "$xvfb_pid" 2>/dev/null || true' EXIT
  wait_for_server Xvfb "$xvfb_pid" "$scratch/xvfb.log" test -s "$display_file"
  local display=:$(head -n1 "$display_file")
  CLEAN_ROOT_BIND=/tmp/.X11-unix platform=xcb plugin=libqxcb.so start_root_window \
    DISPLAY="$display"
  local window
  window=$(DISPLAY=$display xdotool search --onlyvisible --pid "$root_launcher_pid" --name '^Orvello Launcher$' | head -n1)
  [ -n "$window" ] || fail "Xvfb has no visible window \"Orvello Launcher\" of pid $root_launcher_pid"
  echo "Xvfb $display shows window $window of the launcher in the clean root"
}

# Under Weston's headless compositor on this machine, its socket bound into
# the root. The Wayland debug log shows the top-level surface mapped: the
# title set, the first configure acknowledged and a buffer committed after
# it. Then a screenshot, kept as SCRATCH/wayland-screenshot.png.
check_root_wayland() {
  need weston weston-screenshooter
  copy_script_into_root
  local runtime=$scratch/wayland-runtime socket=wayland-orvello-bundle
  rm -rf "$runtime"
  mkdir -p "$runtime"
  chmod 700 "$runtime"
  # The compositor runs as the player too: the player's runtime folder, the
  # player's socket.
  give_to_player "$runtime"
  XDG_RUNTIME_DIR=$runtime setpriv --reuid=$player_uid --regid=$player_uid --clear-groups weston --backend=headless-backend.so --use-pixman --width=1024 --height=768 \
    --socket=$socket --idle-time=0 --debug >"$scratch/weston.log" 2>&1 &
  weston_pid=$! # global: the EXIT trap needs it
  trap 'end_root_window; kill "$weston_pid" 2>/dev/null || true' EXIT
  wait_for_server weston "$weston_pid" "$scratch/weston.log" test -S "$runtime/$socket"
  CLEAN_ROOT_BIND=$runtime WINDOW_RUNTIME_DIR=$runtime platform=wayland plugin=libqwayland-generic.so \
    start_root_window WINDOW_RUNTIME_DIR="$runtime" \
    WAYLAND_DISPLAY=$socket WAYLAND_DEBUG=1
  local log=$root_work/upper$root_home/window.log
  local deadline=$((SECONDS + 30))
  until awk '
      /xdg_toplevel@[0-9]+\.set_title\("Orvello Launcher"\)/ { titled = 1 }
      titled && /xdg_surface@[0-9]+\.ack_configure\(/ { configured = 1 }
      configured && /wl_surface@[0-9]+\.attach\(wl_buffer@/ { attached = 1 }
      attached && /wl_surface@[0-9]+\.commit\(\)/ { mapped = 1; exit }
      END { exit !mapped }' "$log"; do
    [ $SECONDS -lt $deadline ] || fail "the Wayland debug log shows no mapped top-level surface (see $log)"
    sleep 0.2
  done
  echo "the launcher's top-level surface is mapped under Weston"
  local shots=$scratch/screenshots
  rm -rf "$shots" "$scratch/wayland-screenshot.png"
  mkdir -p "$shots"
  give_to_player "$shots"
  (cd "$shots" && XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket \
     setpriv --reuid=$player_uid --regid=$player_uid --clear-groups weston-screenshooter) ||
    fail "weston-screenshooter took no screenshot"
  local shot
  shot=$(ls "$shots"/wayland-screenshot*.png | head -n1)
  mv "$shot" "$scratch/wayland-screenshot.png"
  [ "$(png_size "$scratch/wayland-screenshot.png")" = 1024x768 ] || fail "the screenshot is not of the 1024x768 output"
  echo "screenshot: $scratch/wayland-screenshot.png"
}

# A new player's whole path, in a home of its own (the other checks' settings
# stay out of it): unpack the bundle, import the test package with --import,
# play the stand-in game with --play.
check_root_import_play() {
  local corpus=${LZX_REAL_CORPUS:-} name=multi-zoned-textures.zorv
  [ -f "$corpus/$name" ] && [ -f "$corpus/corpus.tsv" ] || skip "the real-world corpus ($corpus) is not there"
  local player_home=/home/new-player file
  file=$(tarball)
  local downloads=$root_work/upper$player_home/Downloads
  rm -rf "$root_work/upper$player_home"
  mkdir -p "$downloads"
  cp "$file" "$downloads/"
  # The package: the title's default.xex and one real compressed content file.
  local tree=$scratch/package-tree
  rm -rf "$tree"
  mkdir -p "$tree/content"
  "$BUNDLE_BUILD_DIR/tools/write-xex" 4E3D2C71 "$tree/default.xex"
  cp "$corpus/$name" "$tree/content/textures.bin"
  "$BUNDLE_BUILD_DIR/tools/stfs-build" "$tree" "$downloads/TVL.pkg"
  give_to_player "$root_work/upper$player_home"

  local bundle=$player_home/Downloads/$(basename "$file" -linux-x86_64.tar.gz) output
  as_player sh -c "cd $player_home/Downloads && tar -xzf $(basename "$file")" || fail "the root's tar could not unpack the bundle"
  output=$(as_player sh -c "cd $player_home/Downloads && '$bundle/bin/orvello-launcher' --import TVL.pkg" 2>&1) ||
    fail "--import failed in the clean root: $output"
  echo "$output" | tail -n1
  local game=$player_home/Games/TVL expected
  expected=$(awk -F'\t' -v f="$name" '$1 == f { print $3 }' "$corpus/corpus.tsv")
  [ "$(sha256sum <"$root_work/upper$game/gamedata/content/textures.bin" | cut -d' ' -f1)" = "$expected" ] ||
    fail "the imported content file is not decoded to its listed content"

  # The game's program files beside its data, then --play.
  cp "$BUNDLE_BUILD_DIR"/standin/{tessarine,libkynruntime.so,libkyngpu-xenos.so} "$root_work/upper$game/"
  give_to_player "$root_work/upper$game"
  output=$(as_player "$bundle/bin/orvello-launcher" --status 2>&1) || fail "--status after the import: $output"
  [[ $output == "Status: ready"* ]] || fail "--status after the import printed: $output"
  output=$(as_player TESSARINE_STANDIN_SECONDS=0 "$bundle/bin/orvello-launcher" --play 2>&1) ||
    fail "--play failed in the clean root: $output"
  grep -q '^arg=--gpu_plugin=xenos$' "$root_work/upper$game/logs/game.log" || fail "--play did not start the stand-in game"
  echo "--play started the stand-in game in the clean root: $(grep '^pid=' "$root_work/upper$game/logs/game.log")"
}

case "$check" in
  build) check_build ;;
  libraries) check_libraries ;;
  plugins) check_plugins ;;
  desktop-entries) check_desktop_entries ;;
  inside-window) inside_window "$3" "$4" "$5" ;;
  root*)
    [ "$(id -u)" -eq 0 ] || skip "the clean-root checks run only as root (./test run as root makes the root and runs them)"
    # Root in a container without the right to mount cannot enter the clean
    # root at all (clean_root.sh needs a private mount namespace and an
    # overlay): that is this machine's limit, not the bundle's fault.
    unshare --mount --propagation private -- bash -c '
      probe=$(mktemp -d) && mkdir "$probe/lower" "$probe/upper" "$probe/work" "$probe/merged" &&
        mount -t overlay probe -o "lowerdir=$probe/lower,upperdir=$probe/upper,workdir=$probe/work" "$probe/merged"
      entered=$?
      umount "$probe/merged" 2>/dev/null
      rm -rf "$probe"
      exit $entered' 2>/dev/null ||
      skip "this machine refuses a private mount namespace with an overlay mount, which the clean root needs"
    case "$check" in
      root) check_root ;;
      root-programs) check_root_programs ;;
      root-offscreen) check_root_offscreen ;;
      root-xvfb) check_root_xvfb ;;
      root-wayland) check_root_wayland ;;
      root-import-play) check_root_import_play ;;
      *) fail "unknown check $check" ;;
    esac ;;
  *) fail "unknown check $check" ;;
esac
