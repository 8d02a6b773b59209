#!/usr/bin/env bash
# Builds the Debian package of the build tree BUILD with CPack, unpacks it into a scratch root with
# dpkg -x and checks it: lintian finds no error, the declared dependencies, the file list, the
# manual pages, the bash completion, the programs run from the unpacked root and find their
# language files there, and a portable folder works as well.
#   package_test.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! cpack -G DEB -B "$scratch/out" --config "$build/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  exit 1
fi
deb=$(ls "$scratch"/out/*.deb)
echo "package: $(basename "$deb")"
# Lintian: no error and no warning (the tags kept on purpose are listed in HACKING.md, section
# "The Debian package", and suppressed here by name).
if command -v lintian >/dev/null; then
  lintian --suppress-tags-from-file "$(dirname "$0")/lintian-accepted-tags" "$deb" >"$scratch/lintian" 2>&1 || true
  grep -E '^[EW]: ' "$scratch/lintian" && fail "lintian reports errors or warnings"
else
  echo "lintian is not installed (scripts/install-deps): not run"
fi
root=$scratch/root
dpkg-deb -x "$deb" "$root"
window=0
[ -e "$root/usr/bin/veldrin" ] && window=1

# Dependencies: the libraries found by dpkg-shlibdeps, and what is loaded at run time.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
wanted_depends=(libc6 libstdc++6 libhidapi-hidraw0)
[ $window -eq 1 ] && wanted_depends+=(libqt6widgets6 libqt6gui6 qt6-qpa-plugins shared-mime-info qt6-translations-l10n)
names=$(sed -e 's/ ([^)]*)//g' -e 's/, */\n/g' <<<"$depends")
for dep in "${wanted_depends[@]}"; do
  grep -qxF "$dep" <<<"$names" || fail "Depends lacks $dep"
done

# The file list: exactly these files (the programs, their data and the desktop integration).
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' | grep -v '/$' | sort >"$scratch/files"
{
  printf '%s\n' usr/bin/veldrin-cli usr/bin/veldrin-recorder-sim \
    usr/share/veldrin/StdEnglish.txt usr/share/veldrin/stdGermen.txt usr/share/veldrin/StdFrench.txt \
    usr/lib/udev/rules.d/70-veldrin.rules usr/lib/systemd/user/veldrin-watch.service \
    usr/share/doc/veldrin/copyright usr/share/doc/veldrin/changelog.Debian.gz \
    usr/share/bash-completion/completions/veldrin-cli \
    usr/share/man/man1/veldrin-cli.1.gz usr/share/man/man1/veldrin-recorder-sim.1.gz
  if [ $window -eq 1 ]; then
    printf '%s\n' usr/bin/veldrin usr/share/man/man1/veldrin.1.gz \
      usr/share/applications/org.veldrin.Veldrin.desktop \
      usr/share/metainfo/org.veldrin.Veldrin.metainfo.xml \
      usr/share/mime/packages/org.veldrin.Veldrin.xml \
      usr/share/icons/hicolor/scalable/apps/org.veldrin.Veldrin.svg
    for size in 16 24 32 48 64 128 256; do
      echo "usr/share/icons/hicolor/${size}x${size}/apps/org.veldrin.Veldrin.png"
    done
  fi
} | sort >"$scratch/expected"
if ! diff -u "$scratch/expected" "$scratch/files"; then
  fail "the file list differs (- expected, + in the package)"
fi

# The user unit starts the installed command-line tool and is not enabled by the package.
unit="$root/usr/lib/systemd/user/veldrin-watch.service"
grep -qx 'ExecStart=/usr/bin/veldrin-cli watch $VELDRIN_WATCH_OPTIONS' "$unit" ||
  fail "the unit does not start /usr/bin/veldrin-cli watch"
grep -qx 'EnvironmentFile=-%h/.config/veldrin/watch.env' "$unit" ||
  fail "the unit does not read its optional environment file"
grep -q 'wants' "$scratch/files" && fail "the package enables the unit"

# The manual page tells the commands; the completion offers every command of the tool's own list
# and, after each, only options that the tool takes for it.
man -l "$root/usr/share/man/man1/veldrin-cli.1.gz" 2>/dev/null | grep -q 'stats --recorder N' ||
  fail "the manual page of veldrin-cli lacks the commands"
source "$root/usr/share/bash-completion/completions/veldrin-cli"
cli=$root/usr/bin/veldrin-cli
COMP_WORDS=("$cli" "")
COMP_CWORD=1
_veldrin_cli
[ "${COMPREPLY[*]}" = "$("$cli" --list-commands | tr '\n' ' ' | sed 's/ $//')" ] ||
  fail "completion of the command: ${COMPREPLY[*]}"
for command in $("$cli" --list-commands); do
  COMP_WORDS=("$cli" "$command" --)
  COMP_CWORD=2
  _veldrin_cli
  [ ${#COMPREPLY[@]} -ge 4 ] || fail "completion after $command: ${COMPREPLY[*]}"
  for option in "${COMPREPLY[@]}"; do
    "$cli" --help "$command" "$option" >/dev/null 2>"$scratch/err" || true
    grep -q 'unknown option' "$scratch/err" && fail "completion offers $option, which $command refuses"
  done
done

# The programs run from the unpacked root and find their language files under its share folder.
"$root/usr/bin/veldrin-cli" --help >"$scratch/help.txt" || fail "veldrin-cli --help"
grep -q 'watch' "$scratch/help.txt" || fail "veldrin-cli --help does not name watch"
"$root/usr/bin/veldrin-cli" --data-dir "$scratch/data" list >/dev/null ||
  fail "veldrin-cli list from the unpacked root"
if [ $window -eq 1 ]; then
  QT_QPA_PLATFORM=offscreen "$root/usr/bin/veldrin" --help >"$scratch/help.txt" ||
    fail "veldrin --help"
  grep -q -- '--data-dir' "$scratch/help.txt" || fail "veldrin --help does not name --data-dir"
fi

# A portable folder: the program with its language files beside it; without them it says so.
mkdir "$scratch/portable" "$scratch/bare"
cp "$root/usr/bin/veldrin-cli" "$root"/usr/share/veldrin/*.txt "$scratch/portable/"
cp "$root/usr/bin/veldrin-cli" "$scratch/bare/"
"$scratch/portable/veldrin-cli" --data-dir "$scratch/data" list >/dev/null ||
  fail "veldrin-cli list from a portable folder"
if "$scratch/bare/veldrin-cli" --data-dir "$scratch/data" list >/dev/null 2>&1; then
  fail "veldrin-cli without language files did not fail"
fi

[ $failures -eq 0 ] && echo "package checked"
exit $((failures > 0))
