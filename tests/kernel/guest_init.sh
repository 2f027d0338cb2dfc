#!/bin/busybox sh
# PID 1 of the kernel serial test's guest: mounts the kernel's file systems, loads the drivers
# listed in /modules.order (virtio console first, so that everything after shows on the host),
# runs the test program and powers off. Any failure still powers off: the host waits with a
# deadline, but a quick end is a quicker verdict.
/bin/busybox mkdir -p /proc /sys /dev /tmp
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

console_ready=no
while read -r module; do
    insmod "/lib/modules/$module" || echo "@@ insmod.$module failed"
    if [ "$console_ready" = no ] && [ "$module" = virtio_console.ko ]; then
        # The console port appears once the host side has answered the driver.
        for _ in $(seq 50); do
            [ -e /dev/hvc0 ] && break
            sleep 0.1
        done
        exec >/dev/hvc0 2>&1
        console_ready=yes
    fi
done </modules.order

/serial_guest /dev/ttyUSB0 /data.bin
status=$?
echo "@@ guest.exit $status"
if [ "$status" -ne 0 ]; then
    ls /sys/bus/usb/devices; dmesg | tail -n 60
fi
poweroff -f
