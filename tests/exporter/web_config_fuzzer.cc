// Fuzz target: the web configuration file (--web.config.file), from its bytes to "accepted" or
// one line of error. The file is written beside a certificate and its key (cert.pem, key.pem,
// made once with openssl where it is installed), so that TLS settings get as far as the
// context they make.
//
// Checked: no crash, leak or undefined behaviour (ASan, UBSan); a refused file has one
// non-empty line of reason; an accepted one has a hash for unknown users whenever it has users.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "exporter/http/web_config.h"

namespace {

std::string web_yml;

[[noreturn]] void fail(const char* what, const std::string& text) {
  fprintf(stderr, "web config fuzzer: %s: [%s]\n", what, text.c_str());
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/boardstat_web_fuzz_XXXXXX";
  if (mkdtemp(folder) == nullptr) fail("mkdtemp", folder);
  web_yml = std::string(folder) + "/web.yml";
  const std::string make_certificate =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
      "-subj /CN=127.0.0.1 -keyout " +
      std::string(folder) + "/key.pem -out " + folder + "/cert.pem >/dev/null 2>&1";
  if (system(make_certificate.c_str()) != 0)
    fprintf(stderr, "web config fuzzer: no certificate (openssl is missing)\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(web_yml, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::string error;
  const auto config = boardstat::read_web_config(web_yml, &error);
  if (!config && (error.empty() || error.find('\n') != std::string::npos))
    fail("not one line of reason", error);
  if (config && !config->users.empty() && config->unknown_user_hash.empty())
    fail("users, but no hash for unknown ones", std::string(data, data + size));
  return 0;
}
