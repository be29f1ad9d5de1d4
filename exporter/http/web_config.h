// --web.config.file: the web configuration file that node_exporter and the other Prometheus
// exporters read (YAML): TLS (tls_server_config) and passwords (basic_auth_users, bcrypt).
// Built where yaml-cpp, OpenSSL and libcrypt are found (BOARDSTAT_EXPORTER_TLS).
#ifndef BOARDSTAT_EXPORTER_HTTP_WEB_CONFIG_H
#define BOARDSTAT_EXPORTER_HTTP_WEB_CONFIG_H

#include <boost/asio/ssl/context.hpp>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace boardstat {

struct WebConfig {
  struct Tls {
    std::string cert_file, key_file, client_ca_file;  // relative ones taken from the file's folder
    std::string client_auth_type = "NoClientCert";
    std::string min_version = "TLS12";
  };
  std::optional<Tls> tls;                    // absent: plain HTTP
  std::map<std::string, std::string> users;  // user -> bcrypt hash; empty: no password asked
};

/// The file read and checked, or nothing with the reason in *error.
std::optional<WebConfig> read_web_config(const std::string& path, std::string* error);

/// A server TLS context for `tls`, its files loaded, or nothing with the reason in *error.
std::shared_ptr<boost::asio::ssl::context> make_tls_context(const WebConfig::Tls& tls,
                                                            std::string* error);

/// True when `password` hashes to `hash` (bcrypt, "$2a$", "$2b$" or "$2y$"). A match is
/// remembered, as bcrypt takes tens of milliseconds by design and every scrape asks again.
bool password_matches(const std::string& user, const std::string& password,
                      const std::string& hash);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_WEB_CONFIG_H
