#include "tools/kmfibctl/RecordJson.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace Kmfibctl {

namespace {

// Keys holding a decimal number in every record that has them.
constexpr std::array<std::string_view, 16> numberKeys = {
    "af",
    "index",
    "ifindex",
    "threshold",
    "vif",
    "unresolved-entries",
    "unresolved-buffers",
    "every",
    "runs",
    "added",
    "replaced",
    "removed",
    "vifs",
    "packets",
    "bytes",
    "wrong-if",
};

bool isNumber(std::string_view text) {
  if (text.empty()) return false;
  bool dot = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char const c = text[i];
    if (c == '.' && !dot && i > 0 && i + 1 < text.size()) {
      dot = true;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// `iif` and `oifs` are VIF numbers in kernel records and interface names in `mroute`.
bool holdsNumbers(std::string_view kind, std::string_view key) {
  if (key == "iif" || key == "oifs") return kind == "mfc";
  return std::find(numberKeys.begin(), numberKeys.end(), key) != numberKeys.end();
}

std::string value(std::string_view text, bool number) {
  return number && isNumber(text) ? std::string(text) : RecordJson::quoted(text);
}

std::string list(std::string_view text, bool numbers) {
  std::string out = "[";
  if (text == "-") return out + "]";
  std::size_t start = 0;
  for (;;) {
    std::size_t const comma = text.find(',', start);
    if (start > 0) out += ",";
    out += value(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start), numbers);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out + "]";
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t const start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

}  // namespace

std::string RecordJson::quoted(std::string_view text) {
  std::string out = "\"";
  for (char const c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string RecordJson::object(std::string_view record) {
  auto const parts = words(record);
  if (parts.empty()) return "{}";
  std::string_view const kind = parts.front();
  bool const ownKind = std::any_of(parts.begin() + 1, parts.end(), [](auto w) { return w.starts_with("kind="); });
  std::string out = "{";
  if (!ownKind) out += "\"kind\":" + quoted(kind);
  for (auto it = parts.begin() + 1; it != parts.end(); ++it) {
    std::size_t const eq = it->find('=');
    std::string_view const key = it->substr(0, eq);
    std::string_view const text = eq == std::string_view::npos ? std::string_view() : it->substr(eq + 1);
    if (out.size() > 1) out += ",";
    out += quoted(key) + ":";
    out += key == "oifs" ? list(text, holdsNumbers(kind, key)) : value(text, holdsNumbers(kind, key));
  }
  return out + "}";
}

std::string RecordJson::array(std::vector<std::string> const& records) {
  if (records.empty()) return "[]\n";
  std::string out = "[\n";
  for (std::size_t i = 0; i < records.size(); ++i) {
    out += "  " + object(records[i]) + (i + 1 < records.size() ? ",\n" : "\n");
  }
  return out + "]\n";
}

}  // namespace Kmfibctl
