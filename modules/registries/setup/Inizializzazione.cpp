#include "Inizializzazione.h"

#include "CompanyForm.h"
#include "Demo.h"

#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ui.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameInizializzazione);

TFrameInizializzazione::TFrameInizializzazione(QWidget* parent)
    : sz::ui::ModuleFrame(QStringLiteral("Anagrafica Utente"), QString(), parent)
{
    setObjectName(QStringLiteral("FrameInizializzazione"));
    setMinimumSize(1000, 600);
    auto* lay = new QVBoxLayout(body());
    lay->setContentsMargins(12, 10, 12, 12);
    m_pages = new QTabWidget(body());
    m_pages->setObjectName(QStringLiteral("PageControl"));
    m_pages->setDocumentMode(true);
    m_form = new sz::company::CompanyForm(connection(), m_pages);
    m_form->setObjectName(QStringLiteral("TabAnagrafica"));
    m_pages->addTab(m_form, QStringLiteral("Inserisci l'anagrafica utente"));
    lay->addWidget(m_pages);

    // A way to see the program at work before typing anything of the firm's own.
    auto* prova = new QHBoxLayout;
    prova->setContentsMargins(0, 8, 0, 0);
    auto* spiegazione = new QLabel(
        QStringLiteral("Volete vedere prima il programma all'opera? Una ditta dimostrativa con clienti, crediti e "
                       "solleciti in ogni fase."),
        body());
    spiegazione->setObjectName(QStringLiteral("LabelDatiDimostrativi"));
    spiegazione->setWordWrap(true);
    m_demo = new QPushButton(QStringLiteral("Prova con dati dimostrativi"), body());
    m_demo->setObjectName(QStringLiteral("BottoneDatiDimostrativi"));
    prova->addWidget(spiegazione, 1);
    prova->addWidget(m_demo);
    lay->addLayout(prova);
    connect(m_demo, &QPushButton::clicked, this, &TFrameInizializzazione::BottoneDatiDimostrativiClick);
    // Whatever the database path, the setup may set the logo: no server check here.
    connect(m_form, &sz::company::CompanyForm::saved, this, [] { sz::ui::restartProgram(); });
}

TFrameInizializzazione::~TFrameInizializzazione()
{
    // The form's dataset works on our connection, which the base class closes first.
    delete m_form;
}

void TFrameInizializzazione::BottoneDatiDimostrativiClick()
{
    if (!sz::ui::askYesNo(this, QStringLiteral("Caricare i dati dimostrativi? Il programma si riaprirà con la ditta "
                                               "\"DEMO FORNITURE SRL\", 25 clienti e 300 crediti da provare; quanto "
                                               "inserito qui non sarà salvato.")))
        return;
    QString riepilogo;
    try {
        riepilogo = sz::demo::testoRiepilogo(sz::demo::crea(connection()));
    } catch (const sz::Error& e) {
        if (sz::demo::rifiuto(e.message()))
            sz::ui::showErrorText(this, e.message());
        else
            sz::ui::showError(this, e.message());
        return;
    }
    sz::ui::showMessage(this, riepilogo);
    sz::ui::restartProgram();
}
