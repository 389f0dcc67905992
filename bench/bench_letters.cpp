// Letter runs as "Crea PDF" makes them: 500 letters per document, and 50 statements of
// 10 credits each, against the floor of a bare QTextDocument to QPdfWriter render of the
// same letter's HTML in the same run.
#include "Bench.h"

#include "Lettere.h"
#include "SollecitiLogic.h"
#include "Startup.h"

#include "scadenzio/Database.h"
#include "scadenzio/Money.h"
#include "scadenzio/Paths.h"
#include "scadenzio/report/Report.h"

#include <QDate>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>

using namespace sz;

namespace {

const QString programFolder = QStringLiteral(SZ_PROGRAM_DIR "/");

void riempi(db::Connection& c, int clienti, int perCliente, const QDate& oggi)
{
    db::Transaction t(c);
    c.exec(QStringLiteral("DELETE FROM t_societa"));
    c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, Indirizzo, CAP, Localita, Provincia, Riferimento, "
                          "Telefono, Mail, IVA, CF) VALUES ('ARTIGIANA VENETA SNC', 'VIA DELL''ARTIGIANATO 12', "
                          "'35100', 'PADOVA', 'PD', 'LUCIA FERRARI', '049 123456', 'amministrazione@artigiana.it', "
                          "'01987654321', '01987654321')"));
    c.exec(QStringLiteral("INSERT INTO t_banche (Nome, Agenzia, IBAN) VALUES ('BANCA DI PADOVA', 'AGENZIA 3', "
                          "'IT60X0542811101000000123456')"));
    db::Statement cliente(c, QStringLiteral("INSERT INTO t_clienti (RagioneSociale, Indirizzo, CAP, Localita, "
                                            "Provincia, Riferimento, IVA, Mail1) VALUES (:R, 'VIA ROMA 1', '20100', "
                                            "'MILANO', 'MI', 'MARIO BIANCHI', '01234567890', 'a@b.it')"));
    db::Statement credito(c, QStringLiteral(
        "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Cliente, ModalitaPagamento, Importo, Incassato, "
        "Residuo, ImportoTotale, Pagato, Stato, Banca, DestinatarioFattura) VALUES (:N, :DF, :S, :C, 'BONIFICO', "
        ":I, 0, :I, :I, 'NO', 'APERTA', 'BANCA DI PADOVA', :C)"));
    for (int k = 0; k < clienti; ++k) {
        const QString nome = QStringLiteral("CLIENTE %1 SRL").arg(k, 4, 10, QLatin1Char('0'));
        cliente.run({{QStringLiteral("R"), nome}});
        for (int i = 0; i < perCliente; ++i)
            credito.run({{QStringLiteral("N"), QStringLiteral("%1/%2").arg(k).arg(i)},
                         {QStringLiteral("DF"), oggi.addDays(-60)},
                         {QStringLiteral("S"), oggi.addDays(-(i % 5))},
                         {QStringLiteral("C"), nome},
                         {QStringLiteral("I"), QVariant::fromValue(Money::fromCents(10000 + 37 * i + k))}});
    }
    t.commit();
}

// The floor: the letter's own HTML laid out and painted into a PDF, nothing else.
void renderNudo(const QString& html, const QImage& logo, const QString& logoPath, const QString& pdf)
{
    QPdfWriter writer(pdf);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 12, 15, 25), QPageLayout::Millimeter);
    writer.setResolution(300);
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    font.setStyleStrategy(QFont::PreferNoShaping);
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    doc.addResource(QTextDocument::ImageResource, QUrl(logoPath), logo);
    doc.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
    doc.setHtml(html);
    QPainter painter(&writer);
    const QSizeF page = doc.pageSize();
    for (int p = 0; p < doc.pageCount(); ++p) {
        if (p > 0) writer.newPage();
        painter.save();
        painter.translate(0, -p * page.height());
        doc.drawContents(&painter, QRectF(0, p * page.height(), page.width(), page.height()));
        painter.restore();
    }
}

QString htmlDi(const QString& progetto, const QList<qint64>& ids, db::Connection& c, bool perCliente)
{
    // The parameters are those of a real letter; only the HTML is kept.
    report::Project p;
    p.setProjectFile(programFolder + QStringLiteral("RaveReport/") + progetto);
    const auto r = c.query(dunning::sqlLettera(ids));
    report::DataView righe;
    for (int i = 0; i < r.rows.size(); ++i) {
        report::Row row;
        const auto v = dunning::valoriRiga(r, i);
        for (auto it = v.begin(); it != v.end(); ++it)
            row.insert(it.key(), dunning::testoValore(it.value()));
        righe << row;
    }
    p.setDataView(QStringLiteral("RvDataSetConnection2"), righe);
    p.setDataView(QStringLiteral("RvDataSetConnection1"),
                  {{{QStringLiteral("nome"), QStringLiteral("BANCA DI PADOVA")},
                    {QStringLiteral("agenzia"), QStringLiteral("AGENZIA 3")},
                    {QStringLiteral("IBAN"), QStringLiteral("IT60X0542811101000000123456")}}});
    p.setParameter(QStringLiteral("Logo"), programFolder + QStringLiteral("Logo/logo.bmp"));
    p.setParameter(QStringLiteral("RagioneSociale"), r.value(0, QStringLiteral("Cliente")).toString());
    p.setParameter(QStringLiteral("NumeroFattura"), r.value(0, QStringLiteral("NumeroFattura")).toString());
    p.setParameter(QStringLiteral("Oggetto"), perCliente ? QStringLiteral("ESTRATTO CONTO") : QStringLiteral("PREAVVISO"));
    return p.renderHtml();
}

} // namespace

SZ_BENCH(letters)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    startup::installDefaults();
    const QDate oggi = QDate::currentDate();
    db::Connection c(paths::defaultDatabasePath());
    riempi(c, 100, 10, oggi); // clients 0-49 per client, 50-99 per document
    const auto tutti = c.query(dunning::sqlCreditiPerDocumento(), dunning::parametriLista(oggi));
    QList<qint64> perDocumento;
    QList<dunning::GruppoCliente> gruppi;
    for (int i = 0; i < tutti.rows.size(); ++i) {
        const QString cliente = tutti.value(i, QStringLiteral("Cliente")).toString();
        const qint64 id = tutti.value(i, QStringLiteral("ID")).toLongLong();
        if (cliente >= QStringLiteral("CLIENTE 0050")) {
            perDocumento << id;
        } else {
            auto it = std::find_if(gruppi.begin(), gruppi.end(),
                                   [&](const dunning::GruppoCliente& g) { return g.cliente == cliente; });
            if (it == gruppi.end())
                gruppi.append({cliente, {id}});
            else
                it->ids << id;
        }
    }
    std::printf("(%lld letters per document, %lld statements of %lld credits)\n", qlonglong(perDocumento.size()),
                qlonglong(gruppi.size()), qlonglong(gruppi.isEmpty() ? 0 : gruppi[0].ids.size()));

    const QString logoPath = programFolder + QStringLiteral("Logo/logo.bmp");
    const QImage logo(logoPath);
    const QString nudo = home.path() + QStringLiteral("/nudo.pdf");
    const QString htmlDoc = htmlDi(QStringLiteral("Sollecito.rav"), {perDocumento.first()}, c, false);
    const QString htmlCli = htmlDi(QStringLiteral("Sollecito_generico.rav"), gruppi.first().ids, c, true);
    const int campione = 50;
    const double floorDoc = benchReport(QStringLiteral("bare render, letter per document x%1").arg(campione), [&] {
        for (int i = 0; i < campione; ++i) renderNudo(htmlDoc, logo, logoPath, nudo);
    }, 3) / campione;
    const double floorCli = benchReport(QStringLiteral("bare render, statement of 10 credits x%1").arg(campione), [&] {
        for (int i = 0; i < campione; ++i) renderNudo(htmlCli, logo, logoPath, nudo);
    }, 3) / campione;

    dunning::Lettere lettere(c, oggi, paths::dataRoot(), programFolder);
    QElapsedTimer t;
    t.start();
    const auto e1 = lettere.perDocumento(perDocumento, false);
    const double msDoc = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    const auto e2 = lettere.perCliente(gruppi, false);
    const double msCli = double(t.nsecsElapsed()) / 1e6;
    if (!e1.guasto.isEmpty() || !e2.guasto.isEmpty())
        std::printf("FAILED: %s %s\n", qPrintable(e1.guasto), qPrintable(e2.guasto));
    std::printf("Crea PDF per document: %lld letters in %.0f ms = %.1f ms/letter (bare %.1f ms, ratio %.2f)\n",
                qlonglong(e1.pdf.size()), msDoc, msDoc / double(e1.pdf.size()), floorDoc,
                msDoc / double(e1.pdf.size()) / floorDoc);
    std::printf("Crea PDF per client: %lld letters in %.0f ms = %.1f ms/letter (bare %.1f ms, ratio %.2f)\n",
                qlonglong(e2.pdf.size()), msCli, msCli / double(e2.pdf.size()), floorCli,
                msCli / double(e2.pdf.size()) / floorCli);
}
