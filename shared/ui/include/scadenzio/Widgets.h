#pragma once

#include "scadenzio/Dataset.h"
#include "scadenzio/UiExport.h"
#include "scadenzio/Money.h"

#include <QColor>
#include <QDate>
#include <QHash>
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

signals:
    // Asks the main window to run a menu command (a command string of PackToLoad.ini) as
    // if the user had chosen it. It runs once the emitting handler has returned, because
    // loading another module unloads this frame's code.
    void commandRequested(const QString& command);

private:
    std::unique_ptr<db::Connection> m_conn;
    FrameHeading* m_heading;
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
};

// Amount box: decimal comma, two decimals shown.
class SZ_UI_EXPORT MoneyBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit MoneyBox(QWidget* parent = nullptr);
    std::optional<Money> money() const; // empty text: no value
    void setMoney(const std::optional<Money>& m);
};

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

// A grid over a Dataset: whole-row selection, title click sorts in memory (first click
// ascending, then descending), a pointing hand over the titles, colour rules,
// double-click, and "Seleziona tutto" in the pop-up menu when multi-selection is on.
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
    // Title click: sorts by the field of the column.
    void titleClick(int column);
    static QString nextSort(const QString& currentSort, const QString& field);
    void selectAll() override;
    QList<int> selectedRows() const;

signals:
    void rowDoubleClicked(int visibleRow);

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    QPointer<db::Dataset> m_dataset;
    db::DatasetModel* m_model = nullptr;
    std::function<CellColours(int, const QString&, bool)> m_rule;
    bool m_syncing = false;
};

// The look of the whole program and the Italian texts of Qt's own dialogs.
SZ_UI_EXPORT void applyLook();
SZ_UI_EXPORT void loadItalianTranslations();

} // namespace sz::ui
