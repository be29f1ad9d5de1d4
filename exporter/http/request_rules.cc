#include "exporter/http/request_rules.h"

#include <cstdlib>

#include "common/platform.h"

namespace boardstat {
namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The q-value of a coding's parameters ("q=0.5"); 1 when absent, 0 when unreadable.
double q_value(std::string_view parameters) {
  while (!parameters.empty()) {
    const size_t semicolon = parameters.find(';');
    const std::string_view parameter = trimmed(parameters.substr(0, semicolon));
    parameters = semicolon == std::string_view::npos ? "" : parameters.substr(semicolon + 1);
    if (parameter.size() < 2 || lower(parameter[0]) != 'q' || parameter[1] != '=') continue;
    const std::string number(parameter.substr(2));
    char* end = nullptr;
    const double q = std::strtod(number.c_str(), &end);
    return end == number.c_str() + number.size() && q >= 0 && q <= 1 ? q : 0;
  }
  return 1;
}

}  // namespace

bool accepts_gzip(std::string_view header) {
  std::optional<double> gzip_q, any_q;
  while (!header.empty()) {
    const size_t comma = header.find(',');
    const std::string_view item = header.substr(0, comma);
    header = comma == std::string_view::npos ? "" : header.substr(comma + 1);
    const size_t semicolon = item.find(';');
    const std::string_view coding = trimmed(item.substr(0, semicolon));
    const double q = q_value(semicolon == std::string_view::npos ? "" : item.substr(semicolon + 1));
    if (same_text(coding, "gzip") || same_text(coding, "x-gzip")) {
      gzip_q = q;
    } else if (coding == "*") {
      any_q = q;
    }
  }
  if (gzip_q) return *gzip_q > 0;
  return any_q && *any_q > 0;
}

std::optional<std::string_view> target_path(std::string_view target) {
  if (target.empty()) return std::nullopt;
  if (target.front() != '/') {
    // Absolute form: scheme "://" authority, then the path (none stands for "/").
    const size_t scheme_end = target.find("://");
    if (scheme_end == std::string_view::npos) return std::nullopt;
    const std::string_view scheme = target.substr(0, scheme_end);
    if (!same_text(scheme, "http") && !same_text(scheme, "https")) return std::nullopt;
    const size_t path_start = target.find_first_of("/?", scheme_end + 3);
    if (path_start == std::string_view::npos || target[path_start] == '?') return "/";
    target = target.substr(path_start);
  }
  return target.substr(0, target.find('?'));
}

std::string http_date(std::time_t when) {
  const std::tm parts = utc_time(when);
  char text[40];
  const size_t n = std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return std::string(text, n);
}

std::optional<Credentials> basic_credentials(std::string_view authorization) {
  authorization = trimmed(authorization);
  const size_t space = authorization.find(' ');
  if (space == std::string_view::npos || !same_text(authorization.substr(0, space), "basic"))
    return std::nullopt;
  const std::string_view encoded = trimmed(authorization.substr(space + 1));
  std::string decoded;
  unsigned bits = 0, value = 0;
  size_t padding = 0;
  for (const char c : encoded) {
    int digit;
    if (c >= 'A' && c <= 'Z') {
      digit = c - 'A';
    } else if (c >= 'a' && c <= 'z') {
      digit = c - 'a' + 26;
    } else if (c >= '0' && c <= '9') {
      digit = c - '0' + 52;
    } else if (c == '+') {
      digit = 62;
    } else if (c == '/') {
      digit = 63;
    } else if (c == '=') {
      ++padding;
      continue;
    } else {
      return std::nullopt;
    }
    if (padding > 0) return std::nullopt;  // data after the padding
    value = (value << 6) | static_cast<unsigned>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      decoded += static_cast<char>((value >> bits) & 0xff);
    }
  }
  if (padding > 2 || (encoded.size() % 4) != 0) return std::nullopt;
  const size_t colon = decoded.find(':');
  if (colon == std::string::npos) return std::nullopt;
  return Credentials{decoded.substr(0, colon), decoded.substr(colon + 1)};
}

}  // namespace boardstat
