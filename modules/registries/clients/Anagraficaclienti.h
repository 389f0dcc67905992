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
class TFrameAnagraficaClienti : public sz::ui::ListEditFrame
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

protected:
    QString filterFor(const QString& typed) const override;
    QString deleteQuestion() const override;
    void checkSave() override;
    QWidget* firstField() const override { return m_ragioneSociale; }
    void beforeListAction(sz::ui::Navigator::Button b) override;
    void afterListAction(sz::ui::Navigator::Button b) override;

private:
    void creaCampi(QWidget* content);
    QLineEdit* aggiungiCampo(class QFormLayout* form, const QString& nome, const QString& didascalia,
                             const QString& campo, const QString& suggerimento, int lunghezza, bool maiuscolo);
    // The name before the edit when the user renames a client who has credits and wants
    // them renamed too; empty otherwise.
    QString nomeDaRinominare();
    void ComboAnnoChange();
    void CheckTuttiGliAnniClick();

    sz::db::Dataset* m_clienti = nullptr;
    QLineEdit* m_ragioneSociale = nullptr;
    QComboBox* m_comboAnno = nullptr;
    QCheckBox* m_tutti = nullptr;
    GraficoCliente* m_grafico = nullptr;
};
