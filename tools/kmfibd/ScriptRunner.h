#pragma once
// Runs script files statement by statement on a Host: the output of `show` statements goes
// to `out`; the first refused statement stops the run with "error: FILE:LINE: TEXT" on
// `err` and status 2.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "tools/kmfibd/Host.h"
#include "tools/kmfibd/ScriptFile.h"
#include "tools/kmfibd/StatementParser.h"

namespace Kmfibd {

class ScriptRunner {
 public:
  ScriptRunner(Host& host, std::ostream& out, std::ostream& err)
      : host_(host), parser_(host.af()), out_(out), err_(err) {}

  // 0 when every statement of every file was carried out, else 2.
  int runFiles(std::vector<ScriptFile> const& files);
  int runText(std::string const& name, std::string const& text);
  // Lines are numbered from firstNumber in refusals.
  int runStream(std::string const& name, std::istream& in, int firstNumber = 1);

 private:
  Host& host_;
  StatementParser parser_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace Kmfibd
