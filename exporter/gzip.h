// gzip (RFC 1952) of a whole text in memory, through zlib.
#ifndef BOARDSTAT_EXPORTER_GZIP_H_
#define BOARDSTAT_EXPORTER_GZIP_H_

#include <string>
#include <string_view>

namespace boardstat {

/// True where the build has zlib; gzip() returns an empty string otherwise.
bool gzip_available();

/// The text gzipped (one member), or an empty string when zlib is missing or fails.
std::string gzip(std::string_view text);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_GZIP_H_
