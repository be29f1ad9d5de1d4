// The rows of a table of test cases in a text file: each line's fields split at '|' and
// trimmed; blank lines and lines that start with '#' are left out.
#ifndef BOARDSTAT_TESTS_EXPORTER_TABLE_H_
#define BOARDSTAT_TESTS_EXPORTER_TABLE_H_

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace boardstat {

// Each row has at least `fields` fields, those missing empty; no rows when the file cannot be
// read.
inline std::vector<std::vector<std::string>> read_table(const std::string& path, size_t fields) {
  std::ifstream file(path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(file, line);) {
    if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#') continue;
    std::vector<std::string> row;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '|');) {
      field.erase(0, field.find_first_not_of(' '));
      row.push_back(field.erase(field.find_last_not_of(' ') + 1));
    }
    if (row.size() < fields) row.resize(fields);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace boardstat

#endif  // BOARDSTAT_TESTS_EXPORTER_TABLE_H_
