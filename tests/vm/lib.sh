# What the vm payloads share: the three namespaces, the driver held open on two pipes, and
# the checks that a datagram is or is not forwarded. A payload sources it, and fails as soon
# as a check does (set -e).
set -e

# busybox's sh runs its own applets before PATH; its ip knows no namespaces or veth pairs.
ip() { /sbin/ip "$@"; }

# src (s0) -- (r0) rtr (r1) -- (d0) dst
topology() {
  for ns in src rtr dst; do
    ip netns add $ns
    ip -n $ns link set lo up
  done
  ip link add s0 netns src type veth peer name r0 netns rtr
  ip link add d0 netns dst type veth peer name r1 netns rtr
  ip -n src addr add 10.1.0.2/24 dev s0
  ip -n rtr addr add 10.1.0.1/24 dev r0
  ip -n rtr addr add 10.2.0.1/24 dev r1
  ip -n dst addr add 10.2.0.2/24 dev d0
  ip -n src -6 addr add 2001:db8:1::2/64 dev s0 nodad
  ip -n rtr -6 addr add 2001:db8:1::1/64 dev r0 nodad
  ip -n rtr -6 addr add 2001:db8:2::1/64 dev r1 nodad
  ip -n dst -6 addr add 2001:db8:2::2/64 dev d0 nodad
  for link in "src s0" "rtr r0" "rtr r1" "dst d0"; do
    set -- $link
    ip -n $1 link set $2 up
  done
}

# The driver runs for the whole payload, so that its routing sockets stay open.
driver_start() {
  mkfifo /run/driver.in /run/driver.out
  kmfib-vm-driver </run/driver.in >/run/driver.out &
  driver=$!
  exec 3>/run/driver.in 4</run/driver.out
}

# Ends the driver as a signal would, with its sockets still open.
driver_stop() {
  exec 3>&- 4<&-
  kill -9 $driver
  wait $driver || true
}

# One driver statement: prints its output and fails when the driver says "error".
call() {
  echo "> $*"
  echo "$*" >&3
  while read -r line <&4; do
    case $line in
      ok) return 0 ;;
      error:*) echo "$line"; return 1 ;;
      *) echo "$line" ;;
    esac
  done
  echo "driver gone"
  return 1
}

# Fails unless the driver refuses the statement with TEXT in its error.
refused() {
  text=$1
  shift
  if call "$@" >/run/refused.out; then cat /run/refused.out; echo "FAIL: accepted: $*"; return 1; fi
  cat /run/refused.out
  grep -q "^error: .*$text" /run/refused.out || { echo "FAIL: not refused with $text"; return 1; }
}

# Fails unless `call show NS` printed LINE.
shows() {
  ns=$1
  shift
  call show "$ns" >/run/show.out
  grep -qxF "$*" /run/show.out || { cat /run/show.out; echo "missing: $*"; return 1; }
  echo "shown: $*"
}

# Sends TEXT from src out of s0 to GROUP while a receiver in dst listens on d0 for up to
# SECONDS; prints what it got.
datagram() {
  group=$1 text=$2 seconds=$3
  rm -f /run/recv.out
  kmfib-vm-driver recv dst d0 "$group" 5000 "$seconds" "$text" >/run/recv.out &
  receiver=$!
  until grep -q listening /run/recv.out 2>/dev/null; do
    kill -0 $receiver 2>/dev/null || break
    sleep 0.1
  done
  kmfib-vm-driver send src s0 "$group" 5000 "$text" >/dev/null
  wait $receiver || true
  sed '/^ok$/d; s/^/  dst: /' /run/recv.out
}

# The interface index of DEV in NS, as ip shows it.
ifindex() {
  ip -n "$1" -o link show "$2" | cut -d: -f1
}

# Fails unless `ip mroute` in rtr shows the entry of SOURCE and GROUP with IIF and OIFS.
ip_mroute_shows() {
  family=$1 entry="($2,$3)" iif=$4 oifs=$5
  ip -n rtr "$family" mroute show >/run/mroute.out
  cat /run/mroute.out
  grep -F "$entry" /run/mroute.out | grep -q "Iif: $iif *Oifs: $oifs " ||
    { echo "FAIL: ip mroute does not show $entry from $iif to $oifs"; return 1; }
}

expect_forwarded() {
  datagram "$1" "$2" 10
  grep -qx "received [^ ]* $2" /run/recv.out || { echo "FAIL: '$2' to $1 did not arrive"; return 1; }
  echo "forwarded: '$2' to $1"
}

expect_dropped() {
  datagram "$1" "$2" 3
  grep -qx timeout /run/recv.out || { echo "FAIL: '$2' to $1 arrived"; return 1; }
  echo "not forwarded: '$2' to $1"
}
