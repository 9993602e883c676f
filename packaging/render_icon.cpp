// Renders the editor's own icon drawing as PNG files for the desktop's icon
// theme, or as the Windows program's .ico, so that the menu shows what the
// window shows.
//   varno_render_icon OUTPUT_FOLDER NAME SIZE...   writes OUTPUT_FOLDER/SIZExSIZE/apps/NAME.png
//   varno_render_icon --ico OUTPUT.ico SIZE...     writes one .ico with an image per size
#include "editor/qt/aboutdlg.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QList>
#include <QPixmap>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void appendLe16(QByteArray& out, unsigned value)
{
    out.append(static_cast<char>(value & 0xff));
    out.append(static_cast<char>((value >> 8) & 0xff));
}

void appendLe32(QByteArray& out, std::uint32_t value)
{
    appendLe16(out, value & 0xffff);
    appendLe16(out, value >> 16);
}

// An ICO container whose images are PNG files, which Windows reads since
// Vista: a 6-byte header, a 16-byte entry per image, then the images.
bool writeIco(const QString& path, const QList<int>& sizes)
{
    QList<QByteArray> images;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !drawApplicationPicture(size).save(&buffer, "PNG")) return false;
        images.append(png);
    }
    QByteArray ico;
    appendLe16(ico, 0);  // reserved
    appendLe16(ico, 1);  // an icon, not a cursor
    appendLe16(ico, static_cast<unsigned>(sizes.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        // 256 does not fit the byte and is written as 0.
        const auto side = static_cast<char>(sizes[i] == 256 ? 0 : sizes[i]);
        ico.append(side);  // width
        ico.append(side);  // height
        ico.append('\0');  // no palette
        ico.append('\0');  // reserved
        appendLe16(ico, 1);   // colour planes
        appendLe16(ico, 32);  // bits per pixel
        appendLe32(ico, static_cast<std::uint32_t>(images[i].size()));
        appendLe32(ico, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const QByteArray& image : images) ico.append(image);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size() && file.flush();
}

}  // namespace

int main(int argc, char** argv)
{
    const bool ico = argc > 1 && QByteArray(argv[1]) == "--ico";
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER NAME SIZE...\n       %s --ico OUTPUT.ico SIZE...\n", argv[0],
                     argv[0]);
        return 2;
    }
    // Drawing needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (ico) {
        QList<int> sizes;
        for (int i = 3; i < argc; ++i) {
            const int size = std::atoi(argv[i]);
            if (size <= 0 || size > 256) {
                std::fprintf(stderr, "%s: an icon's size is 1 to 256, not %s\n", argv[0], argv[i]);
                return 2;
            }
            sizes.append(size);
        }
        if (!writeIco(QString::fromLocal8Bit(argv[2]), sizes)) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
            return 1;
        }
        return 0;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString sized = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (size <= 0 || !QDir().mkpath(sized) || !drawApplicationPicture(size).save(sized + "/" + name + ".png")) {
            std::fprintf(stderr, "%s: cannot write the %s icon\n", argv[0], argv[i]);
            return 1;
        }
    }
    return 0;
}
