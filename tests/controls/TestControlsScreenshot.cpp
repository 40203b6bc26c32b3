// Lays out the control window's custom controls (twelve round buttons, six
// radio buttons, two sliders, five combo boxes) as the window places them,
// on a private X server, and saves a screenshot for a person to look at:
// <artefacts>/controls_layout.png. A few pixels are checked on the real
// screen contents: the parent shows through the controls' unpainted parts.
#include "controls/FlatCtrls.h"
#include "controls/FontCatalog.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/Pictures.h"
#include "controls/uTransTrackBar.h"
#include "support/XvfbSession.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QtTest>

namespace {

const QColor kWindowColour(0, 24, 0);

// The rows of img, within columns from x0 on, that hold any pixel other than bg.
int InkRows(const QImage& img, int x0, QRgb bg) {
    int rows = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = x0; x < img.width(); ++x) {
            if (img.pixel(x, y) != bg) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

struct Layout {
    QWidget window;
    QWidget* plTop;
    QWidget* plBottom;
    QList<TMyRoundButton*> buttons;
    TTransTrackBar* SoundLevel2;
    TTransTrackBar* tbZoom;
    TFlatComboBox* cbRate;
    TMyRadionBtn* lbCenter2;
    QList<TMyRadionBtn*> radios;

    Layout() {
        window.resize(602, 522);
        QPalette pal;
        pal.setColor(QPalette::Window, kWindowColour);
        pal.setColor(QPalette::WindowText, Qt::white);
        window.setPalette(pal);
        window.setAutoFillBackground(true);
        window.setFont(SongTiFont(32));
        plTop = new QWidget(&window);
        plTop->setGeometry(0, 0, 602, 145);
        plBottom = new QWidget(&window);
        plBottom->setGeometry(0, 382, 602, 140);

        const struct {
            QWidget* panel;
            const char* name;
            int x, y;
        } round[] = {
            {plTop, "btnUP", 6, 8},
            {plTop, "btnSelFile", 6, 56},
            {plTop, "btnSelAudioChl2", 54, 56},
            {plTop, "btnRestore", 220, 8},
            {plTop, "btnPause", 273, 8},
            {plTop, "btnBack", 327, 8},
            {plTop, "btnNext", 381, 8},
            {plTop, "btnClose", 545, 8},
            {plBottom, "btnDown", 6, 8},
            {plBottom, "btnAdd", 57, 8},
            {plBottom, "btnDel", 108, 8},
            {plBottom, "btnSave", 160, 8},
        };
        for (const auto& r : round) {
            auto* b = new TMyRoundButton(r.panel);
            b->setObjectName(QString::fromLatin1(r.name));
            b->SetBevelInner(hbRaised);
            b->SetBevelOuter(hbNone);
            b->SetBevelWidth(1);
            b->SetBorderColor(QColor(255, 255, 255));
            b->SetFaceShaded(false);
            b->SetFaceTransparent(true);
            b->SetGlyphShaded(false);
            b->SetGlyph(LoadPicture(QString::fromLatin1(r.name)));
            b->setCursor(Qt::PointingHandCursor);
            b->SetBounds(r.x, r.y, 40, 40);
            buttons << b;
        }

        auto* image1 = new QLabel(plTop);
        image1->setPixmap(LoadTransparentPicture(QStringLiteral("Image1")));
        image1->setGeometry(59, 12, 32, 32);

        auto slider = [](QWidget* panel, QRect g, double max, double pos) {
            auto* s = new TTransTrackBar(panel);
            s->setGeometry(g);
            s->SetThumWidth(24);
            s->SetColorBar(QColor(0, 0, 255));
            s->SetColorFaceFrameLT(QColor(0, 0, 0));
            s->SetColorFaceFrameRB(QColor(0, 0, 0));
            s->SetMaxValue(max);
            s->SetPosition(pos);
            return s;
        };
        SoundLevel2 = slider(plTop, QRect(103, 4, 106, 50), 10000, 9000);
        tbZoom = slider(plTop, QRect(471, 92, 106, 50), 100, 10);
        tbZoom->SetHint(QStringLiteral("图像缩放"));
        tbZoom->SetShowHint(true);

        auto combo = [](QWidget* panel, QRect g, int fontHeight, const QStringList& items,
                        int itemHeight) {
            auto* cb = new TFlatComboBox(panel);
            cb->SetStyle(csDropDownList);
            cb->SetColorFlat(QColor(0x20, 0x20, 0x20));
            cb->SetColorFocued(QColor(0, 0, 0));
            cb->SetColorArrow(QColor(255, 255, 255));
            cb->SetColorArrowBackground(QColor(0, 0x80, 0));
            cb->SetTicketSpace(2);
            cb->Ticket()->setText(QStringLiteral(" "));
            cb->Ticket()->resize(15, 29);
            cb->Ticket()->setVisible(false);
            cb->setFont(SongTiFont(fontHeight));
            cb->SetFontColor(Qt::white);
            cb->SetItems(items);
            cb->SetItemHeight(itemHeight);
            cb->setGeometry(g);
            cb->SetItemIndex(items.isEmpty() ? -1 : 1);
            return cb;
        };
        cbRate = combo(
            plTop, QRect(440, 10, 98, 37), 29,
            {"0.70", "0.75", "0.80", "0.85", "0.90", "0.95", "1.00", "1.10", "1.20", "1.30"}, 29);
        cbRate->SetItemIndex(6);
        combo(plTop, QRect(102, 58, 107, 37), 29, {"音轨 1", "音轨 2"}, 29);
        combo(plBottom, QRect(216, 7, 96, 41), 32, {"255", "240", "220", "200"}, 33);
        combo(plBottom, QRect(344, 7, 96, 41), 32, {"500", "1000", "1500", "2000"}, 33);
        combo(plBottom, QRect(492, 7, 96, 41), 32, {"5", "6", "7", "8", "9", "10"}, 33);

        const struct {
            QWidget* panel;
            const char* caption;
            QRect g;
            TButtonShape shape;
            QColor low;
            bool checked;
            int font;
        } radios[] = {
            {plTop, "左声道", {220, 63, 112, 27}, btRound, QColor(128, 128, 128), false, 26},
            {plTop, "立体声", {344, 63, 112, 27}, btRound, QColor(128, 128, 128), true, 26},
            {plTop, "右声道", {464, 63, 112, 27}, btRound, QColor(128, 128, 128), false, 26},
            {plBottom, "播完退出", {6, 54, 140, 30}, btSquare, QColor(192, 192, 192), false, 27},
            {plBottom, "播完关机", {168, 54, 140, 30}, btDiamond, QColor(128, 128, 128), false, 27},
            {plBottom, "循环播放", {342, 54, 140, 30}, btRound, QColor(128, 128, 128), true, 27},
        };
        for (const auto& r : radios) {
            auto* b = new TMyRadionBtn(r.panel);
            b->SetCaption(QString::fromUtf8(r.caption));
            b->setGeometry(r.g);
            b->SetButtonShape(r.shape);
            b->SetColor_Low(r.low);
            b->SetColor_High(QColor(255, 255, 255));
            b->SetCheckColor(QColor(255, 0, 0));
            b->SetBkColor(QColor(192, 192, 192));
            b->SetBorderWidth(1);
            b->SetFont(SongTiFont(r.font));
            b->SetFontColor(QColor(128, 128, 128));
            b->SetChecked(r.checked);
            this->radios << b;
            if (r.checked && r.panel == plTop)
                lbCenter2 = b;
        }
    }
};

} // namespace

class TestControlsScreenshot : public QObject {
    Q_OBJECT
public:
    bool onX = false;

private slots:
    void layoutScreenshot();
};

void TestControlsScreenshot::layoutScreenshot() {
    Layout l;
    l.window.move(0, 0);
    l.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&l.window));
    QImage shot;
    if (onX) {
        // The X server has the last paint once it shows what the window draws.
        const QImage drawn = l.window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        auto fromServer = [&] {
            return l.window.screen()
                ->grabWindow(l.window.winId())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        QTRY_VERIFY_WITH_TIMEOUT((shot = fromServer()) == drawn, 15000);
    } else {
        qWarning("No private X server: grabbing the offscreen rendering instead");
        shot = l.window.grab().toImage();
    }
    shot = shot.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(602, 522));
    const QString path = ArtefactDir() + QStringLiteral("/controls_layout.png");
    QVERIFY(shot.save(path));
    qInfo("screenshot: %s", qPrintable(path));

    const QRgb bg = kWindowColour.rgb();
    // Round buttons: the square's corners and the glyph's background show
    // the panel; the ring does not.
    for (TMyRoundButton* b : l.buttons) {
        const QPoint o = b->mapTo(&l.window, QPoint(0, 0));
        QCOMPARE(shot.pixel(o + QPoint(1, 1)), bg);
        QCOMPARE(shot.pixel(o + QPoint(38, 38)), bg);
        QVERIFY(shot.pixel(o + QPoint(20, 0)) != bg);
        const QImage mask = b->ImageMask();
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                if (mask.pixel(x, y) == qRgb(255, 255, 255))
                    QCOMPARE(shot.pixel(o + QPoint(x, y)), bg);
                else
                    QCOMPARE(shot.pixel(o + QPoint(x, y)), b->ImageOut().pixel(x, y));
            }
        }
    }
    // Sliders: column t - 1 and the rows outside the band show the panel.
    const QPoint s = l.SoundLevel2->mapTo(&l.window, QPoint(0, 0));
    QCOMPARE(shot.pixel(s + QPoint(72, 25)), bg);
    QCOMPARE(shot.pixel(s + QPoint(30, 5)), bg);
    QCOMPARE(shot.pixel(s + QPoint(30, 25)), qRgb(0, 0, 255));
    // The idle combo box and its arrow button.
    const QPoint c = l.cbRate->mapTo(&l.window, QPoint(0, 0));
    QCOMPARE(shot.pixel(c + QPoint(1, 18)), qRgb(0x20, 0x20, 0x20));
    QCOMPARE(shot.pixel(c + QPoint(89, 19)), qRgb(255, 255, 255));
    // The checked channel button: red check, panel inside the box's ring.
    const QPoint r = l.lbCenter2->mapTo(&l.window, QPoint(0, 0));
    const int box = l.lbCenter2->BoxSize();
    const int mid = (27 - box) / 2 + 1 + box / 2;
    QCOMPARE(shot.pixel(r + QPoint(2 + box / 2, mid)), qRgb(255, 0, 0));
    QCOMPARE(shot.pixel(r + QPoint(4, mid)), bg);
    // Every radio caption whole inside its control: as many rows of text as
    // the same caption drawn with room to spare, plus the highlight's row.
    for (TMyRadionBtn* b : l.radios) {
        const QImage own = shot.copy(QRect(b->mapTo(&l.window, QPoint(0, 0)), b->size()));
        QImage whole(b->width(), b->height() * 3, QImage::Format_RGB32);
        whole.fill(bg);
        {
            QPainter p(&whole);
            p.setFont(b->Font());
            p.setPen(Qt::white);
            p.drawText(QPoint(0, b->height() * 2), b->Caption());
        }
        const int x0 = 2 + b->BoxSize() + 1;
        QVERIFY2(InkRows(own, x0, bg) == InkRows(whole, 0, bg) + 1,
                 qPrintable(QStringLiteral("%1: %2 rows of text, %3 when drawn whole")
                                .arg(b->Caption())
                                .arg(InkRows(own, x0, bg))
                                .arg(InkRows(whole, 0, bg) + 1)));
    }
}

int main(int argc, char** argv) {
    // The server must run before the application connects to it.
    XvfbSession xvfb(1024, 768);
    if (xvfb.IsRunning()) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", xvfb.Display().toLocal8Bit());
    }
    QApplication app(argc, argv);
    TestControlsScreenshot test;
    test.onX = xvfb.IsRunning() && QGuiApplication::platformName() == QLatin1String("xcb");
    return QTest::qExec(&test, argc, argv);
}

#include "TestControlsScreenshot.moc"
