#include "tests/e2e/run_console.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace boardstat::testing {
namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A private folder for one run's files, removed afterwards.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/boardstat-e2e-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    const std::string command = "rm -rf '" + path_ + "'";
    if (std::system(command.c_str()) != 0) {
      // Leaving a temporary folder behind is not worth failing a test over.
    }
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// `feeder` is a shell command whose output is the keys; without one the keys come from a file.
ConsoleRun run(const std::string& keys, const std::string& feeder,
               const std::string* description_text, const std::string* description_path) {
  TempDir dir;
  write_file(dir.file("keys"), keys);
  std::string command = feeder.empty() ? "" : "(" + feeder + ") | ";
  command += "env -u BOARDSIM_CONFIG BOARDSIM_TRACE='" + dir.file("trace") + "'";
  if (description_text != nullptr) {
    write_file(dir.file("board"), *description_text);
    command += " BOARDSIM_CONFIG='" + dir.file("board") + "'";
  } else if (description_path != nullptr) {
    command += " BOARDSIM_CONFIG='" + *description_path + "'";
  }
  command += " '" BOARDSTAT_BINARY "'";
  if (feeder.empty()) command += " < '" + dir.file("keys") + "'";
  command += " > '" + dir.file("out") + "' 2> '" + dir.file("err") + "'";
  const int status = std::system(command.c_str());
  ConsoleRun result;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.output = read_file(dir.file("out"));
  result.errors = read_file(dir.file("err"));
  std::istringstream trace(read_file(dir.file("trace")));
  for (std::string line; std::getline(trace, line);) result.trace.push_back(line);
  return result;
}

}  // namespace

std::vector<std::string> ConsoleRun::screens() const {
  const std::string clear = kClearSequence;
  std::vector<std::string> result;
  std::string::size_type at = output.find(clear);
  while (at != std::string::npos) {
    const auto start = at + clear.size();
    at = output.find(clear, start);
    result.push_back(output.substr(start, at == std::string::npos ? at : at - start));
  }
  return result;
}

ConsoleRun run_console(const std::string& keys, const std::string& description) {
  return description.empty() ? run(keys, "", nullptr, nullptr)
                             : run(keys, "", &description, nullptr);
}

ConsoleRun run_console_fed_by(const std::string& feeder) {
  return run("", feeder, nullptr, nullptr);
}

ConsoleRun run_console_on_file(const std::string& keys, const std::string& description_path) {
  return run(keys, "", nullptr, &description_path);
}

}  // namespace boardstat::testing
