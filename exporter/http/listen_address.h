// The listen address flag's forms, split before any name is resolved.
#ifndef BOARDSTAT_EXPORTER_HTTP_LISTEN_ADDRESS_H
#define BOARDSTAT_EXPORTER_HTTP_LISTEN_ADDRESS_H

#include <optional>
#include <string>

namespace boardstat {

struct ListenAddress {
  std::string host;  // empty: every interface
  unsigned short port = 0;
};

/// Splits "HOST:PORT", ":PORT" and "[IPV6]:PORT". Returns nothing, with the reason in *error,
/// when the port is missing or not a number from 0 to 65535 or the brackets do not match.
std::optional<ListenAddress> parse_listen_address(const std::string& text, std::string* error);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_LISTEN_ADDRESS_H
