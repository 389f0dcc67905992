#include "FatturaGen.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>

#include <zip.h>

namespace fatturagen {

namespace {

QString e(const QString& s)
{
    return s.toHtmlEscaped();
}

QString elemento(const char* nome, const QString& valore)
{
    if (valore.isEmpty()) return {};
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(nome), e(valore));
}

} // namespace

QByteArray xml(const Fattura& f)
{
    const QString p = f.prefisso.isEmpty() ? QString() : f.prefisso + QLatin1Char(':');
    const QString ns = f.prefisso.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + f.prefisso;
    QString x = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    x += QStringLiteral(
             "<%1FatturaElettronica versione=\"%2\" "
             "xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\" %3=\"http://ivaservizi.agenziaentrate.gov.it/"
             "docs/xsd/fatture/v1.2\">\n")
             .arg(p, f.versione, ns);
    x += QStringLiteral("<FatturaElettronicaHeader><DatiTrasmissione><IdTrasmittente><IdPaese>IT</IdPaese>"
                        "<IdCodice>%1</IdCodice></IdTrasmittente><ProgressivoInvio>00001</ProgressivoInvio>"
                        "<FormatoTrasmissione>%2</FormatoTrasmissione><CodiceDestinatario>0000000</"
                        "CodiceDestinatario></DatiTrasmissione>\n")
             .arg(e(f.cedenteIva), f.versione);
    x += QStringLiteral(
             "<CedentePrestatore><DatiAnagrafici><IdFiscaleIVA><IdPaese>IT</IdPaese><IdCodice>%1</"
             "IdCodice></IdFiscaleIVA><Anagrafica><Denominazione>%2</Denominazione></Anagrafica>"
             "<RegimeFiscale>RF01</RegimeFiscale></DatiAnagrafici><Sede><Indirizzo>Corso Italia 1</"
             "Indirizzo><CAP>47121</CAP><Comune>Forlì</Comune><Provincia>FC</Provincia><Nazione>IT</"
             "Nazione></Sede></CedentePrestatore>\n")
             .arg(e(f.cedenteIva), e(f.cedente));
    x += QStringLiteral("<CessionarioCommittente><DatiAnagrafici>");
    if (!f.clienteIva.isEmpty())
        x += QStringLiteral("<IdFiscaleIVA><IdPaese>%1</IdPaese><IdCodice>%2</IdCodice></IdFiscaleIVA>")
                 .arg(e(f.nazione), e(f.clienteIva));
    x += elemento("CodiceFiscale", f.clienteCF);
    x += QStringLiteral("<Anagrafica>") +
         (f.denominazione.isEmpty() ? elemento("Nome", f.nome) + elemento("Cognome", f.cognome)
                                    : elemento("Denominazione", f.denominazione)) +
         QStringLiteral("</Anagrafica></DatiAnagrafici><Sede>") + elemento("Indirizzo", f.indirizzo) +
         elemento("NumeroCivico", f.civico) + elemento("CAP", f.cap) + elemento("Comune", f.comune) +
         elemento("Provincia", f.provincia) + elemento("Nazione", f.nazione) +
         QStringLiteral("</Sede></CessionarioCommittente></FatturaElettronicaHeader>\n");
    for (const Corpo& c : f.corpi) {
        x += QStringLiteral("<FatturaElettronicaBody><DatiGenerali><DatiGeneraliDocumento>") +
             elemento("TipoDocumento", c.tipo) + QStringLiteral("<Divisa>EUR</Divisa>") +
             elemento("Data", c.data) + elemento("Numero", c.numero) +
             elemento("ImportoTotaleDocumento", c.totale) +
             QStringLiteral(
                 "<Causale>Fornitura di servizi</Causale></DatiGeneraliDocumento></DatiGenerali>\n");
        x += QStringLiteral(
            "<DatiBeniServizi><DettaglioLinee><NumeroLinea>1</NumeroLinea><Descrizione>Consulenza "
            "\u00e0 corpo</Descrizione><PrezzoUnitario>100.00</PrezzoUnitario><PrezzoTotale>100.00</"
            "PrezzoTotale><AliquotaIVA>22.00</AliquotaIVA></DettaglioLinee>");
        if (!c.senzaRiepilogo) {
            const QList<QPair<QString, QString>> r =
                c.riepilogo.isEmpty()
                    ? QList<QPair<QString, QString>>{{QStringLiteral("100.00"), QStringLiteral("22.00")}}
                    : c.riepilogo;
            for (const auto& [imponibile, imposta] : r)
                x += QStringLiteral(
                         "<DatiRiepilogo><AliquotaIVA>22.00</AliquotaIVA><ImponibileImporto>%1</"
                         "ImponibileImporto><Imposta>%2</Imposta><EsigibilitaIVA>I</EsigibilitaIVA></"
                         "DatiRiepilogo>")
                         .arg(imponibile, imposta);
        }
        x += QStringLiteral("</DatiBeniServizi>\n");
        if (!c.rate.isEmpty()) {
            x += QStringLiteral("<DatiPagamento>") + elemento("CondizioniPagamento", c.condizioni);
            for (const Rata& r : c.rate)
                x += QStringLiteral("<DettaglioPagamento>") + elemento("ModalitaPagamento", r.modalita) +
                     elemento("DataRiferimentoTerminiPagamento", r.riferimento) +
                     elemento("GiorniTerminiPagamento", r.giorni) +
                     elemento("DataScadenzaPagamento", r.scadenza) + elemento("ImportoPagamento", r.importo) +
                     elemento("IstitutoFinanziario", r.istituto) + elemento("IBAN", r.iban) +
                     QStringLiteral("</DettaglioPagamento>");
            x += QStringLiteral("</DatiPagamento>\n");
        }
        x += QStringLiteral("</FatturaElettronicaBody>\n");
    }
    x += QStringLiteral("</%1FatturaElettronica>\n").arg(p);
    return x.toUtf8();
}

QByteArray semplificata(const QString& cedenteIva, const QString& cliente, const QString& numero,
                        const QString& data, const QString& importo)
{
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<ns0:FatturaElettronicaSemplificata "
               "xmlns:ns0=\"http://ivaservizi.agenziaentrate.gov.it/docs/xsd/"
               "fatture/v1.0\" "
               "versione=\"FSM10\"><FatturaElettronicaHeader><DatiTrasmissione><IdTrasmittente>"
               "<IdPaese>IT</IdPaese><IdCodice>%1</IdCodice></IdTrasmittente><ProgressivoInvio>7</"
               "ProgressivoInvio>"
               "<FormatoTrasmissione>FSM10</FormatoTrasmissione><CodiceDestinatario>0000000</"
               "CodiceDestinatario>"
               "</DatiTrasmissione><CedentePrestatore><IdFiscaleIVA><IdPaese>IT</IdPaese><IdCodice>%1</"
               "IdCodice>"
               "</IdFiscaleIVA><Denominazione>ALFA SRL</Denominazione><Sede><Indirizzo>Corso Italia "
               "1</Indirizzo>"
               "<CAP>47121</CAP><Comune>Forli</Comune><Nazione>IT</Nazione></Sede><RegimeFiscale>RF01</"
               "RegimeFiscale></"
               "CedentePrestatore><CessionarioCommittente><IdentificativiFiscali><CodiceFiscale>"
               "RSSMRA80A01H501U</CodiceFiscale></"
               "IdentificativiFiscali><AltriDatiIdentificativi><Denominazione>%2"
               "</Denominazione><Sede><Indirizzo>Via Po 3</Indirizzo><CAP>10121</CAP><Comune>Torino</Comune>"
               "<Provincia>TO</Provincia><Nazione>IT</Nazione></Sede></AltriDatiIdentificativi>"
               "</CessionarioCommittente></FatturaElettronicaHeader><FatturaElettronicaBody><DatiGenerali>"
               "<DatiGeneraliDocumento><TipoDocumento>TD07</TipoDocumento><Divisa>EUR</Divisa><Data>%4</Data>"
               "<Numero>%3</Numero></DatiGeneraliDocumento></"
               "DatiGenerali><DatiBeniServizi><Descrizione>Riparazione"
               "</Descrizione><Importo>%5</Importo><DatiIVA><Aliquota>22.00</Aliquota></DatiIVA></"
               "DatiBeniServizi>"
               "</FatturaElettronicaBody></ns0:FatturaElettronicaSemplificata>\n")
        .arg(e(cedenteIva), e(cliente), e(numero), data, importo)
        .toUtf8();
}

namespace {

bool openssl(const QStringList& args, const QString& dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("openssl"), args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

QByteArray firma(const QByteArray& xml, const QString& dir, bool ber)
{
    if (!QFile::exists(dir + QStringLiteral("/firma.pem")) &&
        !openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                  QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                  QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=Firma di prova"),
                  QStringLiteral("-keyout"), QStringLiteral("chiave.pem"), QStringLiteral("-out"),
                  QStringLiteral("firma.pem")},
                 dir))
        return {};
    QFile in(dir + QStringLiteral("/da-firmare.xml"));
    if (!in.open(QIODevice::WriteOnly) || in.write(xml) != xml.size()) return {};
    in.close();
    QStringList args = {
        QStringLiteral("cms"),        QStringLiteral("-sign"),      QStringLiteral("-nodetach"),
        QStringLiteral("-binary"),    QStringLiteral("-in"),        QStringLiteral("da-firmare.xml"),
        QStringLiteral("-signer"),    QStringLiteral("firma.pem"),  QStringLiteral("-inkey"),
        QStringLiteral("chiave.pem"), QStringLiteral("-outform"),   QStringLiteral("DER"),
        QStringLiteral("-out"),       QStringLiteral("firmato.p7m")};
    if (ber) args << QStringLiteral("-stream");
    if (!openssl(args, dir)) return {};
    QFile out(dir + QStringLiteral("/firmato.p7m"));
    return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

bool zip(const QString& percorso, const QList<QPair<QString, QByteArray>>& voci)
{
    int errore = 0;
    zip_t* z = zip_open(QFile::encodeName(percorso).constData(), ZIP_CREATE | ZIP_TRUNCATE, &errore);
    if (!z) return false;
    // libzip reads the buffers when it closes the archive: keep them alive until then.
    QList<QByteArray> tenuti;
    for (const auto& [nome, dati] : voci) {
        tenuti << dati;
        zip_source_t* s =
            zip_source_buffer(z, tenuti.last().constData(), zip_uint64_t(tenuti.last().size()), 0);
        if (!s || zip_file_add(z, nome.toUtf8().constData(), s, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            if (s) zip_source_free(s);
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

} // namespace fatturagen
