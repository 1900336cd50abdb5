# What the vm payloads share: the three namespaces, the driver held open on two pipes, the
# daemon and kmfibctl, and the checks that a datagram is or is not forwarded. A payload sources it, and fails as soon
# as a check does (set -e).
set -e

# busybox's sh runs its own applets before PATH; its ip knows no namespaces or veth pairs.
ip() { /sbin/ip "$@"; }

# src (s0) -- (r0) rtr (r1) -- (d0) dst
#                   rtr (r2) -- (d1) dst
topology() {
  for ns in src rtr dst; do
    ip netns add $ns
    ip -n $ns link set lo up
  done
  ip link add s0 netns src type veth peer name r0 netns rtr
  ip link add d0 netns dst type veth peer name r1 netns rtr
  ip link add d1 netns dst type veth peer name r2 netns rtr
  ip -n src addr add 10.1.0.2/24 dev s0
  ip -n rtr addr add 10.1.0.1/24 dev r0
  ip -n rtr addr add 10.2.0.1/24 dev r1
  ip -n dst addr add 10.2.0.2/24 dev d0
  ip -n rtr addr add 10.3.0.1/24 dev r2
  ip -n dst addr add 10.3.0.2/24 dev d1
  ip -n src -6 addr add 2001:db8:1::2/64 dev s0 nodad
  ip -n rtr -6 addr add 2001:db8:1::1/64 dev r0 nodad
  ip -n rtr -6 addr add 2001:db8:2::1/64 dev r1 nodad
  ip -n dst -6 addr add 2001:db8:2::2/64 dev d0 nodad
  ip -n rtr -6 addr add 2001:db8:3::1/64 dev r2 nodad
  ip -n dst -6 addr add 2001:db8:3::2/64 dev d1 nodad
  for link in "src s0" "rtr r0" "rtr r1" "rtr r2" "dst d0" "dst d1"; do
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

# Sends TEXT from src out of s0 to GROUP while a receiver in dst listens on DEV (default d0)
# for up to SECONDS; prints what it got.
datagram() {
  group=$1 text=$2 seconds=$3 dev=${4:-d0}
  rm -f /run/recv.out
  kmfib-vm-driver recv dst "$dev" "$group" 5000 "$seconds" "$text" >/run/recv.out &
  receiver=$!
  until grep -q listening /run/recv.out 2>/dev/null; do
    kill -0 $receiver 2>/dev/null || break
    sleep 0.1
  done
  kmfib-vm-driver send src s0 "$group" 5000 "$text" >/dev/null
  wait $receiver || true
  sed "/^ok\$/d; s/^/  dst $dev: /" /run/recv.out
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

# expect_forwarded GROUP TEXT [DEV]: TEXT arrives at DEV in dst.
expect_forwarded() {
  datagram "$1" "$2" 10 "$3"
  grep -qx "received [^ ]* $2" /run/recv.out || { echo "FAIL: '$2' to $1 did not arrive"; return 1; }
  echo "forwarded: '$2' to $1"
}

# expect_dropped GROUP TEXT [DEV]: nothing arrives at DEV in dst.
expect_dropped() {
  datagram "$1" "$2" 3 "$3"
  grep -qx timeout /run/recv.out || { echo "FAIL: '$2' to $1 arrived"; return 1; }
  echo "not forwarded: '$2' to $1"
}

# The daemon: `kmfibd run --kernel KERNEL --af AF [ARG...]` with /run/kmfibd.conf, its
# operator log in /run/kmfibd.log; returns once its control socket answers.
daemon_start() {
  kernel=$1 family=$2
  shift 2
  echo "> kmfibd run --kernel $kernel --af $family --config /run/kmfibd.conf --control /run/kmfibd.sock $*"
  kmfibd run --kernel "$kernel" --af "$family" --config /run/kmfibd.conf --control /run/kmfibd.sock "$@" \
    2>/run/kmfibd.log &
  daemon=$!
  tries=0
  until kmfibctl show machines >/dev/null 2>&1; do
    kill -0 $daemon 2>/dev/null || { cat /run/kmfibd.log; echo "FAIL: kmfibd ended"; return 1; }
    tries=$((tries + 1))
    [ $tries -lt 100 ] || { echo "FAIL: no control socket"; return 1; }
    sleep 0.1
  done
}

# SIGTERM: the daemon must stop in order and exit 0.
daemon_stop() {
  kill -TERM $daemon
  status=0
  wait $daemon || status=$?
  sed 's/^/  kmfibd: /' /run/kmfibd.log
  [ $status = 0 ] || { echo "FAIL: kmfibd exited with $status"; return 1; }
  echo "kmfibd stopped: exit status 0"
}

# One kmfibctl statement, echoed with its output; fails when kmfibctl does.
ctl() {
  echo "> kmfibctl $*"
  kmfibctl "$@"
}

# Waits up to 10 s for COMMAND... to succeed (the daemon works on its own event loop).
eventually() {
  tries=0
  until "$@" >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -ge 100 ]; then
      "$@" || true
      [ -f /run/kmfibd.log ] && sed 's/^/  kmfibd: /' /run/kmfibd.log
      echo "FAIL: never: $*"
      return 1
    fi
    sleep 0.1
  done
}

# Whether `kmfibctl show kernel rtr` holds a line matching the extended regular expression.
kernel_has() {
  kmfibctl show kernel rtr | grep -qE "$1"
}

kernel_lacks() {
  ! kernel_has "$1"
}

# The MFC of rtr as `kmfibctl show kernel` gives it, with VIF numbers turned into device
# names through its own vif records and ip's interface indices: "SOURCE GROUP IIF OIF,...",
# sorted.
ctl_mfc() {
  kmfibctl show kernel rtr >/run/kernel.out
  ip -n rtr -o link show | awk -F': ' '{ split($2, name, "@"); print "dev", $1, name[1] }' >/run/links.out
  cat /run/links.out /run/kernel.out | awk '
    $1 == "dev" { dev[$2] = $3 }
    $1 == "vif" { split($4, i, "="); split($5, x, "="); vif[i[2]] = x[2] == 0 ? "register" : dev[x[2]] }
    $1 == "mfc" {
      for (f = 2; f <= NF; f++) { split($f, kv, "="); v[kv[1]] = kv[2] }
      n = split(v["oifs"], o, ","); oifs = ""
      for (k = 1; k <= n; k++) oifs = oifs (k > 1 ? "," : "") (o[k] == "-" ? "-" : vif[o[k]])
      print v["source"], v["group"], vif[v["iif"]], oifs
    }' | sort
}

# The MFC of rtr as `ip mroute` gives it, in the form of ctl_mfc.
ip_mfc() {
  ip -n rtr "-$1" mroute show | sed 's/[(),]/ /g' | awk '
    { oifs = ""; for (f = 1; f <= NF; f++) {
        if ($f == "Iif:") iif = $(f + 1)
        if ($f == "Oifs:") for (k = f + 1; k <= NF && $k != "State:"; k++) oifs = oifs (oifs == "" ? "" : ",") $k
      }
      print $1, $2, iif, oifs == "" ? "-" : oifs }' | sort
}

# Whether kmfibctl shows SOURCE's GROUP entry in rtr from device IIF to the devices OIFS.
mfc_is() {
  ctl_mfc | grep -qxF "$source $group $1 $2"
}

# Fails unless kmfibctl and ip mroute show the same MFC in rtr, and it is not empty unless
# EMPTY is given.
mfc_agrees() {
  ctl_mfc >/run/ctl.mfc
  ip_mfc "$1" >/run/ip.mfc
  echo "kmfibctl show kernel rtr (as devices):"; sed 's/^/  /' /run/ctl.mfc
  echo "ip -$1 mroute show (same form):"; sed 's/^/  /' /run/ip.mfc
  cmp -s /run/ctl.mfc /run/ip.mfc || { echo "FAIL: kmfibctl and ip mroute disagree"; return 1; }
  [ -n "$2" ] || [ -s /run/ctl.mfc ] || { echo "FAIL: no MFC entry"; return 1; }
}

# The daemon payload of either family: kmfibd on the linux backend forwards SOURCE's GROUP
# from src to dst as its route says, kmfibctl steers and reads it back, SIGTERM empties the
# namespace and a restarted daemon converges again; then the platform backend on the same
# kernel keeps serving while the kernel refuses it.
daemon_forwarding() {
  af=$1 source=$2 group=$3
  cat >/run/kmfibd.conf <<CONF
# The VRF rtr is the namespace rtr; the mainline kernel holds 32 VIFs.
vrf rtr netns rtr
config rtr max 32
# Implicit interfaces: r0, r1 and r2 are rtr's devices of those names.
request pimd rtr r0
request igmp rtr r1
request igmp rtr r2
table rtr static
route rtr static $source $group iif r0 oif r1
CONF
  echo "--- /run/kmfibd.conf"; cat /run/kmfibd.conf; echo "---"
  daemon_start linux "$af"
  eventually mfc_is r0 r1 || { kmfibctl show status rtr; return 1; }
  ctl show kernel rtr
  mfc_agrees "$af"
  expect_forwarded "$group" "through kmfibd over ipv$af" d0
  ctl show counters rtr | tee /run/counters.out
  grep -q "^counter ns=rtr af=$af source=$source group=$group packets=[1-9]" /run/counters.out ||
    { echo "FAIL: no packets counted"; return 1; }
  kmfibctl --json show counters rtr | tee /run/counters.json
  grep -q "\"kind\":\"counter\".*\"packets\":[1-9]" /run/counters.json || { echo "FAIL: no JSON counter"; return 1; }

  # A route change moves the forwarding from d0 to d1.
  ctl route rtr static "$source" "$group" iif r0 oif r2
  eventually mfc_is r0 r2
  mfc_agrees "$af"
  expect_forwarded "$group" "moved to d1" d1
  expect_dropped "$group" "not to d0 any more" d0

  # Without the route nothing is forwarded.
  ctl no route rtr static "$source" "$group"
  eventually kernel_lacks "^mfc "
  mfc_agrees "$af" empty
  expect_dropped "$group" "after no route" d1

  # Back to the configured route; SIGTERM leaves rtr without VIFs and entries.
  ctl route rtr static "$source" "$group" iif r0 oif r1
  eventually mfc_is r0 r1 || { kmfibctl show status rtr; return 1; }
  mfc_agrees "$af"
  cp /run/ip.mfc /run/before.mfc
  daemon_stop
  grep -c "does not exist here" /run/kmfibd.log | grep -qx 1 || { echo "FAIL: the unresolved-limits note is not said once"; return 1; }
  if grep -q "holds 32 VIFs" /run/kmfibd.log; then echo "FAIL: warned with max 32"; return 1; fi
  kmfib-vm-driver show rtr | tee /run/show.out
  if grep -q "^vif \|^mfc " /run/show.out; then echo "FAIL: the stopped daemon left VIFs or entries"; return 1; fi
  [ -z "$(ip -n rtr "-$af" mroute show)" ] || { echo "FAIL: ip mroute still shows entries"; return 1; }
  echo "after SIGTERM: no VIF, no MFC entry in rtr"

  # A restarted daemon converges to the same MFC.
  daemon_start linux "$af"
  eventually mfc_is r0 r1 || { kmfibctl show status rtr; return 1; }
  mfc_agrees "$af"
  cmp -s /run/before.mfc /run/ip.mfc || { echo "FAIL: the restarted daemon holds another MFC"; return 1; }
  expect_forwarded "$group" "after the restart" d0
  # A bound the kernel cannot hold is warned about once, on SIGHUP too.
  sed -i 's/^config rtr max 32$/config rtr max 64/' /run/kmfibd.conf
  kill -HUP $daemon
  eventually grep -q "max 64 but the kernel holds 32 VIFs" /run/kmfibd.log
  kill -HUP $daemon
  eventually grep -c "applied: 0 changes" /run/kmfibd.log
  daemon_stop
  grep -c "max 64 but the kernel holds 32 VIFs" /run/kmfibd.log | grep -qx 1 || { echo "FAIL: not warned once"; return 1; }
  sed -i 's/^config rtr max 64$/config rtr max 32/' /run/kmfibd.conf

  # The platform backend on this kernel keeps serving. IPv4: the kernel refuses its start
  # option on a raw IPPROTO_RAW socket, its VIFs and its 540-byte MFC records, and the daemon
  # logs each refusal. IPv6: the kernel takes the 124-byte record too (it reads the first 92
  # bytes), so with MIFs below 32 the review goes through.
  daemon_start platform "$af" --trace KernelMfibSm/8
  if [ "$af" = 4 ]; then
    eventually grep -q "multicast routing refused: EOPNOTSUPP" /run/kmfibd.log
    eventually grep -q "failed MRT_ADD_MFC" /run/kmfibd.log
  else
    eventually grep -q "full review finished: 1 MFC updates" /run/kmfibd.log
  fi
  ctl show status rtr
  if ctl show kernel rtr 2>/run/ctl.err; then echo "FAIL: the platform backend showed a kernel"; return 1; fi
  cat /run/ctl.err
  grep -q "cannot read the kernel back" /run/ctl.err || { echo "FAIL: not said what cannot be read"; return 1; }
  daemon_stop
}
