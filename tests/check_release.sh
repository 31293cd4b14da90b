#!/usr/bin/env bash
# Checks the release zip against the build it came from: exactly the files a user installs, each
# the same as in <bin folder>; the four binaries 32-bit images that import nothing but Windows'
# own libraries and ours, the reader no window, shell or support library; CR LF line ends in the
# text files; the SHA-256 file matching.
#   check_release.sh <zip> <bin folder>
set -eu
export LC_ALL=C LANGUAGE=C # objdump is read by its English words
zip=$1 bin=$2 status=0
fail() { echo "FAIL: $*"; status=1; }
[ -f "$zip" ] || { echo "FAIL: no $zip (cmake --build --preset win32 --target package)"; exit 1; }
(cd "$(dirname "$zip")" && sha256sum --check --quiet "$(basename "$zip").sha256") ||
    fail "the SHA-256 file does not match"
binaries="VexmorLink.exe VexmorLinkReader.exe QZVSP0100A.DLL QZVSP0100B.DLL"
texts="ReadMe.TXT
Install.cmd
Uninstall.cmd
Examples/Example.LinkConfig
Examples/Example Compress.BAT
Examples/Example Sign.BAT"
expected=$(printf '%s\n' $binaries "$texts" | sort)
actual=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
[ "$actual" = "$expected" ] || fail "the zip holds:"$'\n'"$actual"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
unzip -q "$zip" -d "$dir"
while IFS= read -r f; do
    cmp -s "$dir/$f" "$bin/$f" || fail "$f differs from the build's"
done <<<"$actual"
bash "$(dirname "$0")/check_pe32.sh" $(for f in $binaries; do echo "$dir/$f"; done) || status=1
for f in $binaries; do
    allowed='kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|shlwapi|version|msvcrt|qzvsp0100a|qzvsp0100b'
    # What the reader exists for: a reading process that starts none of the window machinery.
    [ "$f" != VexmorLinkReader.exe ] || allowed='kernel32|advapi32|ole32|oleaut32|version|msvcrt'
    for dll in $(i686-w64-mingw32-objdump -p "$dir/$f" | sed -n 's/^\s*DLL Name: //p'); do
        echo "${dll,,}" | grep -Eqx "($allowed)\.dll" ||
            fail "$f imports $dll"
    done
done
while IFS= read -r f; do
    lf=$(tr -cd '\n' <"$dir/$f" | wc -c)
    crlf=$(grep -c $'\r$' "$dir/$f" || true)
    [ "$lf" -gt 0 ] && [ "$lf" = "$crlf" ] || fail "$f: $crlf of $lf line ends are CR LF"
done <<<"$texts"
exit $status
