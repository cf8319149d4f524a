#include "dispatch/key_notation.h"

namespace tovira {

KeyParse parse_key_notation(std::string_view text) {
    KeyParse result;
    result.ok = true;
    for (char c : text) {
        platform::KeyStroke k;
        k.ch = static_cast<unsigned char>(c);
        result.keys.push_back(k);
    }
    return result;
}

}  // namespace tovira
