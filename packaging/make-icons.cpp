// Scales the program's icon to each size the desktop's icon theme looks for.
// Usage: scadenzio-make-icons SOURCE.png OUTPUT_FOLDER SIZE...
// writes OUTPUT_FOLDER/SIZExSIZE/apps/scadenzio.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "uso: %s SORGENTE.png CARTELLA DIMENSIONE...\n", argv[0]);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "immagine illeggibile: %s\n", argv[1]);
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > source.width()) {
            std::fprintf(stderr, "dimensione non valida: %s\n", argv[i]);
            return 2;
        }
        // Halving step by step keeps thin strokes that one big reduction would drop.
        QImage img = source.convertToFormat(QImage::Format_ARGB32);
        while (img.width() / 2 >= size)
            img = img.scaled(img.width() / 2, img.height() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (img.width() != size)
            img = img.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        if (!QDir().mkpath(dir) || !img.save(dir + QStringLiteral("/scadenzio.png"), "PNG")) {
            std::fprintf(stderr, "impossibile scrivere in %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
