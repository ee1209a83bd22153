// SPDX-License-Identifier: GPL-3.0-or-later
// Build helper: writes the window icon, kept as XPM for the executable, as the PNG that desktop
// menus show. It reads the XPM with the same Qt reader the window uses, so both show the same pixels.
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ICON.xpm ICON.png\n", argv[0]);
        return 2;
    }
    QImage image;
    if (!image.load(QString::fromLocal8Bit(argv[1]), "XPM")) {
        std::fprintf(stderr, "%s: cannot read %s as XPM\n", argv[0], argv[1]);
        return 1;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);

    // Written aside and renamed, so a failed run never leaves a half-written icon that looks built.
    const QByteArray target = argv[2];
    const QByteArray partial = target + ".partial";
    if (!image.save(QString::fromLocal8Bit(partial), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], partial.constData());
        std::remove(partial.constData());
        return 1;
    }
    if (std::rename(partial.constData(), target.constData()) != 0) {
        std::perror(target.constData());
        std::remove(partial.constData());
        return 1;
    }
    return 0;
}
