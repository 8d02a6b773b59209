#!/usr/bin/env bash
# desktop-file-validate DESKTOP_FILE and appstreamcli validate METAINFO_FILE (no network).
set -euo pipefail
desktop=$1 metainfo=$2
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps)"; exit 77; }
done
# desktop-file-validate reports hints and errors on its output and exits 0 for hints only.
out=$(desktop-file-validate "$desktop")
echo "$out"
if grep -q -E 'error:|warning:' <<<"$out"; then
  exit 1
fi
appstreamcli validate --no-net "$metainfo"
