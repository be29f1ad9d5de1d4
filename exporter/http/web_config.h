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
    std::string max_version = "TLS13";
    std::string cipher_suites, curves;  // OpenSSL's names, joined by colons; empty: its defaults
    bool prefer_server_cipher_suites = false;
  };
  std::optional<Tls> tls;                    // absent: plain HTTP
  std::map<std::string, std::string> users;  // user -> bcrypt hash; empty: no password asked
  // What an unknown user's password is checked against: a hash of the users' cost (the
  // highest, where they differ), so that telling a known user's refusal from an unknown one's
  // by its time is impossible.
  std::string unknown_user_hash;
  // Built once as the file is read (which is how its files are checked), then served with.
  std::shared_ptr<boost::asio::ssl::context> tls_context;  // null without tls
};

/// The file read and checked, its TLS context built, or nothing with the reason in *error.
std::optional<WebConfig> read_web_config(const std::string& path, std::string* error);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_WEB_CONFIG_H
