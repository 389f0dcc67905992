#pragma once

#include "scadenzio/Widgets.h"

class QLineEdit;
class QStackedWidget;

namespace sz::db {
class Dataset;
}

// The firm's own banks, whose details the letters give clients for paying: a list
// page and an edit page over t_banche.
class TFrameAnagraficaBanche : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameAnagraficaBanche(QWidget* parent = nullptr);

    // The list filter for what the user typed in "Filtra:".
    static QString filterFor(const QString& typed);

    sz::db::Dataset* banche() const { return m_banche; }
    QStackedWidget* pages() const { return m_pages; }
    sz::ui::Navigator* listNavigator() const { return m_navList; }
    sz::ui::Navigator* editNavigator() const { return m_navEdit; }
    sz::ui::Grid* grid() const { return m_grid; }
    QLineEdit* filterEdit() const { return m_filter; }
    QLineEdit* nameEdit() const { return m_nome; }
    QLineEdit* branchEdit() const { return m_agenzia; }
    QLineEdit* ibanEdit() const { return m_iban; }

private:
    QWidget* buildListPage();
    QWidget* buildEditPage();
    void beforeListAction(sz::ui::Navigator::Button b);
    void beforeEditAction(sz::ui::Navigator::Button b);
    void showList();
    void showEdit();

    sz::db::Dataset* m_banche = nullptr;
    sz::ui::FieldBinder* m_binder = nullptr;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_listPage = nullptr;
    QWidget* m_editPage = nullptr;
    sz::ui::Navigator* m_navList = nullptr;
    sz::ui::Navigator* m_navEdit = nullptr;
    sz::ui::Grid* m_grid = nullptr;
    QLineEdit* m_filter = nullptr;
    QLineEdit* m_nome = nullptr;
    QLineEdit* m_agenzia = nullptr;
    QLineEdit* m_iban = nullptr;
};
