#include "platform/picture_reader.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/bmp_file.h"
#include "platform/errors.h"
#include "platform/opened_file.h"
#include "platform/translation.h"

namespace platform {

// The names are translated where they are shown.
const std::vector<PictureKind>& pictureKinds() {
    static const std::vector<PictureKind> kinds = {
        {QT_TRANSLATE_NOOP("PictureKinds", "Bitmaps"), {".bmp", ".dib"}, "bmp"},
        {QT_TRANSLATE_NOOP("PictureKinds", "PNG pictures"), {".png"}, "png"},
        {QT_TRANSLATE_NOOP("PictureKinds", "JPEG pictures"), {".jpg", ".jpeg", ".jpe", ".jfif"}, "jpeg"},
        {QT_TRANSLATE_NOOP("PictureKinds", "GIF pictures"), {".gif"}, "gif"},
    };
    return kinds;
}

const PictureKind* kindForExtension(const std::string& extension) {
    for (const PictureKind& kind : pictureKinds())
        if (std::find(kind.extensions.begin(), kind.extensions.end(), extension) != kind.extensions.end())
            return &kind;
    return nullptr;
}

namespace {

// Qt's readers say much of what they find wrong only as warnings, and go on to return a picture
// with grey or black where the data was missing. While one picture is read, this records the
// picture readers' warnings on this thread (turned on for the time, whatever the logging rules
// say) and passes every other message to the handler before. Pictures are read on the GUI thread
// only.
class ReaderWarnings {
public:
    ReaderWarnings() : thread_(QThread::currentThread()) {
        current = this;
        previousHandler_ = qInstallMessageHandler(record);
        previousFilter_ = QLoggingCategory::installFilter(enableWarnings);
    }
    ~ReaderWarnings() {
        QLoggingCategory::installFilter(previousFilter_);
        qInstallMessageHandler(previousHandler_);
        current = nullptr;
    }
    ReaderWarnings(const ReaderWarnings&) = delete;
    ReaderWarnings& operator=(const ReaderWarnings&) = delete;

    // The first warning that says pixels are missing or made up, or nothing.
    std::optional<std::string> firstDamage() const {
        for (const QString& warning : warnings_)
            if (!onlyARemark(warning)) return warning.toStdString();
        return std::nullopt;
    }

private:
    static bool fromAReader(const char* category) {
        return QLatin1StringView(category).startsWith(QLatin1StringView("qt.gui.imageio"));
    }
    // What a decoder says of a file whose every pixel it decoded: a JPEG's padding before its end
    // marker is one such remark.
    static bool onlyARemark(const QString& warning) {
        return warning.contains(QLatin1StringView("extraneous bytes before marker 0xd9"));
    }
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        const bool warning = type == QtWarningMsg || type == QtCriticalMsg;
        if (warning && context.category && fromAReader(context.category) &&
            QThread::currentThread() == current->thread_)
            current->warnings_.push_back(text.trimmed());
        else if (current->previousHandler_)
            current->previousHandler_(type, context, text);
    }
    static void enableWarnings(QLoggingCategory* category) {
        if (current->previousFilter_) current->previousFilter_(category);
        if (fromAReader(category->categoryName())) category->setEnabled(QtWarningMsg, true);
    }

    static inline ReaderWarnings* current = nullptr;
    QThread* thread_;
    QtMessageHandler previousHandler_ = nullptr;
    QLoggingCategory::CategoryFilter previousFilter_ = nullptr;
    QStringList warnings_;
};

// Qt's GIF reader shows a first frame whose data ends early as if it were whole. Walking the
// blocks to the end of that frame's data tells: why the file is damaged, or nothing.
std::optional<std::string> gifBlocksProblem(const OpenedFile& file) {
    std::vector<std::uint8_t> b(file.size());
    if (!file.readAt(0, b.data(), b.size()))
        return translate("Pictures", "the file shrank while it was read");
    const auto size = static_cast<std::ptrdiff_t>(b.size());
    auto at = [&](std::ptrdiff_t i) { return i < size ? int{b[static_cast<std::size_t>(i)]} : -1; };
    auto colourTableSize = [](int flags) {
        return flags & 0x80 ? std::ptrdiff_t{3} << ((flags & 7) + 1) : 0;
    };
    auto skipSubBlocks = [&](std::ptrdiff_t& i) {
        while (at(i) > 0) i += at(i) + 1;
        return at(i++) == 0;
    };
    std::ptrdiff_t i = 13 + colourTableSize(at(10));
    for (;;) {
        const int introducer = at(i);
        if (introducer == 0x21) {
            i += 2;
            if (!skipSubBlocks(i)) return translate("Pictures", "the file ends inside an extension block");
        } else if (introducer == 0x2C) {
            i += 10 + colourTableSize(at(i + 9)) + 1;  // the descriptor, its colours, the code size
            if (skipSubBlocks(i)) return std::nullopt;
            return translate("Pictures", "the picture data ends early");
        } else if (introducer < 0) {
            return translate("Pictures", "the file ends before the picture");
        } else {
            return translate("Pictures", "unknown block %1 at byte %2").arg(introducer, i);
        }
    }
}

// Qt refuses any image over its allocation limit (128 MB by default); raise it so that the largest
// picture we accept still fits at the deepest layout a reader decodes into: 8 bytes a pixel, for a
// PNG of 16 bits a channel.
void allowLargePictures() {
    static const bool done = [] {
        QImageReader::setAllocationLimit(static_cast<int>(kMostPixels * 8 / (1024 * 1024)) + 64);
        return true;
    }();
    (void)done;
}

// A picture with transparent parts shows as viewers show it on a white page: each pixel blended
// over white by its opacity. Without its opacity, a pixel shows the colour the file keeps under
// it, which encoders leave black where the picture is transparent, or anything at all.
TBitmap flattenedOnWhite(const QImage& image) {
    TBitmap bitmap;
    bitmap.SetSize(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* into = bitmap.GetScanline(y);
        for (int x = 0; x < image.width(); ++x) {
            const int opacity = qAlpha(from[x]);
            const auto overWhite = [opacity](int channel) {
                return static_cast<std::uint8_t>((channel * opacity + 255 * (255 - opacity) + 127) / 255);
            };
            into[3 * x] = overWhite(qBlue(from[x]));
            into[3 * x + 1] = overWhite(qGreen(from[x]));
            into[3 * x + 2] = overWhite(qRed(from[x]));
        }
    }
    return bitmap;
}

// Whether any pixel of a 32-bit picture is not wholly transparent. Some programs write 32-bit BMP
// files with an opacity that they leave 0 everywhere; viewers show those pictures as opaque.
bool someOpacity(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (std::any_of(row, row + image.width(), [](QRgb pixel) { return qAlpha(pixel) != 0; })) return true;
    }
    return false;
}

TBitmap toBitmap(const QImage& decoded) {
    if (decoded.hasAlphaChannel()) {
        const QImage withOpacity = decoded.convertToFormat(QImage::Format_ARGB32);
        if (someOpacity(withOpacity)) return flattenedOnWhite(withOpacity);
    }
    const QImage image = decoded.convertToFormat(QImage::Format_BGR888);
    TBitmap bitmap;
    bitmap.SetSize(image.width(), image.height());
    const auto rowBytes = static_cast<std::size_t>(image.width()) * 3;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(bitmap.GetScanline(y), image.constScanLine(y), rowBytes);
    return bitmap;
}

void refuseTooLarge(const std::string& shown, QSize size) {
    if (static_cast<long long>(size.width()) * size.height() > kMostPixels)
        failFile(shown, tooLargeReason(size.width(), size.height()));
}

// Qt's reader for a file of this kind, reading the file already open. The extension alone decides
// the kind, so a file that is not what its name says is refused.
void configureReader(QImageReader& reader, QFile& device, const PictureKind& kind) {
    reader.setDevice(&device);
    reader.setFormat(QByteArray::fromStdString(kind.readerFormat));
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);  // phone photos come the right way up, as their EXIF orientation says
}

// What the kind's reader cannot notice itself about a file whose data ends early.
std::optional<std::string> damageBeforeReading(const OpenedFile& file, const PictureKind& kind) {
    if (kind.readerFormat == "bmp") return bmpRowsProblem(file);
    if (kind.readerFormat == "gif") return gifBlocksProblem(file);
    return std::nullopt;
}

// Qt reads from the descriptor opened here, never by name: the name is bytes that need not be
// UTF-8, and the file was checked as it was opened.
struct QtDevice {
    explicit QtDevice(const OpenedFile& file) {
        device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
    }
    QFile device;
};

// "cannot read as a PNG picture (why)"
std::string notReadAs(const std::string& kindName, const std::string& why) {
    return translate("Pictures", "cannot read as a %1 picture (%2)").arg(kindName, why);
}

TBitmap readWithQt(const OpenedFile& file, const PictureKind& kind) {
    const std::string& shown = file.shownName();
    allowLargePictures();
    ReaderWarnings warnings;
    QtDevice opened(file);
    QImageReader reader;
    configureReader(reader, opened.device, kind);
    const std::string kindName = QByteArray::fromStdString(kind.readerFormat).toUpper().toStdString();
    // The signature first: Qt's readers say no more than "Unknown error" of one they do not
    // recognise, and a header that is there but ends early is damage.
    if (!reader.canRead())
        failFile(shown,
                 notReadAs(kindName, reader.error() == QImageReader::UnknownError
                                         ? translate("Pictures", "not one, or of a layout not read here")
                                         : reader.errorString().toStdString()));
    // A header of 0 x 0 pixels is broken: its real size only shows while decoding, where a GIF's
    // frames could then claim far more than the header said.
    const QSize announced = reader.size();
    if (announced.isValid() && announced.isEmpty()) failFile(shown, emptyPictureReason());
    if (announced.isValid()) refuseTooLarge(shown, announced);
    if (const std::optional<std::string> problem = damageBeforeReading(file, kind))
        failFile(shown, damagedReason(*problem));
    const QImage image = reader.read();
    // Qt's BMP reader also fails on layouts it does not read (embedded JPEG, 64 bits); the others
    // recognised the header, so a failure after it is damage.
    if (image.isNull())
        failFile(shown, kind.readerFormat == "bmp" ? notReadAs(kindName, reader.errorString().toStdString())
                                                   : damagedReason(reader.errorString().toStdString()));
    if (const std::optional<std::string> damage = warnings.firstDamage())
        failFile(shown, damagedReason(*damage));
    // A GIF's header may announce its first frame while the picture is its far larger screen.
    refuseTooLarge(shown, image.size());
    return toBitmap(image);
}

// Reads any BMP file: 24-bit files directly, the others through Qt.
TBitmap readBmpFile(const OpenedFile& file) {
    TBitmap bitmap;
    if (readBmp24(file, bitmap) == BmpRead::Done) return bitmap;
    return readWithQt(file, pictureKinds().front());
}

}  // namespace

std::string tooLargeReason(long long width, long long height) {
    return translate("Pictures", "picture too large (%1 x %2 pixels; edgepipe reads up to %3 megapixels)")
        .arg(width, height, kMostPixels / 1000000);
}

std::string emptyPictureReason() { return translate("Pictures", "empty picture (0 x 0 pixels)"); }

std::string damagedReason(const std::string& detail) {
    //: %1 says what is missing or wrong, in words of this program or of Qt's picture readers
    return translate("Pictures", "damaged or cut short (%1)").arg(detail);
}

AnnouncedSize announcedSize(const std::string& fileName) {
    const PictureKind* kind = kindForExtension(lowerExtension(fileName));
    if (!kind) return {};
    try {
        const OpenedFile file(fileName, fileName);
        QtDevice opened(file);
        QImageReader reader;
        configureReader(reader, opened.device, *kind);
        const QSize size = reader.size();
        if (size.isValid()) return {size.width(), size.height()};
    } catch (const Error&) {
    }
    return {};
}

TBitmap loadPicture(const std::string& fileName) {
    const OpenedFile file(fileName, shownPath(fileName));
    const std::string extension = lowerExtension(fileName);
    const PictureKind* kind = kindForExtension(extension);
    if (!kind)
        failFile(file.shownName(),
                 extension.empty()
                     ? translate("Pictures", "unknown picture kind (the name has no extension)")
                     : translate("Pictures", "unknown picture kind \"%1\"").arg(printable(extension)));
    if (kind->readerFormat == "bmp") return readBmpFile(file);
    return readWithQt(file, *kind);
}

// Stage files are named by their own name, wherever they are.
TBitmap loadBmp(const std::string& fileName) {
    return readBmpFile(OpenedFile(fileName, std::filesystem::path(fileName).filename().string()));
}

void readBmpThrough(const std::string& fileName) {
    const OpenedFile file(fileName, std::filesystem::path(fileName).filename().string());
    if (readBmp24Through(file) == BmpRead::OtherLayout) readWithQt(file, pictureKinds().front());
}

}  // namespace platform
