// A section engine's view that writes what the windows were asked to do into
// a log: N notice shown, cN countdown at N s (when Countdown is on), rN row
// selected, E error reported, x exit / off power off. OnEnd runs after an end
// is logged, OnError after an error.
#pragma once

#include "engine/EngineView.h"

#include <QStringList>

#include <functional>

class LoggingView : public EngineView {
public:
    QStringList* Log = nullptr; // null: nothing is logged
    bool Countdown = false;
    bool Holds = false; // H picture held, h released
    std::function<void(EndMode)> OnEnd;
    std::function<void(const QString&)> OnError;

    void ShowNotice(bool shown) override {
        if (shown)
            Add(QStringLiteral("N"));
    }
    void ShowCountdown(int s) override {
        if (Countdown && s > 0)
            Add(QStringLiteral("c%1").arg(s));
    }
    void ShowSectionLine(const QString&) override {}
    void HoldPicture(bool held) override {
        if (Holds)
            Add(held ? QStringLiteral("H") : QStringLiteral("h"));
    }
    void ShowVideo() override {}
    void HideVideo() override {}
    void ShowControls() override {}
    void HideControls() override {}
    void ApplyZoom() override {}
    void ApplyAudioChoice() override {}
    void SelectRow(int row) override { Add(QStringLiteral("r%1").arg(row)); }
    void ReportError(const QString& text) override {
        Add(QStringLiteral("E"));
        if (OnError)
            OnError(text);
    }
    void EndProgram(EndMode mode) override {
        Add(mode == EndMode::Exit ? QStringLiteral("x") : QStringLiteral("off"));
        if (OnEnd)
            OnEnd(mode);
    }

private:
    void Add(const QString& entry) {
        if (Log)
            *Log << entry;
    }
};
