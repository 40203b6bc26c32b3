// The settings table's readers and writers.
#include "settings/Settings.h"

#include "utPublic/utPublic.h"

namespace {
// A setting of the settings file goes nowhere else.
void CheckFile([[maybe_unused]] const QString& file, [[maybe_unused]] const TSettingEntry& e) {
    Q_ASSERT(e.file != TSettingsFile::System || file == IniFileName);
}
} // namespace

QString ReadSetting(const QString& file, Setting s, const QString& def) {
    const TSettingEntry& e = SettingEntry(s);
    CheckFile(file, e);
    return ReadIniStr(file, QLatin1String(e.section), QLatin1String(e.key), def);
}

QString ReadSetting(const QString& file, Setting s) {
    return ReadSetting(file, s, QString::fromUtf8(SettingEntry(s).def));
}

int ReadIntSetting(const QString& file, Setting s, int def) {
    return ::StrToIntDef(ReadSetting(file, s, QString()), def);
}

int ReadIntSetting(const QString& file, Setting s) {
    Q_ASSERT(SettingEntry(s).def);
    return ReadIntSetting(file, s, ::StrToIntDef(QString::fromUtf8(SettingEntry(s).def), 0));
}

bool ReadBoolSetting(const QString& file, Setting s) {
    return TextToBool(ReadSetting(file, s));
}

void WriteSetting(const QString& file, Setting s, const QString& value) {
    const TSettingEntry& e = SettingEntry(s);
    CheckFile(file, e);
    WriteIniStr(file, QLatin1String(e.section), QLatin1String(e.key), value);
}
