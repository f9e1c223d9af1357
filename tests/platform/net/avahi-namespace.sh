#!/bin/sh
# Runs inside `unshare --net --mount` (a network and mount namespace of its
# own): gives it a private /run, an interface of its own, its own system bus and mDNS
# daemon, runs the given command there, and stops the daemons it started.
# Exit status 77 with a reason on standard output: the namespace could not be
# set up here.
exe="$1"
shift
mount -t tmpfs memorant-run /run 2>/dev/null || { echo "cannot mount a private /run"; exit 77; }
mkdir -p /run/dbus /run/avahi-daemon
ip link set lo up
# A dummy interface where the kernel has them, else the two ends of a virtual
# Ethernet pair, both in this namespace.
if ip link add memrc0 type dummy 2>/dev/null; then
    :
elif ip link add memrc0 type veth peer name memrc1 2>/dev/null; then
    ip link set memrc1 up
else
    echo "neither dummy nor virtual Ethernet interfaces"
    exit 77
fi
ip addr add 10.213.0.1/24 dev memrc0
ip link set memrc0 multicast on up

stop_daemons() {
    [ -f /run/avahi-daemon/pid ] && kill "$(cat /run/avahi-daemon/pid)" 2>/dev/null
    [ -f /run/dbus/pid ] && kill "$(cat /run/dbus/pid)" 2>/dev/null
}
trap stop_daemons EXIT

dbus-daemon --system --fork >/dev/null 2>&1 || { echo "dbus-daemon did not start"; exit 77; }
avahi-daemon --daemonize --no-drop-root --no-chroot --no-rlimits >/dev/null 2>&1 ||
    { echo "avahi-daemon did not start"; exit 77; }
# The daemon takes its bus name once it is ready.
tries=0
until dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Avahi 2>/dev/null | grep -q "boolean true"; do
    tries=$((tries + 1))
    [ "$tries" -gt 100 ] && { echo "avahi-daemon did not come up"; exit 77; }
    sleep 0.05
done

MEMORANT_INSIDE_AVAHI_NAMESPACE=1 "$exe" "$@"
