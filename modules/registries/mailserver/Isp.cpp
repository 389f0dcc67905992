#include "Isp.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ui.h"
#include "scadenzio/mail/Address.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameISP);

using sz::mail::Security;
namespace pf = sz::pianificazione;
using sz::ui::Navigator;

namespace {

const QStringList descrizione = {
    QStringLiteral("Permette di gestire e impostare i parametri necessari per l'invio di comunicazioni al Cliente a "
                   "mezzo mail."),
    QString(),
    QStringLiteral("- Connessione in uso: selezionare il fornitore di connettività in uso."),
    QStringLiteral("- Server della posta in uscita (SMTP): viene indicato dal fornitore della connettività in uso."),
    QStringLiteral("- Porta: generalmente la porta in uso è la 25 ma il fornitore di connettività può richiedere una "
                   "porta differente in casi particolari."),
    QStringLiteral("- Nome Utente: viene indicato dal fornitore della connettività in uso nel caso sia necessaria "
                   "l'autenticazione al server della posta in uscita (SMTP)."),
    QStringLiteral("- Password: viene indicato dal fornitore della connettività in uso nel caso sia necessaria "
                   "l'autenticazione al server della posta in uscita (SMTP)."),
    QStringLiteral("- Mail in uso: indica la mail utilizzata per inviare le comunicazioni ai Clienti."),
    QStringLiteral("- TLS: indica che la connessione richiede una crittografia di tipo TLS (necessario per caselle "
                   "mail di tipo gmail e hotmail)"),
    QStringLiteral("- Casella PEC: la casella è di posta certificata; le ricevute del gestore si leggono dal server "
                   "IMAP con lo stesso nome utente e la stessa password, e l'invio rispetta i messaggi al minuto "
                   "indicati."),
    QStringLiteral("- Invio automatico: ogni giorno lavorativo, all'ora indicata, questo computer crea (e, se "
                   "scelto, invia per email) tutte le lettere dovute, come farebbero \"Crea PDF\" e \"Invia\" su "
                   "ogni riga degli elenchi."),
};

const QString CaptionStartTls = QStringLiteral("Usa una connessione crittografata TLS");

// Both tables hold one row. A missing company row must not hide the server settings,
// and a missing settings row is made by the first save.
const QString Query = QStringLiteral(
    "SELECT t_ISP.ID, t_ISP.TLS, t_ISP.SSL, t_ISP.SMTP, t_ISP.\"User\", t_ISP.Pass, t_ISP.Port, "
    "t_ISP.InvioMailAutomatico, t_ISP.OraInvioAutomatico, t_ISP.InvioAutomaticoPerCliente, "
    "t_ISP.InvioAutomaticoAttivo, t_ISP.PEC, t_ISP.IMAP, t_ISP.PortaIMAP, t_ISP.PECMessaggiMinuto, "
    "t_ISP.PECInvioAutomatico, t_societa.Mail, t_societa.ID AS IDSocieta "
    "FROM t_ISP LEFT JOIN t_societa ON 1 = 1 ORDER BY t_ISP.ID, t_societa.ID");

QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setBuddy(buddy);
    return l;
}

// The same caption column in every group, so the fields line up down the page.
QGridLayout* fieldGrid(QGroupBox* box)
{
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(14, 18, 14, 14);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(9);
    grid->setColumnMinimumWidth(
        0, box->fontMetrics().horizontalAdvance(QStringLiteral("Server della posta in uscita (SMTP):")) + 8);
    grid->setColumnStretch(1, 1);
    return grid;
}

QLabel* note(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("LabelNota"));
    l->setWordWrap(true);
    return l;
}

} // namespace

TFrameISP::TFrameISP(QWidget* parent)
    : sz::ui::ModuleFrame(QStringLiteral("Email e connesione"), descrizione.join(QLatin1Char('\n')), parent),
      m_sender(sz::mail::send)
{
    setObjectName(QStringLiteral("FrameISP"));
    setStyleSheet(QStringLiteral("QLabel#LabelNota { color: #5a6b7c; }"));

    m_dataset = new sz::db::Dataset(connection(), QStringLiteral("t_ISP"), this);
    m_dataset->setObjectName(QStringLiteral("ADOQueryISP"));
    m_dataset->setSql(Query);
    m_dataset->open();
    // The row's UPDATE runs only when one of its own columns changed, and the company's
    // address is written inside that UPDATE's transaction: a change of the address alone
    // still needs it.
    m_dataset->beforePost = [this](sz::db::Dataset& ds) {
        const QString rifiuto =
            sz::mail::campoMailNonAmmesso(QStringLiteral("Mail in uso"), ds.value(QStringLiteral("Mail")).toString());
        if (!rifiuto.isEmpty()) {
            sz::ui::showMessage(this, rifiuto);
            throw sz::db::Abort();
        }
        if (const QString pec = sz::mailserver::problemaPec(campiPec()); !pec.isEmpty()) {
            sz::ui::showMessage(this, pec);
            throw sz::db::Abort();
        }
        ds.setValue(QStringLiteral("SMTP"), ds.value(QStringLiteral("SMTP")));
        // The time on the screen is the one the timer gets, also when it was never touched.
        const QString ora = m_ora->time().toString(QStringLiteral("HH:mm"));
        if (ds.value(QStringLiteral("OraInvioAutomatico")).toString() != ora)
            ds.setValue(QStringLiteral("OraInvioAutomatico"), ora);
    };
    m_dataset->withinPost = [this](sz::db::Dataset& ds) {
        sz::mailserver::writeCompanyMail(connection(), ds.value(QStringLiteral("IDSocieta")), m_readMail,
                                         ds.value(QStringLiteral("Mail")).toString());
    };
    m_dataset->afterPost = [this](sz::db::Dataset& ds) {
        m_readMail = ds.value(QStringLiteral("Mail")).toString();
        applySchedule();
    };
    m_binder = new sz::ui::FieldBinder(m_dataset, this);

    sz::ui::BarPage page = sz::ui::barOnPage(body(), {Navigator::Post, Navigator::Cancel}, m_dataset,
                                             QStringLiteral("sDBNavigator1"), false);
    m_navigator = page.navigator;
    page.layout->addWidget(buildForm(page.page), 1);
    connect(m_navigator, &Navigator::actionDone, this, [this](Navigator::Button b) {
        if (b == Navigator::Cancel) {
            // What another window saved meanwhile is what the user goes back to.
            m_dataset->requery();
            m_readMail = m_dataset->value(QStringLiteral("Mail")).toString();
            m_scheduleEdited = false;
            keepEditing();
            selectStoredProvider();
        } else {
            keepEditing();
        }
        showRow();
    });

    m_readMail = m_dataset->value(QStringLiteral("Mail")).toString();
    keepEditing();
    m_binder->load();
    fillProviders();
    selectStoredProvider();
    showRow();
    showScheduleState();
}

TFrameISP::~TFrameISP()
{
    // The dataset works on our connection, which the base class closes first.
    delete m_dataset;
}

QWidget* TFrameISP::buildForm(QWidget* parent)
{
    auto* scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget(scroll);
    auto* outer = new QHBoxLayout(inner);
    outer->setContentsMargins(18, 14, 18, 14);
    auto* content = new QWidget(inner);
    content->setMaximumWidth(900);
    auto* lay = new QVBoxLayout(content);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(14);
    outer->addWidget(content, 1);
    outer->addStretch(0);

    // Server.
    auto* server = new QGroupBox(QStringLiteral("Server della posta in uscita"), content);
    server->setObjectName(QStringLiteral("GroupServer"));
    auto* grid = fieldGrid(server);

    m_provider = new QComboBox(server);
    m_provider->setObjectName(QStringLiteral("ComboBoxISP"));
    m_provider->setMinimumWidth(320);
    m_provider->setMaxVisibleItems(20);
    connect(m_provider, &QComboBox::activated, this, &TFrameISP::onProviderChosen);

    m_smtp = new QLineEdit(server);
    m_smtp->setObjectName(QStringLiteral("DBEditSMTP"));
    sz::ui::makeUpperCase(m_smtp);
    m_binder->bind(m_smtp, QStringLiteral("SMTP"));

    m_port = new QLineEdit(server);
    m_port->setObjectName(QStringLiteral("DBEditPort"));
    m_port->setPlaceholderText(QStringLiteral("25"));
    m_port->setFixedWidth(80);
    m_binder->bind(m_port, QStringLiteral("Port"));

    m_user = new QLineEdit(server);
    m_user->setObjectName(QStringLiteral("DBEditUser"));
    m_binder->bind(m_user, QStringLiteral("User"));

    m_password = new QLineEdit(server);
    m_password->setObjectName(QStringLiteral("DBEditPass"));
    m_password->setEchoMode(QLineEdit::Password);
    m_binder->bind(m_password, QStringLiteral("Pass"));

    grid->addWidget(caption(QStringLiteral("Connesione in uso:"), m_provider, server), 0, 0);
    grid->addWidget(m_provider, 0, 1, 1, 3, Qt::AlignLeft);
    grid->addWidget(caption(QStringLiteral("Server della posta in uscita (SMTP):"), m_smtp, server), 1, 0);
    grid->addWidget(m_smtp, 1, 1);
    grid->addWidget(caption(QStringLiteral("Porta:"), m_port, server), 1, 2);
    grid->addWidget(m_port, 1, 3);
    grid->addWidget(caption(QStringLiteral("Nome utente (solo se richiesto):"), m_user, server), 2, 0);
    grid->addWidget(m_user, 2, 1, 1, 3);
    grid->addWidget(caption(QStringLiteral("Password (solo se richiesto):"), m_password, server), 3, 0);
    grid->addWidget(m_password, 3, 1, 1, 3);
    lay->addWidget(server);

    // Security: three plain choices, each with what it means.
    auto* security = new QGroupBox(QStringLiteral("Sicurezza della connessione"), content);
    security->setObjectName(QStringLiteral("GroupSicurezza"));
    auto* secLay = fieldGrid(security);
    m_none = new QRadioButton(QStringLiteral("Nessuna"), security);
    m_none->setObjectName(QStringLiteral("RadioNessuna"));
    m_startTls = new QRadioButton(QStringLiteral("STARTTLS"), security);
    m_startTls->setObjectName(QStringLiteral("RadioTLS"));
    m_startTls->setToolTip(CaptionStartTls);
    m_implicit = new QRadioButton(QStringLiteral("SSL/TLS (porta 465)"), security);
    m_implicit->setObjectName(QStringLiteral("RadioSSL"));
    const struct
    {
        QRadioButton* radio;
        QString meaning;
        const char* name;
    } choices[] = {
        {m_none, QStringLiteral("La connessione non è crittografata (porta 25)."), "LabelNessuna"},
        {m_startTls, CaptionStartTls + QStringLiteral(" dopo il collegamento (porta 587)."), "LabelTLS"},
        {m_implicit,
         QStringLiteral("Connessione crittografata fin dal primo collegamento, richiesta dalla posta certificata "
                        "(PEC)."),
         "LabelSSL"},
    };
    int row = 0;
    for (const auto& c : choices) {
        auto* meaning = note(c.meaning, security);
        meaning->setObjectName(QString::fromLatin1(c.name));
        meaning->setBuddy(c.radio);
        secLay->addWidget(c.radio, row, 0);
        secLay->addWidget(meaning, row, 1);
        ++row;
        connect(c.radio, &QRadioButton::toggled, this, [this, r = c.radio](bool on) {
            if (!on || m_showing)
                return;
            onSecurityChosen(r == m_implicit ? Security::Implicit
                                             : r == m_startTls ? Security::StartTls : Security::None);
        });
    }
    // Said where the choice is made: with a user name, "Nessuna" sends the password as
    // it is typed.
    m_passwordWarning = new QLabel(QStringLiteral("ATTENZIONE: senza sicurezza della connessione il nome utente e la "
                                                  "password viaggiano in chiaro, non crittografati, e chiunque sia "
                                                  "sulla rete può leggerli. Scegliere STARTTLS o SSL/TLS se il "
                                                  "server lo consente."),
                                   security);
    m_passwordWarning->setObjectName(QStringLiteral("LabelAvvisoPassword"));
    m_passwordWarning->setWordWrap(true);
    m_passwordWarning->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    m_passwordWarning->setVisible(false);
    secLay->addWidget(m_passwordWarning, row, 0, 1, 2);
    connect(m_none, &QRadioButton::toggled, this, &TFrameISP::updatePasswordWarning);
    m_pecSecurityWarning = new QLabel(security);
    m_pecSecurityWarning->setObjectName(QStringLiteral("LabelAvvisoSicurezzaPec"));
    m_pecSecurityWarning->setWordWrap(true);
    m_pecSecurityWarning->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    m_pecSecurityWarning->setVisible(false);
    secLay->addWidget(m_pecSecurityWarning, row + 1, 0, 1, 2);
    for (auto* r : {m_none, m_startTls, m_implicit})
        connect(r, &QRadioButton::toggled, this, &TFrameISP::updatePecSecurityWarning);
    connect(m_port, &QLineEdit::textChanged, this, &TFrameISP::updatePecSecurityWarning);
    lay->addWidget(security);
    lay->addWidget(buildPec(content));

    // Sender.
    auto* sender = new QGroupBox(QStringLiteral("Mittente"), content);
    sender->setObjectName(QStringLiteral("GroupMittente"));
    auto* sendLay = fieldGrid(sender);
    m_mail = new QLineEdit(sender);
    m_mail->setObjectName(QStringLiteral("DBEditMail"));
    m_binder->bind(m_mail, QStringLiteral("Mail"));
    sendLay->addWidget(caption(QStringLiteral("Mail in uso:"), m_mail, sender), 0, 0);
    sendLay->addWidget(m_mail, 0, 1);
    sendLay->addWidget(note(QStringLiteral("L'indirizzo da cui partono le comunicazioni ai Clienti; è lo stesso "
                                           "della mail in Anagrafiche - Utente."),
                            sender),
                       1, 1);
    lay->addWidget(sender);

    // The test.
    auto* testRow = new QHBoxLayout;
    testRow->setSpacing(12);
    m_test = new QPushButton(QStringLiteral("Esegui un test di verifica dei dati immessi"), content);
    m_test->setObjectName(QStringLiteral("ButtonTest"));
    m_test->setToolTip(QStringLiteral("Esegue un test di verifica inviando una mail alla propria casella di posta"));
    m_test->setCursor(Qt::PointingHandCursor);
    m_test->setEnabled(false);
    connect(m_test, &QPushButton::clicked, this, &TFrameISP::runTest);
    testRow->addWidget(m_test, 0, Qt::AlignTop);
    testRow->addWidget(note(QStringLiteral("Il test usa i dati così come sono sullo schermo, senza salvarli."),
                            content),
                       1);
    lay->addLayout(testRow);
    lay->addWidget(buildSchedule(content));
    lay->addStretch(1);

    connect(m_smtp, &QLineEdit::textChanged, this, &TFrameISP::updateTestButton);
    connect(m_mail, &QLineEdit::textChanged, this, &TFrameISP::updateTestButton);
    connect(m_user, &QLineEdit::textChanged, this, &TFrameISP::updatePasswordWarning);
    connect(m_smtp, &QLineEdit::textChanged, this, &TFrameISP::updateCertifiedMailWarning);

    scroll->setWidget(inner);
    return scroll;
}

void TFrameISP::keepEditing()
{
    if (m_dataset->state() != sz::db::Dataset::State::Browse)
        return;
    if (m_dataset->isEmpty())
        m_dataset->insert();
    else
        m_dataset->edit();
}

void TFrameISP::showRow()
{
    showSecurity(sz::mailserver::securityOf(m_dataset->value(QStringLiteral("TLS")).toBool(),
                                            m_dataset->value(QStringLiteral("SSL")).toBool()));
    updateTestButton();
    updatePasswordWarning();
    showPec();
    showSchedule();
}

void TFrameISP::fillProviders()
{
    m_provider->clear();
    m_providers = sz::mailserver::loadProviders();
    for (const auto& p : m_providers)
        m_provider->addItem(p.name);
}

void TFrameISP::selectStoredProvider()
{
    // A new settings row has no server to recognise.
    if (m_dataset->value(QStringLiteral("ID")).isNull())
        return;
    m_provider->setCurrentIndex(sz::mailserver::matchProvider(m_providers, m_smtp->text()));
}

void TFrameISP::onProviderChosen(int index)
{
    if (index < 0 || index >= m_providers.size())
        return;
    const auto& p = m_providers[index];
    setField(m_smtp, QStringLiteral("SMTP"), p.smtp.trimmed().toUpper());
    if (p.port)
        setField(m_port, QStringLiteral("Port"), QString::number(*p.port));
    if (p.security) {
        showSecurity(*p.security);
        onSecurityChosen(*p.security);
    }
    // A certified mailbox brings its incoming server; a plain one is no longer PEC. The
    // "other provider" line says nothing either way.
    if (const auto imap = sz::mailserver::proposteImap(p)) {
        keepEditing();
        m_dataset->setValue(QStringLiteral("PEC"), true);
        setField(m_imap, QStringLiteral("IMAP"), imap->host);
        setField(m_imapPort, QStringLiteral("PortaIMAP"), imap->porta);
    } else if (!p.smtp.trimmed().isEmpty()) {
        keepEditing();
        m_dataset->setValue(QStringLiteral("PEC"), false);
    }
    showPec();
    updateCertifiedMailWarning();
}

void TFrameISP::onSecurityChosen(Security security)
{
    keepEditing();
    const auto flags = sz::mailserver::flagsFor(security);
    m_dataset->setValue(QStringLiteral("TLS"), flags.tls);
    m_dataset->setValue(QStringLiteral("SSL"), flags.ssl);
    if (const auto port = sz::mailserver::proposedPort(security, m_port->text()))
        setField(m_port, QStringLiteral("Port"), *port);
}

void TFrameISP::showSecurity(Security security)
{
    m_showing = true;
    (security == Security::Implicit ? m_implicit : security == Security::StartTls ? m_startTls : m_none)
        ->setChecked(true);
    m_showing = false;
}

void TFrameISP::setField(QLineEdit* edit, const QString& field, const QString& text)
{
    keepEditing();
    edit->setText(text);
    m_dataset->setValue(field, text.isEmpty() ? QVariant() : QVariant(text));
}

QWidget* TFrameISP::buildPec(QWidget* parent)
{
    auto* box = new QGroupBox(QStringLiteral("Posta certificata (PEC)"), parent);
    box->setObjectName(QStringLiteral("GroupPEC"));
    auto* outer = new QVBoxLayout(box);
    outer->setContentsMargins(0, 0, 0, 0);

    auto* top = new QWidget(box);
    auto* topLay = new QGridLayout(top);
    topLay->setContentsMargins(14, 18, 14, 4);
    topLay->setHorizontalSpacing(10);
    topLay->setColumnMinimumWidth(
        0, box->fontMetrics().horizontalAdvance(QStringLiteral("Server della posta in uscita (SMTP):")) + 8);
    topLay->setColumnStretch(1, 1);
    m_pec = new QCheckBox(QStringLiteral("Casella PEC"), top);
    m_pec->setObjectName(QStringLiteral("CheckBoxPEC"));
    m_binder->bind(m_pec, QStringLiteral("PEC"));
    topLay->addWidget(m_pec, 0, 1);
    topLay->addWidget(note(QStringLiteral("La casella da cui partono le comunicazioni è di posta certificata: le "
                                          "ricevute del gestore sono la copia dell'azienda, senza copia nascosta."),
                           top),
                      1, 1);
    outer->addWidget(top);

    m_pecFields = new QWidget(box);
    m_pecFields->setObjectName(QStringLiteral("PannelloPEC"));
    auto* grid = new QGridLayout(m_pecFields);
    grid->setContentsMargins(14, 4, 14, 14);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(9);
    grid->setColumnMinimumWidth(
        0, box->fontMetrics().horizontalAdvance(QStringLiteral("Server della posta in uscita (SMTP):")) + 8);
    grid->setColumnStretch(1, 1);

    m_imap = new QLineEdit(m_pecFields);
    m_imap->setObjectName(QStringLiteral("EditIMAP"));
    sz::ui::makeUpperCase(m_imap);
    m_binder->bind(m_imap, QStringLiteral("IMAP"));
    m_imapPort = new QLineEdit(m_pecFields);
    m_imapPort->setObjectName(QStringLiteral("EditPortaIMAP"));
    m_imapPort->setPlaceholderText(QString::number(sz::mailserver::PortaImapPredefinita));
    m_imapPort->setFixedWidth(80);
    m_binder->bind(m_imapPort, QStringLiteral("PortaIMAP"));
    grid->addWidget(caption(QStringLiteral("Server IMAP:"), m_imap, m_pecFields), 0, 0);
    grid->addWidget(m_imap, 0, 1);
    grid->addWidget(caption(QStringLiteral("Porta IMAP:"), m_imapPort, m_pecFields), 0, 2);
    grid->addWidget(m_imapPort, 0, 3);
    grid->addWidget(note(QStringLiteral("Il server della posta in arrivo, da cui si leggono le ricevute, con lo stesso "
                                        "nome utente e la stessa password; connessione crittografata fin dal primo "
                                        "collegamento (generalmente porta 993)."),
                         m_pecFields),
                    1, 1, 1, 3);

    m_pace = new QSpinBox(m_pecFields);
    m_pace->setObjectName(QStringLiteral("EditPECMessaggiMinuto"));
    m_pace->setRange(1, 60);
    m_pace->setValue(sz::mailserver::MessaggiMinutoPredefiniti);
    m_pace->setFixedWidth(80);
    connect(m_pace, &QSpinBox::valueChanged, this, [this](int n) {
        if (m_showing)
            return;
        keepEditing();
        m_dataset->setValue(QStringLiteral("PECMessaggiMinuto"), n);
    });
    auto* paceRow = new QHBoxLayout;
    paceRow->setSpacing(10);
    paceRow->addWidget(m_pace);
    paceRow->addWidget(note(QStringLiteral("al massimo; oltre il limite il gestore rifiuta i messaggi (Legalmail: 6)."),
                            m_pecFields),
                       1);
    grid->addWidget(caption(QStringLiteral("Messaggi al minuto:"), m_pace, m_pecFields), 2, 0);
    grid->addLayout(paceRow, 2, 1, 1, 3);

    m_pecAutomatico =
        new QCheckBox(QStringLiteral("Il contratto del gestore consente l'invio automatico"), m_pecFields);
    m_pecAutomatico->setObjectName(QStringLiteral("CheckBoxPECAutomatico"));
    m_binder->bind(m_pecAutomatico, QStringLiteral("PECInvioAutomatico"));
    grid->addWidget(m_pecAutomatico, 3, 1, 1, 3);
    grid->addWidget(note(QStringLiteral("Senza questa spunta l'invio automatico giornaliero crea solo i PDF: le "
                                        "comunicazioni partono dalla casella PEC solo con «Invia» o da riga di "
                                        "comando."),
                         m_pecFields),
                    4, 1, 1, 3);
    outer->addWidget(m_pecFields);

    connect(m_binder, &sz::ui::FieldBinder::edited, this, [this](const QString& field) {
        if (field == QLatin1String("PECInvioAutomatico"))
            updateCertifiedMailWarning();
        if (field != QLatin1String("PEC"))
            return;
        // A mailbox just marked as PEC gets the usual incoming port.
        if (m_pec->isChecked() && m_imapPort->text().trimmed().isEmpty())
            setField(m_imapPort, QStringLiteral("PortaIMAP"), QString::number(sz::mailserver::PortaImapPredefinita));
        showPec();
        updateCertifiedMailWarning();
    });
    return box;
}

sz::mailserver::CampiPec TFrameISP::campiPec() const
{
    sz::mailserver::CampiPec c;
    c.pec = m_pec->isChecked();
    c.imap = m_imap->text();
    c.portaImap = m_imapPort->text();
    const QVariant pace = m_dataset->value(QStringLiteral("PECMessaggiMinuto"));
    c.messaggiMinuto = pace.isNull() ? QString() : pace.toString();
    c.sicurezza = m_implicit->isChecked()   ? Security::Implicit
                  : m_startTls->isChecked() ? Security::StartTls
                                            : Security::None;
    c.portaSmtp = m_port->text();
    return c;
}

void TFrameISP::showPec()
{
    m_showing = true;
    bool ok = false;
    const int n = m_dataset->value(QStringLiteral("PECMessaggiMinuto")).toInt(&ok);
    m_pace->setValue(ok && n >= 1 && n <= 60 ? n : sz::mailserver::MessaggiMinutoPredefiniti);
    m_showing = false;
    // Last: the tick, through its binding, may show the group again.
    m_pec->setChecked(m_dataset->value(QStringLiteral("PEC")).toBool());
    m_pecFields->setVisible(m_pec->isChecked());
    updatePecSecurityWarning();
}

void TFrameISP::updatePecSecurityWarning()
{
    if (!m_pecSecurityWarning || !m_pec)
        return;
    const QString avviso = sz::mailserver::avvisoSicurezzaPec(campiPec());
    m_pecSecurityWarning->setText(avviso);
    m_pecSecurityWarning->setVisible(!avviso.isEmpty());
}

void TFrameISP::updatePasswordWarning()
{
    m_passwordWarning->setVisible(m_none->isChecked() && !m_user->text().trimmed().isEmpty());
}

void TFrameISP::updateTestButton()
{
    m_test->setEnabled(!m_smtp->text().trimmed().isEmpty() && !m_mail->text().trimmed().isEmpty());
}

void TFrameISP::runTest()
{
    sz::mailserver::Fields fields;
    fields.smtp = m_smtp->text();
    fields.port = m_port->text();
    fields.user = m_user->text();
    fields.password = m_password->text();
    fields.security = m_implicit->isChecked()   ? Security::Implicit
                      : m_startTls->isChecked() ? Security::StartTls
                                                : Security::None;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString failure;
    try {
        // The mails of the letters would not leave with this sender either.
        if (const QString problema = sz::mail::problemaMittente(m_mail->text()); !problema.isEmpty())
            throw sz::Error(problema);
        m_sender(sz::mailserver::serverFromFields(fields), sz::mailserver::testMessage(m_mail->text(), m_smtp->text()));
    } catch (const sz::Error& e) {
        failure = sz::mailserver::testFailureText(e);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    // Never a busy cursor over the answer.
    QApplication::restoreOverrideCursor();
    if (failure.isEmpty())
        sz::ui::showMessage(this, sz::mailserver::testSuccessText());
    else
        sz::ui::showErrorText(this, failure);
}

bool TFrameISP::hasUnsavedChanges() const
{
    return m_dataset->isModified();
}

bool TFrameISP::saveChanges()
{
    if (!hasUnsavedChanges())
        return true;
    return m_navigator->click(Navigator::Post);
}

void TFrameISP::discardChanges()
{
    m_navigator->click(Navigator::Cancel);
}

QWidget* TFrameISP::buildSchedule(QWidget* parent)
{
    auto* box = new QGroupBox(QStringLiteral("Invio automatico"), parent);
    box->setObjectName(QStringLiteral("GroupInvioAutomatico"));
    auto* grid = fieldGrid(box);

    m_ora = new QTimeEdit(box);
    m_ora->setObjectName(QStringLiteral("TimeEditOraInvio"));
    m_ora->setDisplayFormat(QStringLiteral("HH:mm"));
    m_ora->setTime(QTime(8, 30));
    m_ora->setFixedWidth(90);
    connect(m_ora, &QTimeEdit::timeChanged, this, [this](QTime t) {
        setScheduleField(QStringLiteral("OraInvioAutomatico"), t.toString(QStringLiteral("HH:mm")));
    });
    auto* oraRow = new QHBoxLayout;
    oraRow->setSpacing(10);
    oraRow->addWidget(m_ora);
    oraRow->addWidget(note(QStringLiteral("dal lunedì al venerdì"), box), 1);
    grid->addWidget(caption(QStringLiteral("Esegui ogni giorno lavorativo alle"), m_ora, box), 0, 0);
    grid->addLayout(oraRow, 0, 1);

    // Two plain either-or choices, each a pair of radio buttons in its own row.
    auto pair = [this, box, grid](int row, const QString& label, QRadioButton*& first, const QString& firstText,
                                  const char* firstName, QRadioButton*& second, const QString& secondText,
                                  const char* secondName, const QString& field, bool secondMeansTrue) {
        auto* holder = new QWidget(box);
        auto* h = new QHBoxLayout(holder);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(18);
        first = new QRadioButton(firstText, holder);
        first->setObjectName(QString::fromLatin1(firstName));
        second = new QRadioButton(secondText, holder);
        second->setObjectName(QString::fromLatin1(secondName));
        h->addWidget(first);
        h->addWidget(second);
        h->addStretch(1);
        grid->addWidget(caption(label, first, box), row, 0);
        grid->addWidget(holder, row, 1);
        connect(second, &QRadioButton::toggled, this, [this, field, secondMeansTrue](bool on) {
            setScheduleField(field, secondMeansTrue ? on : !on);
            updateCertifiedMailWarning();
        });
    };
    pair(1, QStringLiteral("Lettere:"), m_perDocumento, QStringLiteral("Una per documento"), "RadioPerDocumento",
         m_perCliente, QStringLiteral("Una per cliente (tutti i suoi documenti)"), "RadioPerCliente",
         QStringLiteral("InvioAutomaticoPerCliente"), true);
    pair(2, QStringLiteral("Canale:"), m_invioMail, QStringLiteral("Crea il PDF e invialo per email"), "RadioInvioMail",
         m_soloPdf, QStringLiteral("Solo PDF"), "RadioSoloPdf", QStringLiteral("InvioMailAutomatico"), false);

    m_attiva = new QCheckBox(QStringLiteral("Attiva"), box);
    m_attiva->setObjectName(QStringLiteral("CheckBoxAttiva"));
    m_binder->bind(m_attiva, QStringLiteral("InvioAutomaticoAttivo"));
    connect(m_binder, &sz::ui::FieldBinder::edited, this, [this](const QString& field) {
        if (field == QLatin1String("InvioAutomaticoAttivo"))
            m_scheduleEdited = true;
    });
    connect(m_attiva, &QCheckBox::toggled, this, &TFrameISP::updateCertifiedMailWarning);
    grid->addWidget(m_attiva, 3, 1);

    m_avvisoPec = new QLabel(box);
    m_avvisoPec->setObjectName(QStringLiteral("LabelAvvisoPec"));
    m_avvisoPec->setWordWrap(true);
    m_avvisoPec->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    m_avvisoPec->setVisible(false);
    grid->addWidget(m_avvisoPec, 4, 0, 1, 2);

    m_statoPianificazione = new QLabel(box);
    m_statoPianificazione->setObjectName(QStringLiteral("LabelStatoPianificazione"));
    m_statoPianificazione->setWordWrap(true);
    m_statoPianificazione->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(m_statoPianificazione, 5, 0, 1, 2);

    // The line to copy into the crontab where the user's systemd is out of reach.
    m_crontab = new QLabel(box);
    m_crontab->setObjectName(QStringLiteral("LabelCrontab"));
    m_crontab->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_crontab->setTextFormat(Qt::PlainText);
    m_crontab->setWordWrap(true);
    m_crontab->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_crontab->setStyleSheet(QStringLiteral("background: #f3f5f7; border: 1px solid #c9d1d9; padding: 4px;"));
    m_crontab->setVisible(false);
    grid->addWidget(m_crontab, 6, 0, 1, 2);

    grid->addWidget(note(QStringLiteral("Le lettere partono da questo computer, se è acceso e l'utente ha una sessione "
                                        "aperta; un giorno perso a computer spento viene recuperato alla prima "
                                        "accensione. Nessun credito riceve più di una lettera al giorno, nemmeno "
                                        "con più computer programmati."),
                         box),
                    7, 0, 1, 2);
    return box;
}

void TFrameISP::setScheduleField(const QString& field, const QVariant& value)
{
    if (m_showing)
        return;
    keepEditing();
    m_dataset->setValue(field, value);
    m_scheduleEdited = true;
}

void TFrameISP::showSchedule()
{
    m_showing = true;
    m_ora->setTime(pf::leggiOra(m_dataset->value(QStringLiteral("OraInvioAutomatico")).toString())
                       .value_or(QTime(8, 30)));
    (m_dataset->value(QStringLiteral("InvioAutomaticoPerCliente")).toBool() ? m_perCliente : m_perDocumento)
        ->setChecked(true);
    (m_dataset->value(QStringLiteral("InvioMailAutomatico")).toBool() ? m_invioMail : m_soloPdf)->setChecked(true);
    m_showing = false;
    updateCertifiedMailWarning();
}

void TFrameISP::updateCertifiedMailWarning()
{
    const QString avviso =
        pf::avvisoInvioAutomatico(m_smtp->text(), m_pec && m_pec->isChecked(), m_pecAutomatico && m_pecAutomatico->isChecked());
    m_avvisoPec->setText(avviso);
    m_avvisoPec->setVisible(!avviso.isEmpty() && m_attiva->isChecked() && m_invioMail->isChecked());
}

void TFrameISP::showScheduleState(const pf::Esito* esito)
{
    const pf::Stato s = pf::stato();
    QString text = pf::descrizione(s);
    QString crontab;
    const bool attivo = m_dataset->value(QStringLiteral("InvioAutomaticoAttivo")).toBool();
    if (esito) {
        if (!esito->ok || esito->systemdAssente)
            text = esito->messaggio;
        crontab = esito->crontab;
    } else if (attivo && !s.installato) {
        if (s.raggiungibile) {
            text += QStringLiteral(" L'invio automatico è attivo nelle impostazioni (forse programmato su un altro "
                                   "computer): salvando, viene programmato anche su questo.");
        } else {
            text += QStringLiteral(" Per eseguire l'invio automatico con cron, aggiungere la riga seguente con il "
                                   "comando «crontab -e».");
            crontab = pf::rigaCrontab(m_ora->time(), pf::percorsoCli());
        }
    }
    m_statoPianificazione->setText(text);
    m_crontab->setText(crontab);
    m_crontab->setVisible(!crontab.isEmpty());
}

void TFrameISP::applySchedule()
{
    const bool attivo = m_dataset->value(QStringLiteral("InvioAutomaticoAttivo")).toBool();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const pf::Esito esito = pf::allinea(attivo, m_ora->time());
    QApplication::restoreOverrideCursor();
    showScheduleState(&esito);
    // The settings are saved either way; what did not happen on this computer is said at
    // once when the user asked for it, and stays on the page after any other save.
    if (attivo && m_scheduleEdited && (!esito.ok || esito.systemdAssente))
        sz::ui::showWarning(this, esito.messaggio);
    m_scheduleEdited = false;
}
