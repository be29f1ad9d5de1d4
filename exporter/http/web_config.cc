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

std::string scalar(const YAML::Node& node, const std::string& what) {
  if (!node.IsScalar()) throw std::runtime_error(what + " must be a string");
  return node.as<std::string>();
}

WebConfig::Tls read_tls(const YAML::Node& node, const std::filesystem::path& folder) {
  if (!node.IsMap()) throw std::runtime_error("tls_server_config must be a mapping");
  WebConfig::Tls tls;
  for (const auto& entry : node) {
    const std::string key = entry.first.as<std::string>();
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
      if (!make_tls_context(*config.tls, &reason)) throw std::runtime_error(reason);
    }
    return config;
  } catch (const std::exception& e) {
    *error = e.what();
    return std::nullopt;
  }
}

std::shared_ptr<ssl::context> make_tls_context(const WebConfig::Tls& tls, std::string* error) {
  auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
  context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                       ssl::context::no_sslv3 | ssl::context::single_dh_use);
  SSL_CTX_set_min_proto_version(context->native_handle(), tls_version(tls.min_version));
  SSL_CTX_set_max_proto_version(context->native_handle(), tls_version(tls.max_version));
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

}  // namespace boardstat
