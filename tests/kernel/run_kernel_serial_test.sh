#!/usr/bin/env bash
# The serial layer against the kernel's real drivers: boots the installed Debian kernel under QEMU
# with a busybox initramfs holding the static test program (serial_guest), a 16550A UART and an
# emulated FTDI USB adapter, whose far ends kernel_serial_host plays and checks.
#
#   run_kernel_serial_test.sh WORK-DIR SERIAL-GUEST KERNEL-SERIAL-HOST
#
# Exit status: 0 all checks passed; 1 a check failed; 77 (a skip) when the kernel, QEMU or busybox
# is missing and this user could not install them (scripts/install-deps.sh installs them as root).
set -euo pipefail

work=$1
guest=$2
host=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

missing() {
    if [ "$(id -u)" -eq 0 ]; then
        echo "FAIL $1 is missing: scripts/install-deps.sh installs it" >&2
        exit 1
    fi
    echo "SKIP $1 is missing and only root can install it (scripts/install-deps.sh)" >&2
    exit 77
}

kernel=$(ls -1 /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1 || true)
[ -n "$kernel" ] || missing "a kernel in /boot (linux-image-amd64)"
[ -r "$kernel" ] || missing "a kernel readable by this user"
command -v qemu-system-x86_64 >/dev/null || missing "qemu-system-x86_64 (qemu-system-x86)"
busybox=$(command -v busybox || true)
[ -n "$busybox" ] || missing "busybox (busybox-static)"
command -v cpio >/dev/null || missing "cpio"
version=${kernel#/boot/vmlinuz-}
modules=/lib/modules/$version
[ -f "$modules/modules.dep" ] || missing "the modules of $version"

rm -rf "$work"
mkdir -p "$work/root/lib/modules"
root=$work/root

# The drivers, each after the modules it needs (modules.dep lists those, the last to load first).
wanted=(virtio_pci virtio_console usb-common usbcore uhci-hcd ehci-hcd ehci-pci usbserial ftdi_sio)
declare -A loaded=()
: >"$root/modules.order"
add_module() {  # add_module RELATIVE-PATH
    local file=$1 base
    base=$(basename "$file")
    base=${base%.xz}
    base=${base%.zst}
    base=${base%.gz}
    [ -z "${loaded[$base]:-}" ] || return 0
    case $file in
        *.xz) xz -dc "$modules/$file" >"$root/lib/modules/$base" ;;
        *.zst) zstd -qdc "$modules/$file" >"$root/lib/modules/$base" ;;
        *.gz) gzip -dc "$modules/$file" >"$root/lib/modules/$base" ;;
        *) cp "$modules/$file" "$root/lib/modules/$base" ;;
    esac
    loaded[$base]=1
    echo "$base" >>"$root/modules.order"
}
for name in "${wanted[@]}"; do
    line=$(grep -E "(^|/)${name}\.ko(\.xz|\.zst|\.gz)?:" "$modules/modules.dep" || true)
    if [ -z "$line" ]; then
        # Built into this kernel: nothing to load.
        grep -qE "/${name}\.ko" "$modules/modules.builtin" 2>/dev/null && continue
        echo "FAIL module $name not found in $modules" >&2
        exit 1
    fi
    read -r -a deps <<<"${line#*:}"
    for ((i = ${#deps[@]} - 1; i >= 0; i--)); do add_module "${deps[$i]}"; done
    add_module "${line%%:*}"
done

mkdir -p "$root/bin"
cp "$busybox" "$root/bin/busybox"
cp "$here/guest_init.sh" "$root/init"
chmod +x "$root/init"
# Without its debugging sections the program is a third of the size: a smaller image boots sooner.
strip --strip-debug -o "$root/serial_guest" "$guest" 2>/dev/null || cp "$guest" "$root/serial_guest"
# The data file: the bytes a terminal would translate or swallow (NUL, XON, XOFF, CR, LF, DEL,
# 0xFF) first, then random bytes; ten 200-byte blocks and a short one.
printf '\000\021\023\r\n\177\377' >"$root/data.bin"
head -c 2130 /dev/urandom >>"$root/data.bin"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd.cpio"

sockets=$(mktemp -d /tmp/qelp-kernel-serial.XXXXXX)
trap 'rm -rf "$sockets"' EXIT
adapter_serial=QELP-TEST-0001

# One CPU, no KVM (none here): about ten seconds to boot, test and power off.
"$host" --uart-socket "$sockets/uart" --usb-socket "$sockets/usb" --data "$root/data.bin" \
    --adapter-serial "$adapter_serial" --log "$work/console.log" --timeout 240 -- \
    qemu-system-x86_64 -nodefaults -no-user-config -display none -no-reboot -m 256 -smp 1 \
    -kernel "$kernel" -initrd "$work/initrd.cpio" \
    -append "console=hvc0 quiet loglevel=3 panic=-1" \
    -device virtio-serial-pci -chardev stdio,id=console -device virtconsole,chardev=console \
    -chardev socket,id=uart,path="$sockets/uart" -serial chardev:uart \
    -chardev socket,id=usb,path="$sockets/usb" -usb \
    -device usb-serial,chardev=usb,serial="$adapter_serial"
