// Reads a text file line by line: a line ends at CR or at CR LF; a lone LF
// is part of the line. Reads in one go, as the whole file is small.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace tovira::platform {

class LineReader {
public:
    explicit LineReader(InputFile& file) : file_(file) {}

    // The next line; nullopt at the end of the file or on a read error.
    std::optional<std::string> read_line();
    bool failed() const { return failed_; }

private:
    bool fill();
    InputFile& file_;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

}  // namespace tovira::platform
