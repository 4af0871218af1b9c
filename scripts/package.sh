#!/usr/bin/env bash
# Builds the Windows Installer packages from the two architectures' builds:
#   build/package/VTXCashDrawer-<version>-x64.msi  (needs build/x86_64 and build/i686)
#   build/package/VTXCashDrawer-<version>-x86.msi  (needs build/i686)
# The packages ship stripped copies of the binaries; the debug symbols stay
# beside the build in build/<arch>/symbols/. The version is the project's
# (CMakeLists.txt); VTX_PACKAGE_VERSION overrides it (the upgrade test builds
# an older package so).
# Every DLL and EXE is signed before wixl packs it, then each package
# (Authenticode, SHA-256, osslsigncode):
#   VTX_SIGN_PKCS12         the vendor's PKCS#12 file (certificate and key)
#   VTX_SIGN_PASSWORD_FILE  a file holding its password (read by the tools
#                           themselves, so it is on no command line)
#   VTX_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (optional)
# Without VTX_SIGN_PKCS12 each run makes a throwaway self-signed certificate
# and signs with it, so that every build goes the same way: the packages'
# comments (summary information) then say "TEST-SIGNED", and the
# certificate is left beside them as test-signing.pem for verification.
# Usage: scripts/package.sh [x64|x86 ...]   (default: both)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
out=${VTX_PACKAGE_DIR:-$build/package}
packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(x64 x86)

version_of() { # build tree
    sed -n 's/^#define VTX_VERSION_TEXT "\(.*\)"/\1/p' "$1/generated/VtxVersion.h"
}

stage() { # arch (x86_64|i686), stage folder
    local arch=$1 dest=$2 tree=$build/$1 f name
    local objcopy=$arch-w64-mingw32-objcopy
    mkdir -p "$dest" "$tree/symbols"
    for f in so/module/VTXCashDrawer.dll controlobject/OPOSCashDrawer.dll tools/windows/drawertest.exe \
             setup/cdsetupusb.exe setup/cdsetup.exe; do
        [ -f "$tree/$f" ] || { echo "package: $tree/$f is missing: build $arch first" >&2; exit 1; }
        name=$(basename "$f")
        "$objcopy" --only-keep-debug "$tree/$f" "$tree/symbols/$name.debug"
        "$objcopy" --strip-debug --strip-unneeded --add-gnu-debuglink="$tree/symbols/$name.debug" \
            "$tree/$f" "$dest/$name"
        sign "$dest/$name"
    done
}

# Sets sign_p12, sign_pass and signed_by; a throwaway certificate's key
# lives only in a private folder that goes when the script ends.
signing_setup() {
    keys=$(mktemp -d)
    trap 'rm -rf "$keys"' EXIT
    rm -f "$out/test-signing.pem"
    if [ -n "${VTX_SIGN_PKCS12:-}" ]; then
        sign_p12=$VTX_SIGN_PKCS12 sign_pass=${VTX_SIGN_PASSWORD_FILE:-}
        [ -r "$sign_p12" ] && [ -r "$sign_pass" ] ||
            { echo "package: VTX_SIGN_PKCS12 and VTX_SIGN_PASSWORD_FILE must name readable files" >&2; exit 1; }
        signed_by=$(openssl pkcs12 -in "$sign_p12" -passin "file:$sign_pass" -nokeys -clcerts 2>/dev/null |
                    openssl x509 -noout -subject -nameopt oneline 2>/dev/null) ||
            { echo "package: cannot read the certificate in $sign_p12 with the password in $sign_pass" >&2; exit 1; }
        signed_by="Signed: ${signed_by#subject=}"
        return
    fi
    sign_p12=$keys/test.p12 sign_pass=$keys/password
    (umask 077
     openssl rand -base64 32 >"$sign_pass"
     cp "$sign_pass" "$keys/password.in" # openssl reads the next line of a file named twice
     openssl req -x509 -newkey rsa:3072 -sha256 -days 30 -subj "/O=Veltrix Works/CN=VTXCashDrawer test signing" \
         -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature \
         -keyout "$keys/key.pem" -passout "file:$keys/password.in" -out "$keys/cert.pem" 2>/dev/null &&
     openssl pkcs12 -export -inkey "$keys/key.pem" -passin "file:$keys/password.in" -in "$keys/cert.pem" \
         -passout "file:$sign_pass" -out "$sign_p12") ||
        { echo "package: cannot make the test certificate" >&2; exit 1; }
    install -m 644 "$keys/cert.pem" "$out/test-signing.pem"
    signed_by="TEST-SIGNED with a throwaway certificate: not for release"
}

sign() { # file: signed in place
    local ts=()
    [ -z "${VTX_SIGN_TIMESTAMP_URL:-}" ] || ts=(-ts "$VTX_SIGN_TIMESTAMP_URL")
    rm -f "$1.signed"
    osslsigncode sign -pkcs12 "$sign_p12" -readpass "$sign_pass" -h sha256 -n "VTXCashDrawer" "${ts[@]}" \
        -in "$1" -out "$1.signed" >"$keys/sign.log" 2>&1 ||
        { cat "$keys/sign.log" >&2; echo "package: signing $1 failed" >&2; exit 1; }
    mv "$1.signed" "$1"
}

# What wixl cannot author, set on the built package: our Control Object's
# class only in a view without another one (installer/VTXCashDrawer.wxs);
# each device key is removed whole at uninstall (registry name "-"), values
# the utility added included; a rebuilt package of the same version replaces
# the installed one (version maximum inclusive) instead of installing beside
# it; and an older product goes before anything of this one is installed.
# Removed after (WiX's default), it would take the upgrade code's
# registration with it under Wine, so that a later downgrade went unnoticed.
finish_package() { # msi, arch, version
    local msi=$1 views=(32) view device upgrade_code
    [ "$2" = x86 ] || views=(32 64)
    upgrade_code=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p')
    msibuild "$msi" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
    msibuild "$msi" -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`)
        VALUES ('$upgrade_code', '$3', 513, 'WIX_UPGRADE_DETECTED')"
    for view in "${views[@]}"; do
        msibuild "$msi" -q "UPDATE \`Component\` SET \`Condition\` = 'NOT FOREIGNCO$view' WHERE \`Component\` = 'ControlObject$view'"
        for device in VX-CDUSB VX-CD; do
            msibuild "$msi" -q "INSERT INTO \`Registry\` (\`Registry\`, \`Root\`, \`Key\`, \`Name\`, \`Component_\`)
                VALUES ('Remove$device$view', 2, '$class_key\\$device', '-', 'Devices$view')"
        done
    done
    script_actions "$msi" "$2" "${views[@]}"
    check_search_order "$msi"
}

# reg.exe run in the installation script as the system: 34 (an executable
# in a folder) + 1024 (in the script) + 2048 (no impersonation) = 3106 fails
# the installation when reg.exe fails; 3170 (+64) passes over a failure.
# The x86 package's reg.exe is the 32-bit one wherever it runs and takes no
# view; the x64 package's is the 64-bit one (arch: script_actions').
reg_action() { # msi, action, type, sequence, condition, view, reg.exe arguments
    local reg='"[System64Folder]reg.exe"' flag=" /reg:$6"
    [ "$arch" = x86 ] && reg='"[SystemFolder]reg.exe"' flag=
    msibuild "$1" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`)
        VALUES ('$2', $3, 'TARGETDIR', '$reg $7$flag')"
    msibuild "$1" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`)
        VALUES ('$2', '$5', $4)"
}

# The installation script's reg.exe steps.
# - An upgrade carries the device keys over: the older product's removal
#   takes them whole, and packages in the field do so too. Each view's keys
#   are copied aside before the older product goes and copied back before
#   this package writes its own values (so that a value given on the command
#   line wins), then the copy is deleted. The script so far is run
#   (InstallExecute) before the removal and again before the registry is
#   written. A step that fails is passed over (a key that does not exist,
#   reg.exe refusing): the installation goes on without it.
# - USBPORT, SERIALPORT and AUTORECONNECT (0 or 1) are written whenever they
#   are given, in every view: at installation, after an upgrade's carried
#   values, at a repair or a second installation of the same package. They
#   are no rows of the Registry table, which a repair would write again with
#   the first installation's values (or none: a command line is not kept),
#   over what the site set since.
# - Our Control Object's ProgID (one key for both views) is written only
#   where no other vendor's class holds it (CONAMETAKEN, searched at the
#   start of every run) and removed only while it names our class: another
#   vendor's installer may take it over after ours, and Registry rows would
#   be removed by name at uninstall and rewritten by a repair. Packages in
#   the field (2.1.0) wrote it with Registry rows, so their removal in an
#   upgrade deletes another vendor's values: an upgrade carries a ProgID it
#   does not write over too.
script_actions() { # msi, arch, views...
    local msi=$1 arch=$2 view device upper aside=1501 back=4980 drop=5001; shift 2
    local native=${*: -1} upgrade='WIX_UPGRADE_DETECTED AND NOT Installed' given='AND NOT REMOVE~="ALL"'
    local backup='HKLM\SOFTWARE\VTXCashDrawer upgrade' progid='HKLM\SOFTWARE\Classes\OPOS.CashDrawer'
    for view in "$@"; do
        reg_action "$msi" "ClearCopy$view" 3170 $((aside++)) "$upgrade" "$view" "delete \"$backup\" /f"
        for device in Usb:VX-CDUSB Serial:VX-CD; do
            reg_action "$msi" "CopyAside${device%%:*}$view" 3170 $((aside++)) "$upgrade" "$view" \
                "copy \"HKLM\\$class_key\\${device#*:}\" \"$backup\\${device#*:}\" /s /f"
            reg_action "$msi" "CopyBack${device%%:*}$view" 3170 $((back++)) "$upgrade" "$view" \
                "copy \"$backup\\${device#*:}\" \"HKLM\\$class_key\\${device#*:}\" /s /f"
        done
        reg_action "$msi" "DropCopy$view" 3170 $((drop++)) "$upgrade" "$view" "delete \"$backup\" /f"
    done
    reg_action "$msi" CopyAsideCoProgId 3170 $((aside++)) "$upgrade AND CONAMETAKEN" "$native" \
        "copy \"$progid\" \"$backup\\ProgId\" /s /f"
    reg_action "$msi" CopyBackCoProgId 3170 $((back++)) "$upgrade AND CONAMETAKEN" "$native" \
        "copy \"$backup\\ProgId\" \"$progid\" /s /f"
    for view in "$@"; do
        for device in Usb:VX-CDUSB Serial:VX-CD; do
            upper=${device%%:*} && upper=${upper^^}
            reg_action "$msi" "Preset${device%%:*}Port$view" 3106 $((back++)) "${upper}PORT $given" "$view" \
                "add \"HKLM\\$class_key\\${device#*:}\" /v Port /d \"[${upper}PORT]\" /f"
            reg_action "$msi" "Preset${device%%:*}Reconnect$view" 3106 $((back++)) \
                "(AUTORECONNECT = \"0\" OR AUTORECONNECT = \"1\") $given" "$view" \
                "add \"HKLM\\$class_key\\${device#*:}\" /v AutoReconnect /t REG_DWORD /d [AUTORECONNECT] /f"
        done
    done
    # Installed or repaired: a repair (REINSTALL) leaves the feature's action state unchanged.
    local co='NOT CONAMETAKEN AND (&ControlObject = 3 OR (REINSTALL AND !ControlObject = 3))'
    reg_action "$msi" WriteCoProgIdName 3106 5010 "$co" "$native" "add \"$progid\" /ve /d \"[CoDescription]\" /f"
    reg_action "$msi" WriteCoProgIdClass 3106 5011 "$co" "$native" "add \"$progid\\CLSID\" /ve /d \"[CoClsid]\" /f"
    reg_action "$msi" RemoveCoProgId 3170 2610 "&ControlObject = 2 AND COPROGID$native ~= CoClsid" "$native" \
        "delete \"$progid\" /f"
    event_source_actions "$msi" "$arch" "$native"
    msibuild "$msi" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('InstallExecute', 1510)"
    msibuild "$msi" -q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 1511 WHERE \`Action\` = 'RemoveExistingProducts'"
    msibuild "$msi" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('InstallExecuteAgain', 4995)"
}

# The event log source "VTXCashDrawer" (HKLM\SYSTEM is one key for both views,
# so both packages share it): the x64 package registers its 64-bit module, the
# x86 package its 32-bit one only where no other module is registered (the x64
# package's, when both are installed). Written at every run but an uninstall,
# as the ProgID is: a Registry row would be removed by name whoever's value it
# held. Removed at uninstall only while it names this package's module; the x64
# package hands it to the 32-bit module instead when the x86 package stays
# installed (X86PRODUCT: a value of that package's own, installer/VTXCashDrawer.wxs).
# A step that fails is passed over: the driver works without its event log.
event_source_actions() { # msi, arch, native view
    local msi=$1 key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VTXCashDrawer'
    local write='NOT REMOVE~="ALL"' ours='REMOVE~="ALL" AND EVENTMESSAGEFILE ~= EVENTMODULE'
    [ "$2" = x64 ] || write="$write AND (NOT EVENTMESSAGEFILE OR EVENTMESSAGEFILE ~= EVENTMODULE)"
    reg_action "$msi" WriteEventSourceFile 3170 5012 "$write" "$3" "add \"$key\" /v EventMessageFile /d \"[EVENTMODULE]\" /f"
    reg_action "$msi" WriteEventSourceTypes 3170 5013 "$write" "$3" "add \"$key\" /v TypesSupported /t REG_DWORD /d 7 /f"
    if [ "$2" = x64 ]; then
        reg_action "$msi" HandOverEventSource 3170 2611 "$ours AND X86PRODUCT" "$3" \
            "add \"$key\" /v EventMessageFile /d \"[INSTALLDIR32]VTXCashDrawer.dll\" /f"
        ours="$ours AND NOT X86PRODUCT"
    fi
    reg_action "$msi" RemoveEventSource 3170 2612 "$ours" "$3" "delete \"$key\" /f"
}

# A search whose key names another search's property has to come after it
# in the AppSearch table, or it looks with that property still empty.
check_search_order() { # msi
    local keys
    keys=$(msiinfo export "$1" RegLocator | tr -d '\r' | tail -n +4 | cut -f1,3)
    msiinfo export "$1" AppSearch | tr -d '\r' | tail -n +4 | awk -F'\t' -v keys="$keys" '
        BEGIN { n = split(keys, rows, "\n"); for (i = 1; i <= n; i++) { split(rows[i], f, "\t"); key[f[1]] = f[2] } }
        { k = key[$2]
          while (match(k, /\[[A-Z0-9_]+\]/)) {
              p = substr(k, RSTART + 1, RLENGTH - 2); k = substr(k, RSTART + RLENGTH)
              if (!(p in found)) { print "package: the search for " $1 " needs " p " found first" > "/dev/stderr"; bad = 1 }
          }
          found[$1] = 1 }
        END { exit bad }'
}

# A copy of kCashDrawerClassKey in common/opos/OposConstants.h; scripts/check-key-copies.sh holds it to that.
class_key='SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer'
version=${VTX_PACKAGE_VERSION:-$(version_of "$build/i686")}
[ -n "$version" ] || { echo "package: no version in $build/i686/generated/VtxVersion.h" >&2; exit 1; }
work=$out/stage
rm -rf "$work"
mkdir -p "$out"
signing_setup
stage i686 "$work/x86"
cp -r "$root/installer/policy" "$work/policy"
for p in "${packages[@]}"; do
    case $p in
        x64) [ -d "$work/x64" ] || stage x86_64 "$work/x64" ;;
        x86) ;;
        *) echo "package: unknown package $p" >&2; exit 2 ;;
    esac
    msi=$out/VTXCashDrawer-$version-$p.msi
    # wixl takes the files' sources relative to the folder it runs in.
    (cd "$work" && wixl -a "$p" -D Arch="$p" -D Version="$version" -D Signing="$signed_by" -o "$msi" \
        "$root/installer/VTXCashDrawer.wxs")
    finish_package "$msi" "$p" "$version"
    sign "$msi"
    echo "package: $msi"
done
