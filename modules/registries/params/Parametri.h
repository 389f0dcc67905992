#pragma once

#include "scadenzio/Widgets.h"

class QSpinBox;

namespace sz::db {
class Dataset;
}

// The dunning thresholds per payment mode: a list page and an edit page.
class TFrameParametri : public sz::ui::ListEditFrame
{
    Q_OBJECT
public:
    explicit TFrameParametri(QWidget* parent = nullptr);
    ~TFrameParametri() override;

    sz::db::Dataset* ADOQueryParametri() const { return m_parametri; }
    bool dettaglioVisibile() const;
    bool hasUnsavedChanges() const override;
    bool saveChanges() override;

protected:
    QString filterFor(const QString& typed) const override;
    QString deleteQuestion() const override;
    void checkSave() override;
    QWidget* firstField() const override { return m_modalita; }
    void beforeListAction(sz::ui::Navigator::Button b) override;

private:
    void creaCampi(QWidget* page);
    QSpinBox* aggiungiGiorni(class QVBoxLayout* lay, const QString& nome, const QString& didascalia,
                             const QString& esempio, int minimo, int massimo = 99,
                             const QString& suggerimento = QString());

    sz::db::Dataset* m_parametri = nullptr;
    QLineEdit* m_modalita = nullptr;
    QSpinBox* m_preavviso = nullptr;
    QSpinBox* m_sollecito1 = nullptr;
    QSpinBox* m_sollecito2 = nullptr;
    QSpinBox* m_sollecito3 = nullptr;
    QSpinBox* m_giorniTraSolleciti = nullptr;
};
