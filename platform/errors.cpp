#include "platform/errors.h"

#include "platform/translation.h"

namespace platform {
namespace {

// The length of the UTF-8 sequence starting at `s[i]`, or 0 when it is not a valid one (overlong
// forms and surrogates included).
std::size_t utf8Length(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    const unsigned char second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

}  // namespace

std::string printable(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (std::size_t i = 0; i < bytes.size();) {
        if (const std::size_t length = utf8Length(bytes, i); length > 0) {
            shown.append(bytes, i, length);
            i += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[i++]);
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 15];
    }
    return shown;
}

std::string aboutFile(const std::string& fileName, const std::string& reason) {
    //: A file's name, then what went wrong with it
    return translate("Files", "%1: %2").arg(printable(fileName), reason);
}

}  // namespace platform
