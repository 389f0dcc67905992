#pragma once

// "Verifica ricevute PEC", the same in every frame that shows letters: the certified
// mailbox read off the window's thread (with a stop), or receipts saved from web mail
// chosen as .eml files; then the totals in the command line's words. Inline, header only:
// each frame is a plug-in of its own and links no other frame.

#include "ArchivioRicevute.h"
#include "CasellaImap.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace sz::pec {

struct TotaliRicevute
{
    int letti = 0, registrate = 0, gia = 0, estranee = 0, altri = 0, illeggibili = 0;
    QStringList errori; // "ATTENZIONE: <source>: <why>", one line each

    void conta(const QString& fonte, const Archiviazione& a)
    {
        ++letti;
        switch (a.esito) {
        case Archiviazione::Esito::Registrata: ++registrate; break;
        case Archiviazione::Esito::GiaRegistrata: ++gia; break;
        case Archiviazione::Esito::Estranea: ++estranee; break;
        case Archiviazione::Esito::NonRicevuta: ++altri; break;
        }
        if (a.firma == Firma::Alterata &&
            (a.esito == Archiviazione::Esito::Registrata || a.esito == Archiviazione::Esito::GiaRegistrata))
            errore(fonte, QStringLiteral("la firma del gestore non corrisponde al contenuto della ricevuta, che "
                                         "potrebbe essere stata alterata; il file è conservato com'è arrivato"));
    }
    void illeggibile(const QString& fonte, const QString& perche)
    {
        ++letti;
        ++illeggibili;
        errore(fonte, perche);
    }
    void errore(const QString& fonte, const QString& perche)
    {
        QString t = invii::unaRiga(perche);
        if (!t.endsWith(QLatin1Char('.')))
            t += QLatin1Char('.');
        errori << QStringLiteral("ATTENZIONE: %1: %2").arg(invii::unaRiga(fonte), t);
    }
    QString testo() const
    {
        return QStringLiteral("Messaggi letti: %1; ricevute registrate: %2; già registrate: %3; non di %4: %5; altri "
                              "messaggi lasciati com'erano: %6; ricevute illeggibili: %7")
            .arg(letti)
            .arg(registrate)
            .arg(gia)
            .arg(paths::programName())
            .arg(estranee)
            .arg(altri)
            .arg(illeggibili);
    }
};

// Receipts saved as files, each filed with its letter.
inline TotaliRicevute ricevuteDaFile(db::Connection& conn, const QStringList& files)
{
    TotaliRicevute t;
    const QString dataRoot = paths::dataRoot();
    const QList<Lettera> registro = lettere(conn);
    for (const QString& file : files) {
        const QString fonte = QFileInfo(file).fileName();
        QFile f(file);
        if (!QFileInfo(file).isFile() || !f.open(QIODevice::ReadOnly)) {
            t.illeggibile(fonte, QStringLiteral("il file non esiste o non si può leggere"));
            continue;
        }
        if (f.size() > limiteEml) {
            t.illeggibile(fonte, QStringLiteral("il file supera %1 MB e non è una ricevuta PEC").arg(limiteEml / (1024 * 1024)));
            continue;
        }
        try {
            t.conta(fonte, archivia(conn, dataRoot, f.read(limiteEml + 1), &registro));
        } catch (const Error& e) {
            t.illeggibile(fonte, e.message());
        }
    }
    return t;
}

// The button's whole action. Returns the error lines for the frame's list (empty when the
// clerk chose nothing); the totals are shown here.
inline QStringList verificaRicevutePec(QWidget* parent, db::Connection& conn)
{
    QMessageBox domanda(QMessageBox::Question, QStringLiteral("Verifica ricevute PEC"),
                        QStringLiteral("Leggere la casella PEC o aprire ricevute salvate (.eml)?"),
                        QMessageBox::NoButton, parent);
    QPushButton* casella = domanda.addButton(QStringLiteral("Leggi la casella PEC"), QMessageBox::AcceptRole);
    casella->setObjectName(QStringLiteral("BottoneLeggiCasellaPEC"));
    QPushButton* file = domanda.addButton(QStringLiteral("Apri ricevute salvate..."), QMessageBox::ActionRole);
    file->setObjectName(QStringLiteral("BottoneApriRicevuteEml"));
    domanda.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole);
    domanda.setObjectName(QStringLiteral("DomandaRicevutePEC"));
    domanda.setDefaultButton(casella);
    sz::ui::showModal(&domanda);

    TotaliRicevute totali;
    QString nota;
    if (domanda.clickedButton() == file) {
        const QStringList scelti = QFileDialog::getOpenFileNames(
            parent, QStringLiteral("Ricevute PEC salvate"), QDir::homePath(),
            QStringLiteral("Ricevute PEC (*.eml);;Tutti i file (*)"));
        if (scelti.isEmpty())
            return {};
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            totali = ricevuteDaFile(conn, scelti);
        } catch (const Error& e) {
            totali.errore(QStringLiteral("ricevute"), e.message());
        }
        QApplication::restoreOverrideCursor();
    } else if (domanda.clickedButton() == casella) {
        CasellaImap imap;
        try {
            imap = casellaMemorizzata(conn);
        } catch (const Error& e) {
            sz::ui::showWarning(parent, e.message());
            return {};
        }
        // The reading has its own connection: the window's stays on the window's thread.
        struct Lettura
        {
            std::atomic_bool annulla{false};
            LetturaCasella esito;
            QString guasto;
        };
        auto lettura = std::make_shared<Lettura>();
        imap.annulla = &lettura->annulla;
        const QString percorso = conn.path(), dataRoot = paths::dataRoot();
        QThread* lavoro = QThread::create([lettura, imap, percorso, dataRoot] {
            try {
                db::Connection propria(percorso);
                lettura->esito = leggiCasella(propria, dataRoot, imap);
            } catch (const Error& e) {
                lettura->guasto = e.message();
            } catch (const std::exception& e) {
                lettura->guasto = QString::fromLocal8Bit(e.what());
            }
        });
        QProgressDialog progresso(QStringLiteral("Lettura della casella PEC in corso..."), QStringLiteral("Annulla"), 0,
                                  0, parent);
        progresso.setObjectName(QStringLiteral("ProgressoRicevutePEC"));
        progresso.setWindowTitle(QStringLiteral("Verifica ricevute PEC"));
        progresso.setWindowModality(Qt::WindowModal);
        progresso.setMinimumDuration(0);
        progresso.setAutoClose(false);
        progresso.setAutoReset(false);
        QEventLoop attesa;
        QObject::connect(&progresso, &QProgressDialog::canceled, &progresso, [&] {
            lettura->annulla = true;
            progresso.setLabelText(QStringLiteral("Annullamento in corso..."));
            progresso.show();
        });
        QObject::connect(lavoro, &QThread::finished, &attesa, &QEventLoop::quit);
        progresso.show();
        lavoro->start();
        attesa.exec();
        if (!lavoro->isFinished())
            lettura->annulla = true;
        lavoro->wait();
        delete lavoro;
        progresso.hide();
        if (!lettura->guasto.isEmpty()) {
            sz::ui::showWarning(parent, lettura->guasto);
            return {};
        }
        const LetturaCasella& l = lettura->esito;
        for (const MessaggioLetto& m : l.messaggi) {
            const QString fonte = QStringLiteral("IMAP UID %1").arg(m.uid);
            if (!m.errore.isEmpty())
                totali.illeggibile(fonte, m.errore);
            else
                totali.conta(fonte, m.archiviazione);
        }
        if (l.uidValiditaCambiata)
            nota += QStringLiteral("\n\nIl gestore ha rinumerato i messaggi della casella PEC: la casella è stata "
                                   "riletta dal primo messaggio; le ricevute già registrate non sono state registrate "
                                   "di nuovo.");
        if (l.restanti > 0)
            nota += QStringLiteral("\n\nAncora da leggere: %1 (ripetere la verifica).").arg(l.restanti);
        if (!l.errore.isEmpty()) {
            QString e = invii::unaRiga(l.errore);
            totali.errori << QStringLiteral("ATTENZIONE: ") + (e.endsWith(QLatin1Char('.')) ? e : e + QLatin1Char('.'));
        }
    } else {
        return {};
    }
    QMessageBox esito(totali.errori.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
                      QStringLiteral("Verifica ricevute PEC"), totali.testo() + QLatin1Char('.') + nota,
                      QMessageBox::Ok, parent);
    esito.setObjectName(QStringLiteral("EsitoRicevutePEC"));
    if (!totali.errori.isEmpty())
        esito.setDetailedText(totali.errori.join(QLatin1Char('\n')));
    sz::ui::showModal(&esito);
    return totali.errori;
}

} // namespace sz::pec
