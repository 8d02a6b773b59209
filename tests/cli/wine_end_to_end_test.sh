#!/usr/bin/env bash
# veldrin-cli.exe under Wine as a Windows user meets it: a data folder named through
# VELDRIN_DATA_DIR with spaces, umlauts and CJK letters, sync with the software recorder, list,
# stats, limits, export to a file and to standard output (the same bytes, and the same as the Linux
# build's export of that folder when that build is there), the help and messages of this build,
# and watch with an alarm program in a folder with an umlaut, stopped by Ctrl+C.
#   wine_end_to_end_test.sh VELDRIN_CLI_EXE WINEPREFIX [LINUX_VELDRIN_CLI]
set -euo pipefail
exe=$1 linux_cli=${3:-}
export WINEPREFIX=$2 WINEDEBUG=-all LC_ALL=C.UTF-8
command -v wine >/dev/null || { echo "wine is not installed"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cli() { wine "$exe" --lang 0 "$@" 2>"$scratch/err"; }
windows() { winepath -w "$1"; }

# The manifest (UTF-8 as the code page, long paths) and the version resource are in the program.
grep -qaF '<activeCodePage' "$exe" && grep -qaF '<longPathAware' "$exe" ||
  fail "the program has no manifest with the UTF-8 code page and long paths"
strings -el "$exe" | grep -qx 'FileVersion' || fail "the program has no version resource"

folder="$scratch/Jörg Prüf 測試"
VELDRIN_DATA_DIR=$(windows "$folder")
export VELDRIN_DATA_DIR

# In German, whose texts reach the console as UTF-8 (the program sets the console's code page).
cli --lang 1 --device sim sync >"$scratch/out" || fail "sync: $(cat "$scratch/err")"
grep -q '^4320 Datensätze gelesen' "$scratch/out" || fail "sync in German: $(tail -3 "$scratch/out")"
[ -f "$folder/main.ini" ] && [ -f "$folder/0.dat" ] || fail "sync did not write into $folder"
[ "$(ls "$scratch")" = "$(printf '%s\n' "Jörg Prüf 測試" err out)" ] ||
  fail "folders other than the one named: $(ls "$scratch")"

cli list >"$scratch/out" || fail "list: $(cat "$scratch/err")"
grep -q '^recorder 0: .* 4320 records' "$scratch/out" || fail "list does not show recorder 0: $(cat "$scratch/out")"
cli stats --recorder 0 --json >"$scratch/out" || fail "stats: $(cat "$scratch/err")"
grep -q '"records": 4320' "$scratch/out" || fail "stats --json: $(cat "$scratch/out")"
cli limits --recorder 0 >"$scratch/out" || fail "limits: $(cat "$scratch/err")"

# The CSV is the same bytes on standard output as in the file, with lone line feeds.
cli export --recorder 0 --out "$(windows "$scratch/file.csv")" || fail "export --out: $(cat "$scratch/err")"
cli export --recorder 0 >"$scratch/stdout.csv" || fail "export: $(cat "$scratch/err")"
[ "$(wc -l <"$scratch/stdout.csv")" -gt 4000 ] || fail "export wrote $(wc -l <"$scratch/stdout.csv") lines"
cmp "$scratch/file.csv" "$scratch/stdout.csv" || fail "export to standard output differs from --out"
if [ -x "$linux_cli" ]; then
  "$linux_cli" --lang 0 --data-dir "$folder" export --recorder 0 >"$scratch/linux.csv"
  cmp "$scratch/linux.csv" "$scratch/stdout.csv" || fail "export differs from the Linux build's"
else
  echo "no Linux veldrin-cli at '$linux_cli': the export is compared with --out only"
fi

# Help and messages of a build without sockets, signals and the MQTT client.
cli --help >"$scratch/out" || fail "--help"
for absent in --mqtt socket:PATH SIGINT SIGTERM; do
  grep -qF -e "$absent" "$scratch/out" && fail "--help names $absent"
done
status=0
cli watch --mqtt mqtt://localhost >/dev/null || status=$?
[ $status -eq 2 ] && grep -q 'built without the MQTT client' "$scratch/err" &&
  ! grep -q 'Usage' "$scratch/err" || fail "watch --mqtt ($status): $(cat "$scratch/err")"
mkdir "$scratch/Kopie Ü"
printf 'no data file' >"$scratch/Kopie Ü/0.dat"
cp "$folder/main.ini" "$scratch/Kopie Ü/"
cli --data-dir "$(windows "$scratch/Kopie Ü")" export --recorder 0 >/dev/null && fail "export of a damaged file"
grep -qF 'Kopie Ü\0.dat' "$scratch/err" && ! grep -q / "$scratch/err" ||
  fail "the message mixes separators: $(cat "$scratch/err")"

# watch with an alarm program whose path has an umlaut, ended by Ctrl+C (SIGINT to the process,
# which Wine hands to the console handler as CTRL_C_EVENT).
mkdir "$scratch/Alarmprogramm Ä"
cp "$exe" "$scratch/Alarmprogramm Ä/alarm.exe"
: >"$scratch/watch.out"
wine "$exe" --lang 0 --device sim watch --on-alarm "$(windows "$scratch/Alarmprogramm Ä/alarm.exe")" \
  >"$scratch/watch.out" 2>"$scratch/watch.err" &
watcher=$!
for _ in $(seq 1 120); do
  grep -q "$(printf 'Recorder clock set\|Download finished')" "$scratch/watch.out" && break
  kill -0 $watcher 2>/dev/null || break
  sleep 0.5
done
kill -INT $watcher 2>/dev/null || true
status=0
wait $watcher || status=$?
[ $status -eq 0 ] || fail "watch ended with $status: $(cat "$scratch/watch.err")"
grep -q -- --on-alarm "$scratch/watch.err" && fail "watch refused the alarm program: $(cat "$scratch/watch.err")"

[ $failures -eq 0 ] && echo "veldrin-cli.exe checked under Wine"
exit $((failures > 0))
