#include "exporter/http/web_state.h"

#include <sys/stat.h>

#include <iostream>

#include "exporter/http/http_server.h"
#include "exporter/program.h"

namespace boardstat {
namespace {

// The file's device and inode tell a new file renamed over the old one (as editors and
// certificate tools write) even when it has the old one's size and falls in the same tick of the
// file system's clock; a file rewritten in place is told by its time and size.
std::string file_signature(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return "-;";
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
         std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + ":" +
         std::to_string(info.st_size) + ";";
}

std::string signature_of(const std::string& path, const WebConfig* config) {
  std::string signature = file_signature(path);
  if (config && config->tls) {
    signature += file_signature(config->tls->cert_file) + file_signature(config->tls->key_file) +
                 file_signature(config->tls->client_ca_file);
  }
  return signature;
}

}  // namespace

WebState::WebState(const std::string& path) : config_(std::make_shared<const WebConfig>()) {
  if (path.empty()) return;
  path_ = path;
  std::string error;
  auto config = read_web_config(path, &error);
  if (!config) throw WebConfigError(error);
  signature_ = signature_of(path, &*config);
  tls_ = config->tls.has_value();
  config_ = std::make_shared<const WebConfig>(std::move(*config));
}

void WebState::refresh() {
  if (path_.empty()) return;
  const std::string signature = signature_of(path_, config_.get());
  if (signature == signature_) return;
  signature_ = signature;
  std::string error;
  auto config = read_web_config(path_, &error);
  // Whether the port speaks TLS is settled when it starts listening. Going on in the other way
  // would mislead: plain metrics and passwords where the file asks for TLS, or the other way.
  if (config && tls_ != config->tls.has_value()) {
    error = tls_ ? "tls_server_config removed: plain HTTP needs a restart"
                 : "tls_server_config added: TLS needs a restart";
    config.reset();
  }
  if (!config) {
    if (error != error_) {
      std::cerr << kProgram << ": --web.config.file " << path_ << ": " << error
                << " (requests get 500 until the file is fixed)" << std::endl;
    }
    error_ = error;
    return;
  }
  if (!error_.empty()) std::cerr << kProgram << ": --web.config.file is valid again" << std::endl;
  error_.clear();
  signature_ = signature_of(path_, &*config);
  config_ = std::make_shared<const WebConfig>(std::move(*config));
}

}  // namespace boardstat
