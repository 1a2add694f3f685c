#!/usr/bin/env bash
# The Windows installer under Wine in a private X server: a silent per-user install,
# its association and uninstall entry in the registry, the installed program's
# version, a .qfu opened through the association shown loaded in the window, a key
# installed with /TRUSTKEY= that the installed program then asks signatures of, and
# silent uninstalls with and without the user's settings.
#
#   win32-installer-e2e.sh BUILD_DIR GOLDEN_DIR SOURCE_DIR SETUP_EXE
set -u
build=$1
golden=$2
setup=$4
driver=$build/tests/support/window-driver.exe
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorixFirmwareUpdater'
settings_key='HKCU\SOFTWARE\Quorix\Firmware Updater\1.00'
source "$(dirname "$0")/lib.sh"
wine_ready
pack="$wine $build/tools/qfu-pack.exe"
e2e_begin installer-e2e
unset QUORIX_TRUSTED_KEY_DIRS # the installed program's own key folder is under test
at_exit '[ -n "${dir:-}" ] && [ -f "$dir/uninstall.exe" ] && "$wine" "$dir/uninstall.exe" /S "_?=$windir"'
at_exit '"$wine" "$driver" close'
query() { # fails as reg does when the key or value is not there
    local out
    out=$("$wine" reg query "$@" 2>/dev/null) || return 1
    printf '%s\n' "$out" | tr -d '\r'
}
[ -f "$setup" ] || fail "no $setup"

start_xvfb

install() { # ARGUMENTS...
    timeout 120 "$wine" "$setup" /S "$@" || fail "the silent install failed"
    windir=$(query "$uninstall_key" /v InstallLocation | sed -n 's/.*REG_SZ *//p')
    [ -n "$windir" ] || fail "no uninstall entry with its InstallLocation"
    dir=$("$wine" winepath -u "$windir" 2>/dev/null | tr -d '\r')
    [ -f "$dir/quorix-updater.exe" ] || fail "no program in $dir"
}
uninstall() { # ARGUMENTS...
    # As the uninstall entry runs it, in the mode it was installed in. `_?=` (wait, and
    # uninstall from that folder) is read only last and unquoted, so the command line
    # is passed exactly as written.
    timeout 120 "$wine" "$build/tests/support/raw-launch.exe" \
        "\"$windir\\uninstall.exe\" /CurrentUser /S $* _?=$windir" || fail "the silent uninstall failed"
    rm -f "$dir/uninstall.exe" # _? leaves the uninstaller itself behind
    [ -e "$dir" ] && { rmdir "$dir" 2>/dev/null || fail "files are left in $dir: $(ls "$dir")"; }
    query "$uninstall_key" >/dev/null && fail "the uninstall entry is still there"
    query 'HKCU\Software\Classes\.qfu' >/dev/null && fail "the .qfu association is still there"
    query 'HKCU\Software\Classes\Quorix.FirmwareUpdate' >/dev/null && fail "the ProgID is still there"
    [ -e "$menu" ] && fail "the Start-menu entry is still there"
}

install
[[ $windir == *'\AppData\Local\Programs\Quorix Firmware Updater' ]] || fail "not a per-user folder: $windir"
query "$uninstall_key" /v DisplayVersion | grep -q 'REG_SZ *1\.3\.00$' || fail "DisplayVersion is not 1.3.00"
query "$uninstall_key" /v QuietUninstallString | grep -q 'uninstall.exe" .*/S$' || fail "no QuietUninstallString"
query 'HKCU\Software\Classes\.qfu' /ve | grep -q 'REG_SZ *Quorix\.FirmwareUpdate$' || fail ".qfu is not associated"
command=$(query 'HKCU\Software\Classes\Quorix.FirmwareUpdate\shell\open\command' /ve | sed -n 's/.*REG_SZ *//p')
[ "$command" = "\"$windir\\quorix-updater.exe\" \"%1\"" ] || fail "the open command is $command"
for f in README.txt LICENSE-LiberationSans.txt LICENSE-Comfortaa.txt LICENSE-FreeType.txt LICENSE-libsodium.txt; do
    [ -f "$dir/$f" ] || fail "no $f installed"
done
appdata=$("$wine" winepath -u "$(query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Programs | sed -n 's/.*REG_SZ *//p')" 2>/dev/null | tr -d '\r')
menu="$appdata/Quorix Firmware Updater.lnk"
[ -f "$menu" ] || fail "no Start-menu entry at $menu"
printed=$("$wine" "$dir/quorix-updater.exe" --version | tr -d '\r')
[ "$printed" = 1.3.00 ] || fail "the installed program printed '$printed'"

# Opened through the association the file is loaded; with no device present the
# page waits for it. Wine's shell looks up classes only under the machine's key, so
# `start` cannot see a per-user association: the registered command (checked above)
# is run here as the shell runs it, the file's path in place of %1.
cd "$work"
$pack --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 --seed 7 \
    --out fw.qfu >/dev/null || fail "qfu-pack"
"$wine" "$driver" registry delete MainWindow_p
"$wine" "$dir/quorix-updater.exe" "$("$wine" winepath -w "$work/fw.qfu" 2>/dev/null | tr -d '\r')" &
"$wine" "$driver" wait 30000 || fail "no window after opening fw.qfu"
"$wine" "$driver" expect "$golden/window_waiting.png" 10000 "$work/window_waiting.png" ||
    fail "the window does not show the file loaded"
"$wine" "$driver" close
"$wine" "$driver" gone 10000 || fail "the window did not close"

# Settings stay unless asked for.
"$wine" "$driver" registry set MainWindow_p 5 || fail "cannot write the settings"
uninstall
query "$settings_key" /v MainWindow_p >/dev/null || fail "the uninstall removed the settings"
# A key installed with the program: the file loads only once the maker signed it.
minisign -G -W -p "$work/maker.pub" -s "$work/maker.key" >/dev/null || fail "minisign -G"
windows_path() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
timeout 120 "$wine" "$setup" /S "/TRUSTKEY=$(windows_path "$work/missing.pub")"
code=$?
[ $code = 2 ] || fail "a missing key: exit $code, not 2"
query "$uninstall_key" >/dev/null && fail "installed without the key it was to trust"
# Relative to where the installer starts, in capitals: still the key it installs and
# the program trusts.
cp "$work/maker.pub" "$work/MAKER.PUB"
install "/TRUSTKEY=MAKER.PUB"
cmp -s "$dir/trusted-keys/MAKER.PUB" "$work/maker.pub" || fail "/TRUSTKEY did not install the key"
flash() { "$wine" "$dir/quorix-updater.exe" --terminal --simulate -path:fw.qfu -id:"$id" >"$work/flash.out" 2>&1; }
flash && fail "an unsigned file was written with a trusted key installed"
grep -qF "update file refused (signature): no signature" "$work/flash.out" || fail "no signature cause: $(cat "$work/flash.out")"
minisign -S -s "$work/maker.key" -m fw.qfu >/dev/null || fail "minisign -S"
flash || fail "the signed file was not written: $(cat "$work/flash.out")"
uninstall /REMOVESETTINGS
query "$settings_key" >/dev/null && fail "/REMOVESETTINGS left the settings"
dir=
echo "windows installer end-to-end: passed"
