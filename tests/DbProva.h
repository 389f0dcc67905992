#pragma once

#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dialect.h"

#include <QString>
#include <QStringList>

// What the tests make by hand in a database, written so that both engines take it.

// The hand-made test table, its ID numbered by the engine; the columns' type words are the
// program's, which the engine first learns to hold.
inline void creaTabella(sz::db::Connection& c, const QString& tabella, const QStringList& colonne)
{
    const sz::db::Dialect& d = c.dialect();
    QStringList tipi, nomi{QStringLiteral("ID")}, definizioni{d.autoIncrementKey(d.quoteName(QStringLiteral("ID")))};
    for (const QString& col : colonne) {
        nomi << col.section(QLatin1Char(' '), 0, 0);
        tipi << col.section(QLatin1Char(' '), 1, 1);
        definizioni << col;
    }
    sz::db::Transaction tx(c);
    d.prepareSchema(c, tipi);
    c.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(tabella, definizioni.join(QStringLiteral(", "))));
    d.describeTable(c, tabella, nomi);
    tx.commit();
}

// A trigger that refuses the change (quando: "BEFORE UPDATE OF Col ON t_x") with the message,
// in each engine's own trigger language; undone by sblocca().
inline void blocca(sz::db::Connection& c, const QString& nome, const QString& quando, const QString& messaggio)
{
    if (TestEnv::onServer()) {
        c.exec(QStringLiteral("CREATE FUNCTION %1_f() RETURNS trigger LANGUAGE plpgsql AS "
                              "'BEGIN RAISE EXCEPTION ''%2''; END'").arg(nome, messaggio));
        c.exec(QStringLiteral("CREATE TRIGGER %1 %2 FOR EACH ROW EXECUTE FUNCTION %1_f()").arg(nome, quando));
    } else {
        c.exec(QStringLiteral("CREATE TRIGGER %1 %2 BEGIN SELECT RAISE(ABORT, '%3'); END").arg(nome, quando, messaggio));
    }
}

inline void sblocca(sz::db::Connection& c, const QString& nome, const QString& tabella)
{
    if (TestEnv::onServer()) {
        c.exec(QStringLiteral("DROP TRIGGER %1 ON %2").arg(nome, tabella));
        c.exec(QStringLiteral("DROP FUNCTION %1_f()").arg(nome));
    } else {
        c.exec(QStringLiteral("DROP TRIGGER %1").arg(nome));
    }
}
