#include "platform/line_reader.h"

namespace tovira::platform {

bool LineReader::fill() {
    if (eof_ || failed_) return false;
    char chunk[4096];
    const std::ptrdiff_t n = file_.read(chunk, sizeof chunk);
    if (n < 0) {
        failed_ = true;
        return false;
    }
    if (n == 0) {
        eof_ = true;
        return false;
    }
    buffer_.erase(0, pos_);
    pos_ = 0;
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

std::optional<std::string> LineReader::read_line() {
    std::size_t scan = pos_;
    for (;;) {
        const std::size_t cr = buffer_.find('\r', scan);
        if (cr != std::string::npos) {
            // A CR at the end of the buffer may be followed by an LF not read yet.
            if (cr + 1 == buffer_.size() && !eof_) {
                const std::size_t offset = cr - pos_;
                if (fill()) {
                    scan = pos_ + offset;
                    continue;
                }
                if (failed_) return std::nullopt;
                scan = pos_ + offset;
                continue;
            }
            std::string line = buffer_.substr(pos_, cr - pos_);
            pos_ = cr + 1;
            if (pos_ < buffer_.size() && buffer_[pos_] == '\n') ++pos_;
            return line;
        }
        const std::size_t offset = buffer_.size() - pos_;
        if (!fill()) {
            if (failed_ || pos_ >= buffer_.size()) return std::nullopt;
            std::string line = buffer_.substr(pos_);
            pos_ = buffer_.size();
            return line;
        }
        scan = pos_ + offset;
    }
}

}  // namespace tovira::platform
