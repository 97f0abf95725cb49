#include "support/GzipBytes.h"

#include <zlib.h>

#include <stdexcept>

namespace pullbay::test {

std::string GzipBytes(std::string_view strBody)
{
    z_stream stream{};
    // 15 window bits, plus 16: a gzip wrapper instead of zlib's.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string strOut(deflateBound(&stream, static_cast<uLong>(strBody.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(strBody.data()));
    stream.avail_in = static_cast<uInt>(strBody.size());
    stream.next_out = reinterpret_cast<Bytef*>(strOut.data());
    stream.avail_out = static_cast<uInt>(strOut.size());
    const int intResult = deflate(&stream, Z_FINISH);
    strOut.resize(stream.total_out);
    deflateEnd(&stream);
    if (intResult != Z_STREAM_END) {
        throw std::runtime_error("deflate did not finish");
    }
    return strOut;
}

}  // namespace pullbay::test
