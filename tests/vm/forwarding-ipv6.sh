# IPv6 through the linux backend: the agent's socket, start and VIF calls and its 124-byte
# MFC record make the mainline kernel forward a group from src to dst, and only while the
# entry is there.
. /lib.sh
topology
driver_start
call open rtr 6
call vif rtr 6 1 r0
call vif rtr 6 2 r1
refused "Too many open files in system" vif rtr 6 32 r1
shows rtr "netns ns=rtr socket=open mrt=on pim=on unresolved-entries=0 unresolved-buffers=0"
shows rtr "vif ns=rtr af=6 index=0 ifindex=0 flags=register threshold=0"
shows rtr "vif ns=rtr af=6 index=1 ifindex=$(ifindex rtr r0) flags=none threshold=0"
shows rtr "vif ns=rtr af=6 index=2 ifindex=$(ifindex rtr r1) flags=none threshold=0"
refused "No such file or directory" proc rtr /proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit 10
expect_dropped ff3e::1 "before the entry"

call mfc rtr 6 2001:db8:1::2 ff3e::1 1 2
call show rtr
shows rtr "mfc ns=rtr af=6 source=2001:db8:1::2 group=ff3e::1 iif=1 oifs=2"
ip_mroute_shows -6 2001:db8:1::2 ff3e::1 r0 r1
# An entry the kernel cannot hold is refused whole, and the one it holds stays.
refused "Too many open files in system" mfc rtr 6 2001:db8:1::2 ff3e::1 1 2,32
shows rtr "mfc ns=rtr af=6 source=2001:db8:1::2 group=ff3e::1 iif=1 oifs=2"
expect_forwarded ff3e::1 "hello over ipv6"
call counters rtr >/run/counters.out
cat /run/counters.out
grep -q "group=ff3e::1 packets=[1-9]" /run/counters.out

call no-mfc rtr 6 2001:db8:1::2 ff3e::1
expect_dropped ff3e::1 "after the delete"

call close rtr 6
shows rtr "netns ns=rtr socket=closed mrt=off pim=off unresolved-entries=0 unresolved-buffers=0"
if grep -q "^vif \|^mfc " /run/show.out; then echo "FAIL: the closed socket left VIFs or entries"; exit 1; fi

# A routing socket that goes with its process, without shutting routing down, takes the
# namespace's VIFs and entries with it.
call open rtr 6
call vif rtr 6 1 r0
call mfc rtr 6 2001:db8:1::2 ff3e::1 1 -
driver_stop
kmfib-vm-driver show rtr >/run/show.out
cat /run/show.out
grep -qxF "netns ns=rtr socket=closed mrt=off pim=off unresolved-entries=0 unresolved-buffers=0" /run/show.out
if grep -q "^vif \|^mfc " /run/show.out; then echo "FAIL: the ended process left VIFs or entries"; exit 1; fi
