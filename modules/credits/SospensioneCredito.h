#pragma once

#include <QDate>
#include <QObject>
#include <QString>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QWidget;

namespace sz::db {
class Dataset;
}
namespace sz::ui {
class DateBox;
class FieldBinder;
} // namespace sz::ui

// The credit's own stop to its dunning on the edit page: "Sospendi i solleciti", "fino al",
// "Motivo", and beneath them a line saying when the client's suspension holds the credit
// back anyway.
class SospensioneCredito : public QObject
{
    Q_OBJECT
public:
    // Lays its rows into the grid from row, across columns 0 to 5; row ends past them.
    SospensioneCredito(QWidget* parent, QGridLayout* grid, int& row);
    void lega(sz::ui::FieldBinder* binder);

    // The row as it was read, for telling a day typed now from one that was already there.
    void ricorda(const sz::db::Dataset& ds);
    void dimentica();
    // The client's suspension in force, or none (sospeso false).
    void mostraCliente(bool sospeso, const QDate& fino, const QString& motivo);

    // Before the row is written: an unticked box leaves neither day nor reason behind; a
    // newly typed day already past would suspend nothing and is refused with a message
    // (db::Abort).
    void preparaSalvataggio(sz::db::Dataset& ds, const QDate& oggi);

    QCheckBox* CheckSospendiSolleciti = nullptr;
    sz::ui::DateBox* EditSospesoFino = nullptr;
    QLineEdit* EditMotivoSospensione = nullptr;
    QLabel* LabelSospensioneCliente = nullptr;

private:
    void seguiCasella(bool on);

    QWidget* m_parent;
    bool m_sospesoSalvato = false;
    QDate m_finoSalvato;
};
