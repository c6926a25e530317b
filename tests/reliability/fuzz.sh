#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (address and undefined-behaviour checks,
# apart from the main build) and runs each for a set time.
# Usage: tests/reliability/fuzz.sh BUILD_DIR [SECONDS_EACH]   (FUZZ_SECONDS also sets it)
# Exit status 1 when a target found a crash; the inputs are kept in BUILD_DIR/fuzz/artifacts.
set -uo pipefail

project=$(cd "$(dirname "$0")/../.." && pwd)
out=$(realpath -m "${1:-build}")/fuzz
seconds=${2:-${FUZZ_SECONDS:-60}}
cxx=${FUZZ_CXX:-clang++-14}
here="$project/tests/reliability/fuzz"

if ! command -v "$cxx" >/dev/null; then
    echo "fuzz: $cxx is missing (apt-get install clang-14 libclang-rt-14-dev)" >&2
    exit 2
fi
mkdir -p "$out/artifacts" "$out/seeds"

declare -A sources=(
    [reply]="src/ftp/FtpReply.cpp src/ftp/FtpText.cpp src/platform/CodePage.cpp"
    [passive]="src/ftp/FtpDataAddress.cpp src/ftp/FtpReply.cpp src/ftp/FtpText.cpp src/platform/CodePage.cpp"
    [listing]="src/ftp/FtpText.cpp src/platform/CodePage.cpp"
    [base64]="src/settings/SecretCipher.cpp src/platform/CodePage.cpp"
    [regfile]="src/platform/RegFile.cpp src/platform/CodePage.cpp"
)
declare -A mains=([reply]=FuzzReply [passive]=FuzzPassive [listing]=FuzzListing [base64]=FuzzBase64
                  [regfile]=FuzzRegFile)
declare -A libs=([base64]="$(pkg-config --libs libcrypto++ 2>/dev/null || echo -lcryptopp)")
order="reply passive listing base64 regfile"

seed() { mkdir -p "$out/seeds/$1"; printf -- "$3" >"$out/seeds/$1/$2"; }
seed reply a '220 Ready\r\n'
seed reply b '230-Welcome\r\n text\r\n230 Done\r\n'
seed reply c '150 Opening\r\n226 Transfer complete\r\n\r\n421 Bye\r\n'
seed passive a 'Entering Passive Mode (127,0,0,1,195,80).'
seed passive b '213 1048576'
seed passive c 'Entering Passive Mode 10,0,0,7,4,1'
seed listing a '-rw-r--r--   1 user group    5 Dec 08 10:00 a.txt\r\ndrwxr-xr-x 2 u g 4096 Dec 08 10:00 In\r\n'
seed listing b 'one.txt\ntwo.txt\r\n\xc0\xc1.txt'
seed base64 a 'f9NLMtP8TSc='
seed base64 b 'Lz6J'
seed base64 c 'Lw=='
seed regfile a 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\r\n"IP"="127.0.0.1"\r\n"Port"=dword:00000015\r\n"Bin"=hex:01,02,ff\r\n"Exp"=hex(2):25,00\r\n@="default"\r\n'
seed regfile b 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\X]\n"A"="b\\"c"\n"L"=hex:00,\\\n  01\n'

status=0
summary=()
for target in $order; do
    binary="$out/fuzz_$target"
    srcs=()
    for s in ${sources[$target]}; do srcs+=("$project/$s"); done
    # Built again only when a source is newer than the target.
    fresh=1
    [[ -x "$binary" ]] || fresh=0
    for s in "$here/${mains[$target]}.cpp" "${srcs[@]}" "$project"/src/ftp/*.h "$project"/src/platform/*.h "$project"/src/settings/*.h; do
        [[ "$s" -nt "$binary" ]] && fresh=0
    done
    if [[ $fresh -eq 0 ]] && ! "$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I "$project/src" "$here/${mains[$target]}.cpp" "${srcs[@]}" ${libs[$target]:-} -o "$binary" \
        2>"$out/build_$target.log"; then
        echo "fuzz: building $target failed, see $out/build_$target.log" >&2
        summary+=("$target: build failed")
        status=1
        continue
    fi
    mkdir -p "$out/corpus/$target"
    log="$out/run_$target.log"
    before=$(ls "$out/artifacts" | grep -c "^$target-" || true)
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$binary" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
        "$out/corpus/$target" "$out/seeds/$target" >"$log" 2>&1
    rc=$?
    after=$(ls "$out/artifacts" | grep -c "^$target-" || true)
    runs=$(grep -a -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    crashes=$((after - before))
    summary+=("$target: ${runs:-?} inputs in ${seconds} s, exit $rc, new crash inputs $crashes")
    if [[ $rc -ne 0 || $crashes -gt 0 ]]; then
        status=1
        grep -a -m5 -E 'ERROR|runtime error|SUMMARY' "$log" | sed 's/^/    /'
    fi
done
echo "FUZZING: ${#summary[@]} targets, ${seconds} s each"
for line in "${summary[@]}"; do echo "  $line"; done
if [[ -n "$(ls "$out/artifacts")" ]]; then
    echo "  crash inputs kept in $out/artifacts (earlier runs included):"
    ls "$out/artifacts" | sed 's/^/    /'
fi
exit $status
