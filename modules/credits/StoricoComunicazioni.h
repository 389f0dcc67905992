#pragma once

#include "ArchivioRicevute.h"
#include "scadenzio/Invii.h"

#include <QList>
#include <QWidget>

class QPushButton;
class QStandardItemModel;
class QTableView;

namespace sz::db {
class Connection;
}

// The letters of one credit, newest first, as the letter log and the stage columns know
// them, with the way to open the PDF of a row. Read-only: a letter that went out stays
// recorded whatever happens to the credit afterwards.
class StoricoComunicazioni : public QWidget
{
    Q_OBJECT
public:
    explicit StoricoComunicazioni(QWidget* parent = nullptr);

    void carica(sz::db::Connection& conn, qint64 idCredito);
    void svuota();
    int righe() const { return int(m_invii.size()); }
    const QList<sz::invii::Invio>& invii() const { return m_invii; }

    QTableView* griglia() const { return GridStorico; }
    QPushButton* bottoneApri() const { return BottoneApriPDF; }
    QPushButton* bottoneRicevuta() const { return BottoneApriRicevuta; }
    // The certified-mail state of each row ("" for a letter that did not go by PEC).
    const QStringList& statiPec() const { return m_statiPec; }

    // Opens the selected row's PDF, or says why it cannot.
    void BottoneApriPDFClick();
    // Opens the receipt of the selected certified letter, or says why it cannot.
    void BottoneApriRicevutaClick();
    // "Esporta…" of the pop-up menu: the rows returned, -1 when nothing was written.
    int Esporta();


signals:
    void righeCambiate(int righe);

private:
    void mostra();
    void aggiornaBottone();
    int rigaScelta() const;

    QList<sz::invii::Invio> m_invii;
    QStringList m_statiPec;
    QList<bool> m_daControllare;
    QList<QList<sz::pec::RicevutaRegistrata>> m_ricevute;
    QStandardItemModel* m_modello = nullptr;
    QTableView* GridStorico = nullptr;
    QPushButton* BottoneApriPDF = nullptr;
    QPushButton* BottoneApriRicevuta = nullptr;
};
