// Saves a file again and again through the atomic save, alternating two contents of the given size, and
// prints "saved" after each save, until it is killed.
#include "store/io/atomicsave.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc != 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const qsizetype size = std::atol(argv[2]);
    const QByteArray contents[2] = {QByteArray(size, 'a'), QByteArray(size, 'b')};
    for (unsigned i = 0;; ++i) {
        skyhaul::writeFileAtomically(path, contents[i % 2]);
        std::fputs("saved\n", stdout);
        std::fflush(stdout);
    }
}
