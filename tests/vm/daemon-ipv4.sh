# kmfibd on the mainline kernel, IPv4: see daemon_forwarding in lib.sh.
. /lib.sh
topology
daemon_forwarding 4 10.1.0.2 239.1.1.1
