#include "exporter/textfile.h"

#include "common/atomic_file.h"

namespace boardstat {

std::string write_textfile(const std::string& directory, std::string_view text) {
  return write_file_atomically(directory + "/" + std::string(kTextfileName), text);
}

}  // namespace boardstat
