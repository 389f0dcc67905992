// The company profile form, in the registry frame and in the first-run setup: the
// checks before a save, the company logo under the data root, the server lock, the
// restart after the setup.
#include "TestEnv.h"

#include "Anagraficasocieta.h"
#include "CompanyForm.h"
#include "Inizializzazione.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QSpinBox>
#include <QtTest>

using sz::company::CompanyForm;
using sz::db::Dataset;
using sz::ui::Navigator;

namespace {

const QString MissingVat = QStringLiteral(
    "ATTENZIONE: la partita IVA risulta mancante. Si prega di compilare il campo richiesto per poter effettuare il "
    "salvataggio dei dati.");
const QString MissingName = QStringLiteral(
    "ATTENZIONE: la ragione sociale risulta mancante. Si prega di compilare il campo richiesto per poter effettuare "
    "il salvataggio dei dati.");

template <typename T>
T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("missing widget %s", name);
    return c;
}

void type(QWidget* w, const char* name, const QString& text)
{
    auto* edit = child<QLineEdit>(w, name);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    // Key by key, as a person types (and beyond Latin-1, which keyClicks refuses).
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

bool save(CompanyForm* form)
{
    return form->navigator()->click(Navigator::Post);
}

sz::db::Result companyRows()
{
    sz::db::Connection c(sz::paths::LoadConnection());
    return c.query(QStringLiteral("SELECT * FROM t_societa"));
}

void insertCompany(const QString& name, const QString& vat, bool logo)
{
    sz::db::Connection c(sz::paths::LoadConnection());
    c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, IVA, Logo) VALUES (:n, :v, :l)"),
           {{QStringLiteral(":n"), name}, {QStringLiteral(":v"), vat}, {QStringLiteral(":l"), logo}});
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A PNG whose left half is transparent, to see what the conversion puts there.
QString makePng(const QString& folder, QSize size)
{
    QImage img(size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.fillRect(QRect(size.width() / 2, 0, size.width() / 2, size.height()), QColor(0x1f, 0x4e, 0x79));
    p.end();
    const QString path = folder + QStringLiteral("/marchio.png");
    img.save(path, "PNG");
    return path;
}

// The delivered default logo, laid beside the test executable as in the program folder.
void installDefaultLogo()
{
    const QString target = sz::company::defaultLogoPath();
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    QVERIFY(QFile::copy(QStringLiteral(SZ_PROGRAM_DIR "/Logo/logo.bmp"), target));
}

void removeDefaultLogo()
{
    QFile::remove(sz::company::defaultLogoPath());
}

} // namespace

class TestCompany : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        sz::ui::applyLook();
        QVERIFY(TestEnv::fontsAvailable());
    }

    void cleanup() { removeDefaultLogo(); }

    void emptyTableStartsNewRowAndSaveCreatesIt()
    {
        TestEnv env;
        env.installDatabase();
        removeDefaultLogo();
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaSocieta frame;
        CompanyForm* form = frame.form();
        QCOMPARE(form->dataset()->state(), Dataset::State::Insert);
        QVERIFY(form->navigator()->button(Navigator::Post)->isEnabled());

        type(&frame, "EditRagioneSociale", QStringLiteral("rossi & figli srl"));
        type(&frame, "EditIVA", QStringLiteral("0123456789012345"));
        type(&frame, "EditCAP", QStringLiteral("200190"));
        type(&frame, "EditProvincia", QStringLiteral("mil"));
        type(&frame, "EditLocalita", QStringLiteral("forlì"));
        type(&frame, "EditMail", QStringLiteral("Amministrazione@Rossi.it"));
        QCOMPARE(child<QLineEdit>(&frame, "EditRagioneSociale")->text(), QStringLiteral("ROSSI & FIGLI SRL"));

        // No default logo beside the program: the copy fails without a word.
        QVERIFY(save(form));
        QVERIFY(rec.messages.isEmpty());
        const auto rows = companyRows();
        QCOMPARE(rows.rows.size(), 1);
        QCOMPARE(rows.value(0, "RagioneSociale").toString(), QStringLiteral("ROSSI & FIGLI SRL"));
        QCOMPARE(rows.value(0, "IVA").toString(), QStringLiteral("01234567890"));
        QCOMPARE(rows.value(0, "CAP").toString(), QStringLiteral("20019"));
        QCOMPARE(rows.value(0, "Provincia").toString(), QStringLiteral("MI"));
        QCOMPARE(rows.value(0, "Localita").toString(), QStringLiteral("FORLÌ"));
        QCOMPARE(rows.value(0, "Mail").toString(), QStringLiteral("Amministrazione@Rossi.it"));
        QCOMPARE(rows.value(0, "Logo"), QVariant(false));
        QVERIFY(!QFile::exists(sz::company::companyLogoPath()));

        // Still editable, and a second save updates the same row.
        QCOMPARE(form->dataset()->state(), Dataset::State::Edit);
        type(&frame, "EditTelefono", QStringLiteral("0543 123456"));
        QVERIFY(save(form));
        QCOMPARE(companyRows().rows.size(), 1);
        QCOMPARE(companyRows().value(0, "Telefono").toString(), QStringLiteral("0543 123456"));
    }

    void missingDataRefusesTheSave_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("vat");
        QTest::addColumn<QString>("message");
        QTest::newRow("IVA di soli spazi") << "ROSSI SRL" << "     " << MissingVat;
        QTest::newRow("entrambi mancanti: prima l'IVA") << "" << "" << MissingVat;
        QTest::newRow("ragione sociale di spazi") << "   " << "01234567890" << MissingName;
        // The start-up would not take it as complete and would come back to the setup.
        QTest::newRow("IVA di 10 caratteri")
            << "ROSSI SRL" << "0123456789"
            << QStringLiteral("ATTENZIONE: la partita IVA deve essere di 11 caratteri (ne sono stati inseriti 10). Si "
                              "prega di correggere il campo per poter effettuare il salvataggio dei dati.");
    }

    // A pasted VAT number longer than the box is refused with a word, never cut to a
    // shorter number that would count as complete.
    void pastedTextLongerThanTheBoxIsRefused()
    {
        TestEnv env;
        env.installDatabase();
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaSocieta frame;
        auto* vat = child<QLineEdit>(&frame, "EditIVA");
        type(&frame, "EditIVA", QStringLiteral("0123"));
        vat->selectAll();
        vat->insert(QStringLiteral("IT 01234567890")); // as a paste does
        emit vat->textEdited(vat->text());
        QCOMPARE(vat->text(), QStringLiteral("0123"));
        QCOMPARE(frame.form()->dataset()->value(QStringLiteral("IVA")).toString(), QStringLiteral("0123"));
        QVERIFY(vat->property("szLastRefusal").toString().contains(QStringLiteral("al massimo 11 caratteri")));
    }

    void missingDataRefusesTheSave()
    {
        QFETCH(QString, name);
        QFETCH(QString, vat);
        QFETCH(QString, message);
        TestEnv env;
        env.installDatabase();
        installDefaultLogo();
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaSocieta frame;
        if (!name.isEmpty())
            type(&frame, "EditRagioneSociale", name);
        if (!vat.isEmpty())
            type(&frame, "EditIVA", vat);

        QVERIFY(!save(frame.form()));
        QCOMPARE(rec.messages, QStringList{message});
        QCOMPARE(frame.form()->dataset()->state(), Dataset::State::Insert);
        QVERIFY(companyRows().isEmpty());
        // A refused save runs no logo rule either.
        QVERIFY(!QFile::exists(sz::company::companyLogoPath()));
    }

    // The firm's address is the sender of every letter: one holding a line break (left
    // by an older version, or pasted) is refused until corrected.
    void mailWithControlCharactersIsRefused()
    {
        TestEnv env;
        env.installDatabase();
        installDefaultLogo();
        insertCompany(QStringLiteral("ROSSI SRL"), QStringLiteral("01234567890"), false);
        {
            sz::db::Connection c(sz::paths::LoadConnection());
            c.exec(QStringLiteral("UPDATE t_societa SET Mail = :m"),
                   {{QStringLiteral("m"), QStringLiteral("a@rossi.it\nBcc: x@evil.test")}});
        }
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaSocieta frame;
        type(&frame, "EditTelefono", QStringLiteral("0543 123456"));
        QVERIFY(!save(frame.form()));
        QCOMPARE(rec.messages,
                 QStringList{QStringLiteral("ATTENZIONE: il campo \"Mail\" contiene caratteri di controllo, come un a "
                                            "capo (a@rossi.it␊Bcc: x@evil.test). Si prega di correggere il campo per "
                                            "poter effettuare il salvataggio dei dati.")});
        QVERIFY(companyRows().value(0, "Telefono").isNull());
        type(&frame, "EditMail", QStringLiteral("a@rossi.it"));
        QVERIFY(save(frame.form()));
        QCOMPARE(companyRows().value(0, "Mail").toString(), QStringLiteral("a@rossi.it"));
    }

    void chosenPictureBecomesBmpOfSameSize()
    {
        TestEnv env;
        env.installDatabase();
        insertCompany(QStringLiteral("ROSSI SRL"), QStringLiteral("01234567890"), false);
        QTemporaryDir pics;
        const QString png = makePng(pics.path(), QSize(800, 200));
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaSocieta frame;
        auto* check = child<QCheckBox>(&frame, "CheckBoxLogo");
        auto* file = child<QLineEdit>(&frame, "EditFileLogo");
        QVERIFY(!check->isChecked());
        QVERIFY(!file->isEnabled());

        file->setText(png);
        QVERIFY(check->isChecked());
        QVERIFY(file->isEnabled());
        // The preview fits its box and keeps the 4:1 shape.
        const QPixmap shown = child<QLabel>(&frame, "ImageLogo")->pixmap();
        QVERIFY(!shown.isNull());
        QVERIFY(shown.width() < 800);
        QCOMPARE(shown.width(), shown.height() * 4);

        QVERIFY(save(frame.form()));
        QVERIFY(rec.messages.isEmpty());
        QImageReader reader(sz::company::companyLogoPath());
        QCOMPARE(reader.format(), QByteArray("bmp"));
        const QImage bmp = reader.read();
        QCOMPARE(bmp.size(), QSize(800, 200));
        QCOMPARE(bmp.pixelColor(10, 10), QColor(Qt::white));
        QCOMPARE(bmp.pixelColor(790, 190), QColor(0x1f, 0x4e, 0x79));
        QCOMPARE(companyRows().value(0, "Logo"), QVariant(true));

        // Emptying the field takes the logo away again.
        file->clear();
        QVERIFY(!check->isChecked());
        QVERIFY(!file->isEnabled());
    }

    // The firm's dunning choices: empty columns read as off, off and 15 days; what is chosen
    // is written, a term outside 1-365 cannot be entered, and a form opened again shows it.
    void dunningChoicesSavedAndShown()
    {
        TestEnv env;
        env.installDatabase();
        insertCompany(QStringLiteral("ROSSI SRL"), QStringLiteral("01234567890"), false);
        sz::ui::MessageRecorder rec;
        {
            TFrameAnagraficaSocieta frame;
            auto* interessi = child<QCheckBox>(&frame, "CheckInteressiMora");
            auto* indennizzo = child<QCheckBox>(&frame, "CheckIndennizzo40");
            auto* termine = child<QSpinBox>(&frame, "SpinGiorniTermine");
            QVERIFY(!interessi->isChecked());
            QVERIFY(!indennizzo->isChecked());
            QCOMPARE(termine->value(), 15);
            QCOMPARE(indennizzo->text(), QStringLiteral("Richiedi l'indennizzo di € 40,00 per fattura"));
            // Saved untouched: the defaults are written as shown.
            QVERIFY(save(frame.form()));
            auto r = companyRows();
            QCOMPARE(r.value(0, "InteressiMora").toBool(), false);
            QCOMPARE(r.value(0, "Indennizzo40").toBool(), false);
            QCOMPARE(r.value(0, "GiorniTermine").toInt(), 15);

            interessi->click();
            indennizzo->click();
            termine->setValue(500);
            QCOMPARE(termine->value(), 365);
            termine->setValue(0);
            QCOMPARE(termine->value(), 1);
            termine->setValue(30);
            QVERIFY(frame.form()->dataset()->isModified());
            QVERIFY(save(frame.form()));
            r = companyRows();
            QCOMPARE(r.value(0, "InteressiMora").toBool(), true);
            QCOMPARE(r.value(0, "Indennizzo40").toBool(), true);
            QCOMPARE(r.value(0, "GiorniTermine").toInt(), 30);
            // Annulla puts back what is saved.
            termine->setValue(45);
            QVERIFY(frame.form()->navigator()->click(Navigator::Cancel));
            QCOMPARE(termine->value(), 30);
        }
        TFrameAnagraficaSocieta again;
        QVERIFY(child<QCheckBox>(&again, "CheckInteressiMora")->isChecked());
        QCOMPARE(child<QSpinBox>(&again, "SpinGiorniTermine")->value(), 30);
        QVERIFY(rec.messages.isEmpty());
    }

    void uncheckingRestoresTheDefaultLogo()
    {
        TestEnv env;
        env.installDatabase();
        installDefaultLogo();
        insertCompany(QStringLiteral("ROSSI SRL"), QStringLiteral("01234567890"), true);
        QTemporaryDir pics;
        sz::company::convertLogo(makePng(pics.path(), QSize(120, 40)), sz::company::companyLogoPath());
        sz::ui::MessageRecorder rec;
        TFrameAnagraficaSocieta frame;
        auto* check = child<QCheckBox>(&frame, "CheckBoxLogo");
        QVERIFY(check->isChecked());
        QVERIFY(child<QLineEdit>(&frame, "EditFileLogo")->isEnabled());
        QCOMPARE(child<QLabel>(&frame, "ImageLogo")->pixmap().size(), QSize(120, 40));

        auto* invito = child<QLabel>(&frame, "LabelInvitoLogo");
        QVERIFY(invito->isHidden());
        check->click();
        // Without a logo of its own the firm is invited to choose one.
        QVERIFY(!invito->isHidden());
        QCOMPARE(invito->text(),
                 QStringLiteral("Nessun logo: le lettere escono senza. Scegli il logo della ditta."));
        QVERIFY(!child<QLineEdit>(&frame, "EditFileLogo")->isEnabled());
        QVERIFY(child<QLabel>(&frame, "ImageLogo")->pixmap().isNull());
        QVERIFY(save(frame.form()));
        QVERIFY(rec.messages.isEmpty());
        QCOMPARE(fileBytes(sz::company::companyLogoPath()), fileBytes(sz::company::defaultLogoPath()));
        QCOMPARE(companyRows().value(0, "Logo"), QVariant(false));
    }

    void unusableLogoFile()
    {
        TestEnv env;
        env.installDatabase();
        insertCompany(QStringLiteral("ROSSI SRL"), QStringLiteral("01234567890"), false);
        QTemporaryDir pics;
        const QByteArray before("BM-logo-precedente");
        writeFile(sz::company::companyLogoPath(), before);
        const QString notPicture = pics.path() + QStringLiteral("/logo.png");
        writeFile(notPicture, "questo non è un logo");

        sz::ui::MessageRecorder rec;
        TFrameAnagraficaSocieta frame;
        type(&frame, "EditRagioneSociale", QStringLiteral("BIANCHI SPA"));
        child<QLineEdit>(&frame, "EditFileLogo")->setText(notPicture);
        QVERIFY(!save(frame.form()));
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(rec.messages[0].startsWith(QStringLiteral("ATTENZIONE: si è verificato il seguente errore")));
        QVERIFY(rec.messages[0].contains(notPicture));
        QCOMPARE(companyRows().value(0, "RagioneSociale").toString(), QStringLiteral("ROSSI SRL"));
        QCOMPARE(fileBytes(sz::company::companyLogoPath()), before);
        QCOMPARE(frame.form()->dataset()->state(), Dataset::State::Edit);

        // A file that is not there: said, and the row is saved with the old logo kept.
        rec.messages.clear();
        child<QLineEdit>(&frame, "EditFileLogo")->setText(pics.path() + QStringLiteral("/sparito.png"));
        QVERIFY(save(frame.form()));
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Il file selezionato non esiste.")});
        QCOMPARE(companyRows().value(0, "RagioneSociale").toString(), QStringLiteral("BIANCHI SPA"));
        QCOMPARE(companyRows().value(0, "Logo"), QVariant(true));
        QCOMPARE(fileBytes(sz::company::companyLogoPath()), before);
    }

    void serverPathLocksTheLogo()
    {
        QVERIFY(!sz::company::logoChangeAllowed(QStringLiteral("//server/dati/gestionale.mdb")));
        QVERIFY(!sz::company::logoChangeAllowed(QStringLiteral("\\\\server\\dati\\gestionale.mdb")));
        QVERIFY(sz::company::logoChangeAllowed(QStringLiteral("/home/utente/Documents/Scadenzio/DB/gestionale.mdb")));

        TestEnv env;
        env.installDatabase();
        TFrameAnagraficaSocieta frame;
        frame.show();
        auto* notice = child<QLabel>(&frame, "LabelServer");
        QVERIFY(!notice->isVisible());
        QVERIFY(child<QCheckBox>(&frame, "CheckBoxLogo")->isEnabled());

        frame.applyServerRule(QStringLiteral("//server/dati/gestionale.mdb"));
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("La modifica del Logo Aziendale è possibile solo sul Server."));
        QVERIFY(!child<QCheckBox>(&frame, "CheckBoxLogo")->isEnabled());
        QVERIFY(!child<QLineEdit>(&frame, "EditFileLogo")->isEnabled());
        QVERIFY(child<QLineEdit>(&frame, "EditRagioneSociale")->isEnabled());
        QVERIFY(child<QLineEdit>(&frame, "EditIVA")->isEnabled());
        // Checking the box by other means must not free the file field.
        child<QCheckBox>(&frame, "CheckBoxLogo")->setChecked(true);
        QVERIFY(!child<QLineEdit>(&frame, "EditFileLogo")->isEnabled());

        // The setup never locks the logo and has no notice at all.
        TFrameInizializzazione setup;
        QVERIFY(!setup.findChild<QLabel*>(QStringLiteral("LabelServer")));
        QVERIFY(setup.heading()->descriptionLabel()->isHidden());
    }

    void setupRestartsOnlyAfterASave()
    {
        TestEnv env;
        env.installDatabase();
        installDefaultLogo();
        int restarts = 0;
        sz::ui::setRestartHook([&restarts] { ++restarts; });
        sz::ui::MessageRecorder rec;
        {
            TFrameInizializzazione frame;
            QVERIFY(frame.minimumWidth() >= 1000 && frame.minimumHeight() >= 600);
            auto* pages = child<QTabWidget>(&frame, "PageControl");
            QCOMPARE(pages->count(), 1);
            QCOMPARE(pages->tabText(0), QStringLiteral("Inserisci l'anagrafica utente"));
            QCOMPARE(frame.heading()->titleLabel()->text(), QStringLiteral("Anagrafica Utente"));
            QVERIFY(child<QCheckBox>(&frame, "CheckBoxLogo")->isEnabled());

            type(&frame, "EditRagioneSociale", QStringLiteral("Rossi srl"));
            QVERIFY(!save(frame.form()));
            QCOMPARE(rec.messages, QStringList{MissingVat});
            QCOMPARE(restarts, 0);

            type(&frame, "EditIVA", QStringLiteral("01234567890"));
            QVERIFY(save(frame.form()));
            QCOMPARE(restarts, 1);
            QCOMPARE(companyRows().value(0, "RagioneSociale").toString(), QStringLiteral("ROSSI SRL"));
            QCOMPARE(fileBytes(sz::company::companyLogoPath()), fileBytes(sz::company::defaultLogoPath()));
        }
        sz::ui::setRestartHook({});
    }

    void cancelDiscardsTypedData()
    {
        TestEnv env;
        env.installDatabase();
        insertCompany(QStringLiteral("ROSSI SRL"), QStringLiteral("01234567890"), false);
        QTemporaryDir pics;
        const QString png = makePng(pics.path(), QSize(60, 30));
        int restarts = 0;
        sz::ui::setRestartHook([&restarts] { ++restarts; });
        {
            TFrameInizializzazione frame;
            type(&frame, "EditRagioneSociale", QStringLiteral("altro nome"));
            child<QLineEdit>(&frame, "EditFileLogo")->setText(png);
            QVERIFY(frame.form()->navigator()->click(Navigator::Cancel));

            QCOMPARE(child<QLineEdit>(&frame, "EditRagioneSociale")->text(), QStringLiteral("ROSSI SRL"));
            QVERIFY(child<QLineEdit>(&frame, "EditFileLogo")->text().isEmpty());
            QVERIFY(!child<QCheckBox>(&frame, "CheckBoxLogo")->isChecked());
            QCOMPARE(frame.form()->dataset()->state(), Dataset::State::Edit);
            QCOMPARE(companyRows().value(0, "RagioneSociale").toString(), QStringLiteral("ROSSI SRL"));
            QCOMPARE(restarts, 0);
            // The form is ready for the next attempt.
            QVERIFY(frame.form()->navigator()->button(Navigator::Post)->isEnabled());
        }
        sz::ui::setRestartHook({});
    }

    void screenshots()
    {
        TestEnv env;
        env.installDatabase();
        installDefaultLogo();
        insertCompany(QStringLiteral("ROSSI & FIGLI SRL"), QStringLiteral("01234567890"), true);
        QFile::copy(sz::company::defaultLogoPath(), sz::company::companyLogoPath());
        {
            TFrameAnagraficaSocieta frame;
            type(&frame, "EditIndirizzo", QStringLiteral("Via dei Mille 12"));
            type(&frame, "EditLocalita", QStringLiteral("Forlì"));
            type(&frame, "EditCAP", QStringLiteral("47121"));
            type(&frame, "EditProvincia", QStringLiteral("FC"));
            type(&frame, "EditMail", QStringLiteral("amministrazione@rossiefigli.it"));
            type(&frame, "EditRiferimento", QStringLiteral("Maria Bianchi"));
            frame.applyServerRule(QStringLiteral("//server/dati/gestionale.mdb"));
            frame.resize(1100, 700);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            TestEnv::saveScreenshot(&frame, QStringLiteral("anagrafica_utente"));
        }
        {
            TFrameInizializzazione frame;
            frame.resize(1100, 700);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            TestEnv::saveScreenshot(&frame, QStringLiteral("inizializzazione"));
        }
    }
};

QTEST_MAIN(TestCompany)
#include "tst_company.moc"
