#pragma once

#include "scadenzio/Widgets.h"

#include <QDate>

class GraficoCliente;
namespace sz::ui {
class DateBox;
}
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
    QComboBox* tipoCliente() const { return m_tipoCliente; }
    bool dettaglioVisibile() const;

    // Reloads the chart for the current row and the chosen year (or all years).
    void CaricaStatistiche();
    // The tooltip of a visible row's "Sospensione" cell: the reason of a suspension in force.
    QString suggerimentoSospensione(int riga) const;

protected:
    QString filterFor(const QString& typed) const override;
    QString deleteQuestion() const override;
    void checkSave() override;
    QWidget* firstField() const override { return m_ragioneSociale; }
    void beforeListAction(sz::ui::Navigator::Button b) override;
    void afterListAction(sz::ui::Navigator::Button b) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void creaCampi(QWidget* content);
    QWidget* creaSospensione(QWidget* parent);
    void creaFiltroSospesi();
    QLineEdit* aggiungiCampo(class QFormLayout* form, const QString& nome, const QString& didascalia,
                             const QString& campo, const QString& suggerimento, int lunghezza, bool maiuscolo);
    // The name before the edit when the user renames a client who has credits and wants
    // them renamed too; empty otherwise.
    QString nomeDaRinominare();
    // The end of the suspension as read, before this edit (null for a new row).
    QDate sospesoFinoLetto() const;
    void creaTipoCliente(class QFormLayout* form, QLineEdit* cf, QLineEdit* iva);
    void mostraTipoCliente();
    void tipoScelto(int indice);
    void proponiConsumatore();
    void ComboAnnoChange();
    void CheckTuttiGliAnniClick();

    sz::db::Dataset* m_clienti = nullptr;
    QLineEdit* m_ragioneSociale = nullptr;
    QComboBox* m_comboAnno = nullptr;
    QComboBox* m_tipoCliente = nullptr;
    bool m_tipoSceltoQui = false; // the user picked the kind in this edit: no proposal overrides it
    bool m_tipoProposto = false;  // "CONSUMATORE" is the program's proposal of this edit
    QCheckBox* m_tutti = nullptr;
    GraficoCliente* m_grafico = nullptr;
    QCheckBox* m_sospendi = nullptr;
    sz::ui::DateBox* m_sospesoFino = nullptr;
    QLineEdit* m_motivo = nullptr;
    QCheckBox* m_soloSospesi = nullptr;
    QDate m_clientiLetti; // the day the "Sospensione" column was worked out for
};
