// The control window's controls at their laid-out places, and the binding
// of their events to the window's handlers.
#include "uFrmMain.h"

#include "MyExitWin/MyExitWin.h"
#include "SettingKeeper.h"
#include "SliderWrites.h"
#include "controls/FlatCtrls.h"
#include "controls/FontCatalog.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/Pictures.h"
#include "controls/uTransTrackBar.h"
#include "media/DSTrackBar.h"
#include "media/FilterGraph.h"
#include "media/GraphPlayback.h"
#include "media/SampleGrabber.h"
#include "uFrmMainGrid.h"

#include <QCheckBox>
#include <QCursor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProxyStyle>
#include <QTimer>

namespace {
// Colour 6144: red 0, green 24, blue 0.
const QColor kFormColor(0, 24, 0);
constexpr int kClientWidth = 602;
constexpr int kClientHeight = 522;
constexpr int kMinHeight = 300;

const QStringList kRateItems = {
    QStringLiteral("0.70"), QStringLiteral("0.75"), QStringLiteral("0.80"), QStringLiteral("0.85"),
    QStringLiteral("0.90"), QStringLiteral("0.95"), QStringLiteral("1.00"), QStringLiteral("1.10"),
    QStringLiteral("1.20"), QStringLiteral("1.30")};
const QStringList kDelayItems = {
    QStringLiteral("500"),  QStringLiteral("1000"), QStringLiteral("1500"), QStringLiteral("2000"),
    QStringLiteral("2500"), QStringLiteral("3000"), QStringLiteral("4000"), QStringLiteral("5000"),
    QStringLiteral("6000"), QStringLiteral("7000"), QStringLiteral("8000"), QStringLiteral("9000")};
const QStringList kHideItems = {QStringLiteral("5"),  QStringLiteral("6"),  QStringLiteral("7"),
                                QStringLiteral("8"),  QStringLiteral("9"),  QStringLiteral("10"),
                                QStringLiteral("15"), QStringLiteral("20"), QStringLiteral("25"),
                                QStringLiteral("30"), QStringLiteral("60"), QStringLiteral("120")};
const QStringList kTransItems = {
    QStringLiteral("255"), QStringLiteral("240"), QStringLiteral("220"), QStringLiteral("200"),
    QStringLiteral("180"), QStringLiteral("160"), QStringLiteral("140"), QStringLiteral("120"),
    QStringLiteral("100"), QStringLiteral("80"),  QStringLiteral("60"),  QStringLiteral("40")};

// The position track bar's thumb as laid out: ThumbLength pixels across
// the groove (the bar's thickness follows it), about half as wide along it.
class TTrackBarStyle : public QProxyStyle {
public:
    explicit TTrackBarStyle(int thumbLength) : thumbLength_(thumbLength) {}
    int pixelMetric(PixelMetric m, const QStyleOption* opt, const QWidget* w) const override {
        switch (m) {
        case PM_SliderControlThickness:
        case PM_SliderThickness:
            return thumbLength_;
        case PM_SliderLength:
            return thumbLength_ / 2;
        default:
            return QProxyStyle::pixelMetric(m, opt, w);
        }
    }

private:
    int thumbLength_;
};

void SetWhiteText(QWidget* w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    pal.setColor(QPalette::ButtonText, Qt::white);
    pal.setColor(QPalette::Text, Qt::white);
    w->setPalette(pal);
}

QFrame* MakePanel(QWidget* parent, const char* name) {
    auto* p = new QFrame(parent);
    p->setObjectName(QLatin1String(name));
    p->setFrameStyle(QFrame::Panel | QFrame::Raised);
    p->setLineWidth(1);
    return p;
}

TMyRoundButton* MakeRoundButton(QWidget* parent, const char* name, int left, int top,
                                const QString& hint) {
    auto* b = new TMyRoundButton(parent);
    b->setObjectName(QLatin1String(name));
    b->SetAllowAllUp(false);
    b->SetAttenControl(1.0);
    b->SetBevelInner(hbRaised);
    b->SetBevelOuter(hbNone);
    b->SetBevelWidth(1);
    b->SetBorderColor(QColor(255, 255, 255));
    b->SetBorderStyle(bsNone);
    b->SetDown(false);
    b->SetFaceColor(QColor(128, 128, 128));
    b->SetFaceShaded(false);
    b->SetFaceTransparent(true);
    b->SetGlyphShaded(false);
    b->SetGlyphMapped(false);
    b->SetGlyphTransparent(true);
    b->SetGroupIndex(0);
    b->SetBounds(left, top, 40, 40);
    b->SetGlyph(LoadPicture(QLatin1String(name)));
    b->setCursor(Qt::PointingHandCursor);
    b->SetHint(hint);
    b->SetShowHint(true);
    return b;
}

TMyRadionBtn* MakeRadio(QWidget* parent, const char* name, const QRect& place,
                        const QString& caption, const QString& shown, TButtonShape shape,
                        const QColor& low, int fontHeight) {
    auto* r = new TMyRadionBtn(parent);
    r->setObjectName(QLatin1String(name));
    r->setGeometry(place);
    r->SetGroupIndex(0);
    r->setCursor(Qt::PointingHandCursor);
    r->SetBorderWidth(1);
    r->SetCheckColor(QColor(255, 0, 0));
    r->SetColor_High(QColor(255, 255, 255));
    r->SetBkColor(QColor(192, 192, 192));
    r->SetColor_Low(low);
    r->SetButtonShape(shape);
    r->SetFont(SongTiFont(fontHeight));
    r->SetFontColor(QColor(128, 128, 128));
    r->SetCaption(caption);
    r->SetShownCaption(shown);
    return r;
}

TFlatComboBox* MakeCombo(QWidget* parent, const char* name, const QRect& place, const QString& hint,
                         const QStringList& items, int itemHeight) {
    auto* c = new TFlatComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->SetStyle(csDropDownList);
    c->SetColorFlat(QColor(0x20, 0x20, 0x20));
    c->SetColorFocued(QColor(0, 0, 0));
    c->SetColorArrow(QColor(255, 255, 255));
    c->SetColorArrowBackground(QColor(0, 0x80, 0));
    c->SetParentColor(false);
    c->SetTicketSpace(2);
    c->SetFontColor(Qt::white);
    c->SetItemHeight(itemHeight);
    c->SetItems(items);
    if (!hint.isEmpty()) {
        c->SetHint(hint);
        c->SetShowHint(true);
    }
    c->setGeometry(place);
    if (QLabel* t = c->Ticket()) {
        t->setText(QStringLiteral(" "));
        t->setFont(SongTiFont(29));
        SetWhiteText(t);
        t->resize(15, 29);
        t->setVisible(false);
        // The caption shows nothing but a blank, and the list's ticket lies
        // beside it, over a neighbour's edge (cbAudioChl2's over
        // btnSelAudioChl2): it must neither take the neighbour's clicks nor
        // paint over it.
        t->setAttribute(Qt::WA_TransparentForMouseEvents);
        t->lower();
    }
    return c;
}

TTransTrackBar* MakeSlider(QWidget* parent, const char* name, const QRect& place, double max,
                           double position) {
    auto* s = new TTransTrackBar(parent);
    s->setObjectName(QLatin1String(name));
    s->setGeometry(place);
    s->SetFont(SongTiFont(12), QColor(0, 0, 0));
    s->SetShowHint(true);
    s->SetTransparent(true);
    s->SetGradientSlider(false);
    s->SetGradientBar(false);
    s->SetGradientThum(true);
    s->SetColorSlider(QColor(0, 0, 255));
    s->SetColorThum(QColor(255, 255, 0));
    s->SetColorBar(QColor(0, 0, 255));
    s->SetColorFaceFrameLT(QColor(0, 0, 0));
    s->SetColorFaceFrameRB(QColor(0, 0, 0));
    s->SetPenStyle(psSolid);
    s->SetFontName(QStringLiteral("宋体"));
    s->SetFontColor(QColor(0, 0, 0));
    s->SetFontSize(9);
    s->SetDrawDirection(ddUp);
    s->SetMaxValue(max);
    s->SetPosition(position);
    s->SetBarHeight(16);
    s->SetThumWidth(24);
    return s;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QRect& place,
                     const QString& caption) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QLatin1String(name));
    c->setFont(SongTiFont(12));
    SetWhiteText(c);
    c->setGeometry(place);
    return c;
}

QLabel* MakeTimeLabel(QWidget* parent, const char* name, const QRect& place) {
    auto* l = new QLabel(QStringLiteral("00:00"), parent);
    l->setObjectName(QLatin1String(name));
    QFont f = MakeFontPx(QStringLiteral("Times New Roman"), 34);
    f.setItalic(true);
    l->setFont(f);
    SetWhiteText(l);
    l->setGeometry(place);
    return l;
}

QLabel* MakeInfoLabel(QWidget* parent, const char* name, int left, int top, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(SongTiFont(12));
    SetWhiteText(l);
    // Sized to its text once in sight (WhenBottomRowsInSight); a size given
    // here keeps Qt from sizing it when it is first shown.
    l->setGeometry(left, top, 0, 0);
    return l;
}
} // namespace

void TFrmMain::CreateControls() {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Tavrelo"));
    // No caption-bar buttons: the window closes through its own button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kFormColor);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setFont(SongTiFont(32));
    // Fixed width, a minimum height; the size is the client area's.
    setFixedWidth(kClientWidth);
    setMinimumHeight(kMinHeight);
    resize(kClientWidth, kClientHeight);
    ApplyOpacity();

    // --- Top panel --------------------------------------------------------------
    plTop = MakePanel(this, "plTop");
    plTop->setGeometry(0, 0, kClientWidth, 145);
    plTop->setFixedHeight(145);
    btnUP = MakeRoundButton(plTop, "btnUP", 6, 8, QString());
    Image1 = new QLabel(plTop);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(59, 12, 32, 32);
    Image1->setPixmap(LoadTransparentPicture(QStringLiteral("Image1")));
    SoundLevel2 = MakeSlider(plTop, "SoundLevel2", QRect(103, 4, 106, 50), 10000.0, 9000.0);
    btnRestore = MakeRoundButton(plTop, "btnRestore", 220, 8, tr("复原播放安排表"));
    btnPause = MakeRoundButton(plTop, "btnPause", 273, 8, tr("暂停"));
    btnBack = MakeRoundButton(plTop, "btnBack", 327, 8, tr("后退10秒"));
    btnNext = MakeRoundButton(plTop, "btnNext", 381, 8, tr("前进10秒"));
    cbRate = MakeCombo(plTop, "cbRate", QRect(440, 10, 98, 37), tr("设置播放的速度快慢"),
                       kRateItems, 29);
    btnClose = MakeRoundButton(plTop, "btnClose", 545, 8, tr("退出做操"));
    btnSelFile = MakeRoundButton(plTop, "btnSelFile", 6, 56, tr("选择要播放的视频或音频文件"));
    btnSelAudioChl2 = MakeRoundButton(plTop, "btnSelAudioChl2", 54, 56, tr("选择音轨"));
    cbAudioChl2 = MakeCombo(plTop, "cbAudioChl2", QRect(102, 58, 107, 37), QString(), {}, 29);
    // The sound channel: three round buttons of one size in a row.
    // Their captions are also the values stored (SOUNDCHL): the caption
    // stays Chinese, the window shows its translation.
    auto channel = [this](const char* name, int left, const QString& caption,
                          const QString& shown) {
        return MakeRadio(plTop, name, QRect(left, 63, 112, 27), caption, shown, btRound,
                         QColor(128, 128, 128), 26);
    };
    lbLeft2 = channel("lbLeft2", 220, QStringLiteral("左声道"), tr("左声道"));
    lbCenter2 = channel("lbCenter2", 344, QStringLiteral("立体声"), tr("立体声"));
    lbRight2 = channel("lbRight2", 464, QStringLiteral("右声道"), tr("右声道"));
    for (TMyRadionBtn* r : {lbLeft2, lbCenter2, lbRight2})
        r->SetTag(99);
    lbCenter2->SetChecked(true);
    lbPos = MakeTimeLabel(plTop, "lbPos", QRect(6, 98, 79, 40));
    lbPos->setToolTip(tr("双击设置起播位置"));
    DSTrackBar1 = new TDSTrackBar(plTop);
    DSTrackBar1->setObjectName(QStringLiteral("DSTrackBar1"));
    DSTrackBar1->setOrientation(Qt::Horizontal);
    DSTrackBar1->setGeometry(94, 103, 243, 31);
    DSTrackBar1->SetFrequency(5);
    DSTrackBar1->SetThumbLength(28);
    DSTrackBar1->SetTickMarks(tmBoth);
    DSTrackBar1->SetTickStyle(tsNone);
    DSTrackBar1->setCursor(Qt::PointingHandCursor);
    {
        auto* look = new TTrackBarStyle(DSTrackBar1->ThumbLength());
        look->setParent(DSTrackBar1);
        DSTrackBar1->setStyle(look);
    }
    lbLen = MakeTimeLabel(plTop, "lbLen", QRect(352, 98, 79, 40));
    tbZoom = MakeSlider(plTop, "tbZoom", QRect(471, 92, 106, 50), 100.0, 10.0);
    tbZoom->SetHint(tr("图像缩放"));

    // --- Schedule grid --------------------------------------------------------------
    Sched = new Schedule(this);
    sgV = new TScheduleGrid(this);
    sgV->SetModel(Sched);
    sgV->setObjectName(QStringLiteral("sgV"));
    sgV->SetColCount(6);
    sgV->SetFixedCols(4);
    sgV->SetRowCount(40);
    sgV->SetDefaultRowHeight(34);
    const int widths[6] = {63, 67, 46, 45, 99, 208};
    for (int c = 0; c < 6; ++c)
        sgV->SetColWidth(c, widths[c]);
    {
        QLineEdit* ed = sgV->Editor();
        ed->setFont(MakeFontPt(QStringLiteral("宋体"), 22));
    }
    imgPlay = LoadTransparentPicture(QStringLiteral("imgPlay"));
    imgAdd = LoadTransparentPicture(QStringLiteral("imgAdd"));
    imgSub = LoadTransparentPicture(QStringLiteral("imgSub"));

    // --- Bottom panel ----------------------------------------------------------------
    plBottom = MakePanel(this, "plBottom");
    plBottom->setGeometry(0, 382, kClientWidth, 140);
    plBottom->setFixedHeight(140);
    btnDown = MakeRoundButton(plBottom, "btnDown", 6, 8, QString());
    btnAdd = MakeRoundButton(plBottom, "btnAdd", 57, 8, tr("增加一个新的小节"));
    btnDel = MakeRoundButton(plBottom, "btnDel", 108, 8, tr("删除指定的小节"));
    btnSave = MakeRoundButton(plBottom, "btnSave", 160, 8, tr("保存播放安排表"));
    cbTrans =
        MakeCombo(plBottom, "cbTrans", QRect(216, 7, 96, 41), tr("窗口透明度"), kTransItems, 33);
    cbDelay = MakeCombo(plBottom, "cbDelay", QRect(344, 7, 96, 41), tr("小节循环时暂停毫秒数"),
                        kDelayItems, 33);
    cbHideTime = MakeCombo(plBottom, "cbHideTime", QRect(492, 7, 96, 41), tr("隐藏窗口的时间秒"),
                           kHideItems, 33);
    // The end mode: three buttons of one size in a row, each its own shape.
    // Like the channels', their captions are the stored end mode (overmode).
    auto endMode = [this](const char* name, int left, const QString& caption, const QString& shown,
                          TButtonShape shape, const QColor& colour) {
        return MakeRadio(plBottom, name, QRect(left, 54, 140, 30), caption, shown, shape, colour,
                         27);
    };
    rbExit = endMode("rbExit", 6, QStringLiteral("播完退出"), tr("播完退出"), btSquare,
                     QColor(192, 192, 192));
    rbShut = endMode("rbShut", 168, QStringLiteral("播完关机"), tr("播完关机"), btDiamond,
                     QColor(128, 128, 128));
    rbPlay = endMode("rbPlay", 342, QStringLiteral("循环播放"), tr("循环播放"), btRound,
                     QColor(128, 128, 128));
    rbPlay->SetChecked(true);
    chkHide = MakeCheck(plBottom, "chkHide", QRect(492, 63, 93, 14), tr("隐藏播放窗口"));
    chkEdit = MakeCheck(plBottom, "chkEdit", QRect(9, 102, 70, 14), tr("允许编辑"));
    chkAutoPlay = MakeCheck(plBottom, "chkAutoPlay", QRect(94, 102, 70, 14), tr("自动播放"));
    chkPause =
        MakeCheck(plBottom, "chkPause", QRect(174, 102, 143, 14), tr("增加新一节时暂停播放"));
    chkOn2Monitor =
        MakeCheck(plBottom, "chkOn2Monitor", QRect(335, 102, 143, 14), tr("自动显示在第二显示器"));
    chkRePlay = MakeCheck(plBottom, "chkRePlay", QRect(494, 102, 70, 14), tr("提示重放"));
    Label1 = MakeInfoLabel(plBottom, "Label1", 8, 86,
                           tr("单击“播放”从该节开始，单击“加”“减”改次数"));
    Label2 = MakeInfoLabel(plBottom, "Label2", 8, 121,
                           tr("勾选“允许编辑”可改时间和内容，双击时间设起点"));
    WhenBottomRowsInSight([this] {
        Label1->adjustSize();
        Label2->adjustSize();
        // A caption longer in another language than the laid-out box takes
        // the room it needs.
        for (QCheckBox* c : {chkHide, chkEdit, chkAutoPlay, chkPause, chkOn2Monitor, chkRePlay}) {
            const int needed = c->sizeHint().width();
            if (needed > c->width())
                c->resize(needed, c->height());
        }
    });

    lbFilters2 = new QListWidget(this);
    lbFilters2->setObjectName(QStringLiteral("lbFilters2"));
    lbFilters2->hide();

    // --- Non-visual components -----------------------------------------------------------
    FGBrowse = new TFilterGraph(this);
    FGBrowse->setObjectName(QStringLiteral("FGBrowse"));
    FGBrowse->SetGraphEdit(false);
    FGBrowse->SetLinearVolume(true);
    Graph = new TGraphPlayback(*FGBrowse, this);
    SampleGrabber = new TSampleGrabber(this);
    SampleGrabber->setObjectName(QStringLiteral("SampleGrabber"));
    {
        // Decoded PCM sound passes through the grabber on its way to the
        // audio renderer.
        AM_MEDIA_TYPE type;
        type.majortype = MEDIATYPE_Audio;
        type.subtype = MEDIASUBTYPE_PCM;
        type.bFixedSizeSamples = true;
        type.bTemporalCompression = false;
        type.lSampleSize = 1;
        type.formattype = FORMAT_WaveFormatEx;
        type.cbFormat = 0;
        SampleGrabber->SetMediaType(type);
    }
    SampleGrabber->SetFilterGraph(FGBrowse);
    DSTrackBar1->SetFilterGraph(FGBrowse);
    DSTrackBar1->SetTimerInterval(500);
    ExitWin = new TMyExitWin(this);
    ExitWin->setObjectName(QStringLiteral("ExitWin"));
    ExitWin->SetExitWinType(ewForce);
    SliderWrites = new TSliderWrites(this);
    tmIdel = new QTimer(this);
    tmIdel->setObjectName(QStringLiteral("tmIdel"));
    tmIdel->setInterval(1000);

    AlignControls();
    // The window starts with the keyboard on the schedule table: on the
    // speed list, Space and the arrow keys would silently change the speed.
    sgV->setFocus(Qt::OtherFocusReason);

    ConnectPlaybackHandlers();
    BindControlEvents();
    tmIdel->start();
}

void TFrmMain::BindControlEvents() {
    // Called on the framework's streaming thread, where no box may be shown;
    // it raises nothing.
    if (SampleGrabber)
        SampleGrabber->SetOnBuffer([this](QObject* s, double t, uint8_t* buf, int32_t len) {
            SampleGrabberBuffer(s, t, buf, len);
        });

    if (btnSelFile)
        btnSelFile->OnClick = Guarded(&TFrmMain::btnSelFileClick);
    if (btnPause)
        btnPause->OnClick = Guarded(&TFrmMain::btnPauseClick);
    if (btnBack)
        btnBack->OnClick = Guarded(&TFrmMain::btnBackClick);
    if (btnNext)
        btnNext->OnClick = Guarded(&TFrmMain::btnNextClick);
    if (cbRate)
        cbRate->OnChange = Guarded(&TFrmMain::cbRateChange);
    if (btnSelAudioChl2)
        btnSelAudioChl2->OnClick = Guarded(&TFrmMain::btnSelAudioChl2Click);
    if (lbLeft2)
        lbLeft2->OnClick = Guarded(&TFrmMain::lbLeft2Click);
    if (lbCenter2)
        lbCenter2->OnClick = Guarded(&TFrmMain::lbCenter2Click);
    if (lbRight2)
        lbRight2->OnClick = Guarded(&TFrmMain::lbRight2Click);
    if (SoundLevel2)
        SoundLevel2->OnChange = Guarded(&TFrmMain::SoundLevel2Change);
    if (tbZoom)
        tbZoom->OnChange = Guarded(&TFrmMain::tbZoomChange);
    // lbPos's double click reaches lbPosDblClick through the window's own
    // event filter.
    // A check box raises its click event whenever its state changes, also
    // when the program sets it (LoadSettings).
    if (chkOn2Monitor)
        connect(chkOn2Monitor, &QCheckBox::toggled, this,
                Guarded([this] { chkOn2MonitorClick(chkOn2Monitor); }));
    btnUP->OnClick = Guarded(&TFrmMain::btnUPClick);
    btnDown->OnClick = Guarded(&TFrmMain::btnDownClick);
    btnRestore->OnClick = Guarded(&TFrmMain::btnRestoreClick);
    btnAdd->OnClick = Guarded(&TFrmMain::btnAddClick);
    btnDel->OnClick = Guarded(&TFrmMain::btnDelClick);
    btnSave->OnClick = Guarded(&TFrmMain::btnSaveClick);
    rbExit->OnClick = Guarded(&TFrmMain::rbExitClick);
    rbShut->OnClick = Guarded(&TFrmMain::rbShutClick);
    rbPlay->OnClick = Guarded(&TFrmMain::rbPlayClick);
    cbDelay->OnChange = Guarded(&TFrmMain::cbDelayChange);
    cbHideTime->OnChange = Guarded(&TFrmMain::cbHideTimeChange);
    cbTrans->OnChange = Guarded(&TFrmMain::cbTransChange);

    // A check box raises its click event when its state changes, also when
    // the program changes it.
    auto bindCheck = [this](QCheckBox* box, void (TFrmMain::*handler)(QObject*)) {
        connect(box, &QCheckBox::toggled, this,
                Guarded([this, box, handler] { (this->*handler)(box); }));
    };
    bindCheck(chkEdit, &TFrmMain::chkEditClick);
    bindCheck(chkAutoPlay, &TFrmMain::chkAutoPlayClick);
    bindCheck(chkPause, &TFrmMain::chkPauseClick);
    bindCheck(chkRePlay, &TFrmMain::chkRePlayClick);
    bindCheck(chkHide, &TFrmMain::chkHideClick);

    sgV->OnDrawCell = Guarded(&TFrmMain::sgVDrawCell);
    sgV->OnClick = Guarded(&TFrmMain::sgVClick);
    sgV->OnMouseDown = Guarded(&TFrmMain::sgVMouseDown);
    sgV->OnGetEditMask = Guarded(&TFrmMain::sgVGetEditMask);
    sgV->OnSetEditText = Guarded(&TFrmMain::sgVSetEditText);
    sgV->OnMouseWheelDown = Guarded(&TFrmMain::sgVMouseWheelDown);
    sgV->OnMouseWheelUp = Guarded(&TFrmMain::sgVMouseWheelUp);

    connect(tmIdel, &QTimer::timeout, this, Guarded([this] { tmIdelTimer(tmIdel); }));

    // The window's background (and the panels, which pass the request on)
    // offers the language. It is read at start-up, so the choice says when it
    // applies in a passing hint, never a box that waits for a click.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, Guarded([this] {
                auto* menu = new QMenu(this);
                menu->setAttribute(Qt::WA_DeleteOnClose);
                QMenu* languages = menu->addMenu(QStringLiteral("语言 / Language"));
                const QString current = ReadSetting(IniFileName, Setting::Language);
                for (const auto& [value, name] : {std::pair{"zh", "中文"}, {"en", "English"}}) {
                    QAction* a = languages->addAction(QString::fromUtf8(name));
                    a->setCheckable(true);
                    a->setChecked(current == QLatin1String(value));
                    connect(a, &QAction::triggered, this,
                            [this, value = QString::fromLatin1(value)] {
                                // A refused write is reported by the keeper itself.
                                Keeper->Keep(Setting::Language, value);
                                ShowPassingHint(tr("语言在下次启动时生效"));
                            });
                }
                menu->popup(QCursor::pos());
            }));

    // Pointer movement over these counts as activity; over the labels, the
    // drop-down lists and the position track bar it does not.
    const auto moved = Guarded(
        [this](QObject* s, TShiftState, int x, int y) { FormMouseMove(s, Qt::NoModifier, x, y); });
    for (TMyRoundButton* b : {btnUP, btnSelFile, btnSelAudioChl2, btnRestore, btnPause, btnBack,
                              btnNext, btnClose, btnDown, btnAdd, btnDel, btnSave}) {
        b->OnMouseMove = moved;
        b->setMouseTracking(true);
    }
    for (TMyRadionBtn* r : {lbLeft2, lbCenter2, lbRight2, rbExit, rbShut, rbPlay}) {
        r->OnMouseMove = moved;
        r->setMouseTracking(true);
    }
    for (TTransTrackBar* t : {SoundLevel2, tbZoom}) {
        t->OnMouseMove = moved;
        t->setMouseTracking(true);
        t->OnMouseUp = Guarded(
            [this, t](QObject*, TMouseButton, TShiftState, int, int) { SliderWrites->EndDrag(t); });
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{this, plTop, plBottom, sgV, Image1, chkEdit, chkAutoPlay,
                                         chkPause, chkOn2Monitor, chkRePlay, chkHide}) {
        w->setMouseTracking(true);
        activityWidgets_.insert(w);
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{lbPos, lbLen, Label1, Label2, DSTrackBar1, cbRate,
                                         cbAudioChl2, cbTrans, cbDelay, cbHideTime})
        w->setAttribute(Qt::WA_NoMousePropagation);
}
