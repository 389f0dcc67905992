#pragma once

#include "scadenzio/Widgets.h"

class GraficoCliente;
class QCheckBox;
class QComboBox;
class QStackedWidget;

namespace sz::db {
class Dataset;
}

// The client registry: a list page and an edit page with the client's chart.
class TFrameAnagraficaClienti : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameAnagraficaClienti(QWidget* parent = nullptr);
    ~TFrameAnagraficaClienti() override;

    sz::db::Dataset* ADOQueryClienti() const { return m_clienti; }
    GraficoCliente* grafico() const { return m_grafico; }
    bool dettaglioVisibile() const;

    // Reloads the chart for the current row and the chosen year (or all years).
    void CaricaStatistiche();

private:
    QWidget* creaPaginaElenco();
    QWidget* creaPaginaDettaglio();
    QLineEdit* aggiungiCampo(class QFormLayout* form, const QString& nome, const QString& didascalia,
                             const QString& campo, const QString& suggerimento, int lunghezza, bool maiuscolo);
    void MostraElenco();
    void MostraDettaglio(QWidget* fuoco = nullptr);

    void sDBNavigator1BeforeAction(sz::ui::Navigator::Button b);
    void sDBNavigator1Click(sz::ui::Navigator::Button b);
    void sDBNavigator3BeforeAction(sz::ui::Navigator::Button b);
    void sDBGrid1DblClick();
    // The name before the edit when the user renames a client who has credits and wants
    // them renamed too; empty otherwise.
    QString nomeDaRinominare();
    void EditFiltroChange(const QString& testo);
    void ComboAnnoChange();
    void CheckTuttiGliAnniClick();

    sz::db::Dataset* m_clienti = nullptr;
    sz::ui::FieldBinder* m_binder = nullptr;
    QStackedWidget* m_pagine = nullptr;
    QWidget* m_elenco = nullptr;
    QWidget* m_dettaglio = nullptr;
    sz::ui::Navigator* m_nav1 = nullptr;
    sz::ui::Navigator* m_nav3 = nullptr;
    sz::ui::Grid* m_grid = nullptr;
    QLineEdit* m_filtro = nullptr;
    QLineEdit* m_ragioneSociale = nullptr;
    QComboBox* m_comboAnno = nullptr;
    QCheckBox* m_tutti = nullptr;
    GraficoCliente* m_grafico = nullptr;
};
