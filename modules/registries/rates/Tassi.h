#pragma once

#include "scadenzio/Widgets.h"

class QComboBox;
class QLineEdit;

// The rates late-payment interest is computed from: a list page and an edit page over
// t_tassi, one row per half-year of the ECB reference rate and per year of the legal rate.
class TFrameTassi : public sz::ui::ListEditFrame
{
    Q_OBJECT
public:
    explicit TFrameTassi(QWidget* parent = nullptr);
    ~TFrameTassi() override;

    sz::db::Dataset* tassi() const { return m_tassi; }
    QComboBox* tipoCombo() const { return m_tipo; }
    QLineEdit* tassoEdit() const { return m_tasso; }

protected:
    QString filterFor(const QString& typed) const override;
    QString deleteQuestion() const override;
    void checkSave() override;
    QWidget* firstField() const override;

private:
    void buildFields(QWidget* content);
    void showRow();
    void startEditing();

    sz::db::Dataset* m_tassi = nullptr;
    QComboBox* m_tipo = nullptr;
    QLineEdit* m_tasso = nullptr;
    bool m_showing = false;
};
