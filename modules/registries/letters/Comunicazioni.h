#pragma once

#include "scadenzio/Widgets.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace sz::report {
struct Filling;
}

// "Impostazioni - Comunicazioni": the texts of the letters, one template per kind, and
// a preview of a kind's letter with test data.
class TFrameComunicazioni : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameComunicazioni(QWidget* parent = nullptr);
    ~TFrameComunicazioni() override;

    sz::db::Dataset* ADOQueryComunicazioni = nullptr;
    sz::db::Dataset* ADOQuerySocieta = nullptr;
    sz::db::Dataset* ADOQueryBanche = nullptr;

    QComboBox* sComboBox1 = nullptr;
    QLineEdit* EditOggetto = nullptr;
    QPlainTextEdit* MemoIntroduzione = nullptr;
    QPlainTextEdit* MemoFinale = nullptr;
    sz::ui::Navigator* sDBNavigator1 = nullptr;
    QPushButton* sButton1 = nullptr;
    QLabel* MemoCampi = nullptr; // the tags a text may hold, read-only

    bool hasUnsavedChanges() const override;
    bool saveChanges() override;
    void discardChanges() override;

    void sComboBox1Change();
    void sButton1Click();

    // What the last preview rendered (tests look at it).
    const sz::report::Filling& ultimaAnteprima() const;

private:
    QString tipologiaScelta() const;

    sz::ui::FieldBinder* m_binder = nullptr;
    int m_indice = 0; // the kind the boxes show
    std::unique_ptr<sz::report::Filling> m_anteprima;
};
