// The control window: schedule table, transport, options.
//
// The window's controls, its module state and its event handlers are public
// members: the handlers are bound to the controls' events in FormCreate, and
// the tests drive the window through the very same handlers.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "HandlerGuard.h"
#include "PlayerKeys.h"
#include "engine/EngineView.h"
#include "remote/RemotePlayer.h"
#include "settings/Settings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QCheckBox;
class QFileDialog;
class QFrame;
class QLabel;
class QListWidget;
class QPainter;
class QTimer;

class Schedule;
class SectionEngine;
class SystemClock;
class TDSTrackBar;
class TFilterGraph;
class TGraphPlayback;
class TFlatComboBox;
class TFrmPlay;
class TMyExitWin;
class TMyRadionBtn;
class TMyRoundButton;
class TSampleGrabber;
class TScheduleGrid;
class TTransTrackBar;

class QKeyEvent;

class TFrmMain : public QWidget, private THandlerGuard<TFrmMain> {
    Q_OBJECT
    friend class THandlerGuard<TFrmMain>;

public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override;

    // --- Controls (laid out in FormCreate) ---------------------------------
    QFrame* plTop = nullptr;
    TMyRoundButton* btnUP = nullptr;
    QLabel* Image1 = nullptr;
    TTransTrackBar* SoundLevel2 = nullptr;
    TMyRoundButton* btnRestore = nullptr;
    TMyRoundButton* btnPause = nullptr;
    TMyRoundButton* btnBack = nullptr;
    TMyRoundButton* btnNext = nullptr;
    TFlatComboBox* cbRate = nullptr;
    TMyRoundButton* btnClose = nullptr;
    TMyRoundButton* btnSelFile = nullptr;
    TMyRoundButton* btnSelAudioChl2 = nullptr;
    TFlatComboBox* cbAudioChl2 = nullptr;
    TMyRadionBtn* lbLeft2 = nullptr;
    TMyRadionBtn* lbCenter2 = nullptr;
    TMyRadionBtn* lbRight2 = nullptr;
    QLabel* lbPos = nullptr;
    TDSTrackBar* DSTrackBar1 = nullptr;
    QLabel* lbLen = nullptr;
    TTransTrackBar* tbZoom = nullptr;

    TScheduleGrid* sgV = nullptr;

    QFrame* plBottom = nullptr;
    TMyRoundButton* btnDown = nullptr;
    TMyRoundButton* btnAdd = nullptr;
    TMyRoundButton* btnDel = nullptr;
    TMyRoundButton* btnSave = nullptr;
    TFlatComboBox* cbTrans = nullptr;
    TFlatComboBox* cbDelay = nullptr;
    TFlatComboBox* cbHideTime = nullptr;
    TMyRadionBtn* rbExit = nullptr;
    TMyRadionBtn* rbShut = nullptr;
    TMyRadionBtn* rbPlay = nullptr;
    QCheckBox* chkHide = nullptr;
    QCheckBox* chkEdit = nullptr;
    QCheckBox* chkAutoPlay = nullptr;
    QCheckBox* chkPause = nullptr;
    QCheckBox* chkOn2Monitor = nullptr;
    QCheckBox* chkRePlay = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

    // Glyphs drawn into the schedule grid; never shown by themselves.
    QPixmap imgPlay, imgAdd, imgSub;
    QListWidget* lbFilters2 = nullptr; // hidden: filter names of the graph

    // Non-visual components.
    TFilterGraph* FGBrowse = nullptr;
    TGraphPlayback* Graph = nullptr; // FGBrowse in milliseconds, as the engine sees it
    // The schedule the grid shows and the engine plays (made before sgV),
    // and the section engine (engine/SectionEngine.h), the one home of the
    // playing section, its counts, the repeat and the rate.
    Schedule* Sched = nullptr;
    SectionEngine* Engine = nullptr;
    SystemClock* SysClock = nullptr;
    TSampleGrabber* SampleGrabber = nullptr;
    TMyExitWin* ExitWin = nullptr;
    // Made when first needed (OpenDialog): a file dialog with its widgets
    // and folder model holds about 8 MB from the start.
    QFileDialog* OpenDialog1 = nullptr;
    QTimer* tmIdel = nullptr;
    class TSliderWrites* SliderWrites = nullptr; // SoundLevel2's and tbZoom's settings
    class TSettingKeeper* Keeper = nullptr;      // the settings kept while a file plays

    // The video window (a top-level window of its own, owned here); null
    // until FormCreate has made it.
    std::unique_ptr<TFrmPlay> FrmPlay;

    // --- Module state ---------------------------------------------------------
    QString AppPath; // executable folder, with trailing separator
    QString CurFile;
    QString SchedFileName;
    int32_t AudioTrack = 0;
    bool FirstActivate = true;
    // 0 both channels, 1 left, 2 right. Read by the sample grabber on its
    // streaming thread for every sound buffer, hence atomic.
    std::atomic<uint8_t> SoundChannel{0};
    int IdleTicks = 0;
    int HideSeconds = 0;
    QPoint LastCursorPos{0, 0};

    // Alpha blending of the window (opacity 0..255, 255 opaque).
    bool AlphaBlend = true;
    int AlphaBlendValue = 200;

    // --- Lifecycle (uFrmMain.cpp) ------------------------------------------------
    void FormCreate();
    void FormActivate();
    void FormKeyPress(QChar key);
    void FormClose();
    void btnCloseClick(QObject* Sender);

    // --- Schedule table (uFrmMainSchedule.cpp) -----------------------------------
    void sgVDrawCell(QObject* Sender, int ACol, int ARow, const QRect& Rect, QPainter& Canvas,
                     bool Selected);
    void sgVClick(QObject* Sender);
    void sgVMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                      int Y);
    QString sgVGetEditMask(int ACol, int ARow);
    void sgVSetEditText(int ACol, int ARow, const QString& Value);
    void sgVMouseWheelDown(QObject* Sender, bool& Handled);
    void sgVMouseWheelUp(QObject* Sender, bool& Handled);
    void btnAddClick(QObject* Sender);
    void btnDelClick(QObject* Sender);
    void chkEditClick(QObject* Sender);
    void RenumberRows();
    void SetEditMode(bool enabled);
    static QString StepCount(const QString& text, bool up, int max, int min);

    // --- Settings and schedule files (uFrmMainSettings.cpp) -----------------------
    void LoadSettings();
    void LoadWindowBounds();
    void SaveWindowBounds();
    // Where a window of these bounds opens: at its own place while a monitor
    // shows enough of it, else moved onto the nearest monitor's work area.
    static QPoint OnSomeMonitor(const QRect& bounds);
    void OpenSchedule(const QString& path);
    // The schedule file beside a media file: dance.mp4 gives dancemp4.INI.
    QString ScheduleFileNameFor(const QString& mediaPath) const;
    void btnSaveClick(QObject* Sender);
    void btnRestoreClick(QObject* Sender);
    void rbExitClick(QObject* Sender);
    void rbShutClick(QObject* Sender);
    void rbPlayClick(QObject* Sender);
    void ChooseEndMode(TMyRadionBtn* chosen);
    void chkAutoPlayClick(QObject* Sender);
    void chkRePlayClick(QObject* Sender);
    void chkPauseClick(QObject* Sender);
    void cbDelayChange(QObject* Sender);

    // --- Presentation (uFrmMainPresentation.cpp) ----------------------------------
    void tmIdelTimer(QObject* Sender);
    void FormMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
    void chkHideClick(QObject* Sender);
    void cbHideTimeChange(QObject* Sender);
    void cbTransChange(QObject* Sender);
    void btnUPClick(QObject* Sender);
    void btnDownClick(QObject* Sender);
    void FormResize(QObject* Sender);
    // The video window's monitor and zoom.
    void chkOn2MonitorClick(QObject* Sender);
    void tbZoomChange(QObject* Sender);
    // Applies AlphaBlend / AlphaBlendValue to the window.
    void ApplyOpacity();
    // Places plTop at the top, plBottom at the bottom and sgV between them.
    void AlignControls();

    // --- Playback, transport and audio (uFrmMainPlayback.cpp, uFrmMainTransport.cpp,
    // uFrmMainAudio.cpp) -------------------------------------------------------------
    // Binds the handlers below to their controls' events; FormCreate calls it
    // right after making the controls.
    void ConnectPlaybackHandlers();

    // The section engine's handlers, forwarded to it (uFrmMainPlayback.cpp).
    void PlaySection(int row, bool isRepeat);
    void NextSection();
    void DSTrackBar1Timer(QObject* Sender, uint32_t CurrentPos, uint32_t StopPos);
    void FGBrowseGraphComplete();                   // the media has played to its end
    void FGBrowseGraphError(const QString& reason); // playback broke off
    int CurRow() const;
    // The engine with the controls' current choices handed to it: what every
    // key, remote and handler acting on playback goes through.
    SectionEngine& EngineNow();
    // The last "cannot play" message (the file and the framework's reason),
    // shown without a modal box.
    QString LastPlaybackError;
    void ReportUnplayable(const QString& text);
    // What the engine asks of the windows (uFrmMainView.cpp).
    std::unique_ptr<EngineView> View;

    // Transport (uFrmMainTransport.cpp).
    QFileDialog* OpenDialog(); // OpenDialog1, made on first use
    void btnSelFileClick(QObject* Sender);
    void btnPauseClick(QObject* Sender);
    void btnBackClick(QObject* Sender);
    void btnNextClick(QObject* Sender);
    void lbPosDblClick(QObject* Sender);
    void cbRateChange(QObject* Sender);
    void SeekTo(uint32_t ms);    // forwards to the engine
    void ApplyRate(double rate); // forwards to the engine
    // "text|p1;p2|text|p3|" as the dialog's name filters "text (p1 p2)", ...
    static QStringList DialogNameFilters(const QString& filter);

    // Volume, channel and track (uFrmMainAudio.cpp).
    void SoundLevel2Change(QObject* Sender);
    void lbLeft2Click(QObject* Sender);
    void lbCenter2Click(QObject* Sender);
    void lbRight2Click(QObject* Sender);
    void btnSelAudioChl2Click(QObject* Sender);
    // Streaming thread: rewrites one decoded sound buffer for SoundChannel.
    void SampleGrabberBuffer(QObject* Sender, double SampleTime, uint8_t* pBuffer,
                             int32_t BufferLen);
    void RefreshAudioTracks();
    QString FindAudioDecoderName();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool RowExists(int row) const;
    void CreateEngine();
    void SelectChannel(int channel, const QString& caption);

public:
    // The window's actions for keys and remotes (uFrmMainActions.cpp); the
    // playback commands go to the engine itself. Each goes through the
    // window's own handlers, so a change is stored exactly as if the user had
    // made it on the window.
    void ActVolumeStep(int percent);
    void ActSetVolume(int volume);   // 0..10000 through SoundLevel2
    void ActRateStep(int direction); // the previous / next cbRate item
    void ActSetRate(double rate);    // the nearest cbRate item
    void ActToggleControls();
    void ActShowControls();
    // Opens a media file as if chosen in the open dialog; false when it is not
    // an existing file.
    bool OpenMediaFile(const QString& path);
    // Flips the picture left to right (chkMirror, stored per media).
    void ActToggleMirror();
    // A new section at the current position (count 1, no description), in
    // time order, stored among the schedule file's rows as they are there
    // (the counts playback used up stay unsaved), without stopping playback;
    // its row is selected. Locked while "允许编辑" is off.
    void ActMarkHere();
    double PlaybackRate() const; // as the graph plays now
    TRemoteState PlayerState() const;
    QList<double> RateChoices() const;
    void NotifyStateChanged(int reasons); // TRemoteChange flags

    // Keys (uFrmMainKeys.cpp): the action of a key on the video window or
    // on this window (pkNone: not the player's here), running one, and the
    // window's key filter.
    TPlayerKey KeyAction(int key, Qt::KeyboardModifiers modifiers, bool onVideo) const;
    void RunPlayerKey(TPlayerKey action);
    bool PlayerKeyPress(QObject* watched, QKeyEvent* event);
    void AddKeyHints();
    // A short hint that does not wait for a click, near the pointer over
    // the window named (none: the one in sight): what a locked edit key or
    // a refused drop gets.
    void ShowPassingHint(const QString& text, QWidget* over = nullptr);
    static const QString EditLockedHint;
    // The open of a dropped file or a remote's request: only where the open
    // button would take one; false (and a hint) while the file choice is locked.
    bool OpenOfferedFile(const QString& path, QWidget* over = nullptr);
    // The practice switches (mirror, the line on the video); FormCreate
    // calls it before CreateRemoteControls.
    void CreatePracticeControls();
    void LoadPracticeSchedule(); // the per-media switches, from OpenSchedule
    void chkMirrorClick(QObject* Sender);
    void chkOSDClick(QObject* Sender);
    QCheckBox* chkMirror = nullptr;
    QCheckBox* chkOSD = nullptr;
    QCheckBox* chkSpeedUp = nullptr;
    void chkSpeedUpClick(QObject* Sender);

    // The timeline window (uFrmMainTimeline.cpp): its switch in the practice
    // row, made by FormCreate after the practice switches; fed from the grid
    // and the position while it shows; its requests go through the grid's
    // and the window's own handlers.
    void CreateTimelineControls();
    void chkTimelineClick(QObject* Sender);
    void ActToggleTimeline();
    void FeedTimeline();
    void TimelineSectionMoved(int row, int seconds);
    void TimelineAddSection(int seconds);
    void TimelineRemoveSection(int row);
    void TimelinePlayFrom(int64_t ms);
    void SaveTimelineBounds();
    QCheckBox* chkTimeline = nullptr;
    class TTimelineWindow* FrmTimeline = nullptr;
    QTimer* tmTimeline = nullptr;
    // A new section at `ms` (count 1), in time order, without stopping
    // playback; ActMarkHere is MarkSectionAt(the position, true). The grid is
    // written to the schedule file only when `save`.
    void MarkSectionAt(int64_t ms, bool save);

    // The phone remote's switch, address, QR code and PIN, and the media bus
    // service (uFrmMainRemote.cpp). FormCreate calls CreateRemoteControls last.
    void CreateRemoteControls();
    void chkRemoteClick(QObject* Sender);
    QCheckBox* chkRemote = nullptr;
    QFrame* plRemote = nullptr;
    QLabel* imgRemoteQr = nullptr;
    QLabel* lbRemote = nullptr;
    class QPushButton* btnRemotePin = nullptr; // a new PIN: every paired phone pairs again
    TRemotePlayer* RemotePlayer = nullptr;
    class TMprisService* Mpris = nullptr;
    class TRemoteServer* RemoteServer = nullptr;
signals:
    // Raised on every change a remote shows: section entered, repetition,
    // seek, play/pause, rate, volume, file, control window shown or hidden.
    void StateChanged(int reasons);

private:
    void ChainActionNotifications();
    void PlaceRemotePanel();

public:
    // Opening files from outside (uFrmMainOpen.cpp)
    // A media file named on the command line: opened once the window is up,
    // instead of auto-playing "PlayFile". Set before the window is made.
    static inline QString StartFile;
    // Why path cannot be opened as media ("it is a named pipe, not a regular
    // file"), empty for a regular file: ::MediaFileRefusal (utPublicCore.h).
    static QString MediaFileRefusal(const QString& path);
    // Accepts local files dropped on the control window and on the video
    // window, and gives the open button its right-click list of recent files.
    // FormCreate calls it once both windows exist.
    void CreateOpenHandlers();
    // The recent files, most recent first, as stored in "Recent1".."Recent10".
    QStringList RecentFiles() const;
    // Refills RecentMenu from RecentFiles(): missing files are greyed.
    void RefreshRecentMenu();
    class QMenu* RecentMenu = nullptr;

private:
    void RememberRecentFile(const QString& path);

    // Builds every control at its laid-out place (uFrmMainLayout.cpp).
    void CreateControls();
    void BindControlEvents();

    // The top-level error display for a failed handler (null: not a
    // std::exception). While the window is being created, each distinct
    // failure, and each file that refused a write, is shown once.
    void ReportHandlerError(const std::exception* error);
    bool creating_ = false;
    QStringList creationReports_;

    // Snaps the window to a screen edge it was moved close to.
    void SnapToScreenEdges();
    bool snapping_ = false;
    // Widgets whose pointer movement counts as activity (FormMouseMove).
    QSet<QObject*> activityWidgets_;
};
