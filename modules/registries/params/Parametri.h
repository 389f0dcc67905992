#pragma once

#include "scadenzio/Widgets.h"

class QSpinBox;
class QStackedWidget;

namespace sz::db {
class Dataset;
}

// The dunning thresholds per payment mode: a list page and an edit page.
class TFrameParametri : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameParametri(QWidget* parent = nullptr);
    ~TFrameParametri() override;

    sz::db::Dataset* ADOQueryParametri() const { return m_parametri; }
    bool dettaglioVisibile() const;

private:
    QWidget* creaPaginaElenco();
    QWidget* creaPaginaDettaglio();
    QSpinBox* aggiungiGiorni(class QVBoxLayout* lay, const QString& nome, const QString& didascalia,
                             const QString& esempio, int minimo);
    void MostraElenco();
    void MostraDettaglio();

    void sDBNavigator1BeforeAction(sz::ui::Navigator::Button b);
    void sDBNavigator2BeforeAction(sz::ui::Navigator::Button b);
    void sDBGrid1DblClick();
    void EditFiltroChange(const QString& testo);

    sz::db::Dataset* m_parametri = nullptr;
    sz::ui::FieldBinder* m_binder = nullptr;
    QStackedWidget* m_pagine = nullptr;
    QWidget* m_elenco = nullptr;
    QWidget* m_dettaglio = nullptr;
    sz::ui::Navigator* m_nav1 = nullptr;
    sz::ui::Navigator* m_nav2 = nullptr;
    sz::ui::Grid* m_grid = nullptr;
    QLineEdit* m_filtro = nullptr;
    QLineEdit* m_modalita = nullptr;
    QSpinBox* m_preavviso = nullptr;
    QSpinBox* m_sollecito1 = nullptr;
    QSpinBox* m_sollecito2 = nullptr;
    QSpinBox* m_sollecito3 = nullptr;
};
