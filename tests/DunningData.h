#pragma once

#include "scadenzio/Database.h"
#include "scadenzio/Money.h"

#include <QDate>
#include <QList>
#include <QString>

// Credits, clients and banks as the register keeps them, for the dunning tests.
namespace dunningdata {

struct Credito
{
    QString numero = QStringLiteral("1");
    QDate scadenza;
    QString cliente = QStringLiteral("ROSSI SRL");
    QString modalita = QStringLiteral("BONIFICO");
    sz::Money importo = sz::Money::fromCents(100000);
    sz::Money incassato;
    QList<QDate> fasi; // Preavviso, Sollecito1, ... as far as issued
    QVariant pagato = QStringLiteral("NO");
    QString stato = QStringLiteral("APERTA");
    QString banca;
    QDate dataFattura;
};

inline qint64 aggiungi(sz::db::Connection& c, const Credito& k)
{
    static const char* colonne[] = {"Preavviso", "Sollecito1", "Sollecito2", "Sollecito3"};
    sz::db::Params p = {{QStringLiteral("N"), k.numero},
                        {QStringLiteral("DF"), k.dataFattura.isValid() ? k.dataFattura : k.scadenza.addDays(-30)},
                        {QStringLiteral("S"), k.scadenza},
                        {QStringLiteral("C"), k.cliente},
                        {QStringLiteral("M"), k.modalita},
                        {QStringLiteral("I"), QVariant::fromValue(k.importo)},
                        {QStringLiteral("Inc"), QVariant::fromValue(k.incassato)},
                        {QStringLiteral("R"), QVariant::fromValue(k.importo - k.incassato)},
                        {QStringLiteral("P"), k.pagato},
                        {QStringLiteral("St"), k.stato},
                        {QStringLiteral("B"), k.banca}};
    QString cols, vals;
    for (int i = 0; i < 4; ++i) {
        cols += QStringLiteral(", ") + QLatin1String(colonne[i]);
        vals += QStringLiteral(", :F%1").arg(i);
        p << qMakePair(QStringLiteral("F%1").arg(i), i < k.fasi.size() ? QVariant(k.fasi[i]) : QVariant());
    }
    c.exec(QStringLiteral("INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Cliente, ModalitaPagamento, "
                          "Importo, Incassato, Residuo, ImportoTotale, Pagato, Stato, Banca, DestinatarioFattura") +
               cols + QStringLiteral(") VALUES (:N, :DF, :S, :C, :M, :I, :Inc, :R, :I, :P, :St, :B, :C") + vals +
               QStringLiteral(")"),
           p);
    return c.lastInsertId();
}

inline void cliente(sz::db::Connection& c, const QString& nome, const QString& indirizzo = QStringLiteral("VIA ROMA 1"),
                    const QString& mail = QString())
{
    c.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale, Indirizzo, CAP, Localita, Provincia, Riferimento, "
                          "IVA, Mail1) VALUES (:R, :I, '20100', 'MILANO', 'MI', 'MARIO BIANCHI', '01234567890', :M)"),
           {{QStringLiteral("R"), nome}, {QStringLiteral("I"), indirizzo}, {QStringLiteral("M"), mail}});
}

inline void societa(sz::db::Connection& c)
{
    c.exec(QStringLiteral("DELETE FROM t_societa"));
    c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, Indirizzo, CAP, Localita, Provincia, Riferimento, "
                          "Telefono, Mail, IVA, CF) VALUES ('ARTIGIANA VENETA SNC', 'VIA DELL''ARTIGIANATO 12', "
                          "'35100', 'PADOVA', 'PD', 'LUCIA FERRARI', '049 123456', 'amministrazione@artigiana.it', "
                          "'01987654321', '01987654321')"));
    c.exec(QStringLiteral("INSERT INTO t_banche (Nome, Agenzia, IBAN) VALUES ('BANCA DI PADOVA', 'AGENZIA 3', "
                          "'IT60X0542811101000000123456')"));
}

} // namespace dunningdata
