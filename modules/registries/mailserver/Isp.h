#pragma once

#include "IspLogic.h"
#include "scadenzio/Widgets.h"

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace sz::db {
class Dataset;
}

// "Impostazioni - Email e Connessione": the outgoing-mail server and the company's
// sender address, one joined row always in editing, and a test message to oneself.
class TFrameISP : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameISP(QWidget* parent = nullptr);
    ~TFrameISP() override;

    sz::db::Dataset* ADOQueryISP() const { return m_dataset; }
    sz::ui::Navigator* navigator() const { return m_navigator; }
    const QList<sz::mailserver::Provider>& providers() const { return m_providers; }

    // What the test button sends through; tests put their own in place of the transport.
    using Sender = std::function<void(const sz::mail::Server&, const sz::mail::Message&)>;
    void setSender(Sender sender) { m_sender = std::move(sender); }

    bool hasUnsavedChanges() const override;
    bool saveChanges() override;
    void discardChanges() override;

private:
    QWidget* buildForm(QWidget* parent);
    void keepEditing();
    void showRow(); // what the binder does not show: security, provider, test button
    void fillProviders();
    void selectStoredProvider();
    void onProviderChosen(int index);
    void onSecurityChosen(sz::mail::Security security);
    void showSecurity(sz::mail::Security security);
    void setField(QLineEdit* edit, const QString& field, const QString& text);
    void updateTestButton();
    void updatePasswordWarning();
    void runTest();

    sz::db::Dataset* m_dataset = nullptr;
    sz::ui::FieldBinder* m_binder = nullptr;
    sz::ui::Navigator* m_navigator = nullptr;
    QList<sz::mailserver::Provider> m_providers;
    QComboBox* m_provider = nullptr;
    QLineEdit* m_smtp = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_mail = nullptr;
    QRadioButton* m_none = nullptr;
    QRadioButton* m_startTls = nullptr;
    QRadioButton* m_implicit = nullptr;
    QPushButton* m_test = nullptr;
    QLabel* m_passwordWarning = nullptr;
    QString m_readMail; // the company's address as read, so a change elsewhere is not overwritten
    Sender m_sender;
    bool m_showing = false;
};
