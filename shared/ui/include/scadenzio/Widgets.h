#pragma once

#include "scadenzio/Dataset.h"
#include "scadenzio/Esporta.h"
#include "scadenzio/UiExport.h"
#include "scadenzio/Money.h"

#include <QColor>
#include <QDate>
#include <QGroupBox>
#include <QHash>
#include <QSet>
#include <QKeySequence>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QButtonGroup;
class QRadioButton;
class QGridLayout;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace sz::db {
class Connection;
class DatasetModel;
} // namespace sz::db

// The UI kit every module frame is built from: the heading, the navigator bar, the
// data-aware editors, the grid. Logic stays in the Dataset; these only show and edit it.
namespace sz::ui {

// Heading and description line at the top of every module frame.
class SZ_UI_EXPORT FrameHeading : public QWidget
{
    Q_OBJECT
public:
    FrameHeading(const QString& title, const QString& description, QWidget* parent = nullptr);
    QLabel* titleLabel() const { return m_title; }
    QLabel* descriptionLabel() const { return m_description; }

private:
    QLabel* m_title;
    QLabel* m_description;
};

// Base of the module frames: fills its parent, shows the heading, owns its database
// connection (opened in the constructor: a failure makes the construction fail).
class SZ_UI_EXPORT ModuleFrame : public QWidget
{
    Q_OBJECT
public:
    ModuleFrame(const QString& title, const QString& description, QWidget* parent = nullptr);
    ~ModuleFrame() override;
    db::Connection& connection() const { return *m_conn; }
    QWidget* body() const { return m_body; } // lay the frame's content into this
    FrameHeading* heading() const { return m_heading; }

    // Typing not yet saved. The main window asks before it takes the frame away.
    virtual bool hasUnsavedChanges() const { return false; }
    // Saves as the frame's own "Salva" does; false when the save was refused or failed
    // (the frame has then said why, and keeps the typing).
    virtual bool saveChanges() { return true; }
    virtual void discardChanges() {}
    // "Salvare le modifiche?" (Sì / No / Annulla) when there is unsaved typing: true when
    // the frame may go (saved or dropped), false to keep it (Annulla, or a refused save).
    bool confirmLeave();

    // Another workstation changed data this frame shows: the bar above the frame's content
    // says so, and "Aggiorna" reads it again. Never by itself: the clerk may be typing.
    QWidget* avvisoModifiche() const { return m_avviso; }
    // What "Aggiorna" does: reads again every open list of the frame not being edited.
    // Returns false when one was left as it is because it holds unsaved typing.
    virtual bool aggiornaDati();

signals:
    // Asks the main window to run a menu command (a command string of PackToLoad.ini) as
    // if the user had chosen it. It runs once the emitting handler has returned, because
    // loading another module unloads this frame's code.
    void commandRequested(const QString& command);

private:
    void modificheAltrove(const QStringList& tabelle);

    std::unique_ptr<db::Connection> m_conn;
    FrameHeading* m_heading;
    QWidget* m_avviso = nullptr;
    QLabel* m_testoAvviso = nullptr;
    QWidget* m_body;
};

// Navigator bar over a Dataset. Before every action the hook runs; it may throw
// db::Abort to cancel silently (after its own message).
class SZ_UI_EXPORT Navigator : public QWidget
{
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    Navigator(const QList<Button>& buttons, QWidget* parent = nullptr);
    void setDataset(db::Dataset* dataset);
    QToolButton* button(Button b) const { return m_buttons.value(b); }
    static QString hint(Button b);

    // Performs the action as a click would; returns false when it was cancelled or failed.
    bool click(Button b);
    // The key that performs the action while the bar is shown, empty for none.
    static QKeySequence shortcut(Button b);

    std::function<void(Button)> beforeAction;

signals:
    void actionDone(sz::ui::Navigator::Button b);

private:
    void updateEnabled();
    QPointer<db::Dataset> m_dataset;
    QHash<Button, QToolButton*> m_buttons;
};

// A strip in the navigator's colours, so a navigator and the filters beside it read
// as one bar across the top of a list.
SZ_UI_EXPORT QWidget* commandBar(QWidget* parent);

// One page of a list/detail frame: a command bar holding a navigator over the dataset
// and, for a list, the "Filtra:" box at its right; the page's content goes below it,
// into layout.
struct BarPage
{
    QWidget* page = nullptr;
    QVBoxLayout* layout = nullptr;
    Navigator* navigator = nullptr;
    QLineEdit* filter = nullptr; // EditFiltro, or nullptr without a filter
};
SZ_UI_EXPORT BarPage barPage(QWidget* parent, const QString& pageName, const QList<Navigator::Button>& buttons,
                                 db::Dataset* dataset, const QString& navigatorName, bool withFilter);
// The same bar on a page that already exists (and has no layout yet).
SZ_UI_EXPORT BarPage barOnPage(QWidget* page, const QList<Navigator::Button>& buttons, db::Dataset* dataset,
                               const QString& navigatorName, bool withFilter);

// The bold caption before a box or a row of choices; the letter after "&" moves the
// cursor to buddy.
SZ_UI_EXPORT QLabel* caption(const QString& text, QWidget* parent, QWidget* buddy = nullptr);

// A titled group of exclusive choices addressed by their index, one per line, as the
// settings panels show them. setItemIndex() is the program's choice and tells no one;
// itemChosen is the user's.
class SZ_UI_EXPORT RadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);
    int itemIndex() const;
    void setItemIndex(int index);
    int count() const;
    QString itemCaption(int index) const;
    QRadioButton* button(int index) const;
    // A widget on the line of an item, after its caption (the edit of an "Altro:").
    void addBeside(int index, QWidget* widget);

signals:
    void itemChosen(int index);

private:
    QButtonGroup* m_group = nullptr;
    QGridLayout* m_layout = nullptr;
};

// The busy pointer for as long as it lives, taken back however the scope is left.
class SZ_UI_EXPORT WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Ctrl+F puts the cursor in this search box while it is shown.
SZ_UI_EXPORT void focusOnFind(QLineEdit* search);

// Line edit whose letters become capitals as they are typed.
SZ_UI_EXPORT void makeUpperCase(QLineEdit* edit);

// Date box: mask dd/mm/yyyy, empty text "  /  /    ".
class SZ_UI_EXPORT DateBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit DateBox(QWidget* parent = nullptr);
    QDate date() const;        // null when empty or not a real date
    void setDate(const QDate& d);
    QString maskedText() const; // the text as shown, blanks included
    bool isBlank() const;       // nothing typed: the only text that means "no date"
    bool isReadable() const;    // blank, or a real date
};

// Amount box: decimal comma, two decimals shown.
class SZ_UI_EXPORT MoneyBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit MoneyBox(QWidget* parent = nullptr);
    std::optional<Money> money() const; // empty text: no value
    void setMoney(const std::optional<Money>& m);
    bool isReadable() const; // empty, or an amount the program can hold
};

// Limits a text box to max characters (not UTF-16 units). Unlike QLineEdit's own limit,
// a typed or pasted text that would pass it is refused with a word under the box, and
// the box keeps what it had: a text is never cut silently.
SZ_UI_EXPORT void setMaxChars(QLineEdit* edit, int max);
SZ_UI_EXPORT void limitLength(QLineEdit* edit, std::function<int()> limit);
// The width of a declared "VARCHAR(n)" column, 0 for none.
SZ_UI_EXPORT int declaredWidth(const QString& declaredType);
SZ_UI_EXPORT int characterCount(const QString& text);
// The caption that messages about an editor use: its accessible name, else the field.
SZ_UI_EXPORT QString fieldCaption(const QWidget* editor, const QString& field);

// Binds editors to fields of a Dataset: shows the current row, starts editing when
// the user types, writes every change into the edit buffer.
class SZ_UI_EXPORT FieldBinder : public QObject
{
    Q_OBJECT
public:
    explicit FieldBinder(db::Dataset* dataset, QObject* parent = nullptr);
    void bind(QLineEdit* edit, const QString& field);
    void bind(DateBox* edit, const QString& field);
    void bind(MoneyBox* edit, const QString& field);
    void bind(QCheckBox* box, const QString& field);
    void bind(QComboBox* box, const QString& field); // the text is the value
    void bind(QPlainTextEdit* edit, const QString& field);
    void load(); // shows the current row (or the edit buffer)
    void setReadOnly(bool readOnly);

signals:
    void edited(const QString& field);

private:
    void ensureEditing();
    struct Binding
    {
        QWidget* widget;
        QString field;
        std::function<void()> show;
    };
    QPointer<db::Dataset> m_dataset;
    QList<Binding> m_bindings;
    bool m_loading = false;
};

// Colours of one cell, for grid colour rules.
struct CellColours
{
    std::optional<QColor> text;
    std::optional<QColor> background;
};

// The two marks the lists of credits use: red for what is still due or in bad debt,
// green for what came in whole. On a selected row the colour becomes the background,
// white text on it, so the mark stays visible.
enum class CellMark { None, Alarm, Success };
SZ_UI_EXPORT CellColours markColours(CellMark mark, bool selected);

// A grid over a Dataset: whole-row selection, title click sorts in memory (first click
// ascending, then descending), a pointing hand over the titles, colour rules,
// double-click, and in the pop-up menu "Seleziona tutto" when multi-selection is on and
// "Esporta…" always.
class SZ_UI_EXPORT Grid : public QTableView
{
    Q_OBJECT
public:
    explicit Grid(QWidget* parent = nullptr);
    void setDataset(db::Dataset* dataset, const QList<QPair<QString, QString>>& fieldsAndTitles);
    db::Dataset* dataset() const { return m_dataset; }
    db::DatasetModel* datasetModel() const { return m_model; }
    void setMultiSelect(bool on);
    // The rule decides the colours of a cell: visible row, field name, selected.
    void setColourRule(std::function<CellColours(int row, const QString& field, bool selected)> rule);
    const std::function<CellColours(int, const QString&, bool)>& colourRule() const { return m_rule; }
    // The rule gives the tooltip of a cell (visible row, field name), empty for none; where it
    // gives none, whatever else the grid shows there stays. Set it after anything else that
    // watches the grid's tooltips, so the rule is asked first.
    void setTooltipRule(std::function<QString(int row, const QString& field)> rule);
    // What the rule says over the cell, empty without a rule or outside the cells.
    QString tooltip(const QModelIndex& cell) const;
    // Amounts read to the right edge of their column, formatted text ones too.
    void setRightAligned(int column);
    bool isRightAligned(int column) const { return m_rightAligned.contains(column); }
    // Title click: sorts by the field of the column.
    void titleClick(int column);
    static QString nextSort(const QString& currentSort, const QString& field);
    void selectAll() override;
    QList<int> selectedRows() const;

signals:
    // A double click, or Enter on the current row: frames open the row.
    void rowDoubleClicked(int visibleRow);

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QPointer<db::Dataset> m_dataset;
    db::DatasetModel* m_model = nullptr;
    std::function<CellColours(int, const QString&, bool)> m_rule;
    std::function<QString(int, const QString&)> m_tooltipRule;
    QObject* m_tooltipFilter = nullptr;
    QSet<int> m_rightAligned;
    bool m_syncing = false;
};

// "Esporta…": the rows a grid shows (filter and order as shown, hidden rows left out), its
// visible columns in their visual order under their titles, to an .xlsx or .csv file the
// user picks. Works on any table view; over a Grid the values are those read, so amounts
// and dates stay numbers and dates. The button (BottoneEsporta) goes into a command bar.
SZ_UI_EXPORT QToolButton* pulsanteEsporta(QTableView* grid, QWidget* parent);
// The same, from a menu or a frame's own button: asks for the file, writes it, says how many
// rows went out (or what went wrong). Returns the rows written, -1 when nothing was written.
SZ_UI_EXPORT int esportaGriglia(QTableView* grid, QWidget* parent);
// The table that an export of the grid writes.
SZ_UI_EXPORT esporta::Tabella tabellaDaGriglia(const QTableView* grid);
// The file name the dialog proposes (without extension); by default the title of the frame
// that holds the grid.
SZ_UI_EXPORT void impostaNomeEsportazione(QTableView* grid, const QString& nome);
// Test seam: while set, called instead of the file dialog with the proposed path; returns
// the path typed (empty: cancelled) and may set the filter chosen (its text, as shown).
SZ_UI_EXPORT void impostaSceltaFileEsportazione(
    std::function<QString(const QString& proposto, QString* filtroScelto)> scelta);

// A registry frame: a list page and an edit page over one dataset, each with its command
// bar at the top (the navigator at the left, "Filtra:" at the right of the list's), the
// grid under the list's bar and the fields under the edit's. A registry states its
// fields, columns and rules; the pages, the navigation between them, the keyboard and
// the unsaved-changes question are the same in every one.
class SZ_UI_EXPORT ListEditFrame : public ModuleFrame
{
    Q_OBJECT
public:
    ListEditFrame(const QString& title, const QString& description, QWidget* parent = nullptr);

    db::Dataset* dataset() const { return m_dataset; }
    QStackedWidget* pages() const { return m_pages; }
    QWidget* listPage() const { return m_listPage; }
    QWidget* editPage() const { return m_editPage; }
    Navigator* listNavigator() const { return m_listNav; }
    Navigator* editNavigator() const { return m_editNav; }
    Grid* grid() const { return m_grid; }
    QLineEdit* filterEdit() const { return m_filter; }
    FieldBinder* binder() const { return m_binder; }
    bool editVisible() const;

    bool hasUnsavedChanges() const override;
    bool saveChanges() override;
    void discardChanges() override;

protected:
    struct Pages
    {
        QString pagesName = QStringLiteral("PageControl");
        QString listNavigatorName = QStringLiteral("sDBNavigator1");
        QString editNavigatorName = QStringLiteral("sDBNavigator3");
        QString gridName = QStringLiteral("sDBGrid1");
        QList<Navigator::Button> listButtons = {Navigator::First, Navigator::Prior, Navigator::Next,
                                                Navigator::Last,  Navigator::Insert, Navigator::Delete,
                                                Navigator::Edit};
        QList<Navigator::Button> editButtons = {Navigator::Post, Navigator::Cancel};
        QString filterHint; // tooltip of "Filtra:"; the box is there whenever filterFor() is given
        bool filter = true;
    };
    // Builds both pages over the dataset, laid into body(). Returns the edit page's content
    // area, into which the frame lays its fields (bound through binder()).
    QWidget* buildPages(db::Dataset* dataset, const QList<QPair<QString, QString>>& columns,
                        const Pages& pages);

    // The record filter for what was typed in "Filtra:" (empty text: none).
    virtual QString filterFor(const QString& typed) const;
    // The confirmation before a delete; empty deletes without asking.
    virtual QString deleteQuestion() const { return {}; }
    // Checks of a save, after the editors' own: show the message and throw db::Abort.
    virtual void checkSave() {}
    // The field that takes the focus on the edit page.
    virtual QWidget* firstField() const { return nullptr; }
    // Before the list's actions, after the pages have followed (Insert and Edit show the
    // edit page, Delete has been confirmed); throw db::Abort to cancel.
    virtual void beforeListAction(Navigator::Button) {}
    virtual void afterListAction(Navigator::Button) {}

    void showList();
    void showEdit();

private:
    db::Dataset* m_dataset = nullptr;
    FieldBinder* m_binder = nullptr;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_listPage = nullptr;
    QWidget* m_editPage = nullptr;
    Navigator* m_listNav = nullptr;
    Navigator* m_editNav = nullptr;
    Grid* m_grid = nullptr;
    QLineEdit* m_filter = nullptr;
};

// The look of the whole program and the Italian texts of Qt's own dialogs.
SZ_UI_EXPORT void applyLook();
SZ_UI_EXPORT void loadItalianTranslations();

} // namespace sz::ui
