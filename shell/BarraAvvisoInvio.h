#pragma once

#include "AvvisoInvio.h"

#include <QFrame>

class QLabel;
class QPushButton;

// The bar across the top of the main window that tells, once, what went wrong with the
// unattended daily run; "Mostra dettagli" opens its lines, the cross puts the bar away.
class TBarraAvvisoInvio : public QFrame
{
    Q_OBJECT
public:
    TBarraAvvisoInvio(const sz::avvisoinvio::Avviso& avviso, QWidget* parent = nullptr);

    QLabel* testo() const { return m_testo; }
    // Shows the lines of the run (or the days missed) in a read-only window.
    void mostraDettagli();

private:
    sz::avvisoinvio::Avviso m_avviso;
    QLabel* m_testo = nullptr;
};
