#!/usr/bin/env bash
# Holds the Group Policy template (installer/policy) to what the service object reads and the README
# says: both files well-formed, every policy's key the one in common/win32/DeviceSettings.h, every
# policy's value name in that header's kPolicyValueNames and in the README, every name of that list
# offered by a policy, every text and presentation the template refers to defined in its en-US texts.
# Prints "policy: N passed, M failed" (one per check) as its last line for scripts/test.sh.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

admx=installer/policy/VTXCashDrawer.admx
adml=installer/policy/en-US/VTXCashDrawer.adml
header=common/win32/DeviceSettings.h
passed=0 failed=0
result() { # ok (0 or 1), message when it failed
    if [ "$1" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "policy check failed: $2"; fi
}

for f in "$admx" "$adml"; do
    xmllint --noout "$f" 2>&1
    result $? "$f is not well-formed XML"
done

# The C++ literal doubles each backslash; the template writes it once.
key=$(sed -nE 's/.*kPolicyKeyPath\[\] = L"([^"]*)".*/\1/p' "$header" | sed 's/\\\\/\\/g')
names=$(sed -n '/kPolicyValueNames\[\] = {/,/};/p' "$header" | grep -oE 'L"[^"]+"' | sed -E 's/L"(.*)"/\1/' | sort -u)
[ -n "$key" ] && [ -n "$names" ]
result $? "no kPolicyKeyPath or kPolicyValueNames found in $header"

# One line per policy: its key, then every value name it or its elements write.
policies=$(xmllint --xpath '//*[local-name()="policy"]' "$admx" 2>/dev/null |
    tr '\n' ' ' | sed 's|</policy>|&\n|g' | grep '<policy ')
bad=0
while IFS= read -r p; do
    pname=$(sed -nE 's/.*<policy [^>]*name="([^"]*)".*/\1/p' <<<"$p")
    pkey=$(sed -nE 's/.*<policy [^>]*key="([^"]*)".*/\1/p' <<<"$p")
    if [ "$pkey" != "$key" ] || grep -qE '<[a-z]+ [^>]*key="' <<<"${p#*>}"; then
        echo "policy $pname: key '$pkey' (or one of its elements' keys), not '$key'"
        bad=$((bad + 1))
    fi
    values=$(grep -oE 'valueName="[^"]*"' <<<"$p" | sed -E 's/valueName="(.*)"/\1/' | sort -u)
    [ -n "$values" ] || { echo "policy $pname writes no value"; bad=$((bad + 1)); }
    for v in $values; do
        grep -qx "$v" <<<"$names" || { echo "policy $pname: \"$v\" is not in kPolicyValueNames"; bad=$((bad + 1)); }
        grep -qw "$v" README.md || { echo "policy $pname: \"$v\" is not in README.md"; bad=$((bad + 1)); }
    done
done <<<"$policies"
[ -n "$policies" ] && [ "$bad" -eq 0 ]
result $? "$bad policy key or value name(s) above"

offered=$(grep -oE 'valueName="[^"]*"' "$admx" | sed -E 's/valueName="(.*)"/\1/' | sort -u)
missing=$(comm -23 <(echo "$names") <(echo "$offered"))
[ -z "$missing" ]
result $? "read by the service object but offered by no policy: $(echo $missing)"
grep -qF "$key" README.md
result $? "README.md does not name the policy key $key"

refs() { grep -oE "\\\$\\($1\\.[A-Za-z0-9_]+\\)" "$admx" | sed -E "s/.*\\.([A-Za-z0-9_]+)\\)/\\1/" | sort -u; }
undefined=""
for id in $(refs string); do grep -q "<string id=\"$id\">" "$adml" || undefined+=" string.$id"; done
for id in $(refs presentation); do grep -q "<presentation id=\"$id\">" "$adml" || undefined+=" presentation.$id"; done
[ -z "$undefined" ]
result $? "used in $admx, not defined in $adml:$undefined"

echo "policy: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
