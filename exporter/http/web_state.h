// The web configuration as last read, taken up again when the file, or a file it names,
// changes: looked at for each new connection and each request, as node_exporter does.
#ifndef BOARDSTAT_EXPORTER_HTTP_WEB_STATE_H
#define BOARDSTAT_EXPORTER_HTTP_WEB_STATE_H

#include <memory>
#include <string>

#include "exporter/http/web_config.h"

namespace boardstat {

class WebState {
 public:
  /// No file: no TLS, no passwords. Throws WebConfigError when the file is invalid at start.
  explicit WebState(const std::string& path);

  /// Reads the file again when it or its certificates changed. A file that turns invalid is
  /// reported once on standard error and the last valid one kept, but error() tells it.
  void refresh();

  bool in_use() const { return !path_.empty(); }
  bool tls() const { return tls_; }
  const WebConfig& config() const { return *config_; }
  const std::string& error() const { return error_; }
  /// The context of the file as last read validly; a connection keeps it while it lasts.
  std::shared_ptr<boost::asio::ssl::context> tls_context() const { return config_->tls_context; }

 private:
  std::string path_;
  std::string
      signature_;  // identities, modification times and sizes of the file and its certificates
  std::shared_ptr<const WebConfig> config_;
  bool tls_ = false;   // chosen at start: a TLS port stays one
  std::string error_;  // the file as it is now is invalid: requests get 500
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_WEB_STATE_H
