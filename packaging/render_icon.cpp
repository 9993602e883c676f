// Renders the editor's own icon drawing as PNG files for the desktop's icon
// theme, so that the menu shows what the window shows.
//   varno_render_icon OUTPUT_FOLDER NAME SIZE...   writes OUTPUT_FOLDER/SIZExSIZE/apps/NAME.png
#include "editor/qt/aboutdlg.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER NAME SIZE...\n", argv[0]);
        return 2;
    }
    // Drawing needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
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
