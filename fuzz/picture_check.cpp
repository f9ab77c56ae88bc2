#include "fuzz/picture_check.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/bmp_file.h"
#include "platform/errors.h"
#include "platform/picture_reader.h"

namespace fuzzing {
namespace fs = std::filesystem;

namespace {

const std::vector<std::string>& extensions() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> list;
        for (const platform::PictureKind& kind : platform::pictureKinds())
            list.insert(list.end(), kind.extensions.begin(), kind.extensions.end());
        return list;
    }();
    return all;
}

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

std::vector<std::uint8_t> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The same pixels row by row, ignoring the padding bytes.
bool samePixels(const platform::TBitmap& a, const platform::TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    const auto rowBytes = static_cast<std::size_t>(a.Width()) * 3;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.GetScanline(y), b.GetScanline(y), rowBytes) != 0) return false;
    return true;
}

// The stage-file layout, checked from the bytes: headers, size, and the zero padding of every row.
std::string headerProblem(const std::vector<std::uint8_t>& b, int width, int height) {
    const std::size_t stride = platform::strideOf(width);
    const std::size_t expected = 54 + stride * static_cast<std::size_t>(height);
    if (b.size() != expected)
        return "written file has " + std::to_string(b.size()) + " bytes, not " + std::to_string(expected);
    if (b[0] != 'B' || b[1] != 'M') return "written file does not start with BM";
    if (u32(b, 2) != expected || u32(b, 10) != 54 || u32(b, 14) != 40)
        return "written file has wrong header sizes";
    if (u32(b, 18) != static_cast<std::uint32_t>(width) || u32(b, 22) != static_cast<std::uint32_t>(height))
        return "written file has the wrong dimensions";
    if (b[26] != 1 || b[27] != 0 || b[28] != 24 || b[29] != 0 || u32(b, 30) != 0)
        return "written file is not 24-bit uncompressed";
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int row = 0; row < height; ++row)
        for (std::size_t i = rowBytes; i < stride; ++i)
            if (b[54 + stride * static_cast<std::size_t>(row) + i] != 0)
                return "written file has non-zero padding";
    return "";
}

std::string roundTripProblem(const platform::TBitmap& loaded, const fs::path& scratch) {
    const fs::path written = scratch / "written.bmp";
    platform::writeBmp24(loaded, written.string());
    if (const std::string problem = headerProblem(fileBytes(written), loaded.Width(), loaded.Height());
        !problem.empty())
        return problem;
    platform::TBitmap back;
    if (platform::readBmp24(written.string(), back) != platform::BmpRead::Done)
        return "written file is not read as 24-bit";
    if (!samePixels(back, loaded)) return "written file reads back with other pixels";
    if (!samePixels(platform::loadPicture(written.string()), loaded))
        return "written file loads with other pixels";
    return "";
}

// The kind's reader announces a picture too large to be worth decoding here; see kMostDecodedPixels.
bool announcesHugePicture(const fs::path& input, const std::vector<std::uint8_t>& head) {
    const bool bmp24 = head.size() >= 54 && head[0] == 'B' && head[1] == 'M' && u32(head, 14) == 40 &&
                       head[26] == 1 && head[27] == 0 && head[28] == 24 && head[29] == 0 &&
                       u32(head, 30) == 0;
    if (bmp24) return false;
    const platform::AnnouncedSize size = platform::announcedSize(input.string());
    const long long pixels = size.width * size.height;
    return size.width >= 0 && pixels > kMostDecodedPixels && pixels <= platform::kMostPixels;
}

std::string check(const fs::path& input, const fs::path& scratch, Outcome& outcome) {
    if (announcesHugePicture(input, fileBytes(input))) {
        outcome = Outcome::Skipped;
        return "";
    }
    platform::TBitmap loaded;
    try {
        loaded = platform::loadPicture(input.string());
    } catch (const platform::Error& e) {
        outcome = Outcome::Refused;
        const std::string message = e.what();
        const std::string prefix = platform::shownPath(input.string()) + ": ";
        if (message.rfind(prefix, 0) != 0 || message.size() == prefix.size())
            return "refusal does not name the file and a reason: \"" + message + "\"";
        return "";
    }
    outcome = Outcome::Loaded;
    if (loaded.Empty()) return "an empty picture was loaded";
    if (static_cast<long long>(loaded.Width()) * loaded.Height() > platform::kMostPixels)
        return "a picture over the pixel limit was loaded";
    if (loaded.Stride() != platform::strideOf(loaded.Width()))
        return "the loaded rows are not padded to 4 bytes";
    if (static_cast<long long>(loaded.Width()) * loaded.Height() > kMostRoundTripPixels) return "";
    return roundTripProblem(loaded, scratch);
}

}  // namespace

std::string extensionFor(std::uint8_t selector) { return extensions()[selector % extensions().size()]; }

Result checkPictureBytes(const std::uint8_t* data, std::size_t size, const fs::path& scratch) {
    const fs::path input = scratch / ("input" + extensionFor(size > 0 ? data[0] : 0));
    {
        std::ofstream out(input, std::ios::binary);
        if (size > 1)
            out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    Result result;
    result.problem = check(input, scratch, result.outcome);
    // Nothing but the input and the written picture may be left: no temporary file of the writer.
    for (const auto& entry : fs::directory_iterator(scratch)) {
        const std::string name = entry.path().filename().string();
        if (entry.path() != input && name != "written.bmp" && result.problem.empty())
            result.problem = "left behind: " + name;
        fs::remove(entry.path());
    }
    return result;
}

}  // namespace fuzzing
