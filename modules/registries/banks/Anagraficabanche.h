#pragma once

#include "scadenzio/Widgets.h"

class QLineEdit;

// The firm's own banks, whose details the letters give clients for paying: a list
// page and an edit page over t_banche.
class TFrameAnagraficaBanche : public sz::ui::ListEditFrame
{
    Q_OBJECT
public:
    explicit TFrameAnagraficaBanche(QWidget* parent = nullptr);

    sz::db::Dataset* banche() const { return dataset(); }
    QLineEdit* nameEdit() const { return m_nome; }
    QLineEdit* branchEdit() const { return m_agenzia; }
    QLineEdit* ibanEdit() const { return m_iban; }

protected:
    QString filterFor(const QString& typed) const override;
    QString deleteQuestion() const override;
    void checkSave() override;
    QWidget* firstField() const override { return m_nome; }

private:
    void buildFields(QWidget* content);

    QLineEdit* m_nome = nullptr;
    QLineEdit* m_agenzia = nullptr;
    QLineEdit* m_iban = nullptr;
};
