// Writes the window's icon as a PNG for the desktop's icon theme, which may not read XPM.
#include <QImage>

#include <cstdio>

#include "resources/kelvorin.xpm"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    const QImage icon(kelvorin_xpm);
    return !icon.isNull() && icon.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
