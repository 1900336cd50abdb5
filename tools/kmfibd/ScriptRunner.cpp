#include "tools/kmfibd/ScriptRunner.h"

#include <fstream>
#include <sstream>

namespace Kmfibd {

int ScriptRunner::runFiles(std::vector<std::string> const& files) {
  for (auto const& file : files) {
    std::ifstream in(file);
    if (!in) {
      err_ << "error: " << file << ": cannot read the file" << std::endl;
      return 2;
    }
    // Read as a stream: a script of a million routes is never held whole.
    if (int status = runStream(file, in); status != 0) return status;
  }
  return 0;
}

int ScriptRunner::runText(std::string const& name, std::string const& text) {
  std::istringstream in(text);
  return runStream(name, in);
}

int ScriptRunner::runStream(std::string const& name, std::istream& in) {
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    try {
      if (auto statement = parser_.parse(line)) host_.apply(*statement, out_);
    } catch (StatementError const& e) {
      out_.flush();
      err_ << "error: " << name << ":" << number << ": " << e.what() << std::endl;
      return 2;
    }
  }
  return 0;
}

}  // namespace Kmfibd
