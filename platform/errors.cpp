#include "platform/errors.h"

#include <QByteArrayView>

#include "platform/translation.h"

namespace platform {
namespace {

// The length of the UTF-8 sequence starting at `s[i]`, or 0 when it is not a valid one (overlong
// forms and surrogates included, as Qt's decoder tells them).
std::size_t utf8Length(const std::string& s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (i + length > s.size() || !QByteArrayView(s.data() + i, static_cast<qsizetype>(length)).isValidUtf8())
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
