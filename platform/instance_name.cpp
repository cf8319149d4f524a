#include "platform/instance_name.h"

#include <cstdint>
#include <cstdio>

#include "platform/text_encoding.h"

namespace tovira::platform {

namespace {
// Far below the 260 characters of a kernel object's name.
constexpr std::size_t kLongestName = 160;
}  // namespace

std::string instance_name(std::string_view folder_utf8) {
    std::string norm;
    for (std::size_t i = 0; i < folder_utf8.size(); ++i) {
        const char c = folder_utf8[i] == '\\' ? '/' : folder_utf8[i];
        // A share's leading pair of separators stays; any other pair is one.
        if (c == '/' && !norm.empty() && norm.back() == '/' && i > 1) continue;
        norm += ascii_upper(c);
    }
    while (norm.size() > 1 && norm.back() == '/' && norm[norm.size() - 2] != ':') norm.pop_back();
    const std::string prefix = "Tovira-";
    if (prefix.size() + norm.size() <= kLongestName) return prefix + norm;
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (const char c : norm) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return prefix + "#" + hex;
}

}  // namespace tovira::platform
