#include "InformazioniForm.h"
#include "ScadenzioVersion.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Ui.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QPixmap productPicture()
{
    QPixmap pm(96, 96);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x4e, 0x79));
    p.drawRoundedRect(QRect(4, 4, 88, 88), 14, 14);
    p.setBrush(QColor(0xf2, 0xb1, 0x34));
    p.drawRoundedRect(QRect(4, 4, 88, 22), 14, 14);
    p.drawRect(QRect(4, 16, 88, 10));
    QFont f = p.font();
    f.setPointSize(30);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(4, 26, 88, 66), Qt::AlignCenter, QStringLiteral("€"));
    return pm;
}

} // namespace

TInformazioniForm::TInformazioniForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("InformazioniForm"));
    setWindowTitle(QStringLiteral("Informazioni su Scadenzio"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(32, 24, 32, 20);
    lay->setSpacing(10);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("ImageProdotto"));
    picture->setPixmap(productPicture());
    picture->setAlignment(Qt::AlignCenter);
    auto* product = new QLabel(QStringLiteral("Scadenzio - Ver. " SZ_VERSION), this);
    product->setObjectName(QStringLiteral("LabelProdotto"));
    product->setAlignment(Qt::AlignCenter);
    QFont f = product->font();
    f.setPointSize(f.pointSize() + 3);
    f.setBold(true);
    product->setFont(f);
    m_company = new QLabel(this);
    m_company->setObjectName(QStringLiteral("LabelSocieta"));
    m_company->setAlignment(Qt::AlignCenter);
    m_company->setWordWrap(true);
    m_company->setTextFormat(Qt::PlainText);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    lay->addWidget(picture);
    lay->addWidget(product);
    lay->addWidget(m_company);
    lay->addSpacing(6);
    lay->addWidget(ok, 0, Qt::AlignCenter);

    QApplication::processEvents();
    std::unique_ptr<sz::db::Connection> conn;
    try {
        conn = sz::db::Connection::openDefault();
    } catch (const sz::Error& e) {
        sz::ui::showError(this, e.message());
    }
    try {
        if (!conn)
            throw sz::Error(QStringLiteral("connessione al database non disponibile"));
        const auto r = conn->query(QStringLiteral("SELECT RagioneSociale FROM t_societa ORDER BY ID"));
        m_company->setText(r.value(0, QStringLiteral("RagioneSociale")).toString());
    } catch (const sz::Error& e) {
        sz::ui::showError(this, e.message());
    }
    adattaAlTesto();
}

void TInformazioniForm::adattaAlTesto()
{
    // The dialog is as wide as the company name, between a least and a greatest width;
    // a longer name wraps onto more lines. A word that cannot be broken widens it
    // rather than being cut.
    constexpr int larghezzaMinima = 360;
    constexpr int larghezzaMassima = 560;
    m_company->ensurePolished();
    const QFontMetrics fm = m_company->fontMetrics();
    const QMargins margini = layout()->contentsMargins();
    const int spazio = margini.left() + margini.right();
    int parolaPiuLunga = 0;
    for (const QString& parola : m_company->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        parolaPiuLunga = std::max(parolaPiuLunga, fm.horizontalAdvance(parola));
    // Advances are fractional: two pixels more keep a name that fits from breaking.
    const int riga = fm.horizontalAdvance(m_company->text()) + 2;
    const int larghezza =
        std::max({std::min(riga, larghezzaMassima - spazio), larghezzaMinima - spazio, parolaPiuLunga + 2});
    m_company->setFixedSize(larghezza, std::max(m_company->heightForWidth(larghezza), fm.height()));
    setFixedSize(sizeHint().expandedTo(QSize(larghezzaMinima, 0)));
}

QString TInformazioniForm::companyName() const
{
    return m_company->text();
}
