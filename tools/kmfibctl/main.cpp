// kmfibctl: steers a running kmfibd through its control socket. The words on the command
// line form one statement; without any, statements are read from standard input, one a
// line. Exit status 0 when every statement was carried out, 1 when one was refused, 2 when
// the daemon cannot be reached or an argument is wrong.

#include <iostream>
#include <string>
#include <vector>

#include "tools/kmfibctl/ControlClient.h"
#include "tools/kmfibctl/RecordJson.h"

namespace {

constexpr char const* usageLine = "usage: kmfibctl [--control PATH] [--json] [WORD...]\n";

int usage() {
  std::cerr << usageLine;
  return 2;
}

void help() {
  std::cout << usageLine
            << "Sends one statement (the WORDs) or, without WORDs, each line of standard input to\n"
               "a running kmfibd and prints the replies.\n"
               "  --control PATH  the daemon's control socket (default /run/kmfibd.sock)\n"
               "  --json          print each show as a JSON array of objects\n"
               "Exit status: 0 ok, 1 a statement was refused, 2 the daemon cannot be reached.\n";
}

bool isShow(std::string const& statement) {
  auto const first = statement.find_first_not_of(" \t");
  return first != std::string::npos && statement.compare(first, 5, "show ") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = "/run/kmfibd.sock";
  bool json = false;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string const arg = argv[i];
    if (!words.empty()) {
      words.push_back(arg);
    } else if (arg == "--help" || arg == "-h") {
      help();
      return 0;
    } else if (arg == "--version") {
      std::cout << "kmfibctl " << KMFIB_VERSION << "\n";
      return 0;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "--control" && i + 1 < argc) {
      path = argv[++i];
    } else if (arg.starts_with("-")) {
      return usage();
    } else {
      words.push_back(arg);
    }
  }

  Kmfibctl::ControlClient client(path);
  if (!client.connected()) {
    std::cerr << "kmfibctl: cannot reach kmfibd at " << path << ": " << client.why() << "\n";
    return 2;
  }
  std::vector<std::string> statements;
  if (!words.empty()) {
    std::string statement;
    for (auto const& w : words) statement += (statement.empty() ? "" : " ") + w;
    statements.push_back(statement);
  }
  bool const fromInput = words.empty();
  int status = 0;
  std::string line;
  for (std::size_t i = 0; fromInput ? static_cast<bool>(std::getline(std::cin, line)) : i < statements.size(); ++i) {
    std::string const& statement = fromInput ? line : statements[i];
    Kmfibctl::ControlClient::Reply reply;
    if (!client.request(statement, reply)) {
      std::cerr << "kmfibctl: lost kmfibd at " << path << ": " << client.why() << "\n";
      return 2;
    }
    if (json && isShow(statement)) {
      std::cout << Kmfibctl::RecordJson::array(reply.lines);
    } else {
      for (auto const& l : reply.lines) std::cout << l << "\n";
    }
    if (!reply.ok) {
      std::cerr << "error: " << reply.error << "\n";
      status = 1;
    }
  }
  return status;
}
