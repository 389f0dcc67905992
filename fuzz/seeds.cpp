// Writes the invoice seeds of the fuzz corpora, made as the tests make them: plain XML in
// the full and simplified formats, signed .p7m (DER, BER, base64) and ZIPs of them.
#include "FatturaGen.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

#include <cstdio>

namespace {

void scrivi(const QString& percorso, const QByteArray& dati)
{
    QFile f(percorso);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(dati);
}

QByteArray zipDi(const QList<QPair<QString, QByteArray>>& voci, const QString& dir)
{
    const QString percorso = dir + QStringLiteral("/z.zip");
    QFile::remove(percorso);
    int errore = 0;
    zip_t* z = zip_open(percorso.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &errore);
    if (!z) return {};
    for (const auto& [nome, dati] : voci) {
        auto* copia = static_cast<char*>(malloc(size_t(std::max<qsizetype>(1, dati.size()))));
        memcpy(copia, dati.constData(), size_t(dati.size()));
        zip_file_add(z, nome.toUtf8().constData(), zip_source_buffer(z, copia, zip_uint64_t(dati.size()), 1),
                     ZIP_FL_OVERWRITE);
    }
    zip_close(z);
    QFile f(percorso);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "uso: fuzz-seeds CARTELLA\n");
        return 2;
    }
    const QString radice = QString::fromLocal8Bit(argv[1]);
    for (const char* d : {"fatturapa", "p7m", "zip"})
        QDir().mkpath(radice + QLatin1Char('/') + QLatin1String(d));
    QTemporaryDir tmp;

    fatturagen::Fattura piena;
    fatturagen::Corpo corpo;
    corpo.numero = QStringLiteral("FT/12");
    corpo.totale = QStringLiteral("244.00");
    fatturagen::Rata r1, r2;
    r1.scadenza = QStringLiteral("2026-04-30");
    r1.importo = QStringLiteral("122.00");
    r1.iban = QStringLiteral("IT60X0542811101000000123456");
    r1.istituto = QStringLiteral("BANCA ESEMPIO");
    r2.riferimento = QStringLiteral("2026-03-31");
    r2.giorni = QStringLiteral("60");
    r2.importo = QStringLiteral("122.00");
    corpo.rate = {r1, r2};
    piena.corpi = {corpo, fatturagen::Corpo{}};
    fatturagen::Fattura privato;
    privato.prefisso.clear();
    privato.versione = QStringLiteral("FPA12");
    privato.denominazione.clear();
    privato.nome = QStringLiteral("Mario");
    privato.cognome = QStringLiteral("Rossi");
    privato.corpi.first().senzaRiepilogo = true;
    const QByteArray xml1 = fatturagen::xml(piena), xml2 = fatturagen::xml(privato);
    const QByteArray xml3 = fatturagen::semplificata(QStringLiteral("01234567890"), QStringLiteral("Beta S.p.A."),
                                                     QStringLiteral("7"), QStringLiteral("2026-03-31"),
                                                     QStringLiteral("122.00"));
    scrivi(radice + QStringLiteral("/fatturapa/piena.xml"), xml1);
    scrivi(radice + QStringLiteral("/fatturapa/privato.xml"), xml2);
    scrivi(radice + QStringLiteral("/fatturapa/semplificata.xml"), xml3);

    const QByteArray der = fatturagen::firma(xml1, tmp.path());
    const QByteArray ber = fatturagen::firma(xml3, tmp.path(), true);
    scrivi(radice + QStringLiteral("/p7m/der.xml.p7m"), der);
    scrivi(radice + QStringLiteral("/p7m/ber.xml.p7m"), ber);
    scrivi(radice + QStringLiteral("/p7m/base64.xml.p7m"), der.toBase64());

    const QByteArray interno = zipDi({{QStringLiteral("IT01234567890_00002.xml"), xml2}}, tmp.path());
    scrivi(radice + QStringLiteral("/zip/portale.zip"),
           zipDi({{QStringLiteral("IT01234567890_00001.xml"), xml1},
                  {QStringLiteral("IT01234567890_00003.xml.p7m"), der},
                  {QStringLiteral("cartella/"), QByteArray()},
                  {QStringLiteral("interno.zip"), interno}},
                 tmp.path()));
    scrivi(radice + QStringLiteral("/zip/semplice.zip"),
           zipDi({{QStringLiteral("IT01234567890_00004.xml"), xml3}}, tmp.path()));
    return 0;
}
