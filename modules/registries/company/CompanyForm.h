#pragma once

#include "SocietaLogic.h"
#include "scadenzio/Widgets.h"

#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

namespace sz::db {
class Connection;
class Dataset;
} // namespace sz::db

// The company profile form shared by the registry frame and the first-run setup: the
// single row of t_societa, always in editing, and the company logo under the data root.
namespace sz::company {

// Copies the picture (PNG, JPEG, GIF or BMP) into a BMP of the same pixel size at
// target. Throws sz::Error when the picture cannot be read or the BMP not written.
void convertLogo(const QString& source, const QString& target);

class CompanyForm : public QWidget
{
    Q_OBJECT
public:
    CompanyForm(db::Connection& conn, QWidget* parent = nullptr);
    ~CompanyForm() override;

    db::Dataset* dataset() const { return m_dataset; }
    ui::Navigator* navigator() const { return m_navigator; }

    // Adds the (hidden) notice shown when the logo may only be changed on the server.
    void addServerNotice();
    // Locks the logo controls and shows the notice, or releases them.
    void setLogoLocked(bool locked);
    bool logoLocked() const { return m_logoLocked; }

    // Caps the width of the field columns so that a wide frame keeps a readable form.
    static constexpr int FormMaxWidth = 1180;

signals:
    // The row was written: the checks passed and the logo rule ran.
    void saved();

private:
    QLineEdit* addEdit(const QString& objectName, const QString& field, int maxLength, bool upper);
    QGroupBox* buildCompanyGroup();
    QGroupBox* buildContactGroup();
    QGroupBox* buildLogoGroup();
    QGroupBox* buildDunningGroup();
    void showTerm();

    void beforeSave();  // throws db::Abort to keep the row in editing
    void storeLogo();   // throws db::Abort when the picture is unusable
    void keepEditing(); // the form is never left in browse state
    void showRowLogo(); // logo controls as the current row says
    void onLogoToggled(bool checked);
    void onFileChanged(const QString& text);
    void browse();
    void showPreview(const QString& file);
    void updateLogoControls();

    db::Dataset* m_dataset = nullptr;
    ui::FieldBinder* m_binder = nullptr;
    ui::Navigator* m_navigator = nullptr;
    QCheckBox* m_checkLogo = nullptr;
    QLineEdit* m_fileLogo = nullptr;
    QPushButton* m_browse = nullptr;
    QLabel* m_preview = nullptr;
    QLabel* m_serverNotice = nullptr;
    QLabel* m_noLogo = nullptr;
    QCheckBox* m_interest = nullptr;
    QCheckBox* m_compensation = nullptr;
    QSpinBox* m_term = nullptr;
    QVBoxLayout* m_logoLayout = nullptr;
    bool m_logoLocked = false;
    bool m_settingFile = false;
};

} // namespace sz::company
