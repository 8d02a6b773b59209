#!/usr/bin/env bash
# The virtual-USB test: veldrin-cli against the software recorder on the USB bus of a small
# virtual machine, on machines without USB hardware.
#
#   run-usbvm-test.sh --source DIR --work DIR --checker FILE
#
# 1. Installs QEMU and busybox from the distribution's packages when they are missing (running
#    apt-get update only when there are no package lists at all).
# 2. Downloads the distribution's kernel package and unpacks only the kernel and the USB and HID
#    modules (kept under the work folder, so that later runs reuse them).
# 3. Builds release builds of veldrin-cli and veldrin-recorder-sim in the work folder.
# 4. Packs them, their shared libraries, the language files, the checker and busybox with `init`
#    into an initramfs, boots it under QEMU's software emulation and collects the checks.
#
# Prints every check, the figures and one closing line "N passed, M failed"; exits 0 when all
# passed, 1 otherwise, and 77 (skipped) when QEMU or the kernel cannot be had. Every step is
# bounded in time.
set -uo pipefail

readonly SKIPPED=77
readonly MODULES=(
    drivers/usb/common/usb-common drivers/usb/core/usbcore drivers/usb/gadget/udc/udc-core
    drivers/usb/gadget/udc/dummy_hcd fs/configfs/configfs drivers/usb/gadget/libcomposite
    drivers/usb/gadget/function/usb_f_hid drivers/hid/hid drivers/hid/hid-generic
    drivers/hid/usbhid/usbhid
)

source_dir=
work=
checker=
while [ $# -gt 0 ]; do
    case $1 in
    --source) source_dir=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --checker) checker=$2; shift 2 ;;
    *) echo "usage: $0 --source DIR --work DIR --checker FILE" >&2; exit 2 ;;
    esac
done
[ -n "$source_dir" ] && [ -n "$work" ] && [ -x "$checker" ] ||
    { echo "usage: $0 --source DIR --work DIR --checker FILE" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
work=$(cd "$work" && pwd)
started=$SECONDS

say() { echo "usbvm: $*"; }
skip() {
    say "SKIPPED: $*"
    exit $SKIPPED
}
# A step that could not be done counts as one failed check.
broken() {
    echo "FAIL: $*"
    echo "0 passed, 1 failed"
    exit 1
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        sudo -n "$@"
    else
        return 1
    fi
}

have_package_lists() {
    [ -n "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -E '^(lock|partial|auxfiles)$')" ]
}

install_tools() {
    local missing=()
    timeout 30 qemu-system-x86_64 --version >/dev/null 2>&1 || missing+=(qemu-system-x86)
    [ -x /bin/busybox ] || missing+=(busybox-static)
    command -v dpkg-deb >/dev/null 2>&1 && command -v apt-get >/dev/null 2>&1 ||
        skip "not a Debian-like system: dpkg-deb and apt-get are needed for QEMU and the kernel"
    [ ${#missing[@]} -eq 0 ] && return 0
    as_root true || skip "${missing[*]} missing, and packages can be installed only as root"
    say "installing ${missing[*]}"
    if ! have_package_lists; then
        as_root timeout 300 env DEBIAN_FRONTEND=noninteractive apt-get update -qq \
            >"$work/apt-update.log" 2>&1
    fi
    as_root timeout 600 env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >"$work/apt-install.log" 2>&1 ||
        skip "could not install ${missing[*]} (needs root and the package archive; see $work/apt-install.log)"
}

# The kernel of the distribution's default kernel package, unpacked into $work/kernel/PACKAGE.
kernel_dir=
fetch_kernel() {
    local package
    package=$(timeout 60 apt-cache depends linux-image-amd64 2>/dev/null |
        awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    if [ -z "$package" ]; then
        # No package lists to ask: a kernel unpacked by an earlier run still serves.
        kernel_dir=$(ls -d "$work"/kernel/linux-image-* 2>/dev/null | tail -1)
        [ -n "$kernel_dir" ] && [ -f "$kernel_dir/complete" ] ||
            skip "the kernel package linux-image-amd64 is not known to apt"
        return 0
    fi
    kernel_dir=$work/kernel/$package
    [ -f "$kernel_dir/complete" ] && return 0
    rm -rf "$kernel_dir"
    mkdir -p "$kernel_dir/download" "$kernel_dir/modules"
    say "downloading $package"
    (cd "$kernel_dir/download" && timeout 600 apt-get download -qq "$package") \
        >"$work/kernel-download.log" 2>&1 ||
        skip "could not download the kernel package $package (see $work/kernel-download.log)"
    local deb patterns=() m
    deb=$(ls "$kernel_dir"/download/*.deb)
    for m in "${MODULES[@]}"; do
        patterns+=("./lib/modules/*/kernel/$m.ko*")
    done
    timeout 300 dpkg-deb --fsys-tarfile "$deb" |
        timeout 300 tar -x -C "$kernel_dir/download" --wildcards './boot/vmlinuz-*' "${patterns[@]}" ||
        broken "the kernel package $package unpacks"
    cp "$kernel_dir"/download/boot/vmlinuz-* "$kernel_dir/vmlinuz" || broken "the kernel is in $package"
    for m in "${MODULES[@]}"; do
        local file name
        file=$(ls "$kernel_dir"/download/lib/modules/*/kernel/"$m".ko* 2>/dev/null | head -1)
        name=$(basename "$m")
        case $file in
        *.ko) cp "$file" "$kernel_dir/modules/$name.ko" ;;
        *.ko.xz) xz -dc "$file" >"$kernel_dir/modules/$name.ko" ;;
        *.ko.zst) zstd -qdc "$file" >"$kernel_dir/modules/$name.ko" ;;
        *) broken "the module $m is in $package" ;;
        esac || broken "the module $m unpacks"
    done
    rm -rf "$kernel_dir/download"
    touch "$kernel_dir/complete"
}

build_programs() {
    local build=$work/release generator=()
    command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
    say "building release veldrin-cli and veldrin-recorder-sim"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        timeout 300 cmake -S "$source_dir" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
            -DVELDRIN_WERROR=ON -DVELDRIN_BUILD_TESTS=OFF -DVELDRIN_BUILD_BENCH=OFF \
            -DVELDRIN_BUILD_GUI=OFF >"$work/release-build.log" 2>&1 ||
            broken "the release build configures (see $work/release-build.log)"
    fi
    timeout 900 cmake --build "$build" -j2 --target veldrin-cli veldrin-recorder-sim \
        >>"$work/release-build.log" 2>&1 ||
        broken "the release programs build (see $work/release-build.log)"
    programs=$build/bin
}

# The initramfs: busybox, the modules, the programs with their shared libraries and the language
# files, the checker, and init.
build_initramfs() {
    local root=$work/root busybox lib
    rm -rf "$root"
    mkdir -p "$root"/{bin,dev,proc,sys,tmp,lib/modules,opt/veldrin}
    busybox=$(readlink -f /bin/busybox)
    cp "$busybox" "$root/bin/busybox"
    cp "$kernel_dir"/modules/*.ko "$root/lib/modules/"
    cp "$programs/veldrin-cli" "$programs/veldrin-recorder-sim" "$programs"/*.txt "$checker" \
        "$root/opt/veldrin/" || broken "the programs and language files are in place"
    for lib in $(ldd "$programs/veldrin-cli" "$programs/veldrin-recorder-sim" "$checker" \
        "$busybox" 2>/dev/null | awk '/=>/ {print $3} /ld-linux/ {print $1}' | grep '^/' | sort -u); do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
    cp "$here/init" "$root/init"
    chmod +x "$root/init"
    (cd "$root" && find . | "$busybox" cpio -o -H newc -R 0:0 2>/dev/null | gzip -1) \
        >"$work/initramfs.gz.tmp" || broken "the initramfs packs"
    zcat "$work/initramfs.gz.tmp" | "$busybox" cpio -t 2>/dev/null | grep -qx init ||
        broken "the initramfs holds init"
    mv "$work/initramfs.gz.tmp" "$work/initramfs.gz"
    rm -rf "$root"
}

run_machine() {
    local accel=(-accel tcg -cpu max) TIMEFORMAT='%R s wall, QEMU %U s user and %S s system CPU'
    # KVM is faster where it boots a stock kernel; software emulation works everywhere.
    [ "${USBVM_ACCEL:-tcg}" = kvm ] && accel=(-enable-kvm -cpu host)
    say "booting the virtual machine (log: $work/vm.log)"
    {
        time timeout 300 qemu-system-x86_64 "${accel[@]}" -m 512 -smp 1 -nographic -no-reboot \
            -nodefaults -serial stdio -display none -kernel "$kernel_dir/vmlinuz" \
            -initrd "$work/initramfs.gz" -append "console=ttyS0 panic=-1 loglevel=3" \
            </dev/null >"$work/vm.log" 2>&1
    } 2>"$work/vm-time"
    say "virtual machine: $(cat "$work/vm-time")"
}

install_tools
fetch_kernel
build_programs
build_initramfs
run_machine

tr -d '\r' <"$work/vm.log" | grep -a -E '^(PASS|FAIL|INFO): ' | sed 's/^/  /'
passed=$(tr -d '\r' <"$work/vm.log" | grep -a -c '^PASS: ')
failed=$(tr -d '\r' <"$work/vm.log" | grep -a -c '^FAIL: ')
if ! tr -d '\r' <"$work/vm.log" | grep -a -q '^USBVM: end'; then
    echo "  FAIL: the virtual machine ran to its end (see $work/vm.log)"
    failed=$((failed + 1))
fi
[ "$passed" -gt 0 ] || failed=$((failed + 1))
say "$((SECONDS - started)) s in all"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
