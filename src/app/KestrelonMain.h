#pragma once
// TForm1: Kestrelon's main window. It shows one document (editing/Document.h: sound,
// settings, cells, display picture, proposals) through one slot, showDocument, and holds
// the handlers of every command. Each handler asks the person through UserDialogs, runs
// the command on the document and shows the document it returns; anything a command
// throws ends that command only and is shown in an error box, and the window keeps
// working.
//
// Beyond the commands of the form: every change of the sound (import, the hidden
// resynthesis) is a step of an undo history; the window marks unsaved changes and asks
// before they would be lost; it plays the sound, or the sound before the last import
// (A/B), with a play-head over the picture; and it reports samples an import clipped.
//
// "外部エディタで編集" exports the picture, opens it in the person's image editor and
// follows the file (ExternalEditSession): every complete save is imported as one undo
// step. The long commands (open, the view switch, N, import, undo, redo and the hidden
// ones) run on a worker thread (CommandRunner): the handler waits in a local event loop,
// with a progress dialog after 0.5 s whose Cancel drops the command's new document, and
// the window's input is blocked as a whole meanwhile; the handlers therefore still return
// once the command is done. The dialog is not modal (a window blocked by a modal one
// never hears of being closed): closing the window meanwhile asks whether to cancel the
// command, and the window closes once it has ended.
//
// Every command ends with one message in the status bar saying what happened (done,
// cancelled or failed; base/Message.h), which replaces the one before.

#include <map>
#include <memory>

#include <QMainWindow>
#include <QPointer>

#include "app/Playback.h"
#include "app/UserDialogs.h"
#include "editing/CommandRunner.h"
#include "editing/Document.h"
#include "editing/ExternalEdit.h"
#include "editing/History.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QTimer;
class QToolButton;

namespace kestrelon {

class PaintToolBar;
class PictureView;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // dialogs: where questions go; nullptr means real Qt dialogs owned by the window.
    // output: where sound is played; nullptr means the system's default audio output.
    explicit TForm1(UserDialogs* dialogs = nullptr, QWidget* parent = nullptr,
        std::unique_ptr<AudioOutput> output = nullptr);
    ~TForm1() override;

    // Opens path as Open does after its dialog (the command line and drops use it).
    // A file that cannot be opened is reported and changes nothing. Returns success.
    bool openFile(const QString& path);

    // The document shown.
    const Document& document() const { return *FDoc; }
    // The locale of the labels and the seconds panel for the documents from now on.
    void setDocumentLocale(const QLocale& locale);
    EditHistory& history() { return FHistory; }
    Player& player() { return *FPlayer; }
    CommandRunner& runner() { return *FRunner; }
    // The watch of the picture in the image editor; null before the first one.
    ExternalEditSession* editSession() { return FSession.get(); }
    // How sessions started from now on retry a file the editor is still writing.
    void setExternalEditTiming(ExternalEditTiming timing) { FEditTiming = timing; }
    // A long command is running on the worker.
    bool isBusy() const { return FTaskRunning; }

    // --- widgets, named as on the form ---------------------------------------------------
    QWidget* Panel1;
    QToolBar* ToolBar1;
    QToolButton* ToolButton1; // Open
    QToolButton* ToolButton5; // Save
    QComboBox* ComboBox1; // view: スペクトラム / ケプストラム
    QLabel* Label1; // FFT長
    QComboBox* ComboBox2; // FFT length
    QToolButton* ToolButton7; // Export, own hint
    QToolButton* ToolButton8; // Import, own hint
    QToolButton* ToolButton10; // Play
    QToolButton* ToolButton11; // Stop
    QToolButton* ToolButton12; // A/B: the sound before the last import
    QToolButton* ToolButton13; // edit in the image editor, own hint
    PictureView* ScrollBox1; // shows the document's picture
    PaintToolBar* PaintTools1; // painting tools, zoom, colour map, readout
    QStatusBar* StatusBar1;
    QLabel* StatusPanels[6]; // sec, samples, ch, Hz, bit, frames
    QLabel* ClipPanel; // samples the last import clipped; hidden when none
    QLabel* MessagePanel; // the last message of the image-editor round trip

    // Actions; the menu items O1, S1, P1 and L1 are these actions in the menus.
    QAction* Open;
    QAction* Save;
    QAction* Export;
    QAction* Import;
    QAction* ExportRange; // 範囲をエクスポート...: the part shown, or a range in seconds
    QAction* Undo; // 元に戻す, Ctrl+Z
    QAction* Redo; // やり直し, Ctrl+Shift+Z and Ctrl+Y
    QAction* Play; // 再生, space bar
    QAction* Stop; // 停止, space bar
    QAction* Compare; // A/B, checkable
    QAction* ExternalEdit; // 外部エディタで編集
    QAction* EditorSettings; // 外部エディタの設定...
    QAction* Quit; // 終了, Ctrl+Q
    QAction* Help; // Kestrelon のヘルプ, F1
    QMenu* RecentMenu; // 最近使ったファイル
    QMenu* FileMenu;
    QMenu* EditMenu;
    QMenu* PlayMenu;
    QMenu* HelpMenu;
    QAction* N1; // separator
    QAction* EST1; // スペクトル作成, invisible
    QAction* Wave1; // Waveに出力, invisible
    QAction* KestrelonA1; // Kestrelon(&A)

    // --- the state kept in the file dialogs -------------------------------------------
    FileDialogRequest WaveOD;
    FileDialogRequest WaveSD;
    FileDialogRequest FilterOD;
    FileDialogRequest FilterSD;

public slots:
    void O1Click();
    void S1Click();
    void ComboBox1Change();
    void ComboBox2Change();
    void EST1Click();
    void Wave1Click();
    void KestrelonA1Click();
    void P1Click();
    void L1Click();
    void ExportRangeClick();
    void UndoClick();
    void RedoClick();
    void PlayClick();
    void StopClick();
    void CompareClick(bool previous);
    void ExternalEditClick();
    void EditorSettingsClick();
    void HelpClick();
    // The one slot that shows a document: picture, status texts, caption, view and N
    // boxes, the sound to play; the image editor's session is told about it.
    void showDocument(kestrelon::DocumentPtr document);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildActions();
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();

    // Runs one handler's body; whatever it throws is shown in an error box.
    template <class Command> void guard(Command&& command);
    bool openPath(const QString& path);
    // The Save command; true when the sound was written.
    bool saveSound();
    // Asks about unsaved changes; true when the caller may go on.
    bool maybeSaveChanges();
    void ExportFilter();
    void ImportFilter();
    // Undo (back) or redo of one history step.
    void stepHistory(bool back);
    // Asks for a range (proposing the part shown) and exports that piece of the picture.
    void ExportRangeFilter();
    // The question for a range, proposing the seconds of the frames in sight (the end of
    // the sound when the last frame is in sight).
    RangeRequest rangeInSight(const QString& title) const;
    // Imports the picture at path (the dialog's choice or a dropped file).
    void importPath(const QString& path);
    void rebuildRecentMenu();
    void openRecent(const QString& path);
    // Runs a long command, then shows its document and records its step of the history
    // (with text) when it made one; the result, for what else the handler shows.
    CommandResult runAndShow(
        const QString& description, const Command& command, const QString& text = QString());
    void showStatus();
    void showClips(const ClipStats& clips);
    void setFileCommandsEnabled(bool enabled);
    void soundChanged();
    void updatePlayControls();
    const TWave* previousSound();
    int frameColumn(double frame) const;
    double columnFrame(int column) const;
    void pictureClicked(QPoint position);
    // Applies a stroke of the paint tools as one step of the history named step.
    void applyStroke(const PaintStroke& stroke, MessageCode step);
    // Runs command on the worker and waits for it in a local event loop behind a progress
    // dialog, with the window's input blocked. Returns what it ended with.
    CommandResult runLong(const QString& description, const Command& command);
    // Finishes an automatic import still running on the worker before a command.
    void settleTasks();
    // The session ends when N, the view or the sound changed.
    void checkEditSession();
    void externalImported(const ExternalImportStep& step);
    // The message in the status bar, replacing the one before; its tooltip is details
    // (and the message), or the message itself.
    void showMessage(const Message& message, const Message& details = Message());
    // Shows the last status message again, in the language of the moment.
    void showStatusMessage();
    // The undo and redo actions' tips name the steps they would take back and redo.
    void updateUndoHints();

    std::unique_ptr<UserDialogs> FOwnDialogs;
    UserDialogs* FDialogs;
    DocumentPtr FDoc;
    EditHistory FHistory;
    TWave FPrevious; // the sound before the last import, made when A/B needs it
    bool FPreviousValid = false;
    std::unique_ptr<Player> FPlayer;
    // A command still running when the window goes is cancelled and waited for.
    std::unique_ptr<CommandRunner> FRunner;
    bool FTaskRunning = false;
    bool FCloseRequested = false; // closes once the running command has ended
    QPointer<QWidget> FHelp;
    Message FEndedNote; // why the editor's watch ended during the command running
    Message FStatus, FStatusDetails; // the status message shown and its tooltip
    ExternalEditTiming FEditTiming;
    std::unique_ptr<ExternalEditSession> FSession; // destroyed before the runner
    // Keeps the readout under the pointer hidden while a new status message is read.
    QTimer* FReadoutHold = nullptr;
    static constexpr int kMessageFirst = 4000; // ms
    // Where each exported piece belongs: its frames, and the N and frame count of the
    // analysis it was cut from. A whole export to the same path forgets the piece.
    struct ExportedRange {
        FrameRange range;
        int32_t fftLength = 0;
        int32_t frames = 0;
    };
    std::map<QString, ExportedRange> FExportedRanges;
};

} // namespace kestrelon
