#!/usr/bin/env bash
# Installs the build folder into a scratch DESTDIR: every expected file is there, the desktop entry
# and the AppStream file validate, and the installed program, started offscreen with a scratch
# home, reads its data from the installed data folder and keeps its settings in the user's folder.
# Usage: installed-program.sh BUILD_DIR
source "$(dirname "$0")/common.sh"
build=$1
root=$scratch/root/usr

DESTDIR=$scratch/root cmake --install "$build" --prefix /usr >"$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "cmake --install failed"; }
while read -r f; do
  [ -f "$root/$f" ] || fail "not installed: $f"
done < <(expected_files)
desktop-file-validate "$root/share/applications/$app_id.desktop" || fail "desktop entry not valid"
appstreamcli validate --no-net "$root/share/metainfo/$app_id.metainfo.xml" || fail "metainfo not valid"

# The installed program, with a home and a runtime folder of its own. Once it handles the
# end-of-session signal (SIGTERM caught, as /proc tells), that signal ends it with its settings saved.
home=$scratch/home run=$scratch/run
mkdir -p "$home" "$run" && chmod 700 "$run"
env -u XDG_CONFIG_HOME -u DBUS_SESSION_BUS_ADDRESS HOME="$home" XDG_RUNTIME_DIR="$run" \
  QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="brevicor.paths.info=true" ASAN_OPTIONS=detect_leaks=0 \
  "$root/bin/brevicor" 2>"$scratch/err" &
pid=$!
trap 'kill -KILL "$pid" 2>/dev/null || true; rm -rf "$scratch"' EXIT
catches_term() { (( 0x$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0) & 1 << 14 )); }
for _ in $(seq 600); do
  catches_term || ! kill -0 "$pid" 2>/dev/null && break
  sleep 0.1
done
catches_term || { cat "$scratch/err"; fail "the installed program did not start"; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { cat "$scratch/err"; fail "the installed program ended with status $status"; }

grep -qxF "brevicor.paths: program: $root/bin/brevicor" "$scratch/err" || fail "not run from $root/bin"
grep -qxF "brevicor.paths: data folder: $root/share/brevicor/" "$scratch/err" ||
  { cat "$scratch/err"; fail "the data folder is not the installed one"; }
ini=$home/.config/brevicor/brevicor.ini
grep -qxF "brevicor.paths: settings file: $ini" "$scratch/err" || fail "the settings file is not in the user's folder"
[ -s "$ini" ] || fail "no settings saved in $ini"
[ "$(stat -c %a "$ini")" = 600 ] || fail "$ini is readable by others"
[ "$(ls "$root/bin")" = brevicor ] || fail "the program wrote beside itself: $(ls "$root/bin")"
echo "installed program: data from $root/share/brevicor, settings in $ini"
