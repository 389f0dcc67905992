#pragma once

#include "IspLogic.h"
#include "scadenzio/Pianificazione.h"
#include "scadenzio/Widgets.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QTimeEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QGroupBox;

namespace sz::db {
class Dataset;
}

// "Impostazioni - Email e Connessione": the outgoing-mail server and the company's
// sender address, one joined row always in editing, a test message to oneself, and the
// daily unattended run, whose timer on this computer every save brings in line.
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
    QWidget* buildSchedule(QWidget* parent);
    void showSchedule();
    void setScheduleField(const QString& field, const QVariant& value);
    void updateCertifiedMailWarning();
    QWidget* buildPec(QWidget* parent);
    void showPec();
    void updatePecSecurityWarning();
    sz::mailserver::CampiPec campiPec() const;
    // What the timer of this computer is, or what the last save did to it.
    void showScheduleState(const sz::pianificazione::Esito* esito = nullptr);
    void applySchedule();

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
    QCheckBox* m_pec = nullptr;
    QWidget* m_pecFields = nullptr;
    QLineEdit* m_imap = nullptr;
    QLineEdit* m_imapPort = nullptr;
    QSpinBox* m_pace = nullptr;
    QCheckBox* m_pecAutomatico = nullptr;
    QLabel* m_pecSecurityWarning = nullptr;
    QTimeEdit* m_ora = nullptr;
    QRadioButton* m_perDocumento = nullptr;
    QRadioButton* m_perCliente = nullptr;
    QRadioButton* m_invioMail = nullptr;
    QRadioButton* m_soloPdf = nullptr;
    QCheckBox* m_attiva = nullptr;
    QLabel* m_avvisoPec = nullptr;
    QLabel* m_statoPianificazione = nullptr;
    QLabel* m_crontab = nullptr;
    bool m_scheduleEdited = false; // the group was changed since the last save
    QString m_readMail; // the company's address as read, so a change elsewhere is not overwritten
    Sender m_sender;
    bool m_showing = false;
};
