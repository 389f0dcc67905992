#pragma once

#include "DocumentiEmessiLogic.h"

#include "scadenzio/Widgets.h"

#include <QList>

class QPushButton;
class QRadioButton;

// "Report - Documenti emessi": the credits a letter was issued for, by their latest
// letter, filtered by client, kind and issue dates, and printed as a list.
class TFrameReportDocumentiEmessi : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameReportDocumentiEmessi(QWidget* parent = nullptr);
    ~TFrameReportDocumentiEmessi() override;

    sz::db::Dataset* ADOQueryCrediti = nullptr;
    sz::db::Dataset* ADOQuerySocieta = nullptr;

    QLineEdit* EditFiltro = nullptr;
    QRadioButton* FiltroPreavviso = nullptr;
    QRadioButton* FiltroSollecito1 = nullptr;
    QRadioButton* FiltroSollecito2 = nullptr;
    QRadioButton* FiltroSollecito3 = nullptr;
    QRadioButton* FiltroTutte = nullptr;
    sz::ui::DateBox* EditFiltroDal = nullptr;
    sz::ui::DateBox* EditFiltroAl = nullptr;
    sz::ui::Grid* sDBGrid1 = nullptr;
    QPushButton* BottoneInviaPerCliente = nullptr;

    // The filter the boxes and choices make now.
    sz::issued::Filtro filtro() const;
    void GestisciFiltro();
    void sDBGrid1TitleClick(int column);
    void BottoneInviaPerClienteClick();

    // What the last print rendered (tests look at it).
    const sz::report::Filling& ultimaStampa() const { return m_stampa; }

private:
    QList<QPair<QRadioButton*, sz::issued::Tipo>> m_tipi;
    sz::report::Filling m_stampa;
};
