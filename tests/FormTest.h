#pragma once

// Driving a list-and-edit frame in a widget test: its named widgets, its navigator's
// buttons and its fields typed as a person would.
#include "scadenzio/Database.h"
#include "scadenzio/Widgets.h"

#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

namespace formtest {

template <typename T> T* child(QWidget* w, const char* name)
{
    T* found = w->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("widget %s missing", name);
    return found;
}

inline void press(QWidget* frame, const char* navigator, sz::ui::Navigator::Button b)
{
    child<sz::ui::Navigator>(frame, navigator)->button(b)->click();
}

// Replaces the field's text, key by key.
inline void typeInto(QWidget* frame, const char* name, const QString& text)
{
    auto* e = child<QLineEdit>(frame, name);
    e->setFocus();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
}

inline int count(sz::db::Connection& c, const QString& sql)
{
    return c.scalar(sql).toInt();
}

} // namespace formtest
