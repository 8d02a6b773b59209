#!/usr/bin/env bash
# scripts/run without a display: every command of veldrin-cli (its own list) passes through as
# given, and only a line without a command gets `watch`.
#   run_script_test.sh SOURCE_DIR VELDRIN_CLI
set -euo pipefail
rule=$1/scripts/cli-arguments cli=$2
failures=0
handed() { "$rule" "$cli" "$@" | tr '\0' ' '; }
mapfile -t commands < <("$cli" --list-commands)
[ ${#commands[@]} -ge 9 ] || { echo "FAIL: --list-commands: ${commands[*]}"; exit 1; }
for name in "${commands[@]}"; do
  got=$(handed --device sim "$name" --recorder 0)
  [ "$got" = "--device sim $name --recorder 0 " ] || { echo "FAIL: $name: $got"; failures=$((failures + 1)); }
done
got=$(handed --device sim)
[ "$got" = "--device sim watch " ] || { echo "FAIL: no command: $got"; failures=$((failures + 1)); }
exit $((failures > 0))
