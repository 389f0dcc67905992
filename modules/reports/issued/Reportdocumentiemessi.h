#pragma once

#include "DocumentiEmessiLogic.h"

#include "scadenzio/Widgets.h"

#include <QList>

class QLabel;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;

// "Report - Documenti emessi": the credits a letter was issued for, by their latest
// letter, or every letter of the log, filtered by client, kind and issue dates, and
// printed as a list.
class TFrameReportDocumentiEmessi : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameReportDocumentiEmessi(QWidget* parent = nullptr);
    ~TFrameReportDocumentiEmessi() override;

    sz::db::Dataset* ADOQueryCrediti = nullptr;
    sz::db::Dataset* ADOQuerySocieta = nullptr;
    sz::db::Dataset* ADOQueryInvii = nullptr; // every letter of the log

    QWidget* RadioElenco = nullptr;
    QRadioButton* RadioUltima = nullptr;
    QRadioButton* RadioTutte = nullptr;
    QToolButton* BottoneEsporta = nullptr;

    QLineEdit* EditFiltro = nullptr;
    QRadioButton* FiltroPreavviso = nullptr;
    QRadioButton* FiltroSollecito1 = nullptr;
    QRadioButton* FiltroSollecito2 = nullptr;
    QRadioButton* FiltroSollecito3 = nullptr;
    QRadioButton* FiltroTutte = nullptr;
    sz::ui::DateBox* EditFiltroDal = nullptr;
    sz::ui::DateBox* EditFiltroAl = nullptr;
    sz::ui::Grid* sDBGrid1 = nullptr;
    sz::ui::Grid* GridComunicazioni = nullptr;
    QLabel* LabelTotale = nullptr; // "Righe: N" of the list shown
    QPushButton* BottoneInviaPerCliente = nullptr;
    QPushButton* BottoneApriPDF = nullptr; // the log list's current letter
    QPushButton* BottoneVerificaRicevutePEC = nullptr;
    QPushButton* BottoneApriRicevuta = nullptr; // the log list's current certified letter

    // The filter the boxes and choices make now.
    sz::issued::Filtro filtro() const;
    void GestisciFiltro();
    void sDBGrid1TitleClick(int column);
    void GridComunicazioniTitleClick(int column);
    // Shows the other list, read with the filters as they are.
    void RadioElencoClick();
    // Opens the PDF of the current letter of the log list, or says why it cannot.
    void BottoneApriPDFClick();
    // Opens the receipt of the current certified letter of the log list, or says why it cannot.
    void BottoneApriRicevutaClick();
    sz::ui::Grid* grigliaMostrata() const;
    void BottoneInviaPerClienteClick();

    // What the last print rendered (tests look at it).
    const sz::report::Filling& ultimaStampa() const { return m_stampa; }

private:
    void aggiornaTotale();
    void aggiornaApriPdf();

    QStackedWidget* griglie = nullptr;
    QList<QPair<QRadioButton*, sz::issued::Tipo>> m_tipi;
    sz::report::Filling m_stampa;
    int m_pecDaControllare = 0;
};
