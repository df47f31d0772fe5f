#!/usr/bin/env bash
# The Windows stage of ./test.sh: builds the program, its zip and the test
# programs for Windows, runs every test program under Wine, then unpacks the
# zip into an empty folder and uses the program from there: it starts, runs a
# command through cmd.exe and saves Settings.ini beside itself on exit; with
# its folder unwritable it keeps its settings in the registry instead.
#
# Wine runs in a prefix of its own (build-win/wine) on a virtual display;
# test reports go to build-win/test-results/, screenshots to
# build-win/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -z "${CORVANE_WINE_DISPLAY:-}" ]; then
  scripts/build-windows.sh --tests
  exec env CORVANE_WINE_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

qt=$(scripts/build-qt-mingw.sh --check 2>/dev/null | tail -n 1)
# Debian's wine64 package puts no wrapper on PATH.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$root/build-win/wine" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '"$wineserver" -k 2>/dev/null || true' EXIT

# ---- The Wine prefix, made once

if [ ! -f "$WINEPREFIX/.corvane-ready-2" ]; then
  echo "Preparing the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
  # One virtual desktop: windows show at once without a window manager, framed
  # as Windows frames them.
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null
  # Wine reads its own fonts (Tahoma, Marlett) from the prefix only.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  # Smoothed text, as Windows draws it by default: unsmoothed, Wine's Tahoma
  # drops thin strokes at the window's small font size.
  for value in 'FontSmoothing /d 2' 'FontSmoothingType /t REG_DWORD /d 2' \
               'FontSmoothingGamma /t REG_DWORD /d 1400' 'FontSmoothingOrientation /t REG_DWORD /d 1'; do
    # shellcheck disable=SC2086 # the words of each value are reg's arguments
    "$wine" reg add 'HKCU\Control Panel\Desktop' /v $value /f >/dev/null
  done
  "$wineserver" -k 2>/dev/null || true # the desktop takes effect at the next start
  touch "$WINEPREFIX/.corvane-ready-2"
fi

# ---- The test programs

# Wine puts WINEPATH before the prefix's own PATH: the Qt and MinGW DLLs.
mingw_dll_dirs=()
for dll in libstdc++-6.dll libwinpthread-1.dll; do
  mingw_dll_dirs+=("Z:$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)")")")
done
test_path="Z:$qt/bin;${mingw_dll_dirs[0]};${mingw_dll_dirs[1]}"

results="$root/build-win/test-results"
rm -rf "$results" "$root/build-win/screenshots"
mkdir -p "$results"
passed=0
failed=()

run_test() { # name exe: QTest's report reaches no terminal under Wine, so it goes to a file
  local name=$1 exe=$2 rc=0
  # The prefix's registry is a scratch one: tests may let Qt's file dialog keep its state there.
  CORVANE_SCRATCH_REGISTRY=1 WINEPATH="$test_path" timeout 900 "$wine" "$exe" -o "Z:$results/$name.txt,txt" || rc=$?
  cat "$results/$name"*.txt 2>/dev/null || echo "$name wrote no report"
  if [ "$rc" -ne 0 ]; then
    failed+=("$name (exit $rc)")
  else
    passed=$((passed + 1))
  fi
}

while IFS= read -r exe; do
  run_test "$(basename "$exe" .exe)" "$exe"
done < <(find build-win/tests -name 'test_*.exe' | sort)

# The screenshot step: the windows as Windows draws them.
screenshots() { # arguments of corvane_screenshots before the folder
  WINEPATH="$test_path" timeout 300 "$wine" build-win/tests/screenshots/corvane_screenshots.exe \
    "$@" "Z:$root/build-win/screenshots" >/dev/null
}
if screenshots; then
  passed=$((passed + 1))
else
  failed+=("screenshots")
fi

# The same windows under colour schemes of the system itself, kept in the
# registry as Windows keeps them (wine_dark_*.png, wine_high_contrast_*.png).
# The prefix's own colours are put back afterwards.
colours='HKCU\Control Panel\Colors'
saved_colours="$root/build-win/colours.reg"
"$wine" reg export "$colours" "Z:$saved_colours" /y >/dev/null
shoot_scheme() { # name, then Element=red green blue
  local name=$1 setting
  shift
  for setting in "$@"; do
    "$wine" reg add "$colours" /v "${setting%%=*}" /d "${setting#*=}" /f >/dev/null
  done
  if screenshots --system-theme "$name"; then
    passed=$((passed + 1))
  else
    failed+=("screenshots under $name")
  fi
  "$wine" reg delete "$colours" /f >/dev/null
  "$wine" reg import "Z:$saved_colours" >/dev/null
}
# Dark grey faces with the edges a light scheme would give them: shadows
# darker than the faces, the darkest black.
shoot_scheme wine_dark Window='34 36 40' WindowText='230 230 230' ButtonFace='45 48 52' ButtonText='230 230 230' \
  ButtonHilight='70 74 80' ButtonLight='56 60 64' ButtonShadow='28 30 33' ButtonDkShadow='0 0 0' \
  GrayText='110 112 116' Hilight='0 90 160' HilightText='255 255 255' InfoWindow='45 48 52' InfoText='230 230 230' \
  Menu='34 36 40' MenuBar='34 36 40' MenuText='230 230 230' MenuHilight='0 90 160' Scrollbar='45 48 52' \
  AppWorkSpace='34 36 40' WindowFrame='128 128 128' HotTrackingColor='100 170 255'
# White on black, as Windows' High Contrast Black.
shoot_scheme wine_high_contrast Window='0 0 0' WindowText='255 255 255' ButtonFace='0 0 0' ButtonText='255 255 255' \
  ButtonHilight='255 255 255' ButtonLight='0 0 0' ButtonShadow='128 128 128' ButtonDkShadow='0 0 0' \
  GrayText='63 240 63' Hilight='26 235 255' HilightText='0 0 0' InfoWindow='0 0 0' InfoText='255 255 255' \
  Menu='0 0 0' MenuBar='0 0 0' MenuText='255 255 255' MenuHilight='128 0 128' Scrollbar='0 0 0' \
  AppWorkSpace='0 0 0' WindowFrame='255 255 255' HotTrackingColor='255 255 0'

# ---- The zip, unpacked into an empty folder

check() { # description command...
  local what=$1
  shift
  if "$@"; then
    echo "PASS   : zip: $what"
    passed=$((passed + 1))
  else
    echo "FAIL!  : zip: $what"
    failed+=("zip: $what")
  fi
}

# As on a machine that never ran Corvane: an earlier run's fall-back to the
# registry would keep later runs there.
"$wine" reg delete 'HKCU\Software\VB and VBA Program Settings\Corvane' /f >/dev/null 2>&1 || true

zip=$(ls -t dist/Corvane-*-win64.zip | head -n 1)
version=${zip#dist/Corvane-}
version=${version%-win64.zip}
unzipped="$root/build-win/unzipped"
rm -rf "$unzipped"
mkdir -p "$unzipped"
cmake -E chdir "$unzipped" cmake -E tar xf "$root/$zip"
# Everything in one folder named with the version, whose README says so.
app="$unzipped/Corvane-$version"
check "unpacks into the one folder Corvane-$version" \
  test "$(find "$unzipped" -mindepth 1 -maxdepth 1 -printf '%f\n')" = "Corvane-$version"
readme_tells() {
  grep -q "Unpack the whole folder Corvane-$version " "$app/README.txt" &&
    grep -q 'Windows 10 or later' "$app/README.txt" && grep -q 'every copy' "$app/README.txt"
}
check "its README names the folder, Windows 10 and the one choice of the registry" readme_tells
# The About window's link (the version resource's product name) opens that
# README, beside the program.
about_link() {
  [ "$(strings -el "$app/corvane.exe" | grep -A1 -x ProductName | tail -n 1)" = README.txt ] && test -f "$app/README.txt"
}
check "its About link names the README.txt beside corvane.exe" about_link

# The recording ROBOCOPY.EXE stands first along PATH; Wine's own robocopy.exe,
# a stub that copies nothing, is further on. Nothing else is on PATH: the
# program lives on what the zip holds.
fake="$root/build-win/tests/support/fake"
run_log="$root/build-win/e2e-robocopy.log"
rm -f "$run_log"
desktop() { xdotool search --name 'Wine desktop' | head -n 1; }

WINEPATH="Z:$fake" CORVANE_TEST_LOG="Z:$run_log" "$wine" "$app/corvane.exe" &
program=$!
sleep 8
mkdir -p "$root/build-win/screenshots"
import -window root "$root/build-win/screenshots/zip_started.png"
# File > Execute (Ctrl+E) runs the composed command; the exit report's OK
# closes with Enter. Keys reach Wine's windows through its desktop window.
xdotool windowfocus --sync "$(desktop)"
xdotool key ctrl+e
sleep 5
import -window root "$root/build-win/screenshots/zip_exit_report.png"
xdotool key Return
sleep 2
# Closing as Windows asks a program to close: the settings are saved.
"$wine" taskkill /im corvane.exe >/dev/null 2>&1 || true
wait "$program" || true

ini="$app/Settings.ini"
check "started and saved Settings.ini beside itself on exit" test -f "$ini"
check "composed ROBOCOPY.EXE for the initial state" grep -q $'^txtCommandLine=ROBOCOPY.EXE\r$' "$ini"
check "ran ROBOCOPY.EXE through cmd.exe" grep -q '^END$' "$run_log"

# A folder that cannot be written (a folder stands where the file should be):
# the settings go to the registry, read from outside with reg.exe.
rm -f "$ini"
mkdir "$ini"
"$wine" "$app/corvane.exe" &
program=$!
sleep 8
"$wine" taskkill /im corvane.exe >/dev/null 2>&1 || true
wait "$program" || true
registry=$("$wine" reg query 'HKCU\Software\VB and VBA Program Settings\Corvane\Settings' 2>/dev/null | tr -d '\r' || true)
check "kept its settings in the registry" grep -Eq '^ +SaveToINI +REG_SZ +0$' <<<"$registry"
check "saved the window state in the registry" grep -Eq '^ +txtCommandLine +REG_SZ +ROBOCOPY.EXE$' <<<"$registry"
rmdir "$ini"

# A saved command does what Execute does, through the program itself: the
# folders (letters of the code pages and cmd.exe's own characters) come from
# Settings.ini; Execute runs them, File > Save Command Line As saves them
# through the system's dialog, and cmd.exe runs the saved file later. The
# recording Robocopy must receive the same arguments both times.
"$wine" reg delete 'HKCU\Software\VB and VBA Program Settings\Corvane' /f >/dev/null 2>&1 || true
saved="$root/build-win/saved"
rm -rf "$saved" "$run_log"
mkdir -p "$saved"
saved_win="Z:${saved//\//\\}"
{
  printf '\xEF\xBB\xBF[Settings]\r\n'
  printf '%s\r\n' 'cboSource=C:\Üb Ω 50% ^ ! & src\' 'cboDestination=D:\Ω 50%\20% dst' 'chkMirror=1'
  # No listing first: the recording Robocopy is to see this run and the saved file's alone.
  printf '%s\r\n' 'mnuOptionsPreview=0'
} >"$ini"
WINEPATH="Z:$fake" CORVANE_TEST_LOG="Z:$run_log" "$wine" "$app/corvane.exe" &
program=$!
sleep 8
xdotool windowfocus --sync "$(desktop)"
xdotool key ctrl+e
sleep 5
xdotool key Return
sleep 1
save_as() { # name typed into the save dialog, with its first entry (Batch Files) chosen
  xdotool key alt+f
  sleep 0.5
  xdotool key a
  sleep 3
  xdotool type --delay 20 "$1"
  xdotool key Return
  sleep 2
}
save_as "$saved_win\\saved"
save_as "$saved_win\\e4.cmd"
import -window root "$root/build-win/screenshots/zip_saved.png"
"$wine" taskkill /im corvane.exe >/dev/null 2>&1 || true
wait "$program" || true
check "saved a bare name as .CMD with Batch Files chosen" test -f "$saved/saved.CMD"
check "kept the typed extension of e4.cmd" test "$(ls "$saved")" = "$(printf 'e4.cmd\nsaved.CMD')"
WINEPATH="Z:$fake" CORVANE_TEST_LOG="Z:$run_log" "$wine" cmd /c "$saved_win\\saved.CMD" >/dev/null 2>&1 || true
runs_of() { # the arguments of each recorded run, one line a run
  awk '/^BEGIN$/ { if (n++) print line; line = "" } /^ARG / { line = line "|" substr($0, 5) } END { if (n) print line }' "$run_log"
}
same_runs() {
  local runs
  runs=$(runs_of)
  [ "$(wc -l <<<"$runs")" -eq 2 ] && [ "$(head -n 1 <<<"$runs")" = "$(tail -n 1 <<<"$runs")" ] &&
    grep -q '^|C:\\Üb Ω 50% ^ ! & src\\|D:\\Ω 50%\\20% dst|' <<<"$runs"
}
check "the saved file ran with Execute's arguments" same_runs
runs_of

# The run window (Options > Show Progress in Corvane) follows the recording
# ROBOCOPY.EXE as it prints a recorded Robocopy output slowly, in the
# console's code page: pictures of it running and finished.
"$wine" reg delete 'HKCU\Software\VB and VBA Program Settings\Corvane' /f >/dev/null 2>&1 || true
rm -f "$run_log"
cp tests/run/data/windows-copy.txt "$fake/output.txt"
{
  printf '[Settings]\r\n'
  printf '%s\r\n' 'cboSource=C:\Data' 'cboDestination=D:\Backup' 'mnuOptionsShowProgress=-1' \
    'mnuOptionsAutoClose=0' 'mnuOptionsPreview=0'
} >"$ini"
WINEPATH="Z:$fake" CORVANE_TEST_LOG="Z:$run_log" CORVANE_TEST_OUTPUT=output.txt CORVANE_TEST_DELAY=200 \
  "$wine" "$app/corvane.exe" &
program=$!
sleep 8
xdotool windowfocus --sync "$(desktop)"
xdotool key ctrl+e
sleep 4
import -window root "$root/build-win/screenshots/zip_run_window_running.png"
sleep 8
import -window root "$root/build-win/screenshots/zip_run_window_finished.png"
"$wine" taskkill /im corvane.exe >/dev/null 2>&1 || true
wait "$program" || true
rm -f "$fake/output.txt"
check "ran ROBOCOPY.EXE through cmd.exe in the run window" grep -q '^END$' "$run_log"
check "remembered the run's folders as after a console run" grep -qxF $'cboSource_0=C:\\Data\r' "$ini"

# Test programs and checks of the zip.
echo "Windows: $passed passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
  echo "Windows stage failed: ${failed[*]}"
  exit 1
fi
