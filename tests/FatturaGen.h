#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Electronic invoices written at test time, as an invoicing program writes them: the
// header with supplier and customer, one or more bodies, their payment details.
namespace fatturagen {

struct Rata
{
    QString modalita = QStringLiteral("MP05");
    QString scadenza;    // DataScadenzaPagamento, left out when empty
    QString riferimento; // DataRiferimentoTerminiPagamento
    QString giorni;      // GiorniTerminiPagamento
    QString importo;
    QString iban;
    QString istituto = {}; // IstitutoFinanziario, left out when empty
};

struct Corpo
{
    QString tipo = QStringLiteral("TD01");
    QString numero = QStringLiteral("1");
    QString data = QStringLiteral("2026-03-31");
    QString totale; // ImportoTotaleDocumento, left out when empty
    QString condizioni = QStringLiteral("TP02");
    QList<Rata> rate; // no DatiPagamento when empty
    // DatiRiepilogo (ImponibileImporto, Imposta); one line of 100.00 at 22% when empty.
    QList<QPair<QString, QString>> riepilogo;
    bool senzaRiepilogo = false; // lines only
};

struct Fattura
{
    QString prefisso = QStringLiteral("p"); // "" for none
    QString versione = QStringLiteral("FPR12");
    QString cedenteIva = QStringLiteral("01234567890");
    QString cedente = QStringLiteral("ALFA SRL");
    QString denominazione = QStringLiteral("Beta S.p.A."); // Nome and Cognome when empty
    QString nome, cognome;
    QString clienteIva = QStringLiteral("09876543210");
    QString clienteCF;
    QString indirizzo = QStringLiteral("Via Roma"), civico = QStringLiteral("10"),
            cap = QStringLiteral("20121"), comune = QStringLiteral("Milano"),
            provincia = QStringLiteral("MI"), nazione = QStringLiteral("IT");
    QList<Corpo> corpi = {Corpo{}};
};

QByteArray xml(const Fattura& f);
// The simplified format: one body with the given amount (VAT included), no payment data.
QByteArray semplificata(const QString& cedenteIva, const QString& cliente, const QString& numero,
                        const QString& data, const QString& importo);

// A signed .p7m made by the openssl tool with a throw-away certificate kept in dir:
// DER, or BER with indefinite lengths (streamed).
QByteArray firma(const QByteArray& xml, const QString& dir, bool ber = false);

// Writes a ZIP of the given entries (name, bytes). Returns false on failure.
bool zip(const QString& percorso, const QList<QPair<QString, QByteArray>>& voci);

} // namespace fatturagen
