// What a key asks of the player (uFrmMainKeys.cpp).
#pragma once

enum TPlayerKey {
    pkNone,
    pkPlayPause,
    pkSkipBack,
    pkSkipForward,
    pkVolumeUp,
    pkVolumeDown,
    pkSlower,
    pkFaster,
    pkPreviousSection,
    pkNextSection,
    pkRestartSection,
    pkSection1,
    pkSection2,
    pkSection3,
    pkSection4,
    pkSection5,
    pkSection6,
    pkSection7,
    pkSection8,
    pkSection9,
    pkMirror,
    pkControls,
    pkOpen,
    pkSave,
    pkMarkHere,
    pkTimeline,
    pkEditLocked // a key that edits the schedule or changes the file, with "允许编辑" off
};
