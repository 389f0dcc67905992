#include "CompanyForm.h"

#include "SocietaLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/mail/Address.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStyle>
#include <QPushButton>
#include <QVBoxLayout>

namespace sz::company {

namespace {

const QString MissingFile = QStringLiteral("Il file selezionato non esiste.");
const QString ServerNotice = QStringLiteral("La modifica del Logo Aziendale è possibile solo sul Server.");
const QString ReferentHint = QStringLiteral(
    "Inserire la persona di riferimento per la situazione amministrativa (comparirà in firma all'interno delle "
    "stampe)");

// Name and pattern pairs, the names being what the dialog lists.
const QString LogoFilter = QStringLiteral("*.png|*.png|*.jpg|*.jpg|*.gif|*.gif|*.bmp|*.bmp");

// The dialog wants "name (pattern)" entries; a name that is its own pattern stands alone,
// so the list reads exactly as the pairs name it.
QString dialogFilter(const QString& pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << (parts[i] == parts[i + 1] ? parts[i]
                                             : parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')'));
    return entries.join(QStringLiteral(";;"));
}

// The preview keeps a fixed box so that a large picture never pushes the form around.
constexpr int PreviewWidth = 320;
constexpr int PreviewHeight = 150;
// Days given to pay when the firm has not chosen: what an Italian reminder usually grants.
constexpr int DefaultTerm = 15;

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QGridLayout* fieldGrid(QGroupBox* box)
{
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(14, 18, 14, 14);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(9);
    // Same caption column in both groups, so the fields line up down the page.
    grid->setColumnMinimumWidth(0, box->fontMetrics().horizontalAdvance(QStringLiteral("Ragione Sociale:")) + 8);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 2);
    return grid;
}

} // namespace

void convertLogo(const QString& source, const QString& target)
{
    QImageReader reader(source);
    reader.setDecideFormatFromContent(true);
    static const QList<QByteArray> accepted = {"png", "jpeg", "jpg", "gif", "bmp"};
    const QString shown = QDir::toNativeSeparators(source);
    if (!accepted.contains(reader.format().toLower()))
        throw Error(QStringLiteral("il file \"%1\" non è un'immagine PNG, JPEG, GIF o BMP").arg(shown));
    const QImage picture = reader.read();
    if (picture.isNull())
        throw Error(QStringLiteral("impossibile leggere l'immagine \"%1\": il file è danneggiato o incompleto").arg(shown));

    // Transparent parts become white, as on the paper the letters are printed on.
    QImage bitmap(picture.size(), QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    QPainter painter(&bitmap);
    painter.drawImage(0, 0, picture);
    painter.end();

    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        throw Error(QStringLiteral("impossibile creare la cartella \"%1\"").arg(QDir::toNativeSeparators(folder)));
    // Written aside and renamed: a failed write leaves the previous logo in place.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || !bitmap.save(&out, "BMP") || !out.commit())
        throw Error(QStringLiteral("impossibile salvare il logo aziendale in \"%1\"").arg(QDir::toNativeSeparators(target)));
}

CompanyForm::CompanyForm(db::Connection& conn, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CompanyForm"));
    setStyleSheet(QStringLiteral(
        "QLabel#ImageLogo { background: #ffffff; border: 1px dashed #b8c4d0; border-radius: 6px; color: #8a96a3; }"
        "QLabel#ImageLogo:disabled { background: #f4f6f9; }"
        "QLabel#LabelServer { color: #8a5a00; background: #fff4dc; border: 1px solid #f2d08a; border-radius: 4px;"
        " padding: 6px 8px; }"
        "QLabel#LabelNota { color: #5a6b7c; }"));

    m_dataset = new db::Dataset(conn, QStringLiteral("t_societa"), this);
    // The letters take their sender from the first row: the form edits that one.
    m_dataset->setSql(QStringLiteral("SELECT * FROM [t_societa] ORDER BY ID"));
    m_dataset->open();
    m_binder = new ui::FieldBinder(m_dataset, this);

    auto* content = new QWidget(this);
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(18, 14, 18, 14);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(14);
    grid->addWidget(buildCompanyGroup(), 0, 0);
    grid->addWidget(buildContactGroup(), 1, 0);
    // The right column: the logo, and under it what the letters claim.
    auto* right = new QVBoxLayout;
    right->setSpacing(14);
    right->addWidget(buildLogoGroup(), 1);
    right->addWidget(buildDunningGroup());
    grid->addLayout(right, 0, 1, 2, 1);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(2, 1);

    auto* limiter = new QHBoxLayout;
    limiter->setContentsMargins(0, 0, 0, 0);
    content->setMaximumWidth(FormMaxWidth);
    limiter->addWidget(content, 1);
    limiter->addStretch(0);

    m_navigator = new ui::Navigator({ui::Navigator::Post, ui::Navigator::Cancel}, this);
    // The bar's colour comes from the style sheet, which a plain QWidget only paints when asked.
    m_navigator->setAttribute(Qt::WA_StyledBackground, true);
    m_navigator->setDataset(m_dataset);
    m_navigator->beforeAction = [this](ui::Navigator::Button b) {
        if (b == ui::Navigator::Post)
            beforeSave();
    };
    connect(m_navigator, &ui::Navigator::actionDone, this, [this](ui::Navigator::Button b) {
        keepEditing();
        if (b == ui::Navigator::Cancel) {
            m_settingFile = true;
            m_fileLogo->clear();
            m_settingFile = false;
            showRowLogo();
        }
        if (b == ui::Navigator::Post)
            emit saved();
    });

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addLayout(limiter);
    lay->addStretch(1);
    lay->addWidget(m_navigator);

    keepEditing();
    m_binder->load();
    showTerm();
    showRowLogo();
}

CompanyForm::~CompanyForm() = default;

QLineEdit* CompanyForm::addEdit(const QString& objectName, const QString& field, int maxLength, bool upper)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(objectName);
    // No longer than the column it fills: letters and reports are laid out for that width.
    edit->setMaxLength(maxLength);
    if (upper)
        ui::makeUpperCase(edit);
    m_binder->bind(edit, field);
    return edit;
}

QGroupBox* CompanyForm::buildCompanyGroup()
{
    auto* box = new QGroupBox(QStringLiteral("Dati dell'azienda"), this);
    box->setObjectName(QStringLiteral("GroupAzienda"));
    auto* grid = fieldGrid(box);
    auto* name = addEdit(QStringLiteral("EditRagioneSociale"), QStringLiteral("RagioneSociale"), 255, true);
    auto* address = addEdit(QStringLiteral("EditIndirizzo"), QStringLiteral("Indirizzo"), 255, true);
    auto* town = addEdit(QStringLiteral("EditLocalita"), QStringLiteral("Localita"), 255, true);
    auto* cap = addEdit(QStringLiteral("EditCAP"), QStringLiteral("CAP"), 5, true);
    auto* province = addEdit(QStringLiteral("EditProvincia"), QStringLiteral("Provincia"), 2, true);
    auto* vat = addEdit(QStringLiteral("EditIVA"), QStringLiteral("IVA"), 11, true);
    auto* fiscal = addEdit(QStringLiteral("EditCF"), QStringLiteral("CF"), 50, true);
    cap->setMaximumWidth(90);
    province->setMaximumWidth(60);
    vat->setMinimumWidth(150);

    grid->addWidget(caption(QStringLiteral("Ragione Sociale:"), box), 0, 0);
    grid->addWidget(name, 0, 1, 1, 3);
    grid->addWidget(caption(QStringLiteral("Indirizzo:"), box), 1, 0);
    grid->addWidget(address, 1, 1, 1, 3);
    grid->addWidget(caption(QStringLiteral("Località:"), box), 2, 0);
    grid->addWidget(town, 2, 1, 1, 3);
    grid->addWidget(caption(QStringLiteral("CAP:"), box), 3, 0);
    grid->addWidget(cap, 3, 1, Qt::AlignLeft);
    grid->addWidget(caption(QStringLiteral("Provincia:"), box), 3, 2);
    grid->addWidget(province, 3, 3, Qt::AlignLeft);
    grid->addWidget(caption(QStringLiteral("P. IVA:"), box), 4, 0);
    grid->addWidget(vat, 4, 1);
    grid->addWidget(caption(QStringLiteral("C.F.:"), box), 4, 2);
    grid->addWidget(fiscal, 4, 3);
    return box;
}

QGroupBox* CompanyForm::buildContactGroup()
{
    auto* box = new QGroupBox(QStringLiteral("Recapiti e referente"), this);
    box->setObjectName(QStringLiteral("GroupRecapiti"));
    auto* grid = fieldGrid(box);
    auto* phone = addEdit(QStringLiteral("EditTelefono"), QStringLiteral("Telefono"), 255, true);
    auto* mobile = addEdit(QStringLiteral("EditCell"), QStringLiteral("Cell"), 255, true);
    auto* fax = addEdit(QStringLiteral("EditFax"), QStringLiteral("Fax"), 255, true);
    auto* mail = addEdit(QStringLiteral("EditMail"), QStringLiteral("Mail"), 255, false);
    auto* referent = addEdit(QStringLiteral("EditRiferimento"), QStringLiteral("Riferimento"), 255, true);
    auto* referentCaption = caption(QStringLiteral("Referente:"), box);
    referent->setToolTip(ReferentHint);
    referentCaption->setToolTip(ReferentHint);

    grid->addWidget(caption(QStringLiteral("Telefono:"), box), 0, 0);
    grid->addWidget(phone, 0, 1);
    grid->addWidget(caption(QStringLiteral("Cell.:"), box), 0, 2);
    grid->addWidget(mobile, 0, 3);
    grid->addWidget(caption(QStringLiteral("Fax:"), box), 1, 0);
    grid->addWidget(fax, 1, 1);
    grid->addWidget(caption(QStringLiteral("Mail:"), box), 2, 0);
    grid->addWidget(mail, 2, 1, 1, 3);
    grid->addWidget(referentCaption, 3, 0);
    grid->addWidget(referent, 3, 1, 1, 3);
    auto* note = new QLabel(ReferentHint + QLatin1Char('.'), box);
    note->setObjectName(QStringLiteral("LabelNota"));
    note->setWordWrap(true);
    grid->addWidget(note, 4, 1, 1, 3);
    return box;
}

// What the letters claim besides the residual: statutory interest, the fixed compensation
// per document, and how many days the client is given to pay. All off until the firm asks,
// so letters stay as they were.
QGroupBox* CompanyForm::buildDunningGroup()
{
    auto* box = new QGroupBox(QStringLiteral("Solleciti"), this);
    box->setObjectName(QStringLiteral("GroupSolleciti"));
    auto* grid = fieldGrid(box);
    m_interest = new QCheckBox(QStringLiteral("Calcola gli interessi di mora"), box);
    m_interest->setObjectName(QStringLiteral("CheckInteressiMora"));
    m_interest->setToolTip(QStringLiteral(
        "Interessi legali di mora (D.Lgs. 231/2002) dal giorno dopo la scadenza: tasso di riferimento BCE del "
        "semestre più 8 punti per imprese e pubblica amministrazione, tasso legale per i consumatori"));
    m_compensation = new QCheckBox(QStringLiteral("Richiedi l'indennizzo di € 40,00 per fattura"), box);
    m_compensation->setObjectName(QStringLiteral("CheckIndennizzo40"));
    m_compensation->setToolTip(QStringLiteral(
        "Importo forfettario per i costi di recupero (art. 6 D.Lgs. 231/2002), una volta per documento; "
        "non si applica ai consumatori"));
    m_term = new QSpinBox(box);
    m_term->setObjectName(QStringLiteral("SpinGiorniTermine"));
    m_term->setRange(1, 365);
    m_term->setValue(DefaultTerm);
    m_term->setMaximumWidth(90);
    m_term->setAccessibleName(QStringLiteral("Termine per il pagamento (giorni)"));
    m_term->setToolTip(QStringLiteral("Giorni dalla data della lettera entro cui il cliente è invitato a pagare"));
    m_binder->bind(m_interest, QStringLiteral("InteressiMora"));
    m_binder->bind(m_compensation, QStringLiteral("Indennizzo40"));
    connect(m_term, &QSpinBox::valueChanged, this, [this](int days) {
        if (m_dataset->state() == db::Dataset::State::Edit || m_dataset->state() == db::Dataset::State::Insert)
            m_dataset->setValue(QStringLiteral("GiorniTermine"), days);
    });
    connect(m_dataset, &db::Dataset::stateChanged, this, &CompanyForm::showTerm);
    connect(m_dataset, &db::Dataset::currentChanged, this, &CompanyForm::showTerm);
    connect(m_dataset, &db::Dataset::rowsReset, this, &CompanyForm::showTerm);

    grid->setVerticalSpacing(6);
    grid->addWidget(m_interest, 0, 0, 1, 4);
    grid->addWidget(m_compensation, 1, 0, 1, 4);
    auto* termRow = new QHBoxLayout;
    termRow->setSpacing(8);
    auto* termCaption = new QLabel(QStringLiteral("Termine per il pagamento (giorni):"), box);
    termCaption->setBuddy(m_term);
    termRow->addWidget(termCaption);
    termRow->addWidget(m_term);
    termRow->addStretch(1);
    grid->addLayout(termRow, 2, 0, 1, 4);
    return box;
}

void CompanyForm::showTerm()
{
    if (!m_term)
        return;
    bool ok = false;
    const int days = m_dataset->isOpen() ? m_dataset->value(QStringLiteral("GiorniTermine")).toInt(&ok) : 0;
    const QSignalBlocker block(m_term);
    m_term->setValue(ok && days >= 1 && days <= 365 ? days : DefaultTerm);
}

QGroupBox* CompanyForm::buildLogoGroup()
{
    auto* box = new QGroupBox(QStringLiteral("Logo"), this);
    box->setObjectName(QStringLiteral("GroupLogo"));
    m_logoLayout = new QVBoxLayout(box);
    m_logoLayout->setContentsMargins(14, 18, 14, 14);
    m_logoLayout->setSpacing(9);

    auto* checkRow = new QHBoxLayout;
    checkRow->setSpacing(10);
    checkRow->addWidget(new QLabel(QStringLiteral("Logo Aziendale:"), box));
    m_checkLogo = new QCheckBox(QStringLiteral("Inserisci"), box);
    m_checkLogo->setObjectName(QStringLiteral("CheckBoxLogo"));
    checkRow->addWidget(m_checkLogo);
    checkRow->addStretch(1);
    m_logoLayout->addLayout(checkRow);
    // Bound before our own handler, so the row already holds Logo when the preview follows.
    m_binder->bind(m_checkLogo, QStringLiteral("Logo"));
    connect(m_checkLogo, &QCheckBox::toggled, this, &CompanyForm::onLogoToggled);

    auto* fileRow = new QHBoxLayout;
    fileRow->setSpacing(4);
    m_fileLogo = new QLineEdit(box);
    m_fileLogo->setObjectName(QStringLiteral("EditFileLogo"));
    m_fileLogo->setPlaceholderText(QStringLiteral("Nessun file scelto"));
    m_fileLogo->setClearButtonEnabled(true);
    connect(m_fileLogo, &QLineEdit::textChanged, this, &CompanyForm::onFileChanged);
    // A bordered button: the flat tool-button look sets its icon against the text.
    m_browse = new QPushButton(box);
    m_browse->setObjectName(QStringLiteral("ButtonFileLogo"));
    m_browse->setText(QStringLiteral("Sfoglia…"));
    m_browse->setToolTip(QStringLiteral("Scegli il file del logo"));
    m_browse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_browse->setCursor(Qt::PointingHandCursor);
    connect(m_browse, &QPushButton::clicked, this, &CompanyForm::browse);
    fileRow->addWidget(m_fileLogo, 1);
    fileRow->addWidget(m_browse);
    m_logoLayout->addLayout(fileRow);

    m_preview = new QLabel(box);
    m_preview->setObjectName(QStringLiteral("ImageLogo"));
    m_preview->setFixedSize(PreviewWidth, PreviewHeight);
    m_preview->setAlignment(Qt::AlignCenter);
    m_logoLayout->addWidget(m_preview, 0, Qt::AlignHCenter);

    m_noLogo = new QLabel(QStringLiteral("Nessun logo: le lettere escono senza. Scegli il logo della ditta."), box);
    m_noLogo->setObjectName(QStringLiteral("LabelInvitoLogo"));
    m_noLogo->setWordWrap(true);
    m_noLogo->setMaximumWidth(PreviewWidth + 40);
    m_logoLayout->addWidget(m_noLogo);

    auto* note = new QLabel(QStringLiteral("Il logo compare nell'intestazione delle lettere e delle stampe."), box);
    note->setObjectName(QStringLiteral("LabelNota"));
    note->setWordWrap(true);
    note->setMaximumWidth(PreviewWidth + 40);
    m_logoLayout->addWidget(note);
    m_logoLayout->addStretch(1);
    return box;
}

void CompanyForm::addServerNotice()
{
    if (m_serverNotice)
        return;
    m_serverNotice = new QLabel(ServerNotice, this);
    m_serverNotice->setObjectName(QStringLiteral("LabelServer"));
    m_serverNotice->setWordWrap(true);
    m_serverNotice->setMaximumWidth(PreviewWidth + 40);
    m_serverNotice->setVisible(false);
    // Right under the preview, before the closing note and the stretch.
    m_logoLayout->insertWidget(3, m_serverNotice);
}

void CompanyForm::setLogoLocked(bool locked)
{
    m_logoLocked = locked;
    if (m_serverNotice)
        m_serverNotice->setVisible(locked);
    updateLogoControls();
}

void CompanyForm::keepEditing()
{
    if (m_dataset->state() != db::Dataset::State::Browse)
        return;
    if (m_dataset->isEmpty()) {
        m_dataset->insert();
    } else {
        m_dataset->first();
        m_dataset->edit();
    }
}

void CompanyForm::beforeSave()
{
    const QString mancante = campoMancante(m_dataset->value(QStringLiteral("IVA")).toString(),
                                           m_dataset->value(QStringLiteral("RagioneSociale")).toString());
    if (!mancante.isEmpty()) {
        ui::showMessage(this, mancante);
        throw db::Abort{};
    }
    const QString rifiuto =
        sz::mail::campoMailNonAmmesso(QStringLiteral("Mail"), m_dataset->value(QStringLiteral("Mail")).toString());
    if (!rifiuto.isEmpty()) {
        ui::showMessage(this, rifiuto);
        throw db::Abort{};
    }
    storeLogo();
    // A new row that never touched the check box would otherwise be stored without a value.
    m_dataset->setValue(QStringLiteral("Logo"), m_checkLogo->isChecked());
    m_dataset->setValue(QStringLiteral("InteressiMora"), m_interest->isChecked());
    m_dataset->setValue(QStringLiteral("Indennizzo40"), m_compensation->isChecked());
    m_dataset->setValue(QStringLiteral("GiorniTermine"), m_term->value());
}

void CompanyForm::storeLogo()
{
    const QString target = companyLogoPath();
    if (!m_checkLogo->isChecked()) {
        // Without a default logo (a damaged installation) the company logo simply stays.
        const QString source = defaultLogoPath();
        if (QFileInfo(source).isFile() && QDir().mkpath(QFileInfo(target).absolutePath())) {
            QFile::remove(target);
            QFile::copy(source, target);
        }
        return;
    }
    const QString file = m_fileLogo->text().trimmed();
    if (file.isEmpty())
        return;
    if (!QFileInfo::exists(file)) {
        ui::showErrorText(this, MissingFile);
        return;
    }
    try {
        convertLogo(file, target);
    } catch (const Error& e) {
        ui::showError(this, e.message());
        throw db::Abort{};
    }
}

void CompanyForm::showRowLogo()
{
    onLogoToggled(m_checkLogo->isChecked());
}

void CompanyForm::onLogoToggled(bool checked)
{
    updateLogoControls();
    if (checked)
        showPreview(companyLogoPath());
    else
        showPreview(QString());
}

void CompanyForm::onFileChanged(const QString& text)
{
    if (m_settingFile)
        return;
    if (text.isEmpty()) {
        m_checkLogo->setChecked(false);
        return;
    }
    m_checkLogo->setChecked(true);
    showPreview(text.trimmed());
}

void CompanyForm::browse()
{
    QString start = QFileInfo(m_fileLogo->text()).absolutePath();
    if (m_fileLogo->text().isEmpty() || !QFileInfo(start).isDir())
        start = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Scegli il logo aziendale"), start,
        dialogFilter(LogoFilter));
    if (!file.isEmpty())
        m_fileLogo->setText(QDir::toNativeSeparators(file));
}

void CompanyForm::showPreview(const QString& file)
{
    QImage picture;
    if (!file.isEmpty()) {
        QImageReader reader(file);
        reader.setDecideFormatFromContent(true);
        picture = reader.read();
    }
    if (picture.isNull()) {
        m_preview->setPixmap(QPixmap());
        m_preview->setText(m_checkLogo->isChecked() ? QStringLiteral("Anteprima non disponibile")
                                                    : QStringLiteral("Nessun logo"));
        return;
    }
    const QSize room = m_preview->size() - QSize(16, 16);
    if (picture.width() > room.width() || picture.height() > room.height())
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_preview->setPixmap(QPixmap::fromImage(picture));
}

void CompanyForm::updateLogoControls()
{
    const bool checked = m_checkLogo->isChecked();
    m_checkLogo->setEnabled(!m_logoLocked);
    m_fileLogo->setEnabled(checked && !m_logoLocked);
    m_browse->setEnabled(checked && !m_logoLocked);
    m_preview->setEnabled(checked);
    if (m_noLogo)
        m_noLogo->setVisible(!checked);
}

} // namespace sz::company
