// Stores the settings that are kept while a file opens and plays (the last
// file, the per-media channel, track, rate and zoom). A setting applies
// whether or not it could be stored: a refused write (media on a read-only
// medium) is reported once per file without stopping anything, and the
// caller goes on. Per-media settings of a file that has no schedule file yet
// are held until the file has opened as media (so that opening any other
// file creates nothing beside it), then written by KeepHeld.
#pragma once

#include "settings/Settings.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <utility>

class QWidget;

class TSettingKeeper : public QObject {
public:
    // scheduleFile: the current schedule file; opened: a file is open as
    // media; window: where a refused write is reported while it shows.
    TSettingKeeper(QWidget* window, std::function<QString()> scheduleFile,
                   std::function<bool()> opened);
    // The settings file or the current schedule file, as the table says.
    QString FileOf(Setting s) const;
    void Keep(Setting s, const QString& value);
    // The same for a file named by the caller (a write that comes late and
    // belongs to the schedule file current when the value changed).
    void Keep(const QString& file, Setting s, const QString& value);
    // Writes the held settings once their file's media has opened.
    void KeepHeld();
    // True the first time a file refused a write: it is reported then.
    bool FirstRefusal(const QString& file);

private:
    QWidget* window_;
    std::function<QString()> scheduleFile_;
    std::function<bool()> opened_;
    QSet<QString> unwritable_;
    QList<std::pair<Setting, QString>> held_;
    QString heldFor_; // the schedule file they belong to
};
