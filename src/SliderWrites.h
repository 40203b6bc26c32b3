// Stores a slider's setting: at once for a click or an assignment; during a
// thumb drag at most every 250 ms (each write syncs a file, the zoom's often
// on a slow stick or share), and the last value when the drag ends.
#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class QTimer;
class TTransTrackBar;

class TSliderWrites : public QObject {
public:
    using QObject::QObject;
    void Write(TTransTrackBar* slider, std::function<void()> write);
    // The drag of the slider ended: its last value is written now.
    void EndDrag(TTransTrackBar* slider);

private:
    void Flush(TTransTrackBar* slider);
    struct Pending {
        QTimer* quiet = nullptr;       // runs for 250 ms after each drag write
        std::function<void()> pending; // the latest value not yet written
    };
    QHash<TTransTrackBar*, Pending> writes_;
};
