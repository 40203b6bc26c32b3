// The video window: a borderless black top-level window covering one whole
// monitor, showing the picture of the control window's media graph through
// its video surface VW, with the replay notice plHint centred on it.
#pragma once

#include <QWidget>

class QLabel;
class TFilterGraph;
class TVideoWindow;

class TFrmPlay : public QWidget {
    Q_OBJECT
public:
    // graph: the control window's FGBrowse, which VW binds to.
    // controlWindow: the window a press on the video shows or hides.
    // The window is a top-level window of its own (owned by the application,
    // not a child of the control window); it deletes itself when the control
    // window is destroyed unless someone deleted it before. Created hidden,
    // already placed on its monitor.
    TFrmPlay(TFilterGraph* graph, QWidget* controlWindow);
    ~TFrmPlay() override;

    // Covers monitor `index` of the platform's monitor list (its full
    // bounds) and lays the children out; removes any zoom.
    void PlaceOnMonitor(int index);
    // Enlarges VW beyond the window by zoom step z (4 × z pixels above and
    // below, proportionally left and right); the window clips the excess.
    void ApplyZoom(int z);

    // Number of monitors the platform reports.
    static int MonitorCount();

    TVideoWindow* VW = nullptr;
    // The replay notice "即将重放 请准备"; the section engine shows it.
    QLabel* plHint = nullptr;

    // The whole seconds left before a repeat, shown under the notice; 0
    // hides them.
    void ShowCountdown(int seconds);
    QLabel* lbCountdown = nullptr;
    // The line at the top left corner (section, description, repetition);
    // empty hides it.
    void ShowSectionLine(const QString& text);
    QLabel* lbSection = nullptr;

    // A press of any mouse button on the video: shows the control window
    // above the video when it is hidden or covered, hides it when it is in
    // sight.
    void VWMouseDown();
    // Shown, and not covered at every probed point by other windows (the
    // video window above all).
    bool ControlWindowInSight() const;

private:
    void PlaceSectionLine();
    void FormCreate();

    QWidget* controlWindow_;
};
