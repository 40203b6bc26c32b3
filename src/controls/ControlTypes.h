// Types shared by the owner-drawn controls: the event signatures the owning
// window binds, the shift state, and the small enumerations.
//
// Events are plain callbacks (std::function) stored in public members named
// after the event (OnClick, OnChange, OnMouseDown, ...). The owning window
// binds them, e.g.
//     SoundLevel2->OnChange = [this](QObject* Sender) { SoundLevel2Change(Sender); };
// An empty callback means "no handler bound". Coordinates are the control's
// own pixel coordinates.
#pragma once

#include <QColor>
#include <QObject>

#include <functional>

class QInputEvent;
class QMouseEvent;

using TColor = QColor;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Keyboard modifiers and the mouse buttons held, as a set of flags.
enum TShiftFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using TShiftState = unsigned;

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent =
    std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
// Key events of the combo box: the handler may change Key (0 swallows it).
using TKeyEvent = std::function<void(QObject* Sender, int& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;

enum TTextAlign { taLeft, taCenter, taRight };
enum TTextStyle { txNone, txRaised, txLowered };

// Helpers for translating Qt input events into the callbacks' terms.
namespace ControlEvents {
// The keyboard modifiers alone (ssShift, ssAlt, ssCtrl).
TShiftState ModifiersOf(const QInputEvent* e);
// The button that changed in a press or release; mbLeft for anything unusual.
TMouseButton ButtonOf(const QMouseEvent* e);
// Modifiers plus the buttons held (for a press: including the pressed one).
TShiftState ShiftOf(const QMouseEvent* e);
} // namespace ControlEvents

// Pixel geometry the self-drawn round shapes share.
namespace ControlGeometry {
// Whether pixel (x, y) belongs to the filled ellipse inscribed in the
// rectangle (l, t) - (r, b), right and bottom edges excluded: the pixel's
// centre must lie inside the ellipse.
bool InEllipse(int x, int y, double l, double t, double r, double b);
// Whether pixel (x, y) is on the one-pixel outline of that ellipse: inside,
// with a 4-neighbour outside.
bool OnEllipseEdge(int x, int y, int l, int t, int r, int b);
} // namespace ControlGeometry
