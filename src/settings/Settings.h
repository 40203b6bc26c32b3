// Every stored setting of the player: which file holds it, its section, its
// key and what it reads as while absent, in one table. The loaders and the
// handlers name a setting by its enum value, which is its key.
//
// Two files hold settings:
// - the settings file (IniFileName, "system.INI"): options, window bounds,
//   the last and the recent media files;
// - the schedule file of the current media file (TFrmMain::SchedFileName,
//   "dancemp4.INI" for dance.mp4): the per-media choices. Its table rows
//   ("Row0", "Row1", ... in section "Sect") are the row codec's business
//   (utPublic.h), not settings.
#pragma once

#include <QString>

enum class TSettingsFile { System, Schedule };

enum class Setting {
    // Settings file.
    PlayFile,
    overmode,
    plTop,
    plBottom,
    cbDelay,
    cbHideTime,
    cbTrans,
    SoundLevel2,
    chkEdit,
    chkAutoPlay,
    chkPause,
    chkOn2Monitor,
    chkRePlay,
    chkHide,
    chkOSD,
    chkLoopCounts,
    chkRemote,
    RemotePort,
    RemotePin,
    WindowsL,
    WindowsT,
    WindowsW,
    WindowsH,
    Recent1, // Recent1 .. Recent10, newest first
    Recent2,
    Recent3,
    Recent4,
    Recent5,
    Recent6,
    Recent7,
    Recent8,
    Recent9,
    Recent10,
    Language,
    chkTimeline,
    TimelineL,
    TimelineT,
    TimelineW,
    TimelineH,
    chkLead,
    chkFollow,
    FollowAddress,
    FollowPin,
    FollowLatencyMs,
    chkStretch,
    // Schedule file of the media.
    SOUNDCHL,
    cbAudioChl2,
    cbRate,
    tbZoom,
    chkMirror,
    chkSpeedUp,
};
// The last of the enum: a new setting goes before it or moves it.
inline constexpr Setting kLastSetting = Setting::chkSpeedUp;

struct TSettingEntry {
    Setting id;
    TSettingsFile file;
    const char* section;
    const char* key;
    // The text an absent key reads as. Null: the value the control (or the
    // window) has as built, which the loader passes in; it is named in the
    // comment beside the row.
    const char* def;
};

// Switches ("chk...") are stored as "YES"/"NO" (BoolToText); an absent one
// reads as empty text, which is off. Numbers are decimal text; one that is
// absent or unreadable gives the default.
inline constexpr TSettingEntry kSettings[] = {
    // absent: "无文件.DAT" in the program folder
    {Setting::PlayFile, TSettingsFile::System, "START", "PlayFile", nullptr},
    // absent: rbPlay's caption, "循环播放"
    {Setting::overmode, TSettingsFile::System, "START", "overmode", nullptr},
    {Setting::plTop, TSettingsFile::System, "START", "plTop", "57"},
    {Setting::plBottom, TSettingsFile::System, "START", "plBottom", "57"},
    {Setting::cbDelay, TSettingsFile::System, "START", "cbDelay", "1"},
    {Setting::cbHideTime, TSettingsFile::System, "START", "cbHideTime", "6"},
    {Setting::cbTrans, TSettingsFile::System, "START", "cbTrans", "2"},
    // absent: the slider's position
    {Setting::SoundLevel2, TSettingsFile::System, "START", "SoundLevel2", nullptr},
    {Setting::chkEdit, TSettingsFile::System, "START", "chkEdit", ""},
    {Setting::chkAutoPlay, TSettingsFile::System, "START", "chkAutoPlay", ""},
    {Setting::chkPause, TSettingsFile::System, "START", "chkPause", ""},
    {Setting::chkOn2Monitor, TSettingsFile::System, "START", "chkOn2Monitor", ""},
    {Setting::chkRePlay, TSettingsFile::System, "START", "chkRePlay", ""},
    {Setting::chkHide, TSettingsFile::System, "START", "chkHide", ""},
    {Setting::chkOSD, TSettingsFile::System, "START", "chkOSD", ""},
    {Setting::chkLoopCounts, TSettingsFile::System, "START", "chkLoopCounts", ""},
    {Setting::chkRemote, TSettingsFile::System, "START", "chkRemote", ""},
    {Setting::RemotePort, TSettingsFile::System, "START", "RemotePort", "8765"},
    // absent: a new one is drawn
    {Setting::RemotePin, TSettingsFile::System, "START", "RemotePin", ""},
    {Setting::WindowsL, TSettingsFile::System, "START", "WindowsL", "0"},
    {Setting::WindowsT, TSettingsFile::System, "START", "WindowsT", "0"},
    // absent: the window's width as built
    {Setting::WindowsW, TSettingsFile::System, "START", "WindowsW", nullptr},
    // absent: its height as built
    {Setting::WindowsH, TSettingsFile::System, "START", "WindowsH", nullptr},
    {Setting::Recent1, TSettingsFile::System, "START", "Recent1", ""},
    {Setting::Recent2, TSettingsFile::System, "START", "Recent2", ""},
    {Setting::Recent3, TSettingsFile::System, "START", "Recent3", ""},
    {Setting::Recent4, TSettingsFile::System, "START", "Recent4", ""},
    {Setting::Recent5, TSettingsFile::System, "START", "Recent5", ""},
    {Setting::Recent6, TSettingsFile::System, "START", "Recent6", ""},
    {Setting::Recent7, TSettingsFile::System, "START", "Recent7", ""},
    {Setting::Recent8, TSettingsFile::System, "START", "Recent8", ""},
    {Setting::Recent9, TSettingsFile::System, "START", "Recent9", ""},
    {Setting::Recent10, TSettingsFile::System, "START", "Recent10", ""},
    // "zh" or "en": the language of the window and messages; stored values
    // are the same in both.
    {Setting::Language, TSettingsFile::System, "START", "Language", "zh"},
    {Setting::chkTimeline, TSettingsFile::System, "START", "chkTimeline", ""},
    // The timeline window's bounds; absent: where the window system puts it
    // and its size as built.
    {Setting::TimelineL, TSettingsFile::System, "START", "TimelineL", nullptr},
    {Setting::TimelineT, TSettingsFile::System, "START", "TimelineT", nullptr},
    {Setting::TimelineW, TSettingsFile::System, "START", "TimelineW", nullptr},
    {Setting::TimelineH, TSettingsFile::System, "START", "TimelineH", nullptr},
    // "领播": lead a room of players through the phone remote's server
    // (its port and PIN); "跟播": follow the leader at FollowAddress
    // ("host:port") paired with FollowPin. Off unless chosen.
    {Setting::chkLead, TSettingsFile::System, "START", "chkLead", ""},
    {Setting::chkFollow, TSettingsFile::System, "START", "chkFollow", ""},
    {Setting::FollowAddress, TSettingsFile::System, "START", "FollowAddress", ""},
    {Setting::FollowPin, TSettingsFile::System, "START", "FollowPin", ""},
    // A follower's own screen and speakers heard this many ms later (+) or
    // earlier (-) than the leader's line, -500..500: HDMI, Bluetooth or
    // distant speakers lined up with the room's.
    {Setting::FollowLatencyMs, TSettingsFile::System, "START", "FollowLatencyMs", "0"},
    // "拉伸填满": a video picture of another shape than the screen stretched
    // over it rather than fitted in with black bars. Off unless chosen.
    {Setting::chkStretch, TSettingsFile::System, "START", "chkStretch", ""},
    // absent: lbCenter2's caption
    {Setting::SOUNDCHL, TSettingsFile::Schedule, "START", "SOUNDCHL", nullptr},
    {Setting::cbAudioChl2, TSettingsFile::Schedule, "START", "cbAudioChl2", "0"},
    {Setting::cbRate, TSettingsFile::Schedule, "START", "cbRate", "6"},
    // absent: the slider's position
    {Setting::tbZoom, TSettingsFile::Schedule, "START", "tbZoom", nullptr},
    {Setting::chkMirror, TSettingsFile::Schedule, "START", "chkMirror", ""},
    {Setting::chkSpeedUp, TSettingsFile::Schedule, "START", "chkSpeedUp", ""},
};

// One row per setting, in the order of the enum (the row of s is
// kSettings[s]), and no two settings share a key of one file.
constexpr bool SettingsTableSound() {
    int i = 0;
    for (const TSettingEntry& e : kSettings) {
        if (int(e.id) != i++)
            return false;
        for (const TSettingEntry& other : kSettings) {
            if (&other == &e || other.file != e.file)
                continue;
            // Keys compare without regard to letter case, as the INI layer does.
            auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
            const char* a = other.key;
            const char* b = e.key;
            while (*a && lower(*a) == lower(*b)) {
                ++a;
                ++b;
            }
            if (*a == *b)
                return false;
        }
    }
    return i == int(kLastSetting) + 1;
}
static_assert(SettingsTableSound());

// How many recent media files are kept (Recent1 .. Recent10).
inline constexpr int kRecentCount = int(Setting::Recent10) - int(Setting::Recent1) + 1;
// The n-th recent file's setting, n from 1.
inline constexpr Setting RecentSetting(int n) {
    return Setting(int(Setting::Recent1) + n - 1);
}

inline const TSettingEntry& SettingEntry(Setting s) {
    return kSettings[int(s)];
}

// file: IniFileName for a setting of the settings file, the media's schedule
// file for one of the schedule file.

// The stored text (trimmed, as the INI layer reads it), or the table's
// default while the key is absent (empty for a null default).
QString ReadSetting(const QString& file, Setting s);
// The stored text, or def while the key is absent.
QString ReadSetting(const QString& file, Setting s, const QString& def);
// The stored decimal number; def (or the table's default) when the key is
// absent or holds anything else.
int ReadIntSetting(const QString& file, Setting s, int def);
int ReadIntSetting(const QString& file, Setting s);
// A switch: on when stored as "YES" or "TRUE" (any letter case).
bool ReadBoolSetting(const QString& file, Setting s);
// Raises EWriteRefused when the system refuses the write.
void WriteSetting(const QString& file, Setting s, const QString& value);
