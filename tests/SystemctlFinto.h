#pragma once

// A stand-in for systemctl that records every call and answers as a user manager would,
// so no test ever installs a timer into the machine's real user manager. Set up in its
// own temporary folder; SZ_SYSTEMCTL and SZ_CLI point the program at it and at the
// built scadenzio-cli while it lives.
//   assente()            every call fails as without a user bus
//   rifiuta("enable")    calls holding that word fail
//   show(text)           what "show --property=UnitFileState,…" prints

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

// A crontab line as the program gives it in this session: the settings folder of the
// session (TestEnv sets one) goes before the program.
inline QString conConfig(QString riga)
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!config.isEmpty())
        riga.replace(QStringLiteral(" * * 1-5 "), QStringLiteral(" * * 1-5 XDG_CONFIG_HOME='") + config +
                                                      QStringLiteral("' "));
    return riga;
}

class SystemctlFinto
{
public:
    SystemctlFinto()
    {
        m_oldSystemctl = qgetenv("SZ_SYSTEMCTL");
        m_oldCli = qgetenv("SZ_CLI");
        scrivi(QStringLiteral("systemctl"),
               "#!/bin/sh\n"
               "d=$(dirname \"$0\")\n"
               "echo \"$*\" >> \"$d/chiamate\"\n"
               "if [ -f \"$d/assente\" ]; then\n"
               "  echo 'Failed to connect to bus: No medium found' >&2; exit 1\n"
               "fi\n"
               "case \"$*\" in\n"
               "  *'show --property=Version'*) echo 'Version=252'; exit 0;;\n"
               "  *'show --property=UnitFileState'*) cat \"$d/show\" 2>/dev/null; exit 0;;\n"
               "esac\n"
               "if [ -f \"$d/rifiuta\" ] && echo \"$*\" | grep -q -- \"$(cat \"$d/rifiuta\")\"; then\n"
               "  echo 'Failed to enable unit: Access denied' >&2; exit 1\n"
               "fi\n"
               "exit 0\n");
        QFile(percorso()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("SZ_SYSTEMCTL", QFile::encodeName(percorso()));
        qputenv("SZ_CLI", QByteArrayLiteral(SZ_PROGRAM_DIR "/scadenzio-cli"));
    }
    ~SystemctlFinto()
    {
        ripristina("SZ_SYSTEMCTL", m_oldSystemctl);
        ripristina("SZ_CLI", m_oldCli);
    }

    QString percorso() const { return m_dir.filePath(QStringLiteral("systemctl")); }

    // The calls since the last look, each as its arguments ("--user enable --now x.timer"),
    // the availability probes left out.
    QStringList chiamate()
    {
        QFile f(m_dir.filePath(QStringLiteral("chiamate")));
        QStringList out;
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray& l : f.readAll().split('\n')) {
                if (!l.isEmpty() && !l.contains("show --property=Version"))
                    out << QString::fromUtf8(l);
            }
        }
        f.remove();
        return out;
    }
    void assente(bool si = true)
    {
        if (si)
            scrivi(QStringLiteral("assente"), "");
        else
            rimuovi(QStringLiteral("assente"));
    }
    void rifiuta(const QByteArray& parola)
    {
        if (parola.isEmpty())
            rimuovi(QStringLiteral("rifiuta"));
        else
            scrivi(QStringLiteral("rifiuta"), parola);
    }
    void show(const QByteArray& testo) { scrivi(QStringLiteral("show"), testo); }

private:
    static void ripristina(const char* nome, const QByteArray& valore)
    {
        if (valore.isEmpty())
            qunsetenv(nome);
        else
            qputenv(nome, valore);
    }
    void scrivi(const QString& nome, const QByteArray& bytes)
    {
        QFile f(m_dir.filePath(nome));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    bool rimuovi(const QString& nome) { return QFile::remove(m_dir.filePath(nome)); }

    QTemporaryDir m_dir;
    QByteArray m_oldSystemctl, m_oldCli;
};
