// Writes the program icon as PNG files for the icon theme, one per size, drawn by the same code
// as the window's own icon:   veldrin-icon-render OUTPUT_FOLDER SIZE...
// Each size goes to OUTPUT_FOLDER/SIZExSIZE/org.veldrin.Veldrin.png.

#include "app/pictures.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: veldrin-icon-render OUTPUT_FOLDER SIZE...\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "veldrin-icon-render: bad size %s\n", argv[i]);
            return 2;
        }
        const QString sub = QStringLiteral("%1/%2x%2").arg(folder).arg(size);
        const QString file = sub + QStringLiteral("/org.veldrin.Veldrin.png");
        if (!QDir().mkpath(sub) || !veldrin::programIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "veldrin-icon-render: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
