#!/usr/bin/env bash
# The installer packages under Wine, each scenario in a fresh prefix: what
# an installation registers (compared with what regsvr32 of the same files
# writes), the drawer test from the installed files, upgrade (every value kept), downgrade,
# uninstall, foreign Control Objects in both views, the 32-bit one or none, the
# installed utility changing the port for both architectures, and the x86
# package on 32-bit Windows; repair, a Control Object after ours, both packages (the event log source), (no Wine) tables and signatures. Wine's msiexec exits 0 even when it failed, so
# every step checks the result, never the exit code. Ends with a line
# "installer: N passed, M failed" (checks) for scripts/test.sh.
# Usage: package-test.sh [scenario ...]   (default: all; x86 needs a kernel
# that runs 32-bit programs). Needs scripts/package.sh to have run.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"
version=$(sed -n 's/^#define VTX_VERSION_TEXT "\(.*\)"/\1/p' "$build/i686/generated/VtxVersion.h")
work=$build/package/test
new64=$build/package/VTXCashDrawer-$version-x64.msi
new86=$build/package/VTXCashDrawer-$version-x86.msi
old64=$work/VTXCashDrawer-2.0.0-x64.msi
field64=$work/field/VTXCashDrawer-2.0.0-x64.msi field_commit=708435b7ccb483e85c5cf4cfc336ed15515bade1 # 2.1.0's packaging
com=7

# A copy of kCashDrawerClassKey in common/opos/OposConstants.h; scripts/check-key-copies.sh holds it to that.
class_key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer'
so_clsid='{8C4F2A17-6D3B-4E59-A2C8-1B7E9D05F3E6}'
co_clsid='{A9B892A3-3202-4897-B03D-87D592FD725F}'
# What registration writes: the class, ProgID and type-library subtrees.
com_keys=("HKCR\\CLSID\\$so_clsid" "HKCR\\CLSID\\$co_clsid" 'HKCR\Veltrix.OPOS.CashDrawerUSB' 'HKCR\OPOS.CashDrawer'
          'HKCR\Typelib\{5E0B7C1A-2F43-4D8E-9B61-7A3C2D9E4F10}' 'HKCR\Interface\{4B7D9E21-3A6C-4F08-B5D2-6E1F8A3C9007}'
          'HKCR\Typelib\{054F8432-3CA3-4188-A11C-7D59D06BBF4F}' 'HKCR\Interface\{51D76B0B-CAF8-4D49-B2D6-67A5EB096BEB}'
          'HKCR\Interface\{EEEEC9CE-47A6-400F-96D4-D5622538D98B}')
dir64='C:\Program Files\Veltrix Works\VTXCashDrawer'
ev_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VTXCashDrawer' # one key for both views
dir32='C:\Program Files (x86)\Veltrix Works\VTXCashDrawer'

failures=0 passed=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }
check() { # description, command...
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); else fail "$what"; fi
}

# A fresh prefix of the given architecture (win64|win32) with its own
# wineserver, Xvfb and virtual drawer on COM$com.
prefix_up() {
    local arch=$1 state=$work/$2
    rm -rf "$state"
    mkdir -p "$state"
    local loader=/usr/lib/wine/wine64
    [ "$arch" = win32 ] && loader=/usr/lib/wine/wine
    cat >"$state/config" <<CONF
VTX_PREFIX='$state/prefix'
VTX_LOADER='$loader'
VTX_WINESERVER='/usr/lib/wine/wineserver'
VTX_KEEPALIVE='$build/x86_64/tools/windows/winekeepalive.exe'
VTX_VDRAWER='$build/host/tools/vdrawer/vdrawer'
VTX_COM='$com'
CONF
    [ "$arch" = win32 ] && echo "VTX_KEEPALIVE='$build/i686/tools/windows/winekeepalive.exe'" >>"$state/config"
    wine_env_load "$state"
    export WINEARCH=$arch
    wine_env_ensure && wine_env_start_vdrawer && export VDRAWER_CONTROL_PORT=$(cat "$state/vdrawer.port") VDRAWER_COM=$com
}
prefix_down() { wine_env_stop; unset WINEARCH; }

w() { "$VTX_LOADER" "$@" </dev/null 2>/dev/null; }
msi() { # action (/i|/x), package, properties...
    local action=$1 package=$2; shift 2
    w msiexec "$action" "Z:${package//\//\\}" /qn "$@" >/dev/null # reg.exe run by the package prints
}
# reg query output of a key in a view, or "absent".
query() {
    local out
    out=$(w reg query "$1" /s /reg:"$2") || { echo absent; return; }
    tr -d '\r' <<<"$out" | sed '/^$/d'
}
value_of() { # key, value ('' for the default), view
    local args=(/v "$2") label=$2
    [ -n "$2" ] || args=(/ve) label='(Default)'
    w reg query "$1" "${args[@]}" /reg:"$3" | tr -d '\r' | sed -n "s/^ *$label *REG_[A-Z]* *//p"
}
dump_registration() { # views...
    local v k
    for v in "$@"; do for k in "${com_keys[@]}"; do echo "[$v] $k"; query "$k" "$v"; done; done |
        # The installer's folder names end in a backslash; the system's do not.
        sed -E 's/(REG_SZ .*)\\$/\1/'
}
installed_version() { # the DisplayVersion of every installed product of ours
    w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 | tr -d '\r' |
        awk '/^HKEY/ { ours = 0 } /DisplayName .*VTXCashDrawer/ { ours = 1 }
             /DisplayVersion/ { version = $NF } ours && version { print version; version = "" ; ours = 0 }' |
        sort -u | tr '\n' ' ' | sed 's/ $//'
}
device_values_are() { # value name, expected text, views...
    local name=$1 want=$2 v got; shift 2
    for v in "$@"; do
        got=$(value_of "$class_key\\VX-CDUSB" "$name" "$v")
        [ "$got" = "$want" ] || { echo "    $name in view $v: $got"; return 1; }
    done
}
ports_are() { device_values_are Port "$@"; }
reconnect_is() { # expected ("0x1" or "absent"), views...
    local want=$1 v d got; shift
    for v in "$@"; do for d in VX-CDUSB VX-CD; do
        got=$(w reg query "$class_key\\$d" /v AutoReconnect /reg:"$v" | tr -d '\r' | sed -n 's/^ *AutoReconnect *REG_DWORD *//p')
        [ "${got:-absent}" = "$want" ] || { echo "    AutoReconnect of $d in view $v: ${got:-absent}"; return 1; }
    done; done
}
device_keys_in() { # views...
    local v d
    for v in "$@"; do for d in VX-CDUSB VX-CD; do
        [ "$(value_of "$class_key\\$d" '' "$v")" = Veltrix.OPOS.CashDrawerUSB ] || return 1
    done; done
}
# Same registry as regsvr32 of the installed files writes, each by its own
# architecture's regsvr32. The type library's help folder is the one of the
# first registration (Wine keeps it), the 64-bit one in the x64 package.
registration_matches_regsvr32() { # views...
    local before after left servers=() s
    before=$(dump_registration "$@")
    if [ "$VTX_LOADER" = /usr/lib/wine/wine64 ]; then
        servers=("wine64:$dir64\\VTXCashDrawer.dll" "wine64:$dir64\\OPOSCashDrawer.dll"
                 "wine:$dir32\\VTXCashDrawer.dll" "wine:$dir32\\OPOSCashDrawer.dll")
    else
        servers=("wine:$dir64\\VTXCashDrawer.dll" "wine:$dir64\\OPOSCashDrawer.dll")
    fi
    for s in "${servers[@]}"; do "/usr/lib/wine/${s%%:*}" regsvr32 /s /u "${s#*:}" </dev/null 2>/dev/null; done
    left=$(dump_registration "$@" | grep -v '^\[\|^absent')
    for s in "${servers[@]}"; do "/usr/lib/wine/${s%%:*}" regsvr32 /s "${s#*:}" </dev/null 2>/dev/null; done
    after=$(dump_registration "$@")
    [ -z "$left" ] || { echo "    regsvr32 /u left: $left" | head -5; return 1; }
    [ "$before" = "$after" ] || { diff <(echo "$before") <(echo "$after") | head -20; return 1; }
}
drawer_test() { # loader, installed drawertest
    "$VTX_VDRAWER" ctl "$VDRAWER_CONTROL_PORT" AUTOCLOSE 2000 >/dev/null
    "$1" "$2" VX-CDUSB </dev/null >"$work/drawertest.log" 2>&1 || { tail -5 "$work/drawertest.log"; return 1; }
}
# The installed utility's builds, driven by the utility's own run test: a
# port typed into the port box reaches the registry view of either
# architecture.
utility_sets_port() { # loader, tree of the test program[, test]
    local dir=$VTX_PREFIX/drive_c/Program\ Files/Veltrix\ Works/VTXCashDrawer
    VTX_UTILITY_DIR=$dir "$1" "$build/$2/tests/setup/setup_run_tests.exe" --gtest_filter="${3:-*PortBoxStores*}" \
        </dev/null >"$work/utility.log" 2>&1 || { grep -A3 -E 'Failure|FAILED' "$work/utility.log" | head -12; return 1; }
}
device_keys() { local v; for v in 64 32; do query "$class_key" $v; query 'HKLM\SOFTWARE\VTXCashDrawer upgrade' $v; done; }
# The VBScript POS session, which late-binds every member of the installed Control Object.
script_session() { # loader, script host
    "$VTX_VDRAWER" ctl "$VDRAWER_CONTROL_PORT" AUTOCLOSE 2000 >/dev/null
    "$1" "$2" //nologo "Z:${root//\//\\}\\tests\\e2e\\pos-session.vbs" VX-CDUSB </dev/null >"$work/script.log" 2>&1
    grep -q 'session passed' "$work/script.log" || { tail -5 "$work/script.log"; return 1; }
}
refused_by_launch_condition() { # package
    grep -aq 'LaunchConditions. Return value 0' "$VTX_PREFIX/drive_c/downgrade.log" &&
        msiinfo export "$1" LaunchCondition | grep -q 'A newer version of \[ProductName\] is already installed'
}
# The event log source names that module (or "absent"), with the types it writes.
event_source_is() { # module, view
    [ "$1" = absent ] && { [ "$(query "$ev_key" "$2")" = absent ]; return; }
    local got; got="$(value_of "$ev_key" EventMessageFile "$2") $(value_of "$ev_key" TypesSupported "$2")"
    [ "$got" = "$1 0x7" ] || { echo "    event source: $got"; return 1; }
}
nothing_of_ours_left() {
    local v k
    for v in 64 32; do
        for k in "${com_keys[@]}" "$class_key" "$ev_key"; do
            [ "$(query "$k" "$v")" = absent ] || { echo "    left in view $v: $k"; return 1; }
        done
    done
    ! compgen -G "$VTX_PREFIX/drive_c/Program*/Veltrix*" >/dev/null &&
        ! compgen -G "$VTX_PREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VTXCashDrawer" >/dev/null
}

foreign_co() { local v; for v in $names; do query 'HKCR\OPOS.CashDrawer' $v; done; for v in 64 32; do query "HKCR\\CLSID\\$foreign" $v; done; }
ours_co() { # views with our class, then views whose programs get it by "OPOS.CashDrawer"
    local v; for v in 64 32; do [ "$(query "HKCR\\CLSID\\$co_clsid" $v)" = absent ] || echo "$v"; done
    for v in 64 32; do
        [ "$(VTX_LOADER=/usr/lib/wine/wine value_of 'HKCR\OPOS.CashDrawer\CLSID' '' $v)" != "$co_clsid" ] || echo "$v"
    done
}

policy_template_in() { local d="$VTX_PREFIX/drive_c/Program Files/Veltrix Works/VTXCashDrawer/PolicyDefinitions" f
    for f in VTXCashDrawer.admx en-US/VTXCashDrawer.adml; do cmp -s "$d/$f" "$root/installer/policy/$f" || return 1; done; }

scenario_x64() {
    prefix_up win64 x64 || { fail "prefix"; return; }
    msi /i "$field64" USBPORT=COM3 AUTORECONNECT=1
    check "older package installed" [ "$(installed_version)" = 2.0.0 ]
    # What the utility and a site set, each view its own (AutoReconnect on for 64-bit programs only).
    local v
    for v in 64 32; do
        w reg add "$class_key\\VX-CDUSB" /v Port /d "COM$com" /f /reg:$v >/dev/null
        w reg add "$class_key\\VX-CDUSB" /v LDN /d 2 /f /reg:$v >/dev/null
        for x in "TraceLevel /t REG_DWORD /d $((v / 16))" "TraceFile /d C:\\vx$v.log" "SiteNote /d till$v"; do
            w reg add "$class_key\\VX-CD" /v $x /f /reg:$v && w reg add "$class_key\\VX-CDUSB" /v $x /f /reg:$v; done >/dev/null
    done
    w reg add "$class_key\\VX-CDUSB" /v AutoReconnect /t REG_DWORD /d 0 /f /reg:32 >/dev/null
    local kept; kept=$(device_keys)
    msi /i "$new64"
    check "upgrade replaced the older product" [ "$(installed_version)" = "$version" ]
    check "the port survived the upgrade in both views" ports_are "COM$com" 64 32
    check "the LDN count survived the upgrade in both views" device_values_are LDN 2 64 32
    check "AUTORECONNECT survived the upgrade in the 64-bit view" reconnect_is 0x1 64
    check "every value survived, each view's own, and no copy is left" [ "$kept" = "$(device_keys)" ]
    check "device keys in both views" device_keys_in 64 32
    check "the Group Policy template and its texts" policy_template_in
    check "no serial port preset" [ -z "$(value_of "$class_key\\VX-CD" Port 64)" ]
    check "registration equals regsvr32's, both views" registration_matches_regsvr32 64 32
    check "event source: the 64-bit module" event_source_is "$dir64\\VTXCashDrawer.dll" 64
    check "64-bit drawertest from the installed files" drawer_test /usr/lib/wine/wine64 "$dir64\\drawertest.exe"
    check "32-bit drawertest from the installed files" drawer_test /usr/lib/wine/wine "$dir32\\drawertest.exe"
    check "64-bit script client, every member" script_session /usr/lib/wine/wine64 'C:\windows\system32\cscript.exe'
    check "32-bit script client, every member" script_session /usr/lib/wine/wine 'C:\windows\syswow64\cscript.exe'
    msi /i "$old64" /l*v 'C:\downgrade.log'
    check "a downgrade is refused ($(installed_version))" [ "$(installed_version)" = "$version" ]
    # Wine's msiexec logs the refusal but not the text it would show.
    check "by the launch condition that says why" refused_by_launch_condition "$old64"
    msi /x "$new64"
    check "uninstall leaves nothing of ours" nothing_of_ours_left
    prefix_down
}

scenario_presets() {
    local com=12 # a port only its device name reaches, as USB adapters' often are
    prefix_up win64 presets || { fail "prefix"; return; }
    msi /i "$new64" USBPORT=COM5 SERIALPORT=COM6
    check "USBPORT preset in both views" ports_are COM5 64 32
    check "SERIALPORT preset" [ "$(value_of "$class_key\\VX-CD" Port 32)" = COM6 ]
    check "no AutoReconnect unless asked for" reconnect_is absent 64 32
    check "the installed utility changes the port in both views" utility_sets_port /usr/lib/wine/wine64 x86_64
    check "and offers COM$com" utility_sets_port /usr/lib/wine/wine64 x86_64 '*StartsWithTheStoredPort*'
    prefix_down
}

scenario_foreign_co() {
    prefix_up win64 foreign || { fail "prefix"; return; }
    local foreign='{11111111-2222-3333-4444-555555555555}' v before
    for v in 64 32; do
        w reg add 'HKCR\OPOS.CashDrawer' /ve /d 'Foreign Control Object' /f /reg:$v >/dev/null
        w reg add 'HKCR\OPOS.CashDrawer\CLSID' /ve /d "$foreign" /f /reg:$v >/dev/null
        w reg add "HKCR\\CLSID\\$foreign\\InprocServer32" /ve /d 'C:\foreign\OPOS.dll' /f /reg:$v >/dev/null
    done
    before=$(for v in 64 32; do query 'HKCR\OPOS.CashDrawer' $v; query "HKCR\\CLSID\\$foreign" $v; query "HKCR\\CLSID\\$co_clsid" $v; done)
    msi /i "$new64" REMOVE=ControlObject
    check "our service object installed" [ "$(query "HKCR\\CLSID\\$so_clsid\\InProcServer32" 64)" != absent ]
    check "our Control Object's file not installed" [ ! -e "$VTX_PREFIX/drive_c/Program Files/Veltrix Works/VTXCashDrawer/OPOSCashDrawer.dll" ]
    check "the foreign Control Object's registration untouched" [ "$before" = "$(for v in 64 32; do query 'HKCR\OPOS.CashDrawer' $v; query "HKCR\\CLSID\\$foreign" $v; query "HKCR\\CLSID\\$co_clsid" $v; done)" ]
    msi /x "$new64"
    check "and still untouched after uninstall" [ "$before" = "$(for v in 64 32; do query 'HKCR\OPOS.CashDrawer' $v; query "HKCR\\CLSID\\$foreign" $v; query "HKCR\\CLSID\\$co_clsid" $v; done)" ]
    # Each case: the foreign ProgID's views (32: Wine's HKCR\Wow6432Node, 64: the one Windows shares), its
    # class's, then ours: views with our class, views whose programs get it by name; compared with the
    # foreign ProgID and class subtrees (foreign_co) before each step.
    local c names classes want step
    for c in "64 32|64 32|" "32|32|64 64" "64|32|64" "||64 32 64 32"; do
        IFS='|' read -r names classes want <<<"$c"
        for v in 64 32; do w reg delete 'HKCR\OPOS.CashDrawer' /f /reg:$v; w reg delete "HKCR\\CLSID\\$foreign" /f /reg:$v
        done >/dev/null
        for v in $names; do w reg add 'HKCR\OPOS.CashDrawer\CLSID' /ve /d "$foreign" /f /reg:$v; done >/dev/null
        for v in $classes; do w reg add "HKCR\\CLSID\\$foreign\\InprocServer32" /ve /d 'C:\foreign\OPOS.dll' /f /reg:$v; done >/dev/null
        before=$(foreign_co)
        for step in "/i:$old64" "/i:$new64" "/x:$new64"; do
            msi "${step%%:*}" "${step#*:}" USBPORT="COM$com"
            [ "${step%%:*}" = /x ] && want=
            check "[$c] ${step##*/}: the foreign one untouched, ours in [$want]" \
                [ "$before|$want" = "$(foreign_co)|$(echo $(ours_co))" ]
            [ "$want:$step" = "64 64:/i:$new64" ] &&
                check "[$c] ours for 64-bit programs" drawer_test /usr/lib/wine/wine64 "$dir64\\drawertest.exe"
        done
    done
    prefix_down
}
scenario_repair() { # Wine's msiexec cannot repair by /f with a package; the properties ask for it
    prefix_up win64 repair || { fail "prefix"; return; }
    local v f="$VTX_PREFIX/drive_c/Program Files/Veltrix Works/VTXCashDrawer/drawertest.exe" again=(REINSTALL=ALL REINSTALLMODE=omus)
    msi /i "$new64" USBPORT=COM5 AUTORECONNECT=1
    for v in "AutoReconnect /t REG_DWORD /d 0 /reg:"{64,32} "SiteNote /d kept /reg:"{64,32}; do w reg add "$class_key\\VX-CDUSB" /v $v /f; done >/dev/null
    w reg delete "$class_key\\VX-CD" /f /reg:32 >/dev/null && w reg delete 'HKCR\OPOS.CashDrawer' /f /reg:64 >/dev/null && rm "$f"
    msi /i "$new64" "${again[@]}"
    check "repair: the file, device key (both views) and ProgID deleted are back; Port, AutoReconnect and a site's value kept" \
        eval '[ -f "$f" ] && device_keys_in 64 32 && [ "$(value_of "HKCR\\OPOS.CashDrawer\\CLSID" "" 64)" = "$co_clsid" ] &&
        ports_are COM5 64 32 && device_values_are AutoReconnect 0x0 64 32 && device_values_are SiteNote kept 64 32'
    msi /i "$new64" "${again[@]}" USBPORT=COM8
    check "reinstall: USBPORT written, both views" ports_are COM8 64 32
    msi /i "$new64" AUTORECONNECT=1
    check "installed again: AUTORECONNECT written, both views" device_values_are AutoReconnect 0x1 64 32
    prefix_down
}

# Another vendor's Control Object installed after ours (the released package), its class in both views or one.
scenario_foreign_after() {
    prefix_up win64 after || { fail "prefix"; return; }
    local foreign='{11111111-2222-3333-4444-555555555555}' names=64 classes v step action props before
    for classes in "64 32" 64 32; do msi /i "$field64" # ours on a clean terminal
        for v in "\\CLSID /d $foreign" " /d Foreign"; do w reg add "HKCR\\OPOS.CashDrawer${v%% *}" /ve ${v#* } /f /reg:64; done >/dev/null
        for v in $classes; do w reg add "HKCR\\CLSID\\$foreign\\InprocServer32" /ve /d 'C:\foreign\OPOS.dll' /f /reg:$v; done >/dev/null
        before=$(foreign_co) # what another vendor's installer wrote over ours
        for step in "upgrade /i" "repair /i REINSTALL=ALL REINSTALLMODE=omus" "uninstall /x"; do read -r step action props <<<"$step"
            msi "$action" "$new64" $props
            check "[$classes] $step ($(installed_version)): the foreign ProgID and class untouched" [ "$before" = "$(foreign_co)" ]
        done
        for v in 64 32; do w reg delete 'HKCR\OPOS.CashDrawer' /f /reg:$v; w reg delete "HKCR\\CLSID\\$foreign" /f /reg:$v; done >/dev/null
    done
    prefix_down
}

# A repair rewrites every Registry row it reinstalls (mode m), an uninstall removes each by name: so a device key's rows only remove
# it or write back its default as searched there, in its view; none holds the ProgID; reg.exe touches what is not ours only so.
tables_leave_what_is_not_ours() { # msi
    local t tables=(Component AppSearch RegLocator InstallExecuteSequence Registry CustomAction)
    for t in "${tables[@]}"; do msiinfo export "$1" $t | tr -d '\r' | tail -n +4 >"$work/$t"; done
    (cd "$work" && awk -F'\t' 'function bad(m) { print "    " m; failed = 1 } function bare(v) { gsub(/^\[|\]$/, "", v); return v }
        FILENAME == "Component" { win64[$1] = int($4 / 256) % 2 } FILENAME == "AppSearch" { sig[$1] = $2 }
        FILENAME == "RegLocator" { loc[$1] = $2 "|" $3 "|" $4 "|" int($5 / 16) % 2 } FILENAME ~ /Sequence/ { cond[$1] = $2 }
        FILENAME == "Registry" && $3 ~ /^SOFTWARE.OLEforRetail/ && $4 != "-" &&
            ($4 != "" || loc[sig[bare($5)]] != $2 "|" $3 "||" win64[$6]) { bad("a repair rewrites " $3 " " $4 "=" $5) }
        FILENAME == "Registry" && $3 ~ /(^|Classes.)OPOS\.CashDrawer/ { bad("a Registry row holds " $3) }
        FILENAME == "CustomAction" && (($4 ~ /(add|copy "[^"]*") "HKLM.SOFTWARE.OLEforRetail/ &&
            cond[$1] !~ /^(WIX_UPGRADE_DETECTED AND NOT Installed|\(?(USBPORT|SERIALPORT|AUTORECONNECT) )/) ||
            ($4 ~ /(add|delete|copy "[^"]*") "[^"]*OPOS\.CashDrawer/ && cond[$1] !~ /CONAMETAKEN|~= CoClsid/) ||
            ($4 ~ /"HKLM.SYSTEM[^"]*VTXCashDrawer"/ && cond[$1] !~ /EVENTMESSAGEFILE ~= EVENTMODULE|^NOT REMOVE~="ALL"$/) ||
            ($4 ~ /"HKLM.SYSTEM[^"]*VTXCashDrawer"/ && $4 ~ /delete/ && cond[$1] !~ /^REMOVE~="ALL" AND EVENTMESSAGEFILE ~= EVENTMODULE/)) { bad($1 ": " cond[$1]) }
        END { exit failed }' "${tables[@]}")
}
# The package and every program in it verify against the test certificate, and a program with one byte changed does not.
signed() { # msi, number of programs
    local f x=$work/extract ca=(-CAfile "$build/package/test-signing.pem")
    rm -rf "$x" && mkdir -p "$x" && (cd "$x" && msiextract "$1" >/dev/null) && msiinfo suminfo "$1" | grep -q '^Comments: TEST-SIGNED' &&
        [ "$(find "$x" -iname '*.dll' -o -iname '*.exe' | wc -l)" = "$2" ] || { echo "    not test-signed or not $2 programs"; return 1; }
    while IFS= read -r f; do osslsigncode verify -in "$f" "${ca[@]}" >/dev/null || { echo "    not verified: $f"; return 1; }
    done < <(echo "$1"; find "$x" -iname '*.dll' -o -iname '*.exe')
    f=$(find "$x" -iname '*.dll' | head -1) && python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read())
b[4396] ^= 1; open(sys.argv[2], "wb").write(b)' "$f" "$x/changed" # in the code, which the signature covers
    ! osslsigncode verify -in "$x/changed" "${ca[@]}" >/dev/null 2>&1 || { echo "    changed, verified: $f"; return 1; }
}
scenario_tables() { local a m; for a in x64:8 x86:5; do m=$build/package/VTXCashDrawer-$version-${a%:*}.msi
    check "${a%:*}: a repair or an uninstall leaves what is not ours" tables_leave_what_is_not_ours "$m"
    check "${a%:*}: the package and its ${a#*:} programs signed" signed "$m" "${a#*:}"; done; }

scenario_x86() {
    prefix_up win32 x86 || { fail "prefix"; return; }
    msi /i "$new86" USBPORT="COM$com"
    check "device keys" device_keys_in 32
    check "USBPORT preset" ports_are "COM$com" 32
    check "the Group Policy template and its texts" policy_template_in
    check "registration equals regsvr32's" registration_matches_regsvr32 32
    check "drawertest from the installed files" drawer_test /usr/lib/wine/wine "$dir64\\drawertest.exe"
    check "the installed utility changes the port" utility_sets_port /usr/lib/wine/wine i686
    check "event source: the installed module" event_source_is "$dir64\\VTXCashDrawer.dll" 32
    msi /x "$new86"
    check "uninstall removes the event source" event_source_is absent 32
    prefix_down
}

# Both packages on one 64-bit terminal, installed and removed in either order: the event source names the 64-bit
# module while the x64 package is installed, the 32-bit one while only the x86 package is, and goes with the last.
scenario_both() {
    prefix_up win64 both || { fail "prefix"; return; }
    local order first second
    for order in "$new86 $new64" "$new64 $new86"; do read -r first second <<<"$order"
        msi /i "$first" && msi /i "$second"
        check "$(basename "$second") after $(basename "$first"): the 64-bit module" event_source_is "$dir64\\VTXCashDrawer.dll" 64
        msi /x "$first"
        check "$(basename "$first") removed" event_source_is "$([ "$first" = "$new64" ] && echo "$dir32" || echo "$dir64")\\VTXCashDrawer.dll" 64
        msi /x "$second"
        check "both removed" event_source_is absent 64
    done
    prefix_down
}

scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(tables x64 presets foreign_co repair foreign_after x86 both)
mkdir -p "$work"
# An older package of the same files, for the upgrade and the downgrade.
VTX_PACKAGE_VERSION=2.0.0 VTX_PACKAGE_DIR=$work "$root/scripts/package.sh" x64 >/dev/null ||
    { echo "package-test: cannot build the older package" >&2; exit 1; }
rm -rf "$work/field" && mkdir -p "$work/field" && git -C "$root" archive "$field_commit" installer scripts/package.sh | tar -x -C "$work/field" &&
    VTX_BUILD_DIR=$build VTX_PACKAGE_VERSION=2.0.0 VTX_PACKAGE_DIR=$work/field "$work/field/scripts/package.sh" x64 >/dev/null ||
    { echo "package-test: cannot build the released package" >&2; exit 1; }
for s in "${scenarios[@]}"; do
    echo "== package test: $s"
    before=$failures
    "scenario_$s"
    [ "$failures" = "$before" ] && echo "  ok"
done
echo "installer: $passed passed, $failures failed"
[ "$failures" = 0 ]
