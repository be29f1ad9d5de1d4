#include "tests/e2e/run_console.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace boardstat::testing {
namespace {

std::string read_file(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

}  // namespace

std::vector<std::string> ConsoleRun::screens() const {
  const std::string clear = "\033[H\033[2J\033[3J";
  std::vector<std::string> result;
  for (auto at = output.find(clear); at != std::string::npos;) {
    const auto start = at + clear.size();
    at = output.find(clear, start);
    result.push_back(output.substr(start, at == std::string::npos ? at : at - start));
  }
  return result;
}

ConsoleRun run_console(const std::string& keys, const std::string& description,
                       const std::string& feeder) {
  char pattern[] = "/tmp/boardstat-e2e-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  const std::string dir = pattern;  // a private folder for this run's files
  std::ofstream(dir + "/keys", std::ios::binary) << keys;
  std::string command = feeder.empty() ? "" : "(" + feeder + ") | ";
  command += "env -u BOARDSIM_CONFIG BOARDSIM_TRACE='" + dir + "/trace'";
  if (description[0] == '/') {
    command += " BOARDSIM_CONFIG='" + description + "'";
  } else if (!description.empty()) {
    std::ofstream(dir + "/board", std::ios::binary) << description;
    command += " BOARDSIM_CONFIG='" + dir + "/board'";
  }
  command += " '" BOARDSTAT_BINARY "'" + (feeder.empty() ? " < '" + dir + "/keys'" : "");
  command += " > '" + dir + "/out' 2> '" + dir + "/err'";
  const int status = std::system(command.c_str());
  ConsoleRun result;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.output = read_file(dir + "/out");
  result.errors = read_file(dir + "/err");
  std::istringstream trace(read_file(dir + "/trace"));
  for (std::string line; std::getline(trace, line);) result.trace.push_back(line);
  std::filesystem::remove_all(dir);
  return result;
}

}  // namespace boardstat::testing
