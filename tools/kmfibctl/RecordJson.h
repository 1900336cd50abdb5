#pragma once
// The records of `show` ("KIND key=value ...", one a line) as JSON: one array per `show`,
// one object per record with the record's keys plus "kind" (the record's first word; a
// record that has a "kind" key of its own, `status`, keeps its own), numbers as numbers and
// lists as arrays ("oifs=-" is the empty list). Keys whose values are names stay strings
// even when a name is all digits.

#include <string>
#include <string_view>
#include <vector>

namespace Kmfibctl {

class RecordJson {
 public:
  // One record line as a JSON object.
  static std::string object(std::string_view record);
  // The record lines as one JSON array, one object a line.
  static std::string array(std::vector<std::string> const& records);
  static std::string quoted(std::string_view text);
};

}  // namespace Kmfibctl
