#include "scadenzio/Widgets.h"

#include "scadenzio/Database.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Modifiche.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/Ui.h"

#include <QApplication>
#include <QHash>
#include <QRegularExpression>
#include <QPushButton>
#include <QFrame>
#include <QCheckBox>
#include <QGridLayout>
#include <QRadioButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QKeyEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QToolButton>
#include <QToolTip>
#include <QTranslator>
#include <QVBoxLayout>

namespace sz::ui {

// ---- heading and frame -------------------------------------------------------------

FrameHeading::FrameHeading(const QString& title, const QString& description, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameHeading"));
    setAttribute(Qt::WA_StyledBackground, true);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(18, 14, 18, 10);
    lay->setSpacing(4);
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("LabelTitolo"));
    m_description = new QLabel(description, this);
    m_description->setObjectName(QStringLiteral("LabelDescrizione"));
    m_description->setWordWrap(true);
    m_description->setVisible(!description.isEmpty());
    lay->addWidget(m_title);
    lay->addWidget(m_description);
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("LineaTitolo"));
    line->setFrameShape(QFrame::HLine);
    line->setFixedHeight(2);
    lay->addWidget(line);
}

ModuleFrame::ModuleFrame(const QString& title, const QString& description, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground, true);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_conn = db::Connection::openDefault();
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    m_heading = new FrameHeading(title, description, this);
    lay->addWidget(m_heading);

    m_avviso = new QFrame(this);
    m_avviso->setObjectName(QStringLiteral("AvvisoModifiche"));
    m_avviso->setStyleSheet(QStringLiteral("#AvvisoModifiche { background: #fff4d6; border-bottom: 1px solid #e0c060; }"));
    auto* al = new QHBoxLayout(m_avviso);
    al->setContentsMargins(18, 6, 18, 6);
    m_testoAvviso = new QLabel(QStringLiteral("Dati modificati da un'altra postazione"), m_avviso);
    m_testoAvviso->setObjectName(QStringLiteral("LabelAvvisoModifiche"));
    al->addWidget(m_testoAvviso, 1);
    auto* aggiorna = new QPushButton(QStringLiteral("Aggiorna"), m_avviso);
    aggiorna->setObjectName(QStringLiteral("BottoneAggiorna"));
    aggiorna->setToolTip(QStringLiteral("Legge di nuovo i dati mostrati"));
    al->addWidget(aggiorna);
    m_avviso->hide();
    lay->addWidget(m_avviso);
    connect(aggiorna, &QPushButton::clicked, this, [this] {
        guarded(this, [this] {
            if (aggiornaDati()) {
                m_avviso->hide();
                m_testoAvviso->setText(QStringLiteral("Dati modificati da un'altra postazione"));
            } else {
                m_testoAvviso->setText(QStringLiteral("Dati modificati da un'altra postazione: salvare o annullare "
                                                      "le modifiche in corso, poi Aggiorna"));
            }
        });
    });
    connect(db::OsservatoreModifiche::perDatabase(), &db::OsservatoreModifiche::modificate, this,
            [this](const QStringList& tabelle) { modificheAltrove(tabelle); });

    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("FrameBody"));
    lay->addWidget(m_body, 1);
}

void ModuleFrame::modificheAltrove(const QStringList& tabelle)
{
    for (const db::Dataset* ds : findChildren<db::Dataset*>()) {
        if (!ds->isOpen())
            continue;
        const QString sql = ds->sql();
        for (const QString& t : tabelle) {
            static QHash<QString, QRegularExpression> parole;
            auto it = parole.find(t);
            if (it == parole.end())
                it = parole.insert(t, QRegularExpression(QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(t)),
                                                         QRegularExpression::CaseInsensitiveOption));
            if (it->match(sql).hasMatch()) {
                m_avviso->show();
                return;
            }
        }
    }
}

bool ModuleFrame::aggiornaDati()
{
    bool tutti = true;
    for (db::Dataset* ds : findChildren<db::Dataset*>()) {
        if (!ds->isOpen())
            continue;
        if (ds->state() == db::Dataset::State::Browse)
            ds->requery();
        else
            tutti = false;
    }
    return tutti;
}

bool ModuleFrame::confirmLeave()
{
    if (!hasUnsavedChanges())
        return true;
    switch (askYesNoCancel(this, QStringLiteral("Salvare le modifiche?"))) {
    case Choice::Yes:
        return saveChanges();
    case Choice::No:
        discardChanges();
        return true;
    case Choice::Cancel:
        break;
    }
    return false;
}

ModuleFrame::~ModuleFrame()
{
    // Children (datasets, grids) may still use the connection while they go: they go
    // first, the connection last.
    const auto children = this->children();
    for (QObject* c : children)
        delete c;
}

// ---- navigator ---------------------------------------------------------------------------

QString Navigator::hint(Button b)
{
    switch (b) {
    case First: return QStringLiteral("Inizio");
    case Prior: return QStringLiteral("Precedente");
    case Next: return QStringLiteral("Successivo");
    case Last: return QStringLiteral("Fine");
    case Insert: return QStringLiteral("Nuovo");
    case Delete: return QStringLiteral("Elimina");
    case Edit: return QStringLiteral("Modifica");
    case Post: return QStringLiteral("Salva");
    case Cancel: return QStringLiteral("Annulla");
    case Refresh: return QStringLiteral("Aggiorna");
    }
    return {};
}

QKeySequence Navigator::shortcut(Button b)
{
    switch (b) {
    case Insert: return QKeySequence(Qt::CTRL | Qt::Key_N);
    case Post: return QKeySequence(Qt::CTRL | Qt::Key_S);
    case Cancel: return QKeySequence(Qt::Key_Escape);
    case Refresh: return QKeySequence(Qt::Key_F5);
    default: return {};
    }
}

namespace {

QIcon navigatorIcon(Navigator::Button b)
{
    QStyle* s = QApplication::style();
    switch (b) {
    case Navigator::First: return s->standardIcon(QStyle::SP_MediaSkipBackward);
    case Navigator::Prior: return s->standardIcon(QStyle::SP_MediaSeekBackward);
    case Navigator::Next: return s->standardIcon(QStyle::SP_MediaSeekForward);
    case Navigator::Last: return s->standardIcon(QStyle::SP_MediaSkipForward);
    case Navigator::Insert: return s->standardIcon(QStyle::SP_FileIcon);
    case Navigator::Delete: return s->standardIcon(QStyle::SP_TrashIcon);
    case Navigator::Edit: return s->standardIcon(QStyle::SP_FileDialogDetailedView);
    case Navigator::Post: return s->standardIcon(QStyle::SP_DialogSaveButton);
    case Navigator::Cancel: return s->standardIcon(QStyle::SP_DialogCancelButton);
    case Navigator::Refresh: return s->standardIcon(QStyle::SP_BrowserReload);
    }
    return {};
}

const char* navigatorName(Navigator::Button b)
{
    static const char* names[] = {"nbFirst", "nbPrior", "nbNext", "nbLast", "nbInsert",
                                  "nbDelete", "nbEdit", "nbPost", "nbCancel", "nbRefresh"};
    return names[b];
}

} // namespace

Navigator::Navigator(const QList<Button>& buttons, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Navigator"));
    setAttribute(Qt::WA_StyledBackground, true);
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(8, 6, 8, 6);
    lay->setSpacing(4);
    for (Button b : buttons) {
        auto* btn = new QToolButton(this);
        btn->setObjectName(QString::fromLatin1(navigatorName(b)));
        btn->setIcon(navigatorIcon(b));
        btn->setText(hint(b));
        btn->setToolTip(hint(b));
        // A button's key works only while its bar is shown and the button enabled, so the
        // list's and the edit page's bars never answer the same key at once.
        if (const QKeySequence key = shortcut(b); !key.isEmpty()) {
            btn->setShortcut(key);
            btn->setToolTip(hint(b) + QStringLiteral(" (") + key.toString(QKeySequence::PortableText) +
                            QLatin1Char(')'));
        }
        btn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        btn->setCursor(Qt::PointingHandCursor);
        connect(btn, &QToolButton::clicked, this, [this, b] { click(b); });
        lay->addWidget(btn);
        m_buttons.insert(b, btn);
    }
    lay->addStretch(1);
    updateEnabled();
}

void Navigator::setDataset(db::Dataset* dataset)
{
    m_dataset = dataset;
    if (dataset) {
        connect(dataset, &db::Dataset::stateChanged, this, &Navigator::updateEnabled);
        connect(dataset, &db::Dataset::currentChanged, this, &Navigator::updateEnabled);
        connect(dataset, &db::Dataset::rowsReset, this, &Navigator::updateEnabled);
    }
    updateEnabled();
}

void Navigator::updateEnabled()
{
    const bool has = m_dataset && m_dataset->isOpen();
    const bool editing = has && (m_dataset->state() == db::Dataset::State::Edit ||
                                 m_dataset->state() == db::Dataset::State::Insert);
    const bool rows = has && !m_dataset->isEmpty();
    const int rec = has ? m_dataset->recNo() : -1;
    const int count = has ? m_dataset->recordCount() : 0;
    for (auto it = m_buttons.begin(); it != m_buttons.end(); ++it) {
        bool on = has;
        switch (it.key()) {
        case First:
        case Prior: on = rows && !editing && rec > 0; break;
        case Next:
        case Last: on = rows && !editing && rec < count - 1; break;
        case Insert: on = has && !editing; break;
        case Delete:
        case Edit: on = rows && !editing; break;
        case Post:
        case Cancel: on = editing; break;
        case Refresh: on = has && !editing; break;
        }
        it.value()->setEnabled(on);
    }
}

bool Navigator::click(Button b)
{
    const WaitCursor busy;
    try {
        if (beforeAction)
            beforeAction(b);
        if (m_dataset) {
            switch (b) {
            case First: m_dataset->first(); break;
            case Prior: m_dataset->prior(); break;
            case Next: m_dataset->next(); break;
            case Last: m_dataset->last(); break;
            case Insert: m_dataset->insert(); break;
            case Delete: m_dataset->remove(); break;
            case Edit: m_dataset->edit(); break;
            case Post: m_dataset->post(); break;
            case Cancel: m_dataset->cancel(); break;
            case Refresh: m_dataset->requery(); break;
            }
        }
    } catch (const db::Abort&) {
        updateEnabled();
        return false;
    } catch (const db::InvalidInput& e) {
        updateEnabled();
        showMessage(this, e.message());
        return false;
    } catch (const Error& e) {
        updateEnabled();
        showError(this, e.message());
        return false;
    }
    updateEnabled();
    emit actionDone(b);
    return true;
}

QWidget* commandBar(QWidget* parent)
{
    auto* w = new QWidget(parent);
    w->setObjectName(QStringLiteral("BarraComandi"));
    w->setAttribute(Qt::WA_StyledBackground, true);
    return w;
}

BarPage barPage(QWidget* parent, const QString& pageName, const QList<Navigator::Button>& buttons,
               db::Dataset* dataset, const QString& navigatorName, bool withFilter)
{
    auto* page = new QWidget(parent);
    page->setObjectName(pageName);
    return barOnPage(page, buttons, dataset, navigatorName, withFilter);
}

BarPage barOnPage(QWidget* page, const QList<Navigator::Button>& buttons, db::Dataset* dataset,
                  const QString& navigatorName, bool withFilter)
{
    BarPage out;
    out.page = page;
    out.layout = new QVBoxLayout(out.page);
    out.layout->setContentsMargins(0, 0, 0, 0);
    out.layout->setSpacing(0);

    QWidget* bar = commandBar(out.page);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, withFilter ? 14 : 0, 0);
    out.navigator = new Navigator(buttons, bar);
    out.navigator->setObjectName(navigatorName);
    out.navigator->setDataset(dataset);
    barLayout->addWidget(out.navigator, 1);
    if (withFilter) {
        auto* label = new QLabel(QStringLiteral("Filtra:"), bar);
        label->setObjectName(QStringLiteral("LabelFiltra"));
        out.filter = new QLineEdit(bar);
        out.filter->setObjectName(QStringLiteral("EditFiltro"));
        out.filter->setClearButtonEnabled(true);
        out.filter->setMinimumWidth(260);
        label->setBuddy(out.filter);
        barLayout->addWidget(label);
        barLayout->addWidget(out.filter);
        focusOnFind(out.filter);
    }
    out.layout->addWidget(bar);
    return out;
}

void focusOnFind(QLineEdit* search)
{
    // Parented to the box: it answers only while the box is shown.
    auto* find = new QShortcut(QKeySequence::Find, search);
    QObject::connect(find, &QShortcut::activated, search, [search] {
        search->setFocus(Qt::ShortcutFocusReason);
        search->selectAll();
    });
    if (!search->toolTip().contains(QLatin1String("Ctrl+F")))
        search->setToolTip(search->toolTip().isEmpty() ? QStringLiteral("Cerca nell'elenco (Ctrl+F)")
                                                       : search->toolTip() + QStringLiteral(" (Ctrl+F)"));
}

// ---- editors --------------------------------------------------------------------------------

void makeUpperCase(QLineEdit* edit)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const QString upper = text.toUpper();
        if (upper == text)
            return;
        const int pos = edit->cursorPosition();
        edit->setText(upper);
        edit->setCursorPosition(pos);
        emit edit->textEdited(upper);
    });
}

DateBox::DateBox(QWidget* parent) : QLineEdit(parent)
{
    setInputMask(QStringLiteral("99/99/9999; "));
    setPlaceholderText(QStringLiteral("gg/mm/aaaa"));
    setMaximumWidth(120);
}

QString DateBox::maskedText() const
{
    return displayText();
}

QDate DateBox::date() const
{
    return dates::fromDisplay(displayText());
}

bool DateBox::isBlank() const
{
    return text().trimmed().remove(QLatin1Char('/')).trimmed().isEmpty();
}

bool DateBox::isReadable() const
{
    return isBlank() || date().isValid();
}

void DateBox::setDate(const QDate& d)
{
    if (d.isValid())
        setText(dates::toDisplay(d));
    else
        clear();
}

MoneyBox::MoneyBox(QWidget* parent) : QLineEdit(parent)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9.]*(,[0-9]{0,4})?")), this));
    setMaximumWidth(160);
}

std::optional<Money> MoneyBox::money() const
{
    return Money::parse(text());
}

bool MoneyBox::isReadable() const
{
    return text().trimmed().isEmpty() || money().has_value();
}

void MoneyBox::setMoney(const std::optional<Money>& m)
{
    setText(m ? m->toPlain(2) : QString());
}

FieldBinder::FieldBinder(db::Dataset* dataset, QObject* parent) : QObject(parent), m_dataset(dataset)
{
    connect(dataset, &db::Dataset::currentChanged, this, &FieldBinder::load);
    connect(dataset, &db::Dataset::stateChanged, this, &FieldBinder::load);
    connect(dataset, &db::Dataset::rowsReset, this, &FieldBinder::load);
}

void FieldBinder::ensureEditing()
{
    if (!m_dataset || !m_dataset->isOpen())
        return;
    if (m_dataset->state() == db::Dataset::State::Browse) {
        m_loading = true;
        try {
            if (m_dataset->isEmpty())
                m_dataset->insert();
            else
                m_dataset->edit();
        } catch (...) {
            m_loading = false;
            throw;
        }
        m_loading = false;
    }
}

QString fieldCaption(const QWidget* editor, const QString& field)
{
    const QString name = editor->accessibleName().trimmed();
    return name.isEmpty() ? field : name;
}

void FieldBinder::bind(QLineEdit* edit, const QString& field)
{
    m_bindings.push_back({edit, field, [this, edit, field] { edit->setText(m_dataset->value(field).toString()); }});
    if (edit->maxLength() < 32767 && !edit->property("szMaxLength").isValid())
        edit->setProperty("szMaxLength", edit->maxLength());
    // The column's width is the box's limit too, unless the box sets a smaller one.
    limitLength(edit, [this, edit, field] {
        const int own = edit->property("szMaxLength").toInt();
        const int f = m_dataset ? m_dataset->fieldIndex(field) : -1;
        const int column = f >= 0 ? declaredWidth(m_dataset->declaredType(f)) : 0;
        if (own > 0 && column > 0)
            return std::min(own, column);
        return own > 0 ? own : column;
    });
    connect(edit, &QLineEdit::textEdited, this, [this, edit, field] {
        if (m_loading)
            return;
        ensureEditing();
        const QString t = edit->text();
        m_dataset->setValue(field, t.isEmpty() ? QVariant() : QVariant(t));
        emit edited(field);
    });
}

void FieldBinder::bind(DateBox* edit, const QString& field)
{
    m_bindings.push_back({edit, field, [this, edit, field] { edit->setDate(m_dataset->value(field).toDate()); }});
    connect(edit, &QLineEdit::textEdited, this, [this, edit, field] {
        if (m_loading)
            return;
        ensureEditing();
        const QDate d = edit->date();
        m_dataset->setValue(field, d.isValid() ? QVariant(d) : QVariant());
        // A date half typed or impossible (31/02) is not "no date": the save must stop.
        if (!edit->isReadable())
            m_dataset->setInputError(
                field, QStringLiteral("ATTENZIONE: la data inserita nel campo \"%1\" (%2) non è una data valida. "
                                      "Si prega di correggere il campo per poter effettuare il salvataggio dei dati.")
                           .arg(fieldCaption(edit, field), edit->text()));
        emit edited(field);
    });
}

void FieldBinder::bind(MoneyBox* edit, const QString& field)
{
    m_bindings.push_back({edit, field, [this, edit, field] {
                              const QVariant v = m_dataset->value(field);
                              edit->setMoney(v.isNull() ? std::nullopt : std::optional<Money>(v.value<Money>()));
                          }});
    connect(edit, &QLineEdit::textEdited, this, [this, edit, field] {
        if (m_loading)
            return;
        ensureEditing();
        const auto m = edit->money();
        m_dataset->setValue(field, m ? QVariant::fromValue(*m) : QVariant());
        if (!edit->isReadable())
            m_dataset->setInputError(
                field, QStringLiteral("ATTENZIONE: l'importo inserito nel campo \"%1\" (%2) non è un importo "
                                      "valido. Si prega di correggere il campo per poter effettuare il salvataggio "
                                      "dei dati.")
                           .arg(fieldCaption(edit, field), edit->text()));
        emit edited(field);
    });
}

int declaredWidth(const QString& declaredType)
{
    static const QRegularExpression width(QStringLiteral("^\\s*(?:VAR)?CHAR\\s*\\(\\s*(\\d+)\\s*\\)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const auto m = width.match(declaredType);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

int characterCount(const QString& text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!text[i].isLowSurrogate())
            ++n;
    return n;
}

void setMaxChars(QLineEdit* edit, int max)
{
    edit->setProperty("szMaxLength", max);
    limitLength(edit, [edit] { return edit->property("szMaxLength").toInt(); });
}

void limitLength(QLineEdit* edit, std::function<int()> limit)
{
    // One guard per box: a later call only changes where the limit comes from.
    // Qt's own limit cuts a pasted text without a word; the guard refuses it instead.
    edit->setMaxLength(32767);
    struct Guard : QObject
    {
        using QObject::QObject;
        QString accepted;
        std::function<int()> limit;
    };
    auto* old = edit->findChild<Guard*>(QStringLiteral("szLengthGuard"), Qt::FindDirectChildrenOnly);
    if (old) {
        old->limit = std::move(limit);
        return;
    }
    auto* g = new Guard(edit);
    g->setObjectName(QStringLiteral("szLengthGuard"));
    g->limit = std::move(limit);
    g->accepted = edit->text();
    // The box's text rather than the signal's: a box that rewrites its text while it is
    // being edited (capitals) may signal an older one afterwards.
    QObject::connect(edit, &QLineEdit::textChanged, g, [g, edit] {
        const int max = g->limit ? g->limit() : 0;
        if (max <= 0 || characterCount(edit->text()) <= max)
            g->accepted = edit->text();
    });
    // Connected before any binding's handler is (binders install the guard first), so
    // what reaches the dataset is the text as it stays in the box.
    QObject::connect(edit, &QLineEdit::textEdited, g, [g, edit] {
        const int max = g->limit ? g->limit() : 0;
        const QString t = edit->text();
        if (max <= 0 || characterCount(t) <= max) {
            g->accepted = t;
            return;
        }
        const int pos = std::min(int(g->accepted.size()), edit->cursorPosition());
        const QString back = g->accepted;
        {
            const QSignalBlocker block(edit);
            edit->setText(back);
            edit->setCursorPosition(pos);
        }
        const QString why =
            QStringLiteral("Il campo accetta al massimo %1 caratteri: il testo (%2 caratteri) non è stato inserito.")
                .arg(max)
                .arg(characterCount(t));
        edit->setProperty("szLastRefusal", why);
        QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), why, edit);
        QApplication::beep();
    });
}

void FieldBinder::bind(QCheckBox* box, const QString& field)
{
    m_bindings.push_back({box, field, [this, box, field] { box->setChecked(m_dataset->value(field).toBool()); }});
    connect(box, &QCheckBox::toggled, this, [this, field](bool on) {
        if (m_loading)
            return;
        ensureEditing();
        m_dataset->setValue(field, on);
        emit edited(field);
    });
}

void FieldBinder::bind(QComboBox* box, const QString& field)
{
    m_bindings.push_back({box, field, [this, box, field] { box->setCurrentText(m_dataset->value(field).toString()); }});
    connect(box, &QComboBox::currentTextChanged, this, [this, field](const QString& t) {
        if (m_loading)
            return;
        ensureEditing();
        m_dataset->setValue(field, t.isEmpty() ? QVariant() : QVariant(t));
        emit edited(field);
    });
}

void FieldBinder::bind(QPlainTextEdit* edit, const QString& field)
{
    m_bindings.push_back(
        {edit, field, [this, edit, field] { edit->setPlainText(m_dataset->value(field).toString()); }});
    connect(edit, &QPlainTextEdit::textChanged, this, [this, edit, field] {
        if (m_loading)
            return;
        ensureEditing();
        m_dataset->setValue(field, edit->toPlainText());
        emit edited(field);
    });
}

void FieldBinder::load()
{
    if (!m_dataset || m_loading)
        return;
    m_loading = true;
    for (const auto& b : m_bindings)
        b.show();
    m_loading = false;
}

void FieldBinder::setReadOnly(bool readOnly)
{
    for (const auto& b : m_bindings)
        b.widget->setEnabled(!readOnly);
}

// ---- grid -----------------------------------------------------------------------------------------

namespace {

class ColourDelegate : public QStyledItemDelegate
{
public:
    explicit ColourDelegate(Grid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        if (m_grid->isRightAligned(index.column()))
            opt.displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
        if (m_grid->colourRule() && m_grid->dataset()) {
            const int field = m_grid->datasetModel()->fieldOf(index.column());
            const QString name = field >= 0 ? m_grid->dataset()->fieldName(field) : QString();
            const bool selected = opt.state & QStyle::State_Selected;
            const CellColours c = m_grid->colourRule()(index.row(), name, selected);
            if (c.background) {
                opt.backgroundBrush = *c.background;
                opt.palette.setColor(QPalette::Highlight, *c.background);
            }
            if (c.text) {
                opt.palette.setColor(QPalette::Text, *c.text);
                opt.palette.setColor(QPalette::HighlightedText, *c.text);
            }
        }
        const QWidget* w = opt.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, p, w);
    }

private:
    Grid* m_grid;
};

} // namespace

CellColours markColours(CellMark mark, bool selected)
{
    static const QColor red(255, 0, 0), alarmRed(232, 28, 33), darkGreen(48, 120, 39), successGreen(70, 175, 58),
        white(255, 255, 255);
    CellColours c;
    if (mark == CellMark::Alarm) {
        c.text = selected ? white : red;
        if (selected) c.background = alarmRed;
    } else if (mark == CellMark::Success) {
        c.text = selected ? white : darkGreen;
        if (selected) c.background = successGreen;
    }
    return c;
}

Grid::Grid(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(24);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setCursor(Qt::PointingHandCursor);
    horizontalHeader()->setStretchLastSection(true);
    QFont bold = horizontalHeader()->font();
    bold.setBold(true);
    horizontalHeader()->setFont(bold);
    setItemDelegate(new ColourDelegate(this));
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &Grid::titleClick);
    connect(this, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        if (i.isValid())
            emit rowDoubleClicked(i.row());
    });
}

void Grid::setDataset(db::Dataset* dataset, const QList<QPair<QString, QString>>& fieldsAndTitles)
{
    m_dataset = dataset;
    m_model = new db::DatasetModel(dataset, this);
    m_model->setColumns(fieldsAndTitles);
    setModel(m_model);
    // A column is never narrower than its title in the header's bold type (with room for
    // the sort mark), whoever sets its width: the frame, a restored layout or a drag.
    auto* header = horizontalHeader();
    const auto titleWidth = [header, this](int column) {
        const QString title = m_model ? m_model->headerData(column, Qt::Horizontal).toString() : QString();
        const QStyle* style = header->style();
        return QFontMetrics(header->font()).horizontalAdvance(title) +
               2 * style->pixelMetric(QStyle::PM_HeaderMargin) + style->pixelMetric(QStyle::PM_HeaderMarkSize) + 8;
    };
    for (int c = 0; c < header->count(); ++c)
        if (header->sectionSize(c) < titleWidth(c)) header->resizeSection(c, titleWidth(c));
    connect(header, &QHeaderView::sectionResized, this, [header, titleWidth](int column, int, int size) {
        if (size > 0 && size < titleWidth(column)) header->resizeSection(column, titleWidth(column));
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& cur) {
        if (m_syncing || !m_dataset || !cur.isValid())
            return;
        if (m_dataset->state() != db::Dataset::State::Browse)
            return;
        m_syncing = true;
        m_dataset->moveTo(cur.row());
        m_syncing = false;
    });
    auto follow = [this] {
        if (m_syncing || !m_dataset || !m_model)
            return;
        const int r = m_dataset->recNo();
        m_syncing = true;
        if (r >= 0 && r < m_model->rowCount()) {
            const QModelIndex idx = m_model->index(r, 0);
            // A multi-selection is what the user marked for an action: the current row
            // alone is not a choice, so it is only shown as current.
            if (selectionMode() == QAbstractItemView::SingleSelection)
                selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            else
                selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
            scrollTo(idx);
        }
        m_syncing = false;
    };
    connect(dataset, &db::Dataset::currentChanged, this, follow);
    connect(dataset, &db::Dataset::rowsReset, this, [this, follow] {
        // The marks are rows of the list as it was; after a re-read, a filter or a sort
        // they would point at other credits.
        if (selectionMode() != QAbstractItemView::SingleSelection)
            selectionModel()->clearSelection();
        follow();
    });
    follow();
}

void Grid::setMultiSelect(bool on)
{
    setSelectionMode(on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void Grid::setRightAligned(int column)
{
    m_rightAligned.insert(column);
    viewport()->update();
}

void Grid::setColourRule(std::function<CellColours(int, const QString&, bool)> rule)
{
    m_rule = std::move(rule);
    viewport()->update();
}

namespace {

// Watches the viewport rather than overriding viewportEvent: a frame may watch the same
// tooltips with a filter of its own, which would otherwise swallow them before the grid.
class TooltipFilter : public QObject
{
public:
    explicit TooltipFilter(Grid* grid) : QObject(grid), m_grid(grid) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() != QEvent::ToolTip || watched != m_grid->viewport())
            return false;
        auto* he = static_cast<QHelpEvent*>(e);
        const QModelIndex cell = m_grid->indexAt(he->pos());
        const QString text = m_grid->tooltip(cell);
        if (text.isEmpty())
            return false;
        QToolTip::showText(he->globalPos(), text, m_grid->viewport(), m_grid->visualRect(cell));
        return true;
    }

private:
    Grid* m_grid;
};

} // namespace

void Grid::setTooltipRule(std::function<QString(int, const QString&)> rule)
{
    m_tooltipRule = std::move(rule);
    if (!m_tooltipFilter)
        m_tooltipFilter = new TooltipFilter(this);
    // Installed again it is asked first, before filters installed since.
    viewport()->installEventFilter(m_tooltipFilter);
}

QString Grid::tooltip(const QModelIndex& cell) const
{
    if (!m_tooltipRule || !cell.isValid() || !m_dataset || !m_model)
        return {};
    const int field = m_model->fieldOf(cell.column());
    if (field < 0)
        return {};
    return m_tooltipRule(cell.row(), m_dataset->fieldName(field));
}

QString Grid::nextSort(const QString& currentSort, const QString& field)
{
    if (currentSort.startsWith(field) && !currentSort.contains(QLatin1String(" DESC")))
        return field + QStringLiteral(" DESC");
    return field + QStringLiteral(" ASC");
}

void Grid::titleClick(int column)
{
    if (!m_dataset || !m_model)
        return;
    const int field = m_model->fieldOf(column);
    if (field < 0)
        return;
    const WaitCursor busy;
    m_dataset->setSort(nextSort(m_dataset->sort(), m_dataset->fieldName(field)));
}

QLabel* caption(const QString& text, QWidget* parent, QWidget* buddy)
{
    auto* l = new QLabel(text, parent);
    if (buddy)
        l->setBuddy(buddy);
    l->setStyleSheet(QStringLiteral("font-weight: 600; color: #334155;"));
    return l;
}

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), m_group(new QButtonGroup(this)), m_layout(new QGridLayout(this))
{
    m_layout->setContentsMargins(10, 6, 10, 8);
    m_layout->setVerticalSpacing(4);
    m_layout->setColumnStretch(2, 1);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        m_group->addButton(b, i);
        m_layout->addWidget(b, i, 0);
    }
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) { emit itemChosen(id); });
}

int RadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (QAbstractButton* b = m_group->button(index)) b->setChecked(true);
}

int RadioGroup::count() const
{
    return int(m_group->buttons().size());
}

QString RadioGroup::itemCaption(int index) const
{
    const QAbstractButton* b = m_group->button(index);
    return b ? b->text() : QString();
}

QRadioButton* RadioGroup::button(int index) const
{
    return qobject_cast<QRadioButton*>(m_group->button(index));
}

void RadioGroup::addBeside(int index, QWidget* widget)
{
    m_layout->addWidget(widget, index, 1);
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

void Grid::selectAll()
{
    if (!m_model)
        return;
    clearSelection();
    setUpdatesEnabled(false);
    if (m_model->rowCount() > 0)
        selectionModel()->select(QItemSelection(m_model->index(0, 0),
                                                m_model->index(m_model->rowCount() - 1, m_model->columnCount() - 1)),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    setUpdatesEnabled(true);
}

QList<int> Grid::selectedRows() const
{
    QList<int> out;
    if (!selectionModel())
        return out;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        out << i.row();
    std::sort(out.begin(), out.end());
    return out;
}

void Grid::keyPressEvent(QKeyEvent* e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && e->modifiers() == Qt::NoModifier &&
        currentIndex().isValid()) {
        emit rowDoubleClicked(currentIndex().row());
        return;
    }
    QTableView::keyPressEvent(e);
}

void Grid::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu(this);
    if (selectionMode() == QAbstractItemView::ExtendedSelection) {
        QAction* all = menu.addAction(QStringLiteral("Seleziona tutto"));
        all->setObjectName(QStringLiteral("Selezionatutto1"));
        connect(all, &QAction::triggered, this, &Grid::selectAll);
    }
    QAction* out = menu.addAction(QStringLiteral("Esporta…"));
    out->setObjectName(QStringLiteral("Esporta1"));
    connect(out, &QAction::triggered, this, [this] { esportaGriglia(this, window()); });
    menu.exec(e->globalPos());
}

// ---- list and edit frame -----------------------------------------------------------------------------

ListEditFrame::ListEditFrame(const QString& title, const QString& description, QWidget* parent)
    : ModuleFrame(title, description, parent)
{
}

QWidget* ListEditFrame::buildPages(db::Dataset* dataset, const QList<QPair<QString, QString>>& columns,
                                   const Pages& names)
{
    m_dataset = dataset;
    auto* lay = new QVBoxLayout(body());
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    m_pages = new QStackedWidget(body());
    m_pages->setObjectName(names.pagesName);
    lay->addWidget(m_pages);

    const BarPage list = barPage(m_pages, QStringLiteral("TabElenco"), names.listButtons, dataset,
                                 names.listNavigatorName, names.filter);
    m_listPage = list.page;
    m_listNav = list.navigator;
    m_filter = list.filter;
    if (m_filter) {
        if (!names.filterHint.isEmpty())
            m_filter->setToolTip(names.filterHint + QStringLiteral(" (Ctrl+F)"));
        connect(m_filter, &QLineEdit::textChanged, this,
                [this](const QString& t) { m_dataset->setFilter(filterFor(t)); });
    }
    m_grid = new Grid(m_listPage);
    m_grid->setObjectName(names.gridName);
    m_grid->setDataset(dataset, columns);
    if (auto* barLayout = qobject_cast<QHBoxLayout*>(m_listNav->parentWidget()->layout()))
        barLayout->insertWidget(1, pulsanteEsporta(m_grid, m_listNav->parentWidget()));
    auto* gridBox = new QWidget(m_listPage);
    auto* gridLay = new QVBoxLayout(gridBox);
    gridLay->setContentsMargins(12, 10, 12, 12);
    gridLay->addWidget(m_grid);
    list.layout->addWidget(gridBox, 1);
    connect(m_grid, &Grid::rowDoubleClicked, this, [this] { m_listNav->click(Navigator::Edit); });
    m_listNav->beforeAction = [this](Navigator::Button b) {
        if (b == Navigator::Delete) {
            const QString question = deleteQuestion();
            if (!question.isEmpty() && !confirm(this, question))
                throw db::Abort{};
        }
        beforeListAction(b);
        if (b == Navigator::Insert || b == Navigator::Edit)
            showEdit();
    };
    connect(m_listNav, &Navigator::actionDone, this, [this](Navigator::Button b) { afterListAction(b); });

    const BarPage edit = barPage(m_pages, QStringLiteral("TabDettaglio"), names.editButtons, dataset,
                                 names.editNavigatorName, false);
    m_editPage = edit.page;
    m_editNav = edit.navigator;
    m_editNav->beforeAction = [this](Navigator::Button b) {
        if (b == Navigator::Post)
            checkSave();
    };
    // Back to the list only once the row is written or dropped: a refused save leaves the
    // user on the fields to correct.
    connect(m_editNav, &Navigator::actionDone, this, [this](Navigator::Button) { showList(); });
    auto* content = new QWidget(m_editPage);
    content->setObjectName(QStringLiteral("ContenutoDettaglio"));
    edit.layout->addWidget(content, 1);

    m_pages->addWidget(m_listPage);
    m_pages->addWidget(m_editPage);
    m_binder = new FieldBinder(dataset, this);
    return content;
}

QString ListEditFrame::filterFor(const QString&) const
{
    return {};
}

bool ListEditFrame::editVisible() const
{
    return m_pages && m_pages->currentWidget() == m_editPage;
}

void ListEditFrame::showList()
{
    m_pages->setCurrentWidget(m_listPage);
    m_grid->setFocus();
}

void ListEditFrame::showEdit()
{
    m_pages->setCurrentWidget(m_editPage);
    if (QWidget* first = firstField())
        first->setFocus();
}

bool ListEditFrame::hasUnsavedChanges() const
{
    return m_dataset && m_dataset->isModified();
}

bool ListEditFrame::saveChanges()
{
    if (!m_dataset || !m_dataset->isModified())
        return true;
    if (!editVisible())
        showEdit();
    return m_editNav->click(Navigator::Post);
}

void ListEditFrame::discardChanges()
{
    if (m_dataset && m_dataset->isModified())
        m_editNav->click(Navigator::Cancel);
}

// ---- look -------------------------------------------------------------------------------------------------

void applyLook()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    QPalette pal = QApplication::palette();
    pal.setColor(QPalette::Window, QColor(0xf4, 0xf6, 0xf9));
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, QColor(0xf0, 0xf4, 0xf8));
    pal.setColor(QPalette::Highlight, QColor(0x1f, 0x6f, 0xb2));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::Button, QColor(0xfa, 0xfb, 0xfc));
    QApplication::setPalette(pal);
    qApp->setStyleSheet(QStringLiteral(R"(
QWidget#FrameHeading { background: #ffffff; }
QLabel#LabelTitolo { font-size: 16pt; font-weight: 600; color: #1f4e79; }
QLabel#LabelDescrizione { color: #4a5a6a; }
QFrame#LineaTitolo { background: #f2b134; border: none; }
QWidget#Navigator { background: #e9eef4; border-top: 1px solid #d3dce6; }
QWidget#BarraComandi { background: #e9eef4; border-bottom: 1px solid #d3dce6; }
QWidget#BarraComandi QWidget#Navigator { border-top: none; }
QToolButton { padding: 4px 8px; border-radius: 4px; }
QToolButton:hover { background: #dbe6f2; }
QToolButton:disabled { color: #9aa5b1; }
QGroupBox { font-weight: 600; color: #1f4e79; border: 1px solid #d3dce6; border-radius: 6px; margin-top: 12px; padding-top: 8px; background: #ffffff; }
QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }
QHeaderView::section { background: #e9eef4; color: #1f2d3d; padding: 4px 6px; border: none; border-right: 1px solid #d3dce6; border-bottom: 1px solid #c5d0dc; }
QTableView { gridline-color: #e1e7ee; selection-background-color: #1f6fb2; }
QLineEdit, QPlainTextEdit { padding: 3px 5px; border: 1px solid #c5d0dc; border-radius: 4px; background: #ffffff; }
QLineEdit:focus, QPlainTextEdit:focus { border: 1px solid #1f6fb2; }
QLineEdit:disabled { background: #eef1f4; color: #7a8794; }
QPushButton { padding: 5px 14px; border: 1px solid #b8c4d0; border-radius: 4px; background: #ffffff; }
QPushButton:hover { background: #e9f1fa; }
QMenuBar { background: #1f4e79; color: #ffffff; }
QMenuBar::item { padding: 6px 12px; background: transparent; }
QMenuBar::item:selected { background: #2d6aa3; }
QMenuBar::item:disabled { color: #8fa6bd; }
)"));
}

void loadItalianTranslations()
{
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    auto* qt = new QTranslator(qApp);
    if (qt->load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qt);
    else
        delete qt;
}

} // namespace sz::ui
