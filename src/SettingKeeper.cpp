#include "SettingKeeper.h"

#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include <QFileInfo>
#include <QWidget>

TSettingKeeper::TSettingKeeper(QWidget* window, std::function<QString()> scheduleFile,
                               std::function<bool()> opened)
    : QObject(window), window_(window), scheduleFile_(std::move(scheduleFile)),
      opened_(std::move(opened)) {}

QString TSettingKeeper::FileOf(Setting s) const {
    return SettingEntry(s).file == TSettingsFile::System ? IniFileName : scheduleFile_();
}

void TSettingKeeper::Keep(Setting s, const QString& value) {
    Keep(FileOf(s), s, value);
}

void TSettingKeeper::Keep(const QString& file, Setting s, const QString& value) {
    if (file == scheduleFile_() && !opened_() && !QFileInfo::exists(file)) {
        if (heldFor_ != file)
            held_.clear();
        heldFor_ = file;
        held_.removeIf([s](const auto& held) { return held.first == s; });
        held_.append({s, value});
        return;
    }
    try {
        WriteSetting(file, s, value);
    } catch (const EWriteRefused& e) {
        if (!FirstRefusal(e.File()))
            return;
        // Not modal: this runs while a file opens and plays.
        ShowErrorNotice(e.Text(), window_->isVisible() ? window_ : nullptr);
    }
}

void TSettingKeeper::KeepHeld() {
    if (held_.isEmpty() || heldFor_ != scheduleFile_() || !opened_())
        return;
    for (const auto& [s, value] : std::exchange(held_, {}))
        Keep(heldFor_, s, value);
}

bool TSettingKeeper::FirstRefusal(const QString& file) {
    if (unwritable_.contains(file))
        return false;
    unwritable_.insert(file);
    return true;
}
