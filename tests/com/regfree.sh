#!/usr/bin/env bash
# Registration-free COM, end to end: the program links the fixture library as the development
# environment would, with an option file asking for a manifest, then the client program, whose
# option file names the library's manifest; the client then creates every class of the library
# through the two manifests the program wrote, in both apartment kinds, with nothing registered
# anywhere. Then the client is linked again with its option file naming COM libraries it uses
# (COM: and COMTLB: lines, the self-registering fixture library among them) and uses their
# classes through its own manifest alone. Each client run gets a fresh copy of a prefix where
# nothing of the fixtures was ever registered (Wine's type-library marshaler registers the
# library by itself during a multi-threaded run).
#   regfree.sh <bin-dir> <tests-dir> <pristine-prefix> [--hand-written | --smoke]
# The session's prefix (WINEPREFIX) and display (DISPLAY) must be running: the program's run
# must show no box, and without a display a box would go unseen. --hand-written puts the
# manifest in ComFixture.handwritten.manifest in place of the generated one, to tell a fault of
# the platform from a fault of the program. --smoke stops after the first client run.
# The build's bitness is the program's: a 32-bit build's manifests are judged as written (Wine's
# 32-bit mode has the x86 assemblies), a 64-bit build's from copies that name amd64.
set -u
if [ $# -lt 3 ]; then
    echo "usage: regfree.sh <bin-dir> <tests-dir> <pristine-prefix> [--hand-written | --smoke]" >&2
    exit 2
fi
bin_dir=$1 tests_dir=$2 pristine=$3 mode=${4:-generated}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-common.sh"
arch=$(pe_machine "$bin_dir/VexmorLink.exe")
wine=$(wine_for "$bin_dir/VexmorLink.exe")
# No debugger: a crash must end the run with a code, not wait in a debugger's window.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

failures=0
pass() { echo "PASS $*"; }
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}
finish() {
    if [ "$failures" -eq 0 ]; then echo "regfree: all checks passed"; else echo "regfree: $failures check(s) failed"; fi
    exit $((failures > 0))
}
winpath() { printf 'Z:%s' "$1" | tr / \\\\; }
# The identity attribute of a manifest, whatever its namespace.
identity() {
    xmllint --xpath "string(/*[local-name()='assembly']/*[local-name()='assemblyIdentity']/@$2)" "$1"
}

if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    echo "FAIL no Wine session: eval \"\$(scripts/wine-session.sh start)\" first"
    exit 1
fi
if [ "$arch" = i386 ] && ! reason=$(win32_reason "$tests_dir"); then
    echo "SKIPPED: 32-bit programs cannot start here: $reason"
    exit 77
fi
# Copies of manifests as this platform's loader takes them: as written for a 32-bit build.
for_platform() {
    if [ "$arch" = amd64 ]; then sed -i 's/processorArchitecture="X86"/processorArchitecture="amd64"/g' "$@"; fi
}
work=$tests_dir/regfree-work
project=$work/project

# The environment's folder with the program and the stand-in linker, and a project.
rm -rf "$work"
mkdir -p "$work/bin" "$project"
cp "$bin_dir"/{VexmorLink,VexmorLinkReader}.exe "$bin_dir"/QZVSP0100[AB].DLL "$work/bin/"
cp "$tests_dir/LINK2.exe" "$work/bin/LINK2.EXE"
printf 'MANIFEST\r\n' >"$project/ComFixture.LinkConfig"

# link <label> <what the stand-in writes> <linker arguments>: a link started as the environment
# starts it, then checked: exit code 0 and no message box. Wine would quote Unix arguments once
# more, so the exact command line goes through the driver's command file. Output goes to files,
# not pipes: Wine's background services may hold a pipe open for long.
link() {
    local label=$1 output=$2 arguments=$3 code text
    printf '%s' "\"$(winpath "$work/bin/VexmorLink.exe")\" $arguments" >"$work/command.txt"
    (
        cd "$project" &&
            VEXMOR_STANDIN_OUTPUT=$(winpath "$output") \
                VEXMOR_STANDIN_RECORD=$(winpath "$work/linker-received.txt") \
                exec timeout 60 "$wine" "$tests_dir/DialogDriver.exe" --command-file "$(winpath "$work/command.txt")"
    ) </dev/null >"$work/$label-link.out" 2>&1
    code=$?
    text=$(tr -d '\r' <"$work/$label-link.out")
    printf '%s\n' "$text" | awk -v label="$label" '{ print "    " label " link: " $0 }'
    if [ "$code" -eq 0 ]; then pass "$label: the link ends with exit code 0"; else fail "$label: the link's exit code: $code"; fi
    if echo "$text" | grep -q '^box:'; then fail "$label: the link showed a message box"; else pass "$label: the link showed no message box"; fi
}

link library "$tests_dir/ComFixture.dll" "/DLL /OUT:\"$(winpath "$project/ComFixture.dll")\""

manifest=$project/ComFixture.dll.manifest
if [ "$mode" = --hand-written ]; then
    echo "NOTE using the hand-written library manifest, not the program's"
    cp "$here/ComFixture.handwritten.manifest" "$manifest"
fi
if [ ! -f "$manifest" ]; then
    fail "the program wrote no ComFixture.dll.manifest"
    finish
fi
pass "ComFixture.dll.manifest written"
if xmllint --noout "$manifest"; then pass "the manifest is well-formed XML"; else fail "the manifest is not well-formed XML"; fi
cp "$manifest" "$work/ComFixture.dll.manifest.as-written"
tr -d '\r' <"$manifest" | awk '{ print "    manifest: " $0 }'

# The COM sections as the fixture library needs them; the client runs below use only some.
libid='{E85263CB-0463-4C54-B446-90446A8741EC}'
typelib_marshaler='{00020424-0000-0000-C000-000000000046}'
dispatch_marshaler='{00020420-0000-0000-C000-000000000046}'
iunknown='{00000000-0000-0000-C000-000000000046}'
idispatch='{00020400-0000-0000-C000-000000000046}'
xpath() { xmllint --xpath "$1" "$manifest" 2>/dev/null; }
el() { printf "*[local-name()='%s']" "$1"; }
expect_xpath() {
    local got
    got=$(xpath "$2")
    if [ "$got" = "$3" ]; then pass "manifest: $1"; else fail "manifest: $1: got '$got', expected '$3'"; fi
}
expect_xpath "three classes" "count(//$(el comClass))" 3
for clsid in '{07393F1C-73E1-4210-A426-F74F0C555430}' '{53F7B757-F707-4230-8451-75403F34600F}' '{23BEA9FD-F8B5-4B51-BFD9-720D1CEA1C3C}'; do
    expect_xpath "class $clsid is apartment-threaded" \
        "string(/$(el assembly)/$(el file)[@name='ComFixture.dll']/$(el comClass)[@clsid='$clsid']/@threadingModel)" \
        Apartment
done
expect_xpath "only the control has a content status" \
    "concat(count(//$(el comClass)/@miscStatusContent), ' ', //$(el comClass)[@clsid='{23BEA9FD-F8B5-4B51-BFD9-720D1CEA1C3C}']/@miscStatusContent)" \
    "1 recomposeonresize,cantlinkinside,insideout,activatewhenvisible,setclientsitefirst"
expect_xpath "type library" \
    "concat(/$(el assembly)/$(el file)/$(el typelib)/@tlbid, ' ', /$(el assembly)/$(el file)/$(el typelib)/@version)" \
    "$libid 2.15"
expect_xpath "three interfaces" "count(/$(el assembly)/$(el comInterfaceExternalProxyStub))" 3
while read -r iid marshaler base; do
    stub="/$(el assembly)/$(el comInterfaceExternalProxyStub)[@iid='$iid']"
    expect_xpath "interface $iid" \
        "concat($stub/@proxyStubClsid32, ' ', $stub/@baseInterface, ' ', $stub/@tlbid)" \
        "$marshaler $base $libid"
done <<LIST
{4E2E8B3E-7337-4A25-9E11-48A450BB7419} $typelib_marshaler $idispatch
{9BE4F9BF-8609-4CA8-BEE6-AFF1DA1479A0} $dispatch_marshaler $idispatch
{4BACBE1B-DF4F-4A80-B65B-F6307F7F6D72} $typelib_marshaler $iunknown
LIST

# The client is linked through the program too, its option file naming the library's manifest
# (relative to the option file's folder): its manifest then depends on the library's assembly.
cp "$tests_dir/ComClient.exe" "$work/ComClient.built.exe"
printf 'REF:ComFixture.dll.manifest\r\n' >"$project/ComClient.LinkConfig"
link client "$work/ComClient.built.exe" \
    "/SUBSYSTEM:CONSOLE client.obj /OUT:\"$(winpath "$project/ComClient.exe")\""
client_manifest=$project/ComClient.exe.manifest
if [ ! -f "$client_manifest" ]; then
    fail "the program wrote no ComClient.exe.manifest"
    finish
fi
if xmllint --noout "$client_manifest"; then pass "the client's manifest is well-formed XML"; else fail "the client's manifest is not well-formed XML"; fi
tr -d '\r' <"$client_manifest" | awk '{ print "    client manifest: " $0 }'
dependency=$(xmllint --xpath "string(//*[local-name()='dependentAssembly']/*[local-name()='assemblyIdentity'][@name='ComFixture.dll']/@version)" "$client_manifest" 2>/dev/null)
if [ "$dependency" = 1.2.0.0 ]; then
    pass "the client's manifest depends on ComFixture.dll 1.2.0.0"
else
    fail "the client's manifest has no dependency on ComFixture.dll 1.2.0.0 (got '$dependency')"
fi

# The client once more with EMBED, in a folder of its own: no manifest file beside it, and its
# resource holds the file's bytes but for the time of the run (the helper then makes it the
# platform's, see for_platform).
embedded=$work/embedded
mkdir -p "$embedded" && cp "$project/ComFixture.dll" "$manifest" "$embedded/"
printf 'EMBED\r\nREF:ComFixture.dll.manifest\r\n' >"$embedded/ComClient.LinkConfig"
link embedded "$work/ComClient.built.exe" \
    "/SUBSYSTEM:CONSOLE client.obj /OUT:\"$(winpath "$embedded/ComClient.exe")\""
"$wine" "$tests_dir/ManifestTool.exe" "$(winpath "$embedded/ComClient.exe")" </dev/null >"$work/embedded.manifest" 2>&1
if [ ! -e "$embedded/ComClient.exe.manifest" ] && cmp -s <(grep -av 'Generated at:' "$client_manifest") <(grep -av 'Generated at:' "$work/embedded.manifest"); then
    pass "embedded: no manifest file, the resource holds its bytes"; else fail "embedded: a manifest file, or a resource unlike it"; fi

# A 64-bit process has only amd64 assemblies: for it both manifests say amd64 where our 32-bit
# users have X86 (the client's Common-Controls dependency included).
for_platform "$manifest" "$client_manifest"
name=$(identity "$manifest" name)
version=$(identity "$manifest" version)
if [ "$name" = ComFixture.dll ] && [ "$version" = 1.2.0.0 ]; then
    pass "library assembly $name $version"
else
    fail "library assembly identity: name '$name' version '$version' (expected ComFixture.dll 1.2.0.0)"
fi

# Each client run gets a fresh copy of the pristine prefix.
if [ ! -f "$pristine/system.reg" ]; then
    echo "creating the pristine prefix $pristine"
    rm -rf "$pristine"
    WINEPREFIX=$pristine "$wine64_loader" wineboot -u </dev/null >/dev/null 2>&1
    WINEPREFIX=$pristine "$wineserver" -w
fi
fixture_libid=E85263CB-0463-4C54-B446-90446A8741EC
fixture_ids='E85263CB-0463-4C54-B446-90446A8741EC|07393F1C-73E1-4210-A426-F74F0C555430|53F7B757-F707-4230-8451-75403F34600F|23BEA9FD-F8B5-4B51-BFD9-720D1CEA1C3C'

# run_client <label> <apartment> <folder> [step...]: sets client_output, client_code; leaves the copy in
# $copy for the caller to look at and delete.
run_client() {
    local label=$1 apartment=$2 folder=$3
    shift 3
    copy=$work/prefix-$label
    rm -rf "$copy"
    cp -a "$pristine" "$copy"
    (cd "$folder" && WINEPREFIX=$copy exec timeout 60 "$wine" ComClient.exe "$apartment" "$@") </dev/null \
        >"$work/$label.out" 2>&1
    client_code=$?
    WINEPREFIX=$copy "$wineserver" -k 2>/dev/null
    WINEPREFIX=$copy "$wineserver" -w 2>/dev/null
    client_output=$(tr -d '\r' <"$work/$label.out")
    printf '%s\n' "$client_output" | awk -v label="$label" '{ print "    " label ": " $0 }'
    echo "    $label: exit code $client_code"
}

expect_line() {
    if echo "$client_output" | grep -qF -- "$2"; then pass "$1: $2"; else fail "$1: no line '$2'"; fi
}

for apartment in sta mta; do
    run_client "$apartment" "$apartment" "$project"
    if [ "$client_code" -eq 0 ]; then pass "$apartment: client exit code 0"; else fail "$apartment: client exit code $client_code"; fi
    if [ "$apartment" = sta ]; then where=direct; else where='through a proxy'; fi
    expect_line "$apartment" "ok   VexCalculator: create ($where)"
    expect_line "$apartment" "ok   VexCalculator: Add(2, 3) = 5 through the vtable"
    expect_line "$apartment" "ok   VexCalculator: Add(40, 2) = 42 through IDispatch"
    expect_line "$apartment" "ok   VexDoubler: create ($where)"
    expect_line "$apartment" "ok   VexDoubler: Twice(21) = 42 through the vtable"
    expect_line "$apartment" "ok   VexGauge: content status = 131473"
    expect_line "$apartment" "ok   VexDoubler: content status = 0"
    expect_line "$apartment" "all steps succeeded"
    if [ "$apartment" = sta ]; then
        if grep -qiE "$fixture_ids" "$copy/system.reg" "$copy/user.reg"; then
            fail "sta: the fixture's identifiers were found in the registry"
        else
            pass "sta: nothing of the fixture in the registry"
        fi
    elif grep -qi "Typelib.*$fixture_libid" "$copy/system.reg" "$copy/user.reg"; then
        echo "NOTE mta: the platform's marshaler registered the type library during the run"
    fi
    rm -rf "$copy"
    [ "$mode" = --smoke ] && finish
done

# The embedded client, its resource as its only manifest (naming amd64 for a 64-bit build).
cp "$manifest" "$embedded/"
run_client embedded sta "$embedded"
rm -rf "$copy"
expect_line embedded "all steps succeeded"

# The same client without its manifest must fail: the proof above is not a registration
# left behind somewhere.
bare=$work/no-manifest
mkdir -p "$bare"
cp "$project/ComClient.exe" "$project/ComFixture.dll" "$bare/"
run_client bare sta "$bare"
rm -rf "$copy"
if [ "$client_code" -ne 0 ] && echo "$client_output" | grep -q '^FAIL VexCalculator: create: 0x80040154'; then
    pass "without its manifest the client fails with REGDB_E_CLASSNOTREG"
else
    fail "without its manifest the client did not fail as it should"
fi

# A multi-threaded client reaches the apartment-threaded classes only through the marshalers
# that the proxy-stub entries name: without them it must fail.
stubless=$work/no-proxy-stubs
mkdir -p "$stubless"
cp "$project/ComClient.exe" "$project/ComClient.exe.manifest" "$project/ComFixture.dll" "$stubless/"
tr -d '\r' <"$manifest" | sed '/<comInterfaceExternalProxyStub/,/\/>/d' >"$stubless/ComFixture.dll.manifest"
run_client stubless mta "$stubless"
rm -rf "$copy"
if [ "$client_code" -ne 0 ] && echo "$client_output" | grep -q '^FAIL VexCalculator: create: 0x'; then
    pass "without the proxy-stub entries the multi-threaded client fails"
else
    fail "without the proxy-stub entries the multi-threaded client did not fail"
fi

# ---- Components: COM libraries that the client uses, named in its own option file ----------
# COM: runs a component's registration code with the registry redirected, COMTLB: reads its
# type library alone. The build prefix's registry must be the same after those builds, in both
# views, with no scratch key left, even when the registration crashes or never returns.
snapshot() {
    local dir=$work/registry-$1 key view
    rm -rf "$dir"
    mkdir -p "$dir"
    for view in 32 64; do
        for key in HKCR 'HKLM\Software' 'HKCU\Software'; do
            # Wine's reg once ended here without writing the file (in a fresh clone's run): try
            # again before the comparison counts it as a change.
            for attempt in 1 2 3; do
                "$wine64_loader" reg export "$key" "$(winpath "$dir/${key//\\/-}-$view.reg")" /reg:$view /y \
                    </dev/null >/dev/null 2>&1 && break
            done
        done
    done
    [ "$(ls "$dir" | wc -l)" -eq 6 ] || fail "registry snapshot $1: an export failed three times"
}
counter='{87FC7B95-4E60-4EF8-827C-5A44C7CDC1B7}' dial='{1067494F-FEA5-4829-9AA2-D7656837605C}'
hidden='{D53F69C2-9FA1-4C08-9295-93C6BAC816C0}'
first='{54CEB7C9-36EC-4E60-A2EE-6251AA2D2FE7}' second='{8A97EAC2-A864-49BB-BD7F-EFC70DBA5BCF}'
# build_components <label> <option lines> <component file...>: the client linked in a folder of
# its own with the components beside it; sets manifest and notes (the build log's notes).
build_components() {
    local label=$1 lines=$2
    shift 2
    project=$work/components-$label
    rm -rf "$project"
    mkdir -p "$project"
    for file in "$@"; do cp "$tests_dir/$file" "$project/"; done
    printf '%s' "$lines" >"$project/ComClient.LinkConfig"
    link "components-$label" "$tests_dir/ComClient.exe" \
        "/SUBSYSTEM:CONSOLE client.obj /OUT:\"$(winpath "$project/ComClient.exe")\""
    manifest=$project/ComClient.exe.manifest
    notes=$(tr -d '\r' <"$project/ComClient.LinkLog" | iconv -f CP1251 -t UTF-8 | sed -n '/^Manifest notes:/,$p')
    printf '%s\n' "$notes" | awk -v label="$label" 'NF { print "    " label " log: " $0 }'
    if xmllint --noout "$manifest"; then pass "$label: the manifest is well-formed XML"; else fail "$label: the manifest is not well-formed XML"; fi
}
expect_note() {
    if printf '%s\n' "$notes" | grep -qF -- "$2"; then pass "$1: note '$2'"; else fail "$1: no note '$2'"; fi
}
# expect_sections <label> <golden>: the manifest's component and proxy sections byte for byte.
expect_sections() {
    if diff <(sed -n '/^  <file name=/,/^<\/assembly>/p' "$manifest") "$here/../golden/$2" >"$work/$1.diff"; then
        pass "$1: the sections equal $2"
    else
        fail "$1: the sections differ from $2"
        sed 's/^/    /' "$work/$1.diff"
    fi
}
# run_components <label> <apartment> <step...>: the client from a copy of its folder.
run_components() {
    local label=$1 apartment=$2 folder=$work/run-$1
    shift 2
    rm -rf "$folder"
    cp -r "$project" "$folder"
    for_platform "$folder/ComClient.exe.manifest"
    run_client "$label" "$apartment" "$folder" actctx:ComClient.exe.manifest "$@"
    rm -rf "$copy"
    if [ "$client_code" -eq 0 ] && echo "$client_output" | grep -q '^all steps succeeded'; then
        pass "$label: every step of the client worked"
    else
        fail "$label: the client failed (exit code $client_code)"
    fi
}

# A scratch key that an interrupted build left (its process long gone) goes with the next build.
stale='HKCU\Software\VexmorLink.Scratch.4000000.1.1\HKCR\CLSID'
"$wine64_loader" reg add "$stale" /f </dev/null >/dev/null 2>&1
build_components stale $'COM:ComRegFixture.dll\r\n' ComRegFixture.dll
if "$wine64_loader" reg query "$stale" </dev/null >/dev/null 2>&1; then fail "a left-over scratch key stayed"; else pass "a left-over scratch key was deleted"; fi
snapshot before
build_components com-comtlb $'COM:ComFixture.dll\r\nCOMTLB:ComRegFixture.dll\r\nCOMTLB:ComRegMix.dll\r\n' \
    ComFixture.dll ComRegFixture.dll ComRegMix.dll
expect_sections com-comtlb components-com-comtlb.manifest
expect_note com-comtlb "Компонент \"$(winpath "$project/ComFixture.dll")\" не экспортирует DllRegisterServer"
for apartment in sta mta; do
    run_components "com-comtlb-$apartment" "$apartment" fixture "create:$counter" "create:$dial" \
        progid:VexmorRegFixture.VexCounter progid:VexmorRegFixture.VexDial "status:$dial=131473" \
        "status:$counter=0"
done
build_components com $'COM:ComRegFixture.dll\r\n' ComRegFixture.dll
expect_sections com components-com.manifest
for apartment in sta mta; do
    run_components "com-$apartment" "$apartment" "create:$counter" "create:$dial" "create:$hidden" \
        progid:VexmorReg.Counter.1 progid:VexmorReg.Counter progid:VexmorReg.Dial.1 \
        progid:VexmorReg.Hidden "status:$dial=131473" "status:$counter=0"
done
mkdir -p "$work/components-bare"
cp "$project/ComClient.exe" "$project/ComRegFixture.dll" "$work/components-bare/"
run_client com-bare sta "$work/components-bare" "create:$counter"
rm -rf "$copy"
if echo "$client_output" | grep -q "^FAIL create:$counter: 0x80040154"; then
    pass "without its manifest the client cannot create the component's class"
else
    fail "without its manifest the client created the component's class"
fi
# With EMBED the same sections go into the program itself, their only manifest (the helper
# prints the resource, then, in a 64-bit build, names amd64 in it).
project=$work/components-embedded
rm -rf "$project" && mkdir -p "$project" && cp "$tests_dir/ComRegFixture.dll" "$project/"
printf 'EMBED\r\nCOM:ComRegFixture.dll\r\n' >"$project/ComClient.LinkConfig"
link components-embedded "$tests_dir/ComClient.exe" \
    "/SUBSYSTEM:CONSOLE client.obj /OUT:\"$(winpath "$project/ComClient.exe")\""
manifest=$work/components-embedded.manifest
"$wine" "$tests_dir/ManifestTool.exe" "$(winpath "$project/ComClient.exe")" </dev/null >"$manifest" 2>&1
if [ -e "$project/ComClient.exe.manifest" ]; then fail "embedded: a manifest file beside the program"; else pass "embedded: no manifest file beside the program"; fi
expect_sections embedded components-com.manifest
run_client embedded-components mta "$project" "create:$counter" progid:VexmorReg.Counter "status:$dial=131473"
rm -rf "$copy"
expect_line embedded-components "all steps succeeded"
# The counter that ComRegMix.dll's type library describes is the registering library's.
build_components mix $'COM:ComRegMix.dll\r\nCOM:ComRegFixture.dll\r\n' ComRegMix.dll ComRegFixture.dll
expect_sections mix components-mix.manifest
expect_note mix "ProgID \"VexmorMix.Shared\" класса $first из \"$(winpath "$project/ComRegMix.dll")\": реестр связывает это имя с классом $second; ProgID перенесён к нему."
run_components mix sta "create:$first" "create:$second" "create:$counter" "progid:VexmorMix.First.1=$first" \
    "progid:VexmorMix.First=$first" "progid:VexmorMix.Short=$first" "progid:VexmorMix.Shared=$second" \
    "progid:VexmorReg.Counter=$counter"
build_components crash $'COM:ComRegCrash.dll\r\n' ComRegCrash.dll
expect_note crash "прервана исключением 0xC0000005; использованы данные его библиотеки типов."
(sleep 10 && "$wine64_loader" wmic process get name </dev/null | tr -d '\0' >"$work/tasks.txt") &
build_components hang $'COM:ComRegHang.dll\r\n' ComRegHang.dll
expect_note hang "не завершилась за 30 секунд и была остановлена"
wait && grep -q '^VexmorLinkReader\.exe' "$work/tasks.txt" && pass "the reader ran the hung registration" || fail "no VexmorLinkReader.exe while the registration hung"
rm "$work/bin/VexmorLinkReader.exe" # the program plays the reader's part where it is missing
build_components fallback $'COM:ComRegFixture.dll\r\n' ComRegFixture.dll
expect_sections fallback components-com.manifest
snapshot after
if diff -r "$work/registry-before" "$work/registry-after" >"$work/registry.diff"; then
    pass "the build prefix's registry is the same after the components' builds, in both views"
else
    fail "the components' builds changed the build prefix's registry"
    head -40 "$work/registry.diff" | sed 's/^/    /'
fi
if grep -q 'VexmorLink.Scratch' "$work"/registry-after/*; then fail "a scratch key was left behind"; else pass "no scratch key left behind"; fi

finish
