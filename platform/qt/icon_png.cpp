// Writes the window's icon as a PNG for the desktop's icon theme, which may not read XPM, at
// its own 32 x 32 pixels or scaled to another size.
#include <QImage>

#include <cstdio>
#include <cstdlib>

#include "resources/kelvorin.xpm"

int main(int argc, char* argv[]) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [SIZE]\n", argv[0]);
        return 2;
    }
    QImage icon(kelvorin_xpm);
    const int size = argc == 3 ? std::atoi(argv[2]) : icon.width();
    if (size != icon.width()) {
        icon = icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return !icon.isNull() && icon.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
