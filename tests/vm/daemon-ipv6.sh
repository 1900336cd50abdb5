# kmfibd on the mainline kernel, IPv6: see daemon_forwarding in lib.sh.
. /lib.sh
topology
daemon_forwarding 6 2001:db8:1::2 ff3e::1
