#!/usr/bin/env bash
# Demonstration: builds the program, then links sample projects under Wine through it, as the
# development environment would: once without an option file (a plain pass-through); once as a
# configured build with an option file and build scripts; then a COM library and a client program
# that depends on it, both with manifests written by the program, and the client using the
# library's classes without any registration; last a program whose option file names a COM
# library it ships (COM:), run in a fresh prefix where nothing was registered. Shows the boxes the program showed, the build log,
# the scripts' captured output, the command line the linker received and the manifests.
set -eu
cd "$(dirname "$0")/.."
here=$(pwd)
scripts/setup.sh
. scripts/wine-common.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
# Wine runs with the users' code page, 1251, which it takes from a Russian locale.
wine_run() { env LC_ALL=ru_RU.UTF-8 "$here/scripts/wine-run.sh" "$@"; }
eval "$(env LC_ALL=ru_RU.UTF-8 scripts/wine-session.sh start)"
trap 'scripts/wine-session.sh stop >/dev/null 2>&1 || true' EXIT

# The product is the 32-bit program; where 32-bit programs cannot start, the 64-bit one stands in.
if reason=$(win32_reason build/win32/tests); then
    preset=win32
    echo "The 32-bit program (build/win32), under Wine's 32-bit mode."
else
    preset=win64
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 >/dev/null
    echo "32-bit programs cannot start here ($reason): the 64-bit program (build/win64) stands in."
fi
echo
build=$(pwd)/build/$preset
# A 64-bit process has only amd64 side-by-side assemblies: it runs from copies of the manifests
# that name amd64 where our 32-bit users' name X86. A 32-bit process takes them as written.
for_platform() {
    if [ "$preset" = win64 ]; then sed 's/"X86"/"amd64"/'; else cat; fi
}
demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/bin" "$demo/Sample Project"
cp "$build/bin/VexmorLink.exe" "$build/bin/VexmorLinkReader.exe" "$build/bin/QZVSP0100A.DLL" \
   "$build/bin/QZVSP0100B.DLL" "$build/bin/ReadMe.TXT" "$demo/bin/"
cp "$build/tests/LINK2.exe" "$demo/bin/LINK2.EXE" # a stand-in for the real linker
project="$demo/Sample Project"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
crlf() { sed 's/$/\r/'; }

export VEXMOR_STANDIN_RECORD="$(winpath "$demo/linker-received.txt")"
# The stand-in linker "links" by copying a prepared file to the /OUT: path: here a small program
# with a version resource, as a real link of the sample would write it.
export VEXMOR_STANDIN_OUTPUT="$(winpath "$build/tests/version/App.exe")"
# The scripts' output lands in the prefix user's folder for temporary files.
temp=$(dirname "$(find "$WINEPREFIX/drive_c/users" -maxdepth 2 -iname temp -type d | grep -v /Public/ | head -1)/x")
rm -f "$temp"/Vexmor*.TXT

# Runs the program through the dialog driver, which answers every box with OK and prints it.
# The command line goes through a file: Wine would quote Unix arguments once more.
run() {
    printf '%s' "\"$(winpath "$demo/bin/VexmorLink.exe")\" $1" > "$demo/command.txt"
    wine_run "$build/tests/DialogDriver.exe" --command-file "$(winpath "$demo/command.txt")" \
        | tr -d '\r' || true
}
show() { echo; echo "---- $1"; tr -d '\r' < "$2" | iconv -f "${3:-UTF-8}" -t UTF-8; echo; }

out="$(winpath "$project/Tool.exe")"
line="/NOLOGO /SUBSYSTEM:WINDOWS,4.0 /DEBUGTYPE:CV main.obj /OUT:\"$out\""
echo "The development environment's linker command line:"
echo "  $line"
echo

echo "==== 1. A project without an option file: the link passes through unchanged"
run "$line"
show "the linker received" "$demo/linker-received.txt"

echo "==== 2. The same project with an option file and build scripts"
printf '%s\n' '# Options of the sample project' 'CONSOLE' 'COFF' 'MAP' 'MAP_LINES' \
    'COMMENT:Сборка «Образец»' 'X-DEF' 'STRIP' '# Settings for Windows 10 and 11' 'ASINVOKER' \
    'SUPPORTEDOS' 'DPI:SYSTEM' 'LONGPATHS' | crlf | iconv -f UTF-8 -t CP1251 > "$project/Tool.LinkConfig"
printf '%s\n' '@echo off' 'echo pre-build: preparing %1' | crlf > "$project/Tool.PreBuild.BAT"
printf '%s\n' '@echo off' 'echo sign: signing %1' 'echo sign: no certificate configured, skipped 1>&2' \
    'exit /b 0' | crlf > "$project/Tool.Sign.BAT"
printf '%s\n' '@echo off' 'echo post-build: copying %1 to the release folder' | crlf > "$project/Tool.PostBuild.BAT"
run "$line"
show "option file Tool.LinkConfig" "$project/Tool.LinkConfig" CP1251
show "build log Tool.LinkLog" "$project/Tool.LinkLog" CP1251
for f in "Vexmor Pre Build.TXT" "Vexmor Sign.TXT" "Vexmor Post Build.TXT"; do
    show "captured output $f" "$temp/$f" CP1251
done
show "the linker received" "$demo/linker-received.txt"
show "manifest Tool.exe.manifest" "$project/Tool.exe.manifest"

echo "==== 3. A COM library and a client program, both linked through the program"
com="$demo/COM Sample"
mkdir -p "$com"
printf '%s\n' 'MANIFEST' | crlf > "$com/ComFixture.LinkConfig"
# The client depends on the library's assembly; a relative REF: counts from the option file.
printf '%s\n' 'NOHIDPI' 'REF:ComFixture.dll.manifest' | crlf > "$com/ComClient.LinkConfig"
VEXMOR_STANDIN_OUTPUT="$(winpath "$build/tests/ComFixture.dll")" \
    run "/NOLOGO /DLL a.obj /OUT:\"$(winpath "$com/ComFixture.dll")\""
show "the library's manifest ComFixture.dll.manifest" "$com/ComFixture.dll.manifest"
VEXMOR_STANDIN_OUTPUT="$(winpath "$build/tests/ComClient.exe")" \
    run "/NOLOGO /SUBSYSTEM:CONSOLE client.obj /OUT:\"$(winpath "$com/ComClient.exe")\""
show "the client's manifest ComClient.exe.manifest" "$com/ComClient.exe.manifest"

echo "---- the client, with nothing of the library in the registry"
run_dir="$demo/COM Sample (run)"
mkdir -p "$run_dir"
cp "$com/ComFixture.dll" "$com/ComClient.exe" "$run_dir/"
for m in ComFixture.dll.manifest ComClient.exe.manifest; do
    for_platform < "$com/$m" > "$run_dir/$m"
done
registered() { grep -c -i -F "$(sed -n 's/.*clsid="\({[^"]*}\)".*/\1/p' "$com/ComFixture.dll.manifest" | head -1)" \
    "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" | awk -F: '{s+=$2} END {print s+0}'; }
echo "registry entries naming the library's first class before the run: $(registered)"
client() {
    (cd "$run_dir" && wine_run ./ComClient.exe sta </dev/null 2>&1 | tr -d '\r'
     echo "client exit code, as the shell sees it (its low byte): ${PIPESTATUS[0]}")
}
client
echo "registry entries naming the library's first class after the run: $(registered)"
rm "$run_dir/ComClient.exe.manifest"
echo "---- the same client without its manifest"
client

echo "==== 4. A program using a COM library it ships, named with COM: in its option file"
comp="$demo/Components Sample"
mkdir -p "$comp"
cp "$build/tests/ComRegFixture.dll" "$comp/"
# The library's own registration code runs with the registry redirected: its ProgIDs, threading
# model and control status come into the program's manifest; nothing is registered anywhere.
printf '%s\n' 'COM:ComRegFixture.dll' | crlf > "$comp/ComClient.LinkConfig"
VEXMOR_STANDIN_OUTPUT="$(winpath "$build/tests/ComClient.exe")" \
    run "/NOLOGO /SUBSYSTEM:CONSOLE client.obj /OUT:\"$(winpath "$comp/ComClient.exe")\""
show "the program's manifest ComClient.exe.manifest" "$comp/ComClient.exe.manifest"
echo "---- the program, in a fresh Wine prefix where nothing was ever registered"
fresh=$here/build/demo-prefix
if [ ! -f "$fresh/system.reg" ]; then
    WINEPREFIX=$fresh WINEDEBUG=-all "$wine64_loader" wineboot -u </dev/null >/dev/null 2>&1
    WINEPREFIX=$fresh "$wineserver" -w
fi
comp_run="$demo/Components Sample (run)"
mkdir -p "$comp_run"
cp "$comp/ComRegFixture.dll" "$comp/ComClient.exe" "$comp_run/"
for_platform < "$comp/ComClient.exe.manifest" > "$comp_run/ComClient.exe.manifest"
(cd "$comp_run" && WINEPREFIX=$fresh wine_run ./ComClient.exe sta \
    'create:{87FC7B95-4E60-4EF8-827C-5A44C7CDC1B7}' progid:VexmorReg.Counter \
    progid:VexmorReg.Hidden 'status:{1067494F-FEA5-4829-9AA2-D7656837605C}=131473' </dev/null 2>&1 |
    tr -d '\r')
WINEPREFIX=$fresh "$wineserver" -k 2>/dev/null || true
