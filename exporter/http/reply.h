// What the server answers a request with, and the head line and headers sent before it.
#ifndef BOARDSTAT_EXPORTER_HTTP_REPLY_H
#define BOARDSTAT_EXPORTER_HTTP_REPLY_H

#include <boost/beast/http.hpp>
#include <ctime>
#include <string>
#include <string_view>

#include "exporter/published.h"

namespace boardstat {

using Request = boost::beast::http::request<boost::beast::http::string_body>;

inline constexpr const char* kPlainText = "text/plain; charset=utf-8";

inline std::string_view view(boost::beast::string_view text) {
  return std::string_view(text.data(), text.size());
}

// The body is either the shared exposition (plain or gzipped) or a text of its own.
struct Reply {
  unsigned status = 200;
  std::string content_type = kPlainText;
  std::string headers;  // more header lines, each ending in CRLF
  RenderedPtr exposition;
  bool gzipped = false;
  std::string own;
  bool close = false;  // the connection ends after this answer

  std::string_view body() const {
    if (!exposition) return own;
    return gzipped ? exposition->gzip : exposition->plain;
  }
};

Reply plain_reply(unsigned status, std::string text);
/// "NNN Reason\n" as the body.
Reply status_reply(unsigned status);

/// Writes the status line and headers of replies; the Date header's text is made once a second.
class ReplyHead {
 public:
  std::string operator()(const Reply& reply, bool keep_alive, bool http10);

 private:
  std::time_t date_second_ = 0;
  std::string date_text_;
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_REPLY_H
