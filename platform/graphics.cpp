#include "platform/graphics.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "platform/bmp_file.h"
#include "platform/errors.h"

namespace platform {

// ---- TBitmap ----------------------------------------------------------------------------------

void TBitmap::Assign(const TBitmap& other) {
    if (this == &other) return;
    width_ = other.width_;
    height_ = other.height_;
    format_ = other.format_;
    stride_ = other.stride_;
    pixels_ = other.pixels_;
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == format_) return;
    if (format == TPixelFormat::pf8bit) throw std::invalid_argument("a 24-bit bitmap cannot be made grey");
    const TBitmap& grey = *this;
    TBitmap wide;
    wide.SetSize(width_, height_, format);
    for (int y = 0; y < height_; ++y) widenGreyRow(grey.GetScanline(y), wide.GetScanline(y), width_);
    Assign(wide);
}

void TBitmap::SetSize(int width, int height, TPixelFormat format) {
    // Pixels of this very size that no one else sees serve as they are: their content is undefined
    // either way, and they are likely still in the cache.
    if (pixels_ && pixels_.use_count() == 1 && width == width_ && height == height_ && format == format_)
        return;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    format_ = format;
    stride_ = strideOf(width_, format_);
    pixels_ = Empty() ? nullptr : acquireBytes(stride_ * static_cast<std::size_t>(height_));
}

std::uint8_t* TBitmap::GetScanline(int y) {
    if (pixels_.use_count() > 1) {
        Bytes own = acquireBytes(stride_ * static_cast<std::size_t>(height_));
        std::memcpy(own.get(), pixels_.get(), stride_ * static_cast<std::size_t>(height_));
        pixels_ = std::move(own);
    }
    return pixels_.get() + stride_ * static_cast<std::size_t>(y);
}

const std::uint8_t* TBitmap::GetScanline(int y) const {
    return pixels_.get() + stride_ * static_cast<std::size_t>(y);
}

// The compiler vectorises this loop; built for AVX2 as well it runs about six times faster there
// than in the baseline build, and the processor picks the build when the program starts.
__attribute__((target_clones("avx2", "default"))) void widenGreyRow(const std::uint8_t* grey,
                                                                    std::uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, bgr += 3) bgr[0] = bgr[1] = bgr[2] = grey[x];
}

void TBitmap::LoadFromFile(const std::string& fileName) { Assign(loadBmp(fileName)); }

// ---- TPicture ---------------------------------------------------------------------------------

void TPicture::Assign(const TBitmap& bitmap) {
    bitmap_.Assign(bitmap);
    changed();
}

void TPicture::LoadFromFile(const std::string& fileName) {
    bitmap_.Assign(loadPicture(fileName));  // throws before anything changes; assigning cannot fail
    // The first two previews after loading each write a whole new picture of this size (the view
    // keeps the one before while the next is made); fresh pages for an 80-megapixel picture would
    // cost them several times the preview itself. Only a saving: short of memory, the previews get
    // theirs when they need it, and the picture is loaded all the same.
    try {
        prepareBytes(bitmap_.Stride() * static_cast<std::size_t>(bitmap_.Height()), 2);
    } catch (const std::exception&) {
    }
    changed();
}

void TPicture::SaveToFile(const std::string& fileName) const { writeBmp24(bitmap_, fileName); }

void TPicture::changed() const {
    if (OnChange) OnChange();
}

// ---- Reading pictures -------------------------------------------------------------------------

const std::vector<PictureKind>& pictureKinds() {
    static const std::vector<PictureKind> kinds = {
        {"Bitmaps", {".bmp", ".dib"}, "bmp"},
        {"PNG pictures", {".png"}, "png"},
        {"JPEG pictures", {".jpg", ".jpeg", ".jpe", ".jfif"}, "jpeg"},
        {"GIF pictures", {".gif"}, "gif"},
    };
    return kinds;
}

namespace {

const PictureKind* kindForExtension(const std::string& extension) {
    for (const PictureKind& kind : pictureKinds())
        if (std::find(kind.extensions.begin(), kind.extensions.end(), extension) != kind.extensions.end())
            return &kind;
    return nullptr;
}

std::string lowerExtension(const std::string& fileName) {
    const QString suffix = QFileInfo(QString::fromStdString(fileName)).suffix().toLower();
    return suffix.isEmpty() ? std::string() : QString("." + suffix).toStdString();
}

void refuseFolder(const std::string& fileName, const std::string& shown) {
    if (fileName.empty()) throw Error("No file name given");
    if (QFileInfo(QString::fromStdString(fileName)).isDir()) failFile(shown, "is a folder, not a picture");
}

void checkReadableFile(const std::string& fileName, const std::string& shown) {
    refuseFolder(fileName, shown);
    const QFileInfo info(QString::fromStdString(fileName));
    if (!info.exists()) failFile(shown, "no such file");
    if (!info.isReadable()) failFile(shown, "cannot read (permission denied)");
}

// Qt's readers say much of what they find wrong only as warnings, and go on to return a picture
// with grey or black where the data was missing. While one picture is read, this records the
// warnings of this thread (turned on for the time, whatever the logging rules say) and passes
// every other message to the handler before. Pictures are read on the GUI thread only.
class QtWarnings {
public:
    QtWarnings() : thread_(QThread::currentThread()) {
        current = this;
        previousHandler_ = qInstallMessageHandler(record);
        previousFilter_ = QLoggingCategory::installFilter(enableWarnings);
    }
    ~QtWarnings() {
        QLoggingCategory::installFilter(previousFilter_);
        qInstallMessageHandler(previousHandler_);
        current = nullptr;
    }
    QtWarnings(const QtWarnings&) = delete;
    QtWarnings& operator=(const QtWarnings&) = delete;

    // The first warning, or empty.
    std::string first() const {
        return warnings_.isEmpty() ? std::string() : warnings_.front().toStdString();
    }

private:
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if ((type == QtWarningMsg || type == QtCriticalMsg) && QThread::currentThread() == current->thread_)
            current->warnings_.push_back(text.trimmed());
        else if (current->previousHandler_)
            current->previousHandler_(type, context, text);
    }
    static void enableWarnings(QLoggingCategory* category) {
        if (current->previousFilter_) current->previousFilter_(category);
        const QLatin1StringView name(category->categoryName());
        if (name == QLatin1StringView("default") || name.startsWith(QLatin1StringView("qt.gui.imageio")))
            category->setEnabled(QtWarningMsg, true);
    }

    static inline QtWarnings* current = nullptr;
    QThread* thread_;
    QtMessageHandler previousHandler_ = nullptr;
    QLoggingCategory::CategoryFilter previousFilter_ = nullptr;
    QStringList warnings_;
};

// Qt's GIF reader shows a first frame whose data ends early as if it were whole. Walking the
// blocks to the end of that frame's data tells: why the file is damaged, or empty.
std::string gifBlocksProblem(const std::string& fileName) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = file.readAll();
    auto at = [&](qsizetype i) { return i < b.size() ? static_cast<std::uint8_t>(b[i]) : -1; };
    auto colourTableSize = [](int flags) { return flags & 0x80 ? qsizetype{3} << ((flags & 7) + 1) : 0; };
    auto skipSubBlocks = [&](qsizetype& i) {
        while (at(i) > 0) i += at(i) + 1;
        return at(i++) == 0;
    };
    qsizetype i = 13 + colourTableSize(at(10));
    for (;;) {
        const int introducer = at(i);
        if (introducer == 0x21) {
            i += 2;
            if (!skipSubBlocks(i)) return "the file ends inside an extension block";
        } else if (introducer == 0x2C) {
            i += 10 + colourTableSize(at(i + 9)) + 1;  // the descriptor, its colours, the code size
            return skipSubBlocks(i) ? "" : "the picture data ends early";
        } else if (introducer < 0) {
            return "the file ends before the picture";
        } else {
            return "unknown block " + std::to_string(introducer) + " at byte " + std::to_string(i);
        }
    }
}

std::string sizeText(long long width, long long height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// Qt refuses any image over its allocation limit (128 MB by default); raise it so that the
// largest picture we accept, decoded at four bytes a pixel, still fits.
void allowLargePictures() {
    static const bool done = [] {
        QImageReader::setAllocationLimit(static_cast<int>(kMostPixels * 4 / (1024 * 1024)) + 64);
        return true;
    }();
    (void)done;
}

TBitmap toBitmap(const QImage& decoded) {
    const QImage image = decoded.convertToFormat(QImage::Format_BGR888);
    TBitmap bitmap;
    bitmap.SetSize(image.width(), image.height());
    const auto rowBytes = static_cast<std::size_t>(image.width()) * 3;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(bitmap.GetScanline(y), image.constScanLine(y), rowBytes);
    return bitmap;
}

void refuseTooLarge(const std::string& fileName, QSize size) {
    if (static_cast<long long>(size.width()) * size.height() > kMostPixels)
        failFile(fileName, "picture too large (" + sizeText(size.width(), size.height()) + ")");
}

// Qt's reader for a file of this kind. The extension alone decides the kind, so a file that is not
// what its name says is refused.
void configureReader(QImageReader& reader, const std::string& fileName, const PictureKind& kind) {
    reader.setFileName(QString::fromStdString(fileName));
    reader.setFormat(QByteArray::fromStdString(kind.readerFormat));
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);  // phone photos come the right way up, as their EXIF orientation says
}

// What the kind's reader cannot notice itself about a file whose data ends early; empty if nothing.
std::string damageBeforeReading(const std::string& fileName, const PictureKind& kind) {
    if (kind.readerFormat == "bmp") return bmpRowsProblem(fileName);
    if (kind.readerFormat == "gif") return gifBlocksProblem(fileName);
    return {};
}

TBitmap readWithQt(const std::string& fileName, const PictureKind& kind, const std::string& shown) {
    allowLargePictures();
    QtWarnings warnings;
    QImageReader reader;
    configureReader(reader, fileName, kind);
    const std::string kindName = QByteArray::fromStdString(kind.readerFormat).toUpper().toStdString();
    // The signature first: Qt's readers say no more than "Unknown error" of one they do not
    // recognise, and a header that is there but ends early is damage.
    if (!reader.canRead())
        failFile(shown,
                 "cannot read as a " + kindName + " picture (" +
                     (reader.error() == QImageReader::UnknownError ? "not one, or of a layout not read here"
                                                                   : reader.errorString().toStdString()) +
                     ")");
    // A header of 0 x 0 pixels is broken: its real size only shows while decoding, where a GIF's
    // frames could then claim far more than the header said.
    const QSize announced = reader.size();
    if (announced.isValid() && announced.isEmpty()) failFile(shown, "empty picture (0 x 0 pixels)");
    if (announced.isValid()) refuseTooLarge(shown, announced);
    if (const std::string problem = damageBeforeReading(fileName, kind); !problem.empty())
        failFile(shown, "damaged or cut short (" + problem + ")");
    const QImage image = reader.read();
    // Qt's BMP reader also fails on layouts it does not read (embedded JPEG, 64 bits); the others
    // recognised the header, so a failure after it is damage.
    if (image.isNull())
        failFile(shown, (kind.readerFormat == "bmp" ? "cannot read as a " + kindName + " picture ("
                                                    : "damaged or cut short (") +
                            reader.errorString().toStdString() + ")");
    if (const std::string warning = warnings.first(); !warning.empty())
        failFile(shown, "damaged or cut short (" + warning + ")");
    // A GIF's header may announce its first frame while the picture is its far larger screen.
    refuseTooLarge(shown, image.size());
    return toBitmap(image);
}

// Reads any BMP file; messages name it as `shown`.
TBitmap readBmpFile(const std::string& fileName, const std::string& shown) {
    checkReadableFile(fileName, shown);
    TBitmap bitmap;
    if (readBmp24(fileName, bitmap, shown) == BmpRead::Done) return bitmap;
    return readWithQt(fileName, pictureKinds().front(), shown);
}

}  // namespace

AnnouncedSize announcedSize(const std::string& fileName) {
    const PictureKind* kind = kindForExtension(lowerExtension(fileName));
    if (!kind) return {};
    QImageReader reader;
    configureReader(reader, fileName, *kind);
    const QSize size = reader.size();
    if (!size.isValid()) return {};
    return {size.width(), size.height()};
}

TBitmap loadPicture(const std::string& fileName) {
    const std::string shown = shownPath(fileName);
    refuseFolder(fileName, shown);
    const std::string extension = lowerExtension(fileName);
    const PictureKind* kind = kindForExtension(extension);
    if (!kind)
        failFile(shown, extension.empty() ? "unknown picture kind (the name has no extension)"
                                          : "unknown picture kind \"" + extension + "\"");
    if (kind->readerFormat == "bmp") return readBmpFile(fileName, shown);
    checkReadableFile(fileName, shown);
    return readWithQt(fileName, *kind, shown);
}

// Stage files are named by their own name, wherever they are.
TBitmap loadBmp(const std::string& fileName) {
    return readBmpFile(fileName, std::filesystem::path(fileName).filename().string());
}

}  // namespace platform
