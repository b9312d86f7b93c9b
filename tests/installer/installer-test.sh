#!/usr/bin/env bash
# The Windows installer under Wine, each case in a Wine prefix of its own, made afresh before the
# timed part.
#   installer-test.sh versions VERSION VERSION4 EXE...
#       each program's version resource names the project version
#   installer-test.sh fresh SETUP PREFIX WINE_RUN SMOKE
#       a silent install into a chosen folder with the korrel folder given; the installed Parlet
#       starts, and the installer refuses to run while it does
#   installer-test.sh update SETUP PREFIX WINE_RUN MAKENSIS... NSI
#       a silent install over an older version, then the silent uninstall that "Installed apps"
#       runs
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
readback=$here/readback.py
case_name=$1
shift
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# expect WHAT ACTUAL EXPECTED
expect() {
  [ "$2" = "$3" ] || fail "$1: '$2', expected '$3'"
}

if [ "$case_name" = versions ]; then
  version=$1 version4=$2
  shift 2
  for exe in "$@"; do
    info=$("$readback" version "$exe")
    field() { sed -n "s/^$1=//p" <<<"$info"; }
    name=$(basename "$exe")
    expect "$name: version numbers" "$(field Version)" "$version4"
    expect "$name: file version" "$(field FileVersion)" "$version"
    expect "$name: product version" "$(field ProductVersion)" "$version"
    expect "$name: product name" "$(field ProductName)" Parlet
    expect "$name: copyright" "$(field LegalCopyright | cut -c1-13)" "Copyright (C)"
    [ -n "$(field FileDescription)" ] || fail "$name: no file description"
  done
  exit $((failures > 0))
fi

setup=$1 prefix=$2 wine_run=$3
shift 3
if [ "$case_name" = fresh ] && [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$case_name" "$setup" "$prefix" "$wine_run" "$@"
fi
export PARLET_WINEPREFIX=$prefix WINEPREFIX=$prefix
[ "$case_name" = fresh ] && export PARLET_WINE_DISPLAY=1
win() { "$wine_run" "$@"; }
# The Linux path of a Windows path in the prefix.
unix() {
  local path=${1//\\//}
  echo "$prefix/drive_c/${path#[Cc]:/}"
}
windows_var() { win cmd /c echo "%$1%" | tr -d '\r'; }
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Parlet'
# The value of the uninstall key named, empty when there is none.
reg_value() {
  win reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1  *REG_[A-Z_]*  *//p"
}
start_menu_link() { echo "$(unix "$appdata")/Microsoft/Windows/Start Menu/Programs/Parlet.lnk"; }
# run_setup ARGS...: runs the installer silently and reports how long it took.
run_setup() {
  local start=$SECONDS code=0
  win "$setup" /S "$@" || code=$?
  echo "installer $(basename "$setup") $*: exit code $code after $((SECONDS - start)) s"
  return $code
}

# A new prefix, made completely (its first programs are done) before anything is timed.
new_prefix() {
  rm -rf "$prefix"
  mkdir -p "$prefix"
  win cmd /c exit
  wineserver -w
  appdata=$(windows_var APPDATA)
}

case $case_name in
fresh)
  smoke=$1
  new_prefix
  run_setup /KORREL='C:\Ombrix\korrel' /NOSTANDIN '/D=C:\Apps\Parlet' || exit 1
  folder=$(unix 'C:\Apps\Parlet')
  [ -f "$folder/parlet.exe" ] || fail "no parlet.exe in the chosen folder"
  [ -f "$folder/uninstall.exe" ] || fail "no uninstall.exe in the chosen folder"
  [ ! -e "$folder/korrel.exe" ] || fail "the stand-in korrel.exe was installed though left out"
  links=$("$readback" lnk "$(start_menu_link)") || fail "no Start-menu shortcut"
  expect "shortcut target" "$(sed -n 's/^Target=//p' <<<"$links")" 'C:\Apps\Parlet\parlet.exe'
  expect "shortcut starts in" "$(sed -n 's/^StartIn=//p' <<<"$links")" 'C:\Ombrix\korrel'
  expect DisplayName "$(reg_value DisplayName)" Parlet
  expect DisplayVersion "$(reg_value DisplayVersion)" "$(basename "$setup" | cut -d- -f3)"
  expect Publisher "$(reg_value Publisher)" Vellmark
  expect DisplayIcon "$(reg_value DisplayIcon)" 'C:\Apps\Parlet\parlet.exe,0'
  expect UninstallString "$(reg_value UninstallString)" '"C:\Apps\Parlet\uninstall.exe"'
  expect QuietUninstallString "$(reg_value QuietUninstallString)" \
    '"C:\Apps\Parlet\uninstall.exe" /S'
  # Kilobytes, as "Installed apps" shows them; within a tenth of what the folder holds.
  size=$(($(reg_value EstimatedSize)))
  actual=$(du -sk "$folder" | cut -f1)
  ((size * 10 >= actual * 9 && size * 10 <= actual * 11)) ||
    fail "EstimatedSize $size KB for a folder of $actual KB"
  [ -d "$(unix "$appdata")/Vellmark" ] || fail "no $appdata\\Vellmark"
  # The installed program shows its first window; meanwhile the installer refuses to run.
  "$smoke" "$folder/parlet.exe" "$wine_run" "$0" refuse "$setup" "$prefix" "$wine_run" ||
    fail "the installed parlet.exe did not start and end as it should (above)"
  ;;
refuse)
  code=0
  run_setup || code=$?
  expect "installer's exit code while Parlet runs" "$code" 2
  ;;
update)
  new_prefix
  makensis=("${@:1:$#-1}")
  nsi=${!#}
  older=$(dirname "$prefix")/parlet-setup-0.0.1-x86_64.exe
  start=$SECONDS
  "${makensis[@]}" -DVERSION=0.0.1 -DCOMPRESSOR=zlib -DOUTFILE="$older" "$nsi"
  echo "older installer made in $((SECONDS - start)) s"
  default_folder="$(windows_var LOCALAPPDATA)\\Programs\\Parlet"
  folder=$(unix "$default_folder")
  setup=$older run_setup || exit 1
  expect "older DisplayVersion" "$(reg_value DisplayVersion)" 0.0.1
  [ -f "$folder/korrel.exe" ] || fail "the older install has no stand-in korrel.exe"
  run_setup /NOSTANDIN || exit 1
  [ -f "$folder/parlet.exe" ] || fail "no parlet.exe in $default_folder"
  expect DisplayVersion "$(reg_value DisplayVersion)" "$(basename "$setup" | cut -d- -f3)"
  [ ! -e "$folder/korrel.exe" ] || fail "the older install's stand-in korrel.exe was left"
  start_in=$("$readback" lnk "$(start_menu_link)" | sed -n 's/^StartIn=//p')
  expect "shortcut starts in" "$start_in" "$default_folder"

  # What the user made stays: the settings file, and a recording kept beside the program.
  printf 'V3\r\n' >"$(unix "$appdata")/Vellmark/parlet.ini"
  printf 'MThd' >"$folder/take.mid"
  quiet=$(reg_value QuietUninstallString)
  [[ $quiet == \"*\"\ /S ]] || fail "QuietUninstallString '$quiet' is not a quoted program and /S"
  uninstaller=${quiet#\"}
  win "${uninstaller%\" /S}" /S
  # The uninstaller runs on from a copy of itself, which ends with the last of the prefix.
  timeout 120 wineserver -w || fail "the uninstaller was still running after 120 s"
  [ ! -e "$folder/parlet.exe" ] || fail "parlet.exe is still there"
  [ ! -e "$folder/uninstall.exe" ] || fail "uninstall.exe is still there"
  [ -f "$folder/take.mid" ] || fail "the recording beside the program was removed"
  [ ! -e "$(start_menu_link)" ] || fail "the Start-menu shortcut is still there"
  win reg query "$key" >/dev/null 2>&1 && fail "the uninstall key is still there"
  [ -f "$(unix "$appdata")/Vellmark/parlet.ini" ] || fail "parlet.ini was removed"
  ;;
esac
exit $((failures > 0))
