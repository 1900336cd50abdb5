// libFuzzer target: the simulated kernel's decoding of multicast-routing records. The input
// is a series of calls, each a header byte (which option, which family's socket, and whether
// routing is started first) and a length byte, followed by that many bytes of record. The
// kernel must answer every call with 0 or an errno, never crash, and `show kernel` must print
// whatever the calls left.

#include "fuzz/SimKernelRecordFuzz.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <vector>

#include "kernel/KernelRecordPrinter.h"
#include "kernel/MrtFamily.h"
#include "kernel/SimKernel.h"

namespace {

constexpr int options[] = {200, 201, 202, 203, 204, 205, 208, 210};

}  // namespace

int simKernelRecordFuzz(std::uint8_t const* data, std::size_t size) {
  Kernel::SimKernel kernel;
  kernel.recordingIs(false);
  Plix::NamespaceName const ns("default");
  kernel.linkIs(ns, "eth1", 7);
  kernel.linkIs(ns, "eth2", 8);
  Kernel::MrtFamily const* families[] = {&Kernel::MrtFamily::ipv4(), &Kernel::MrtFamily::ipv6()};
  int sockets[2];
  for (int f = 0; f < 2; ++f) {
    sockets[f] = kernel.socketAt(families[f]->domain, 3, families[f]->protocol, ns);
    int const one = 1;
    kernel.setsockopt(sockets[f], families[f]->level, families[f]->startOption, &one, sizeof one);
  }
  std::size_t at = 0;
  while (at + 2 <= size) {
    std::uint8_t const header = data[at];
    std::size_t const length = data[at + 1];
    at += 2;
    // Records up to 540 bytes: a length byte of 255 stands for the IPv4 MFC record's size.
    std::size_t const wanted = length == 255 ? 540 : length;
    std::vector<std::uint8_t> record(data + at, data + std::min(size, at + wanted));
    at += record.size();
    int const f = header & 1;
    int const option = options[(header >> 1) & 7];
    int const level = header & 0x40 ? 99 : families[f]->level;
    if (header & 0x80) {
      kernel.close(sockets[f]);
      sockets[f] = kernel.socketAt(families[f]->domain, 3, families[f]->protocol, ns);
    }
    int const rc = kernel.setsockopt(sockets[f], level, option, record.empty() ? nullptr : record.data(),
                                     static_cast<socklen_t>(record.size()));
    if (rc != 0 && rc != -1) __builtin_trap();
  }
  std::ostringstream out;
  Kernel::printKernelRecords(out, kernel.snapshot(std::nullopt));
  return 0;
}
