// The control window: schedule table, transport, options.
//
// The window's controls, its module state and its event handlers are public
// members: the handlers are bound to the controls' events in FormCreate, and
// the tests drive the window through the very same handlers.
#pragma once

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
#include "uFrmMainControls.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QKeyEvent;
class QPainter;
class Schedule;
class SectionEngine;
class SystemClock;
class TFilterGraph;
class TFrmPlay;
class TGraphPlayback;
class TMyExitWin;
class TSampleGrabber;
class TSettingKeeper;
class TSliderWrites;

class TFrmMain : public QWidget, public TFrmMainControls, private THandlerGuard<TFrmMain> {
    Q_OBJECT
    friend class THandlerGuard<TFrmMain>;

public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override;

    // Non-visual components. The section engine (engine/SectionEngine.h) is
    // the one home of the playing section, its counts, the repeat and the
    // rate; Sched is the schedule the grid shows and the engine plays.
    TFilterGraph* FGBrowse = nullptr;
    TGraphPlayback* Graph = nullptr; // FGBrowse in milliseconds, as the engine sees it
    Schedule* Sched = nullptr;
    SectionEngine* Engine = nullptr;
    SystemClock* SysClock = nullptr;
    TSampleGrabber* SampleGrabber = nullptr;
    TMyExitWin* ExitWin = nullptr;
    TSliderWrites* SliderWrites = nullptr; // SoundLevel2's and tbZoom's settings
    TSettingKeeper* Keeper = nullptr;      // the settings kept while a file plays
    std::unique_ptr<TFrmPlay> FrmPlay;     // the video window; null until FormCreate made it

    // --- Module state ---------------------------------------------------------
    QString AppPath; // executable folder, with trailing separator
    QString CurFile;
    QString SchedFileName;
    int32_t AudioTrack = 0;
    bool FirstActivate = true;
    // 0 both channels, 1 left, 2 right; read on the streaming thread.
    std::atomic<uint8_t> SoundChannel{0};
    int IdleTicks = 0;
    int HideSeconds = 0;
    QPoint LastCursorPos{0, 0};
    bool AlphaBlend = true;    // the window's opacity is AlphaBlendValue
    int AlphaBlendValue = 200; // 0..255, 255 opaque

    // --- Lifecycle (uFrmMain.cpp) ------------------------------------------------
    void FormCreate();
    void FormActivate();
    void FormKeyPress(QChar key);
    void FormClose();
    void btnCloseClick(QObject* Sender);
    // The table was changed by hand (counts, time points, descriptions, rows
    // deleted, marks moved or added on the timeline) since it was loaded or
    // saved; what playback uses up is no edit.
    bool ScheduleEdited = false;
    // Asked once when the user closes the window with unsaved edits. The
    // answer comes from AskUnsavedEdits when set (tests), else from a box;
    // where no box may be shown (tests, TAVRELO_NO_MESSAGE_BOXES) the edits
    // are dropped as before, without waiting.
    enum class TUnsavedAnswer { Save, Discard, Cancel };
    std::function<TUnsavedAnswer()> AskUnsavedEdits;
    // False: the close is called off (cancelled, or the save failed).
    bool KeepEditsBeforeClose();

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
    // Whether a media file is open (CurFile names a file). While none is,
    // opening one changes nothing that "允许编辑" guards: the file button,
    // Ctrl+O and drops open files without it.
    bool MediaOpen() const;
    bool OpenLocked() const; // a file is open and "允许编辑" is off
    void UpdateOpenLock();   // btnSelFile follows OpenLocked()
    static QString StepCount(const QString& text, bool up, int max, int min);

    // --- Settings and schedule files (uFrmMainSettings.cpp) -----------------------
    void LoadSettings();
    void LoadWindowBounds();
    void SaveWindowBounds();
    // Where a window of these bounds opens: on some monitor's work area.
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
    void chkOn2MonitorClick(QObject* Sender); // the video window's monitor
    void tbZoomChange(QObject* Sender);
    void ApplyOpacity();  // AlphaBlend / AlphaBlendValue
    void AlignControls(); // plTop at the top, plBottom at the bottom, sgV between
    // Places controls of plBottom's second and third rows whose size comes
    // from their captions: now when the panel is open, else once it first
    // opens. Measuring a caption loads each of its glyphs from the font file
    // (tens of kB of the file each, kept from then on); folded, the panel
    // shows none of these rows. Placements run in the order they were
    // asked for, after the window is made.
    void WhenBottomRowsInSight(std::function<void()> place);

    // --- Playback (uFrmMainPlayback.cpp): the engine's handlers forward to it.
    void ConnectPlaybackHandlers(); // binds the handlers below, after CreateControls
    void PlaySection(int row, bool isRepeat);
    void NextSection();
    void DSTrackBar1Timer(QObject* Sender, uint32_t CurrentPos, uint32_t StopPos);
    void FGBrowseGraphComplete();                   // the media has played to its end
    void FGBrowseGraphError(const QString& reason); // playback broke off
    void FGBrowseOutputLost(const QString& reason); // the sound output went away
    int CurRow() const;
    // The engine, given the controls' current choices: every key, remote
    // and handler acting on playback goes through it.
    SectionEngine& EngineNow(bool atMediaEnd = false);
    QString LastPlaybackError; // the last "cannot play" message, never modal
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
    // The window's actions for keys and remotes (uFrmMainActions.cpp), through
    // its own handlers: stored as if made on the window.
    void ActVolumeStep(int percent);
    void ActSetVolume(int volume);   // 0..10000 through SoundLevel2
    void ActRateStep(int direction); // the previous / next cbRate item
    void ActSetRate(double rate);    // the nearest cbRate item
    void ActToggleControls();
    void ActShowControls();
    bool OpenMediaFile(const QString& path); // as if chosen in the open dialog
    void ActToggleMirror();                  // chkMirror, stored per media
    // A new section at the position, stored among the schedule file's rows
    // as stored; locked while "允许编辑" is off.
    void ActMarkHere();
    double PlaybackRate() const; // as the graph plays now
    TRemoteState PlayerState() const;
    QList<double> RateChoices() const;
    void NotifyStateChanged(int reasons); // TRemoteChange flags

    // Keys (uFrmMainKeys.cpp): a key's action (pkNone: not the player's), running it.
    TPlayerKey KeyAction(int key, Qt::KeyboardModifiers modifiers, bool onVideo) const;
    void RunPlayerKey(TPlayerKey action);
    bool PlayerKeyPress(QObject* watched, QKeyEvent* event);
    void AddKeyHints();
    // A hint that waits for no click, over the window named (none: the one in
    // sight): what a locked edit key or a refused drop gets.
    void ShowPassingHint(const QString& text, QWidget* over = nullptr);
    static const QString EditLockedHint;
    // A dropped file or a remote's: false (and a hint) while the open is locked.
    bool OpenOfferedFile(const QString& path, QWidget* over = nullptr, QString* refusal = nullptr);
    // The practice switches (mirror, section line, speed trainer).
    void CreatePracticeControls();
    void LoadPracticeSchedule(); // the per-media switches, from OpenSchedule
    void chkMirrorClick(QObject* Sender);
    void chkOSDClick(QObject* Sender);
    void chkStretchClick(QObject* Sender);
    void chkSpeedUpClick(QObject* Sender);

    // The timeline window (uFrmMainTimeline.cpp): fed while it shows; its
    // requests go through the grid's and the window's own handlers.
    void CreateTimelineControls();
    void chkTimelineClick(QObject* Sender);
    void ActToggleTimeline();
    void FeedTimeline();
    void TimelineSectionMoved(int row, int seconds);
    void TimelineAddSection(int seconds);
    void TimelineRemoveSection(int row);
    void TimelinePlayFrom(int64_t ms);
    void SaveTimelineBounds();
    // Where a window of this size opens beside a window's frame: right of
    // it, else left, below or above, inside avail (the screen's work area).
    static QPoint BesideWindow(const QRect& frame, const QSize& size, const QRect& avail);
    // A new section at `ms` (count 1) without stopping playback; stored in
    // the schedule file only when `save`.
    void MarkSectionAt(int64_t ms, bool save);

    // The phone remote and the media bus service (uFrmMainRemote.cpp).
    void CreateRemoteControls();
    void chkRemoteClick(QObject* Sender);
    TRemotePlayer* RemotePlayer = nullptr;
    class TMprisService* Mpris = nullptr;
    class TRemoteServer* RemoteServer = nullptr;
    // A room of players in step: "领播" and "跟播" (uFrmMainSync.cpp).
    class TFrmMainSync* Sync = nullptr;
    // Following a leader: the window's own engine rests.
    bool Following() const;
signals:
    // Every change a remote shows (TRemoteChange flags).
    void StateChanged(int reasons);

private:
    void ChainActionNotifications();
    void PlaceRemotePanel();

public:
    // Opening files from outside (uFrmMainOpen.cpp). StartFile: named on the
    // command line, opened once the window is up instead of "PlayFile".
    static inline QString StartFile;
    static QString MediaFileRefusal(const QString& path); // ::MediaFileRefusal
    // Drops on either window, the open button's list of recent files.
    void CreateOpenHandlers();
    // The recent files, most recent first, as stored in "Recent1".."Recent10".
    QStringList RecentFiles() const;
    // Refills RecentMenu: missing files are greyed.
    void RefreshRecentMenu();

private:
    void RememberRecentFile(const QString& path);
    // A file offered while a section start or a repeat's pause waits: opened
    // once the wait is over (the latest offer wins).
    void OpenWhenWaitEnds();
    QString pendingOpen_;
    bool timelinePlaced_ = false; // the timeline window has had its place

    // Builds every control at its laid-out place (uFrmMainLayout.cpp).
    void CreateControls();
    void BindControlEvents();

    // The error display of a failed handler (null: not a std::exception);
    // while creating, each distinct failure is shown once.
    void ReportHandlerError(const std::exception* error);
    bool creating_ = false;
    QStringList creationReports_;

    // Snaps the window to a screen edge it was moved close to.
    void SnapToScreenEdges();
    bool snapping_ = false;
    // Widgets whose pointer movement counts as activity (FormMouseMove).
    QSet<QObject*> activityWidgets_;

    // WhenBottomRowsInSight: placements waiting for plBottom to open; held
    // until FormCreate has made every row.
    void PlaceBottomRows();
    std::vector<std::function<void()>> bottomRowPlacements_;
    bool bottomRowsHeld_ = true;
};
