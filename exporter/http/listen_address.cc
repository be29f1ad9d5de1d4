#include "exporter/http/listen_address.h"

namespace boardstat {

namespace {

std::optional<unsigned short> parse_port(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) return std::nullopt;
  return static_cast<unsigned short>(value);
}

}  // namespace

std::optional<ListenAddress> parse_listen_address(const std::string& text, std::string* error) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) {
    *error = "missing port in address";
    return std::nullopt;
  }
  std::string host = text.substr(0, colon);
  if (!host.empty() && host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') {
      *error = "unmatched '[' in address";
      return std::nullopt;
    }
    host = host.substr(1, host.size() - 2);
  } else if (host.find_first_of("[]:") != std::string::npos) {
    // An IPv6 address needs its brackets, or its last group would be taken for the port.
    *error = "too many colons in address (write IPv6 addresses as [ADDRESS]:PORT)";
    return std::nullopt;
  }
  const auto port = parse_port(text.substr(colon + 1));
  if (!port) {
    *error = "invalid port \"" + text.substr(colon + 1) + "\"";
    return std::nullopt;
  }
  return ListenAddress{host, *port};
}

}  // namespace boardstat
