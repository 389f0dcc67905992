#pragma once

#include <QDialog>

class QLabel;

// The product, its version and the user's company name, read afresh at every opening.
class TInformazioniForm : public QDialog
{
    Q_OBJECT
public:
    explicit TInformazioniForm(QWidget* parent = nullptr);
    QString companyName() const;

private:
    void adattaAlTesto();
    QLabel* m_company = nullptr;
};
