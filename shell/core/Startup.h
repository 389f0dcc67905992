#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// What happens at every start before the main window exists, without any window:
// the installer's duties, the backup of the user's folders and the database upgrade.
// The start-up window and the command-line tool both drive it.
namespace sz::startup {

// Copies the program folder's default Config/ files that the settings root lacks and,
// when Config.ini names no database and the default one is missing, creates the data
// folders and a new encrypted database ready for use. A database path named in
// Config.ini that does not exist is left alone: opening it reports the error.
// Throws sz::Error when the data root cannot be resolved or the database cannot be made.
void installDefaults();

// A new database as the installation delivers it: every table, the seeds and the one
// mail-settings row.
void createInstalledDatabase(const QString& path);

// Copies source into backupFolder/<name of source>, adding and overwriting files and
// never deleting any of the user's; everything it creates is private to the user.
// Database files are copied through the database, so a copy taken while another program
// writes is consistent and stays encrypted, and a new copy replaces the old one only
// after it has been checked. The engine's journals and temporary files are never copied,
// and stale ones are removed from the backup. A database that cannot be read leaves its
// last backup as it was and is kept beside it as <name>.danneggiato; what the user must
// know of it is added to problems. Returns false when anything could not be copied;
// never throws.
bool copyFolder(const QString& source, const QString& backupFolder, QStringList* problems = nullptr);

struct Progress
{
    // Advance the gauge one step and show text, then wait ms milliseconds.
    std::function<void(const QString& text, int ms)> step;
    // Let pending user-interface work run (the window repaints).
    std::function<void()> processEvents;
    // A failure, in the words the user reads: a caught error in the common frame, or a
    // database that could not be backed up.
    std::function<void(const QString& message)> error;
};

constexpr int StepCount = 7;

// The whole start-up sequence: backup, then upgrade. A damaged database met by the
// backup and an upgrade failure are reported through progress.error and the sequence
// goes on; a data root that cannot be resolved throws sz::Error, ending the start.
// Returns false when an error was reported.
bool Execute(const Progress& progress);

} // namespace sz::startup
