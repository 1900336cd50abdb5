// kmfib-vm-driver: makes the agent's kernel calls through the `linux` backend, one statement
// at a time, so that a shell script in a virtual machine can drive a real kernel the way the
// agent does and check what it forwards. With words it runs them as one statement; without,
// it reads statements from standard input, one a line, and keeps its routing sockets open
// between them (closing the socket that started routing flushes the namespace). Every
// statement's output ends with a line "ok" or "error: TEXT".
//
//   open NS AF                        the routing socket and its set-up, as the agent does it
//   vif NS AF INDEX DEV               add VIF INDEX on device DEV (the Register VIF: DEV "register")
//   mfc NS AF SOURCE GROUP IIF OIFS   add an entry from the agent's record (OIFS: 1,2 or -)
//   no-mfc NS AF SOURCE GROUP         delete it
//   close NS AF                       shut routing down and close the socket
//   proc NS PATH VALUE                write a /proc/sys file inside NS, as the agent does
//   show [NS] / counters [NS]         what the backend reads back
//   send NS DEV GROUP PORT TEXT       one UDP datagram to GROUP out of DEV, hop limit 8
//   recv NS DEV GROUP PORT SECONDS TEXT
//                                     join GROUP on DEV, print "listening", then "received
//                                     FROM TEXT" for TEXT or "timeout" after SECONDS

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/KernelRecordPrinter.h"
#include "kernel/LinuxKernel.h"
#include "kernel/NetNsEntry.h"
#include "plix/SocketAt.h"
#include "tests/support/AgentRecords.h"
#include "zell/ProcSys.h"

namespace {

using Words = std::vector<std::string>;

struct Failure {
  std::string text;
};

Failure systemFailure(std::string const& what) { return {what + ": " + std::strerror(errno)}; }

int familyOf(std::string const& af) {
  if (af == "4") return AF_INET;
  if (af == "6") return AF_INET6;
  throw Failure{"address family is 4 or 6, not " + af};
}

int levelOf(int domain) { return domain == AF_INET ? IPPROTO_IP : IPPROTO_IPV6; }

std::uint16_t number(std::string const& text) {
  std::size_t end = 0;
  unsigned long const value = std::stoul(text, &end);
  if (end != text.size() || value > 65535) throw Failure{"not a number: " + text};
  return std::uint16_t(value);
}

std::uint32_t ifindexIn(Plix::NamespaceName const& ns, std::string const& dev) {
  Kernel::NetNsEntry const inside(ns);
  if (inside.error()) throw Failure{"cannot enter " + ns.str() + ": " + std::strerror(inside.error())};
  std::uint32_t const index = ::if_nametoindex(dev.c_str());
  if (!index) throw systemFailure("no device " + dev + " in " + ns.str());
  return index;
}

class Driver {
 public:
  void run(Words const& w, std::ostream& out) {
    if (w.empty()) return;
    std::string const& verb = w[0];
    auto need = [&](std::size_t n) {
      if (w.size() < n + 1) throw Failure{verb + " needs " + std::to_string(n) + " words"};
    };
    if (verb == "open") return need(2), open(w[1], familyOf(w[2]), out);
    if (verb == "vif") return need(4), vif(w[1], familyOf(w[2]), number(w[3]), w[4]);
    if (verb == "mfc") return need(6), mfc(w[1], familyOf(w[2]), w[3], w[4], w[5], w[6], true);
    if (verb == "no-mfc") return need(4), mfc(w[1], familyOf(w[2]), w[3], w[4], "65535", "-", false);
    if (verb == "close") return need(2), close(w[1], familyOf(w[2]));
    if (verb == "proc") return need(3), proc(w[1], w[2], w[3]);
    std::optional<Plix::NamespaceName> const ns =
        w.size() > 1 ? std::optional<Plix::NamespaceName>(w[1]) : std::nullopt;
    if (verb == "show") return Kernel::printKernelRecords(out, kernel_.snapshot(ns));
    if (verb == "counters") return Kernel::printCounterRecords(out, kernel_.counters(ns));
    if (verb == "send") return need(5), send(w[1], w[2], w[3], number(w[4]), w[5]);
    if (verb == "recv") return need(6), recv(w[1], w[2], w[3], number(w[4]), number(w[5]), w[6], out);
    throw Failure{"unknown statement " + verb};
  }

 private:
  int socketOf(std::string const& ns, int domain) {
    auto it = sockets_.find({ns, domain});
    if (it == sockets_.end()) throw Failure{"no socket open in " + ns};
    return it->second;
  }

  void set(int fd, int domain, int option, KernelTest::Record const& record, char const* what) {
    if (Plix::setsockopt(fd, levelOf(domain), option, record.data(), socklen_t(record.size())) != 0) {
      throw systemFailure(what);
    }
  }

  // As the agent sets a socket up: start, PIM, non-blocking, the Register VIF; each step
  // whatever the one before returned.
  void open(std::string const& ns, int domain, std::ostream& out) {
    int const fd = domain == AF_INET ? Plix::socketAt(2, 3, 255, ns) : Plix::socketAt(10, 3, 58, ns);
    if (fd < 0) throw systemFailure("socket");
    sockets_[{ns, domain}] = fd;
    int one = 1;
    int const start = domain == AF_INET ? 210 : 200;
    if (Plix::setsockopt(fd, levelOf(domain), start, &one, sizeof one) != 0) {
      out << "failed MRT_INIT: " << std::strerror(errno) << '\n';
    }
    if (Plix::setsockopt(fd, levelOf(domain), 208, &one, sizeof one) != 0) {
      out << "failed MRT_PIM: " << std::strerror(errno) << '\n';
    }
    if (Plix::ioctl(fd, 0x5421, &one) != 0) out << "failed FIONBIO: " << std::strerror(errno) << '\n';
    auto const reg = domain == AF_INET ? KernelTest::vifctl(0, 0x04, 0) : KernelTest::mif6ctl(0, 0x01, 0);
    set(fd, domain, 202, reg, "add the Register VIF");
    out << "socket " << fd << '\n';
  }

  void vif(std::string const& ns, int domain, std::uint16_t index, std::string const& dev) {
    std::uint32_t const ifindex = ifindexIn(ns, dev);
    auto const record = domain == AF_INET ? KernelTest::vifctl(index, 0x08, std::int32_t(ifindex))
                                          : KernelTest::mif6ctl(index, 0, std::uint16_t(ifindex));
    set(socketOf(ns, domain), domain, 202, record, "MRT_ADD_VIF");
  }

  void mfc(std::string const& ns, int domain, std::string const& source, std::string const& group,
           std::string const& iif, std::string const& oifList, bool add) {
    std::vector<std::uint16_t> oifs;
    std::istringstream in(oifList == "-" ? "" : oifList);
    for (std::string vif; std::getline(in, vif, ',');) oifs.push_back(number(vif));
    auto const record = domain == AF_INET
                            ? KernelTest::mfcctl(source.c_str(), group.c_str(), number(iif), oifs)
                            : KernelTest::mf6cctl(source.c_str(), group.c_str(), number(iif), oifs);
    set(socketOf(ns, domain), domain, add ? 204 : 205, record, add ? "MRT_ADD_MFC" : "MRT_DEL_MFC");
  }

  void close(std::string const& ns, int domain) {
    int const fd = socketOf(ns, domain);
    int one = 1;
    Plix::setsockopt(fd, levelOf(domain), 201, &one, sizeof one);
    sockets_.erase({ns, domain});
    if (Plix::close(fd) != 0) throw systemFailure("close");
  }

  static void proc(std::string const& ns, std::string const& path, std::string const& value) {
    if (Zell::writeProcSysInNetNs(path, value, ns) != 0) throw systemFailure("write " + path);
  }

  // A UDP socket of the group's family in `ns`, with DEV's index.
  static std::pair<int, std::uint32_t> udpIn(std::string const& ns, std::string const& dev,
                                             int domain) {
    std::uint32_t const ifindex = ifindexIn(ns, dev);
    Kernel::NetNsEntry const inside(ns);
    int const fd = ::socket(domain, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw systemFailure("udp socket");
    return {fd, ifindex};
  }

  static sockaddr_storage groupAddress(std::string const& group, std::uint16_t port, int& domain) {
    sockaddr_storage ss{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
    if (inet_pton(AF_INET, group.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = domain = AF_INET;
      v4->sin_port = htons(port);
    } else if (inet_pton(AF_INET6, group.c_str(), &v6->sin6_addr) == 1) {
      v6->sin6_family = domain = AF_INET6;
      v6->sin6_port = htons(port);
    } else {
      throw Failure{"not an address: " + group};
    }
    return ss;
  }

  void send(std::string const& ns, std::string const& dev, std::string const& group,
            std::uint16_t port, std::string const& text) {
    int domain = 0;
    sockaddr_storage const to = groupAddress(group, port, domain);
    auto const [fd, ifindex] = udpIn(ns, dev, domain);
    int hops = 8;
    int rc;
    if (domain == AF_INET) {
      ip_mreqn mreq{};
      mreq.imr_ifindex = int(ifindex);
      rc = ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &mreq, sizeof mreq) |
           ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops);
    } else {
      rc = ::setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, &ifindex, sizeof ifindex) |
           ::setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops);
    }
    socklen_t const len = domain == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (rc == 0) rc = int(::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr const*>(&to), len));
    int const error = errno;
    ::close(fd);
    errno = error;
    if (rc < 0) throw systemFailure("send");
  }

  void recv(std::string const& ns, std::string const& dev, std::string const& group,
            std::uint16_t port, std::uint16_t seconds, std::string const& expected,
            std::ostream& out) {
    int domain = 0;
    sockaddr_storage local = groupAddress(group, port, domain);
    auto const [fd, ifindex] = udpIn(ns, dev, domain);
    int rc;
    if (domain == AF_INET) {
      ip_mreqn mreq{};
      mreq.imr_multiaddr = reinterpret_cast<sockaddr_in*>(&local)->sin_addr;
      mreq.imr_ifindex = int(ifindex);
      rc = ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq);
    } else {
      ipv6_mreq mreq{};
      mreq.ipv6mr_multiaddr = reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr;
      mreq.ipv6mr_interface = ifindex;
      rc = ::setsockopt(fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &mreq, sizeof mreq);
    }
    socklen_t const len = domain == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (rc == 0) rc = ::bind(fd, reinterpret_cast<sockaddr const*>(&local), len);
    if (rc != 0) {
      int const error = errno;
      ::close(fd);
      errno = error;
      throw systemFailure("join " + group);
    }
    out << "listening" << std::endl;
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (true) {
      auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) break;
      char buffer[1500];
      sockaddr_storage from{};
      socklen_t fromLen = sizeof from;
      ssize_t const n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
      if (n < 0) continue;
      char name[INET6_ADDRSTRLEN] = {};
      void const* address = from.ss_family == AF_INET
                                ? static_cast<void const*>(&reinterpret_cast<sockaddr_in*>(&from)->sin_addr)
                                : &reinterpret_cast<sockaddr_in6*>(&from)->sin6_addr;
      inet_ntop(from.ss_family, address, name, sizeof name);
      std::string const text(buffer, std::size_t(n));
      out << "received " << name << " " << text << '\n';
      if (text == expected) {
        ::close(fd);
        return;
      }
    }
    ::close(fd);
    out << "timeout\n";
  }

  Kernel::LinuxKernel kernel_;
  Kernel::Backend::Use use_{kernel_};
  std::map<std::pair<std::string, int>, int> sockets_;
};

Words split(std::string const& line) {
  Words words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool runOne(Driver& driver, Words const& words) {
  try {
    driver.run(words, std::cout);
    std::cout << "ok" << std::endl;
    return true;
  } catch (Failure const& failure) {
    std::cout << "error: " << failure.text << std::endl;
  } catch (std::exception const& e) {
    std::cout << "error: " << e.what() << std::endl;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Driver driver;
  if (argc > 1) return runOne(driver, Words(argv + 1, argv + argc)) ? 0 : 1;
  for (std::string line; std::getline(std::cin, line);) {
    Words const words = split(line);
    if (!words.empty()) runOne(driver, words);
  }
  return 0;
}
