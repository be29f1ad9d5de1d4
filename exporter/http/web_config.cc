#include "exporter/http/web_config.h"

#include <openssl/ssl.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "exporter/http/password_check.h"

namespace boardstat {
namespace {

namespace ssl = boost::asio::ssl;

const std::set<std::string> kClientAuthTypes = {"NoClientCert", "RequestClientCert",
                                                "RequireAnyClientCert", "VerifyClientCertIfGiven",
                                                "RequireAndVerifyClientCert"};

// OpenSSL's number for a version's name in the file; 0 for a name of none.
int tls_version(const std::string& name) {
  static const std::map<std::string, int> kVersions = {{"TLS10", TLS1_VERSION},
                                                       {"TLS11", TLS1_1_VERSION},
                                                       {"TLS12", TLS1_2_VERSION},
                                                       {"TLS13", TLS1_3_VERSION}};
  const auto found = kVersions.find(name);
  return found == kVersions.end() ? 0 : found->second;
}

// The names the file uses (Go's) and OpenSSL's for the same thing. Cipher suites are those of
// TLS 1.2 and below, as in the other exporters: TLS 1.3's are not chosen by the file.
const std::map<std::string, std::string> kCipherSuites = {
    {"TLS_RSA_WITH_AES_128_CBC_SHA", "AES128-SHA"},
    {"TLS_RSA_WITH_AES_256_CBC_SHA", "AES256-SHA"},
    {"TLS_RSA_WITH_AES_128_GCM_SHA256", "AES128-GCM-SHA256"},
    {"TLS_RSA_WITH_AES_256_GCM_SHA384", "AES256-GCM-SHA384"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA", "ECDHE-ECDSA-AES128-SHA"},
    {"TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA", "ECDHE-ECDSA-AES256-SHA"},
    {"TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA", "ECDHE-RSA-AES128-SHA"},
    {"TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA", "ECDHE-RSA-AES256-SHA"},
    {"TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", "ECDHE-RSA-AES128-GCM-SHA256"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256", "ECDHE-ECDSA-AES128-GCM-SHA256"},
    {"TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", "ECDHE-RSA-AES256-GCM-SHA384"},
    {"TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384", "ECDHE-ECDSA-AES256-GCM-SHA384"},
    {"TLS_ECDHE_RSA_WITH_CHACHA20_POLY1305_SHA256", "ECDHE-RSA-CHACHA20-POLY1305"},
    {"TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256", "ECDHE-ECDSA-CHACHA20-POLY1305"}};
const std::map<std::string, std::string> kCurves = {
    {"CurveP256", "P-256"}, {"CurveP384", "P-384"}, {"CurveP521", "P-521"}, {"X25519", "X25519"}};

// A list of names of `table` as OpenSSL's names joined by colons.
std::string openssl_names(const YAML::Node& node, const std::string& key,
                          const std::map<std::string, std::string>& table) {
  if (!node.IsSequence()) throw std::runtime_error("tls_server_config." + key + " must be a list");
  std::string names;
  for (const auto& item : node) {
    const std::string name = item.IsScalar() ? item.as<std::string>() : "";
    const auto found = table.find(name);
    if (found == table.end())
      throw std::runtime_error("tls_server_config." + key + ": unknown name \"" + name + "\"");
    names += (names.empty() ? "" : ":") + found->second;
  }
  if (names.empty()) throw std::runtime_error("tls_server_config." + key + " is empty");
  return names;
}

// A reason as one line: the file's own bytes, which a reason may quote (a field's name, the
// character that yaml-cpp could not read), with control characters written as \xNN.
std::string one_line(const std::string& text) {
  std::string line;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      line += c;
    } else {
      static const char kHex[] = "0123456789abcdef";
      line += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
    }
  }
  return line;
}

std::string scalar(const YAML::Node& node, const std::string& what) {
  if (!node.IsScalar()) throw std::runtime_error(what + " must be a string");
  return node.as<std::string>();
}

WebConfig::Tls read_tls(const YAML::Node& node, const std::filesystem::path& folder) {
  if (!node.IsMap()) throw std::runtime_error("tls_server_config must be a mapping");
  WebConfig::Tls tls;
  for (const auto& entry : node) {
    const std::string key = entry.first.as<std::string>();
    if (key == "cipher_suites") {
      tls.cipher_suites = openssl_names(entry.second, key, kCipherSuites);
      continue;
    }
    if (key == "curve_preferences") {
      tls.curves = openssl_names(entry.second, key, kCurves);
      continue;
    }
    const std::string value = scalar(entry.second, "tls_server_config." + key);
    if (key == "cert_file" || key == "key_file" || key == "client_ca_file") {
      std::string& path = key == "cert_file"  ? tls.cert_file
                          : key == "key_file" ? tls.key_file
                                              : tls.client_ca_file;
      path = value.empty() || value.front() == '/' ? value : (folder / value).string();
    } else if (key == "client_auth_type") {
      if (kClientAuthTypes.count(value) == 0)
        throw std::runtime_error("invalid client_auth_type \"" + value + "\"");
      tls.client_auth_type = value;
    } else if (key == "min_version" || key == "max_version") {
      if (tls_version(value) == 0) throw std::runtime_error("unknown TLS version: " + value);
      (key == "min_version" ? tls.min_version : tls.max_version) = value;
    } else if (key == "prefer_server_cipher_suites") {
      if (value != "true" && value != "false")
        throw std::runtime_error("prefer_server_cipher_suites must be true or false");
      tls.prefer_server_cipher_suites = value == "true";
    } else {
      throw std::runtime_error("tls_server_config." + key + " is not supported");
    }
  }
  if (tls_version(tls.min_version) > tls_version(tls.max_version))
    throw std::runtime_error("min_version " + tls.min_version + " is above max_version " +
                             tls.max_version);
  if (tls.cert_file.empty()) throw std::runtime_error("missing cert_file");
  if (tls.key_file.empty()) throw std::runtime_error("missing key_file");
  const bool verifies = tls.client_auth_type == "VerifyClientCertIfGiven" ||
                        tls.client_auth_type == "RequireAndVerifyClientCert";
  if (verifies && tls.client_ca_file.empty())
    throw std::runtime_error("client_auth_type " + tls.client_auth_type + " needs client_ca_file");
  if (!tls.client_ca_file.empty() && tls.client_auth_type == "NoClientCert")
    throw std::runtime_error("client_ca_file given without a client_auth_type that checks it");
  return tls;
}

// A server TLS context for `tls`, its files loaded, or nothing with the reason in *error.
std::shared_ptr<ssl::context> make_tls_context(const WebConfig::Tls& tls, std::string* error) {
  auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
  context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                       ssl::context::no_sslv3 | ssl::context::single_dh_use);
  SSL_CTX_set_min_proto_version(context->native_handle(), tls_version(tls.min_version));
  SSL_CTX_set_max_proto_version(context->native_handle(), tls_version(tls.max_version));
  if (!tls.cipher_suites.empty() &&
      SSL_CTX_set_cipher_list(context->native_handle(), tls.cipher_suites.c_str()) != 1) {
    *error = "cipher_suites: none of them is available";
    return nullptr;
  }
  if (!tls.curves.empty() &&
      SSL_CTX_set1_groups_list(context->native_handle(), tls.curves.c_str()) != 1) {
    *error = "curve_preferences: none of them is available";
    return nullptr;
  }
  if (tls.prefer_server_cipher_suites)
    SSL_CTX_set_options(context->native_handle(), SSL_OP_CIPHER_SERVER_PREFERENCE);
  // An idle connection gives its record buffers (about 34 KiB) back until it talks again.
  SSL_CTX_set_mode(context->native_handle(), SSL_MODE_RELEASE_BUFFERS);
  boost::system::error_code ec;
  context->use_certificate_chain_file(tls.cert_file, ec);
  if (ec) {
    *error = "cannot load cert_file " + tls.cert_file + ": " + ec.message();
    return nullptr;
  }
  context->use_private_key_file(tls.key_file, ssl::context::pem, ec);
  if (ec || SSL_CTX_check_private_key(context->native_handle()) != 1) {
    *error = "cannot load key_file " + tls.key_file + " for the certificate" +
             (ec ? ": " + ec.message() : "");
    return nullptr;
  }
  if (!tls.client_ca_file.empty()) {
    context->load_verify_file(tls.client_ca_file, ec);
    if (ec) {
      *error = "cannot load client_ca_file " + tls.client_ca_file + ": " + ec.message();
      return nullptr;
    }
  }
  const std::string& type = tls.client_auth_type;
  ssl::verify_mode mode = ssl::verify_none;
  if (type != "NoClientCert") mode = ssl::verify_peer;
  if (type == "RequireAnyClientCert" || type == "RequireAndVerifyClientCert")
    mode |= ssl::verify_fail_if_no_peer_cert;
  context->set_verify_mode(mode);
  if (type == "RequestClientCert" || type == "RequireAnyClientCert") {
    // A certificate is asked for (or required) but not checked against a CA.
    context->set_verify_callback([](bool, ssl::verify_context&) { return true; });
  }
  // Session ids need a context id when clients present certificates.
  static const unsigned char kSessionContext[] = "boardstat_exporter";
  SSL_CTX_set_session_id_context(context->native_handle(), kSessionContext,
                                 sizeof kSessionContext - 1);
  return context;
}

}  // namespace

std::optional<WebConfig> read_web_config(const std::string& path, std::string* error) {
  try {
    const YAML::Node root = YAML::LoadFile(path);
    WebConfig config;
    if (root.IsNull()) return config;  // an empty file: plain HTTP, no passwords
    if (!root.IsMap()) throw std::runtime_error("the file must be a YAML mapping");
    const auto folder = std::filesystem::path(path).parent_path();
    for (const auto& entry : root) {
      const std::string key = entry.first.as<std::string>();
      if (key == "tls_server_config") {
        if (!entry.second.IsNull()) config.tls = read_tls(entry.second, folder);
      } else if (key == "basic_auth_users") {
        if (entry.second.IsNull()) continue;
        if (!entry.second.IsMap()) throw std::runtime_error("basic_auth_users must be a mapping");
        for (const auto& user : entry.second) {
          const std::string name = user.first.as<std::string>();
          const std::string hash = scalar(user.second, "the hash of user " + name);
          if (name.find(':') != std::string::npos)
            throw std::runtime_error("user name \"" + name + "\" holds a colon");
          if (bcrypt_cost(hash) == 0)
            throw std::runtime_error("the hash of user " + name + " is not a bcrypt hash");
          config.users[name] = hash;
        }
      } else if (key == "http_server_config") {
        // HTTP/2 and extra headers: nothing this server does; accepted so that a file made for
        // node_exporter serves here too.
      } else {
        throw std::runtime_error("unknown field \"" + key + "\"");
      }
    }
    int cost = 0;
    for (const auto& user : config.users) cost = std::max(cost, bcrypt_cost(user.second));
    if (cost != 0) config.unknown_user_hash = unknown_user_hash(cost);
    if (config.tls) {
      std::string reason;
      config.tls_context = make_tls_context(*config.tls, &reason);
      if (!config.tls_context) throw std::runtime_error(reason);
    }
    return config;
  } catch (const std::exception& e) {
    *error = one_line(e.what());
    return std::nullopt;
  }
}

}  // namespace boardstat
