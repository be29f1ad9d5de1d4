#include "exporter/http/reply.h"

#include "exporter/http/request_rules.h"

namespace boardstat {

namespace http = boost::beast::http;

Reply plain_reply(unsigned status, std::string text) {
  Reply reply;
  reply.status = status;
  reply.own = std::move(text);
  return reply;
}

Reply status_reply(unsigned status) {
  return plain_reply(status, std::to_string(status) + " " +
                                 std::string(http::obsolete_reason(http::int_to_status(status))) +
                                 "\n");
}

std::string ReplyHead::operator()(const Reply& reply, bool keep_alive, bool http10) {
  const std::time_t now = std::time(nullptr);
  if (now != date_second_) {
    date_second_ = now;
    date_text_ = http_date(now);
  }
  std::string text;
  text.reserve(256);
  text += "HTTP/1.1 ";
  text += std::to_string(reply.status);
  text += ' ';
  text += view(http::obsolete_reason(http::int_to_status(reply.status)));
  text += "\r\nDate: ";
  text += date_text_;
  text += "\r\nContent-Type: ";
  text += reply.content_type;
  text += "\r\nContent-Length: ";
  text += std::to_string(reply.body().size());
  text += "\r\n";
  text += reply.headers;
  if (!keep_alive) {
    text += "Connection: close\r\n";
  } else if (http10) {
    text += "Connection: keep-alive\r\n";
  }
  text += "\r\n";
  return text;
}

}  // namespace boardstat
