#include "ClientiLogic.h"

namespace clienti {

int creditiConNome(sz::db::Connection& conn, const QString& nome)
{
    return conn
        .scalar(QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE Cliente = :nome OR DestinatarioFattura = :nome"),
                {{QStringLiteral("nome"), nome}})
        .toInt();
}

void rinominaCrediti(sz::db::Connection& conn, const QString& vecchio, const QString& nuovo)
{
    const sz::db::Params p = {{QStringLiteral("vecchio"), vecchio}, {QStringLiteral("nuovo"), nuovo}};
    conn.exec(QStringLiteral("UPDATE t_crediti SET Cliente = :nuovo WHERE Cliente = :vecchio"), p);
    conn.exec(QStringLiteral("UPDATE t_crediti SET DestinatarioFattura = :nuovo WHERE DestinatarioFattura = :vecchio"), p);
}

} // namespace clienti
