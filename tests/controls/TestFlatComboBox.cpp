// The flat combo box: frame, arrow button and triangle pixels, the idle,
// focused and hovered colours, OnChange on every assignment, the ticket's
// placement and the read-only mode.
#include "controls/FlatCtrls.h"
#include "controls/FontCatalog.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPainter>
#include <QtTest>

namespace {

const QRgb kIdle = qRgb(0x20, 0x20, 0x20);
const QRgb kFocused = qRgb(0, 0, 0);
const QRgb kArrow = qRgb(255, 255, 255);
const QRgb kArrowBack = qRgb(0, 0x80, 0);
const QRgb kBorder = qRgb(0x88, 0xA5, 0x61);

// The control window's settings (cbRate).
void FormSettings(TFlatComboBox& cb) {
    cb.SetStyle(csDropDownList);
    cb.SetParentColor(false);
    cb.SetColorFlat(QColor(kIdle));
    cb.SetColorFocued(QColor(kFocused));
    cb.SetColorArrow(QColor(kArrow));
    cb.SetColorArrowBackground(QColor(kArrowBack));
    cb.SetTicketSpace(2);
    cb.Ticket()->setText(QStringLiteral(" "));
    cb.Ticket()->resize(15, 29);
    cb.Ticket()->setVisible(false);
    cb.setFont(SongTiFont(29));
    cb.SetFontColor(QColor(255, 255, 255));
    cb.SetItems({"0.70", "0.75", "0.80", "0.85", "0.90", "0.95", "1.00", "1.10", "1.20", "1.30"});
    cb.SetItemHeight(29);
    cb.SetItemIndex(-1);
    cb.setGeometry(440, 10, 98, 37);
}

QImage Render(const TDefineComboBox& cb) {
    QImage img(cb.width(), cb.height(), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    QPainter p(&img);
    cb.PaintTo(p);
    return img;
}

struct Window {
    QWidget w;
    TFlatComboBox* rate;
    TFlatComboBox* other;
    Window() {
        w.resize(602, 145);
        rate = new TFlatComboBox(&w);
        other = new TFlatComboBox(&w);
        FormSettings(*rate);
        FormSettings(*other);
        other->move(100, 60);
        auto* plain = new QWidget(&w);
        plain->setObjectName("plain");
        plain->setFocusPolicy(Qt::StrongFocus);
        plain->setGeometry(0, 100, 20, 20);
        w.show();
        w.activateWindow();
    }
};

} // namespace

class TestFlatComboBox : public QObject {
    Q_OBJECT
private slots:
    void frameAndArrow();
    void triangleStates();
    void focusColours();
    void hoverColours();
    void itemIndexRaisesChange();
    void userChoiceRaisesChange();
    void fontChangeResetsItemHeight();
    void ticketPlacement_data();
    void ticketPlacement();
    void ticketFollowsTheCombo();
    void readOnlyRefusesTyping();
};

void TestFlatComboBox::frameAndArrow() {
    TFlatComboBox cb;
    FormSettings(cb);
    const QImage img = Render(cb);
    const int w = 98, h = 37;
    // Border of (0, 0) - (W-17, H), then two rings in the background.
    QCOMPARE(img.pixel(0, 0), kBorder);
    QCOMPARE(img.pixel(0, h - 1), kBorder);
    QCOMPARE(img.pixel(40, h - 1), kBorder);
    QCOMPARE(img.pixel(1, h / 2), kIdle);
    QCOMPARE(img.pixel(2, h / 2), kIdle);
    QCOMPARE(img.pixel(40, 1), kIdle);
    // Arrow button (W-18, 0) - (W, H): framed in the border colour.
    QCOMPARE(img.pixel(w - 18, 5), kBorder);
    QCOMPARE(img.pixel(w - 1, 5), kBorder);
    QCOMPARE(img.pixel(w - 10, 0), kBorder);
    QCOMPARE(img.pixel(w - 17, 5), kArrowBack);
    QCOMPARE(img.pixel(w - 2, h - 2), kArrowBack);
    // The strip left of it and the text area keep the background.
    QCOMPARE(img.pixel(w - 19, 5), kIdle);
    QCOMPARE(img.pixel(w - 24, 5), kIdle);
    // Nothing is left unpainted.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            QVERIFY(img.pixel(x, y) != qRgb(255, 0, 255));
    }
}

void TestFlatComboBox::triangleStates() {
    TFlatComboBox cb;
    FormSettings(cb);
    // x0 = 80 + 9 - 6 = 83, y0 = 37 div 2 - 1 = 17: rows 17..19, pointing down.
    QImage img = Render(cb);
    for (int x = 87; x <= 91; ++x)
        QCOMPARE(img.pixel(x, 17), kArrow);
    QCOMPARE(img.pixel(86, 17), kArrowBack);
    QCOMPARE(img.pixel(92, 17), kArrowBack);
    QCOMPARE(img.pixel(88, 18), kArrow);
    QCOMPARE(img.pixel(90, 18), kArrow);
    QCOMPARE(img.pixel(87, 18), kArrowBack);
    QCOMPARE(img.pixel(89, 19), kArrow);
    QCOMPARE(img.pixel(88, 19), kArrowBack);
    QCOMPARE(img.pixel(89, 20), kArrowBack);

    // Disabled: a white copy one pixel down and right under a grey one.
    cb.setEnabled(false);
    img = Render(cb);
    QCOMPARE(img.pixel(87, 17), qRgb(128, 128, 128));
    QCOMPARE(img.pixel(89, 19), qRgb(128, 128, 128));
    QCOMPARE(img.pixel(91, 18), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(92, 18), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(90, 20), qRgb(255, 255, 255));
    cb.setEnabled(true);

    // While the list is open the triangle points up.
    Window win;
    win.rate->showPopup();
    img = Render(*win.rate);
    QCOMPARE(img.pixel(89, 17), kArrow);
    QCOMPARE(img.pixel(88, 17), kArrowBack);
    QCOMPARE(img.pixel(87, 19), kArrow);
    QCOMPARE(img.pixel(91, 19), kArrow);
    win.rate->hidePopup();
    QCOMPARE(Render(*win.rate).pixel(87, 17), kArrow);
}

void TestFlatComboBox::focusColours() {
    Window win;
    QVERIFY(QTest::qWaitForWindowActive(&win.w));
    QCOMPARE(win.rate->CurrentBackground().rgb(), kIdle);
    win.rate->setFocus(Qt::TabFocusReason);
    QVERIFY(win.rate->hasFocus());
    QCOMPARE(win.rate->CurrentBackground().rgb(), kFocused);
    QImage img = win.rate->grab().toImage();
    QCOMPARE(img.pixel(1, 18), kFocused);
    QCOMPARE(img.pixel(40, 1), kFocused);
    // Focused and closed: the strip and the frame in the highlight colour.
    const QRgb highlight = win.rate->palette().color(QPalette::Highlight).rgb();
    QCOMPARE(img.pixel(98 - 26, 10), highlight);
    QCOMPARE(img.pixel(3, 10), highlight);
    win.w.findChild<QWidget*>("plain")->setFocus(Qt::TabFocusReason);
    QCOMPARE(win.rate->CurrentBackground().rgb(), kIdle);
    img = win.rate->grab().toImage();
    QCOMPARE(img.pixel(1, 18), kIdle);
    QCOMPARE(img.pixel(98 - 26, 10), kIdle);
}

void TestFlatComboBox::hoverColours() {
    Window win;
    QVERIFY(QTest::qWaitForWindowActive(&win.w));
    win.w.findChild<QWidget*>("plain")->setFocus();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(445, 15));
    QApplication::sendEvent(win.rate, &enter);
    QVERIFY(win.rate->Hovered());
    QCOMPARE(win.rate->CurrentBackground().rgb(), kFocused);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(win.rate, &leave);
    QCOMPARE(win.rate->CurrentBackground().rgb(), kIdle);

    // Another flat combo box has the focus: hovering leaves the colour.
    win.other->setFocus();
    QApplication::sendEvent(win.rate, &enter);
    QVERIFY(win.rate->Hovered());
    QCOMPARE(win.rate->CurrentBackground().rgb(), kIdle);
    QCOMPARE(win.rate->grab().toImage().pixel(1, 18), kIdle);
    QApplication::sendEvent(win.rate, &leave);
}

void TestFlatComboBox::itemIndexRaisesChange() {
    TFlatComboBox cb;
    QStringList log;
    cb.OnChange = [&log, &cb](QObject* sender) {
        QCOMPARE(sender, &cb);
        log << cb.Text();
    };
    FormSettings(cb); // assigns ItemIndex -1 after the items
    QCOMPARE(log, QStringList({""}));
    cb.SetItemIndex(6);
    cb.SetItemIndex(6);
    QCOMPARE(log, QStringList({"", "1.00", "1.00"}));
    QCOMPARE(cb.ItemIndex(), 6);
    // Filling or clearing the list is not a change.
    cb.SetItems({"a", "b"});
    QCOMPARE(log.size(), 3);
    QCOMPARE(cb.ItemIndex(), -1);
    cb.clear();
    cb.addItem(QStringLiteral("track 1")); // filled at run time: nothing chosen
    QCOMPARE(cb.ItemIndex(), -1);
    cb.SetItemIndex(0);
    cb.addItem(QStringLiteral("track 2"));
    QCOMPARE(cb.ItemIndex(), 0);
    QCOMPARE(log.size(), 4);
    cb.SetItemIndex(7); // beyond the list: nothing chosen, still announced
    QCOMPARE(cb.ItemIndex(), -1);
    QCOMPARE(log.size(), 5);
    QCOMPARE(cb.Version(), QStringLiteral("4.56.0.0"));
}

void TestFlatComboBox::userChoiceRaisesChange() {
    Window win;
    QVERIFY(QTest::qWaitForWindowActive(&win.w));
    win.rate->SetItemIndex(2);
    QStringList log;
    win.rate->OnChange = [&log, &win](QObject*) { log << win.rate->Text(); };
    win.rate->setFocus();
    QTest::keyClick(win.rate, Qt::Key_Down);
    QCOMPARE(log, QStringList({"0.85"}));
    QTest::keyClick(win.rate, Qt::Key_Up);
    QCOMPARE(log, QStringList({"0.85", "0.80"}));
}

void TestFlatComboBox::fontChangeResetsItemHeight() {
    TFlatComboBox cb;
    FormSettings(cb);
    QCOMPARE(cb.ItemHeight(), 29);
    cb.setFont(SongTiFont(32));
    QCOMPARE(cb.ItemHeight(), 13);
    // The list rows still fit the font.
    const int row = cb.view()->sizeHintForRow(0);
    QVERIFY(row >= QFontMetrics(cb.font()).height());
}

void TestFlatComboBox::ticketPlacement_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QPoint>("at");
    // Combo at (440, 10), 98 x 37; ticket 15 x 29; space 2.
    QTest::newRow("left") << int(poLeft) << QPoint(440 - 15 - 2, 10 + (37 - 29) / 2);
    QTest::newRow("top") << int(poTop) << QPoint(440, 10 - 29 - 2);
    QTest::newRow("right") << int(poRight) << QPoint(440 + 98 + 2, 14);
    QTest::newRow("bottom") << int(poBottom) << QPoint(440, 10 + 37 + 2);
}

void TestFlatComboBox::ticketPlacement() {
    QFETCH(int, position);
    QFETCH(QPoint, at);
    QWidget parent;
    auto* cb = new TFlatComboBox(&parent);
    FormSettings(*cb);
    cb->SetTicketPosition(TTicketPosition(position));
    QCOMPARE(cb->Ticket()->pos(), at);
    QCOMPARE(cb->Ticket()->parentWidget(), &parent);
    // It follows a move, a new space and its own new size.
    parent.show();
    cb->move(400, 20);
    cb->SetTicketSpace(5);
    cb->Ticket()->resize(21, 9);
    const QRect t = cb->Ticket()->geometry();
    switch (position) {
    case poLeft:
        QCOMPARE(t.right() + 1 + 5, 400);
        QCOMPARE(t.top(), 20 + (37 - 9) / 2);
        break;
    case poTop:
        QCOMPARE(t.bottom() + 1 + 5, 20);
        break;
    case poRight:
        QCOMPARE(t.left(), 400 + 98 + 5);
        break;
    case poBottom:
        QCOMPARE(t.top(), 20 + 37 + 5);
        break;
    }
}

void TestFlatComboBox::ticketFollowsTheCombo() {
    QWidget parent;
    auto* cb = new TFlatComboBox(&parent);
    cb->Ticket()->setText(QStringLiteral("&Rate"));
    parent.show();
    QVERIFY(cb->Ticket()->isVisible());
    cb->hide();
    QVERIFY(!cb->Ticket()->isVisible());
    cb->show();
    QVERIFY(cb->Ticket()->isVisible());
    cb->setEnabled(false);
    QVERIFY(!cb->Ticket()->isEnabled());
    cb->setEnabled(true);
    QWidget other;
    cb->setParent(&other);
    QCOMPARE(cb->Ticket()->parentWidget(), &other);
    // A destroyed ticket is forgotten.
    delete cb->Ticket();
    QVERIFY(cb->Ticket() == nullptr);
    cb->move(3, 3);
    delete cb;
}

void TestFlatComboBox::readOnlyRefusesTyping() {
    Window win;
    QVERIFY(QTest::qWaitForWindowActive(&win.w));
    win.rate->setFocus();
    QTest::keyClick(win.rate, '1');
    QCOMPARE(win.rate->Text(), QStringLiteral("1.00")); // typing selects by prefix
    win.rate->SetItemIndex(0);
    win.rate->SetReadOnly(true);
    int changes = 0;
    win.rate->OnChange = [&changes](QObject*) { ++changes; };
    QTest::keyClick(win.rate, '1');
    QCOMPARE(win.rate->ItemIndex(), 0);
    QCOMPARE(changes, 0);
    // Editable style: the edit field itself is read-only.
    win.other->SetStyle(csDropDown);
    win.other->SetReadOnly(true);
    QVERIFY(win.other->lineEdit() != nullptr && win.other->lineEdit()->isReadOnly());
}

QTEST_MAIN(TestFlatComboBox)
#include "TestFlatComboBox.moc"
