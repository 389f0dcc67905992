#include "scadenzio/Orologio.h"

#include <atomic>

namespace sz {

namespace {

// How far the clock is from the system's, in milliseconds: zero unless a test moved it.
std::atomic<qint64> scarto{0};

} // namespace

QDateTime adesso()
{
    const qint64 s = scarto.load(std::memory_order_relaxed);
    const QDateTime ora = QDateTime::currentDateTime();
    return s == 0 ? ora : ora.addMSecs(s);
}

QDate oggi()
{
    return adesso().date();
}

void impostaOrologio(const QDateTime& istante)
{
    scarto.store(istante.isValid() ? QDateTime::currentDateTime().msecsTo(istante) : 0, std::memory_order_relaxed);
}

} // namespace sz
