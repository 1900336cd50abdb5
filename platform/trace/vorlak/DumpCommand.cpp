#include "trace/vorlak/DumpCommand.h"

#include <exception>

#include "trace/vorlak/Reader.h"

namespace Vorlak {

int DumpCommand::run(std::span<char const* const> args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1 || args[0] == nullptr || args[0][0] == '\0') {
    err << "usage: vorlakdump FILE\n";
    return 2;
  }
  try {
    Reader const reader(args[0]);
    for (auto const& record : reader.records()) out << reader.line(record) << '\n';
    if (reader.dropped() > 0) {
      err << "vorlakdump: " << args[0] << ": the writer dropped " << reader.dropped() << " records\n";
    }
  } catch (std::exception const& e) {
    err << "vorlakdump: " << e.what() << '\n';
    return 2;
  }
  out.flush();
  return out ? 0 : 1;
}

}  // namespace Vorlak
