#include "app/KestrelonMain.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include <QAction>
#include <QActionEvent>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QProgressDialog>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/About.h"
#include "app/AppSetup.h"
#include "app/AudioSinkOutput.h"
#include "app/ExternalEditor.h"
#include "app/PictureView.h"
#include "audio/SoundFile.h"
#include "base/Errors.h"

namespace kestrelon {

namespace {

// A toolbar separator of a fixed width, drawn by the style.
class Separator : public QWidget {
public:
    Separator(int width, QWidget* parent)
        : QWidget(parent)
    {
        setFixedWidth(width);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStyleOption option;
        option.initFrom(this);
        option.state |= QStyle::State_Horizontal;
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_IndicatorToolBarSeparator, &option, &painter, this);
    }
};

// A toolbar button that shows its own hint instead of its action's. A plain
// QToolButton copies the action's tool tip whenever the action changes.
class OwnHintToolButton : public QToolButton {
public:
    OwnHintToolButton(QAction* action, const QString& hint, QWidget* parent)
        : QToolButton(parent)
        , FHint(hint)
    {
        setDefaultAction(action);
        setToolTip(FHint);
    }

protected:
    void actionEvent(QActionEvent* event) override
    {
        QToolButton::actionEvent(event);
        setToolTip(FHint);
    }

private:
    QString FHint;
};

// The wait cursor while a command analyses or resynthesises.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Every command of the window disabled while a long command runs on the worker (Stop,
// which touches no sound, stays available): the enabled actions and widgets are switched
// off and switched on again at the end.
class InputBlock {
public:
    InputBlock(std::initializer_list<QAction*> actions, std::initializer_list<QWidget*> widgets)
    {
        for (QAction* a : actions)
            if (a->isEnabled()) {
                a->setEnabled(false);
                FActions.push_back(a);
            }
        for (QWidget* w : widgets)
            if (w->isEnabled()) {
                w->setEnabled(false);
                FWidgets.push_back(w);
            }
    }
    ~InputBlock()
    {
        for (const QPointer<QAction>& a : FActions)
            if (a)
                a->setEnabled(true);
        for (const QPointer<QWidget>& w : FWidgets)
            if (w)
                w->setEnabled(true);
    }
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

private:
    std::vector<QPointer<QAction>> FActions;
    std::vector<QPointer<QWidget>> FWidgets;
};

constexpr int kToolButtonWidth = 26;
constexpr int kToolButtonHeight = 22;
constexpr int kToolBarHeight = 29;
constexpr int kSeparatorWidth = 8;
constexpr int kPanelWidths[6] = {80, 100, 50, 80, 50, 50};

bool isSoundFile(const QUrl& url)
{
    return url.isLocalFile()
        && soundFileSuffixes().contains(QFileInfo(url.toLocalFile()).suffix(), Qt::CaseInsensitive);
}

} // namespace

TForm1::TForm1(UserDialogs* dialogs, QWidget* parent, std::unique_ptr<AudioOutput> output)
    : QMainWindow(parent)
    , FOwnDialogs(dialogs ? nullptr : std::make_unique<QtUserDialogs>())
    , FDialogs(dialogs ? dialogs : FOwnDialogs.get())
    , FPlayer(std::make_unique<Player>(
          output ? std::move(output) : std::make_unique<AudioSinkOutput>()))
    , FRunner(std::make_unique<EditorTaskRunner>(FCore))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kestrelon"));
    setWindowIcon(appIcon());
    setFont(uiFont());
    setAcceptDrops(true);

    WaveOD = {QString(), soundOpenFilter(), QStringLiteral("wav"), {}, {}};
    WaveSD = {QString(), soundSaveFilter(), QStringLiteral("wav"), {}, {}};
    FilterOD = {QStringLiteral("フィルターインポート"), QStringLiteral("Bitmap file (*.bmp)|*.bmp"),
        QStringLiteral("bmp"), {}, {}};
    FilterSD = {QStringLiteral("フィルターエクスポート"),
        QStringLiteral("Bitmap file (*.bmp)|*.bmp"), QStringLiteral("bmp"), {}, {}};

    buildActions();
    buildMenus();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildToolBar();
    column->addWidget(Panel1);
    ScrollBox1 = new PictureView(central);
    ScrollBox1->setPicture(&FCore.FBitmap);
    column->addWidget(ScrollBox1, 1);
    setCentralWidget(central);

    buildStatusBar();
    setFileCommandsEnabled(false);

    // Undo and redo restore the samples; the picture and the status follow them.
    FHistory.setOnRestored([this] {
        FCore.RefreshView();
        showPicture();
        showStatus();
        showClips({});
        soundChanged();
        checkEditSession();
    });
    QUndoStack* stack = FHistory.stack();
    connect(stack, &QUndoStack::canUndoChanged, Undo, &QAction::setEnabled);
    connect(stack, &QUndoStack::canRedoChanged, Redo, &QAction::setEnabled);
    connect(&FHistory, &EditHistory::modifiedChanged, this, &QWidget::setWindowModified);

    connect(ScrollBox1, &PictureView::pictureClicked, this, &TForm1::pictureClicked);
    connect(FPlayer.get(), &Player::positionChanged, this, [this](double frame) {
        if (FPlayer->isPlaying())
            ScrollBox1->setPlayHead(frameColumn(frame));
    });
    connect(FPlayer.get(), &Player::playingChanged, this, [this](bool playing) {
        if (!playing)
            ScrollBox1->setPlayHead(-1);
        updatePlayControls();
    });
    updatePlayControls();

    // An automatic import of the image editor's picture runs on the worker without a
    // dialog: its progress goes to the status bar.
    connect(FRunner.get(), &EditorTaskRunner::progress, this, [this](int percent, const QString&) {
        if (!FTaskRunning && FSession && FSession->isImporting())
            showMessage(QStringLiteral("外部エディタの画像を適用しています (%1%)").arg(percent));
    });

    // Client area 786 x 601 below the menu bar.
    resize(786, 601 + menuBar()->sizeHint().height());
}

TForm1::~TForm1()
{
    FSession.reset();
    FPlayer->stop();
    FHistory.setWave(nullptr);
    ScrollBox1->setPicture(nullptr);
}

void TForm1::buildActions()
{
    const auto make
        = [this](const char* name, const char* caption, const QString& hint, const char* icon) {
              auto* action
                  = new QAction(actionIcon(QLatin1String(icon)), QString::fromUtf8(caption), this);
              action->setObjectName(QLatin1String(name));
              action->setToolTip(hint);
              return action;
          };
    Open = make("Open", "Open", QStringLiteral("Waveファイルを開く"), "open");
    Save = make("Save", "Save", QStringLiteral("Waveファイルを保存する"), "save");
    Export = make("Export", "Export", QStringLiteral("スペクトラム/ケプストラムをエクスポートする"),
        "export");
    Import = make(
        "Import", "Import", QStringLiteral("スペクトラム/ケプストラムをインポートする"), "import");
    connect(Open, &QAction::triggered, this, &TForm1::O1Click);
    connect(Save, &QAction::triggered, this, &TForm1::S1Click);
    connect(Export, &QAction::triggered, this, &TForm1::P1Click);
    connect(Import, &QAction::triggered, this, &TForm1::L1Click);

    Undo = make("Undo", "元に戻す(&U)", QStringLiteral("インポートを取り消す"), "undo");
    Undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Redo = make("Redo", "やり直し(&R)", QStringLiteral("取り消したインポートをやり直す"), "redo");
    Redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    Undo->setEnabled(false);
    Redo->setEnabled(false);
    connect(Undo, &QAction::triggered, this, &TForm1::UndoClick);
    connect(Redo, &QAction::triggered, this, &TForm1::RedoClick);

    // Play and Stop share the space bar; only one of them is enabled at a time.
    Play = make("Play", "再生(&P)", QStringLiteral("音を再生する"), "play");
    Play->setShortcut(QKeySequence(Qt::Key_Space));
    Stop = make("Stop", "停止(&S)", QStringLiteral("再生を止める"), "stop");
    Stop->setShortcut(QKeySequence(Qt::Key_Space));
    Compare = make("Compare", "インポート前の音(&B)",
        QStringLiteral("A/B: インポート前の音を同じ位置から再生する"), "compare");
    Compare->setCheckable(true);
    for (QAction* a : {Undo, Redo, Play, Stop, Compare})
        a->setShortcutContext(Qt::WindowShortcut);
    connect(Play, &QAction::triggered, this, &TForm1::PlayClick);
    connect(Stop, &QAction::triggered, this, &TForm1::StopClick);
    connect(Compare, &QAction::toggled, this, &TForm1::CompareClick);

    ExternalEdit = make("ExternalEdit", "外部エディタで編集",
        QStringLiteral("画像を外部エディタで開き、保存されるたびにインポートする"), "external");
    EditorSettings = new QAction(QStringLiteral("外部エディタの設定..."), this);
    EditorSettings->setObjectName(QStringLiteral("EditorSettings"));
    EditorSettings->setToolTip(QStringLiteral("画像を編集するアプリケーションを選ぶ"));
    connect(ExternalEdit, &QAction::triggered, this, &TForm1::ExternalEditClick);
    connect(EditorSettings, &QAction::triggered, this, &TForm1::EditorSettingsClick);
}

void TForm1::buildMenus()
{
    FileMenu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    FileMenu->setObjectName(QStringLiteral("F1"));
    FileMenu->addAction(Open);
    FileMenu->addAction(Save);

    EditMenu = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    EditMenu->setObjectName(QStringLiteral("E1"));
    EditMenu->addAction(Undo);
    EditMenu->addAction(Redo);
    EditMenu->addSeparator()->setObjectName(QStringLiteral("N2"));
    EditMenu->addAction(Export);
    EditMenu->addAction(Import);
    EditMenu->addAction(ExternalEdit);
    EditMenu->addAction(EditorSettings);
    N1 = EditMenu->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    EST1 = EditMenu->addAction(QStringLiteral("スペクトル作成"), this, &TForm1::EST1Click);
    EST1->setObjectName(QStringLiteral("EST1"));
    EST1->setVisible(false);
    Wave1 = EditMenu->addAction(QStringLiteral("Waveに出力"), this, &TForm1::Wave1Click);
    Wave1->setObjectName(QStringLiteral("Wave1"));
    Wave1->setVisible(false);

    PlayMenu = menuBar()->addMenu(QStringLiteral("再生(&P)"));
    PlayMenu->setObjectName(QStringLiteral("R1"));
    PlayMenu->addAction(Play);
    PlayMenu->addAction(Stop);
    PlayMenu->addSeparator();
    PlayMenu->addAction(Compare);

    HelpMenu = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    HelpMenu->setObjectName(QStringLiteral("H1"));
    KestrelonA1
        = HelpMenu->addAction(QStringLiteral("Kestrelon(&A)"), this, &TForm1::KestrelonA1Click);
    KestrelonA1->setObjectName(QStringLiteral("KestrelonA1"));
}

void TForm1::buildToolBar()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(kToolBarHeight);
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    ToolBar1 = new QToolBar(Panel1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(kToolBarHeight);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    row->addWidget(ToolBar1);

    const auto button = [this](QToolButton* b, const char* name) {
        b->setObjectName(QLatin1String(name));
        b->setAutoRaise(true);
        b->setIconSize(QSize(16, 16));
        b->setFixedSize(kToolButtonWidth, kToolButtonHeight);
        ToolBar1->addWidget(b);
        return b;
    };
    const auto separator = [this](const char* name) {
        auto* s = new Separator(kSeparatorWidth, ToolBar1);
        s->setObjectName(QLatin1String(name));
        ToolBar1->addWidget(s);
    };

    separator("ToolButton3");
    ToolButton1 = new QToolButton(ToolBar1);
    ToolButton1->setDefaultAction(Open);
    button(ToolButton1, "ToolButton1");
    ToolButton5 = new QToolButton(ToolBar1);
    ToolButton5->setDefaultAction(Save);
    button(ToolButton5, "ToolButton5");
    separator("ToolButton4");

    ComboBox1 = new QComboBox(ToolBar1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("スペクトラム"), QStringLiteral("ケプストラム")});
    ComboBox1->setCurrentIndex(0);
    ComboBox1->setFixedWidth(100);
    ToolBar1->addWidget(ComboBox1);
    separator("ToolButton6");

    Label1 = new QLabel(QStringLiteral("FFT長"), ToolBar1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setContentsMargins(0, 0, 3, 0);
    ToolBar1->addWidget(Label1);
    ComboBox2 = new QComboBox(ToolBar1);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->addItems({QStringLiteral("256"), QStringLiteral("512"), QStringLiteral("1024"),
        QStringLiteral("2048"), QStringLiteral("4096")});
    ComboBox2->setCurrentIndex(2);
    ComboBox2->setFixedWidth(61);
    ToolBar1->addWidget(ComboBox2);
    separator("ToolButton2");

    ToolButton7 = button(
        new OwnHintToolButton(Export, QStringLiteral("フィルタ画像をエクスポートする"), ToolBar1),
        "ToolButton7");
    ToolButton8 = button(
        new OwnHintToolButton(Import, QStringLiteral("フィルタ画像をインポートする"), ToolBar1),
        "ToolButton8");
    ToolButton13 = button(new OwnHintToolButton(ExternalEdit,
                              QStringLiteral("フィルタ画像を外部エディタで編集する"), ToolBar1),
        "ToolButton13");
    separator("ToolButton9");
    ToolButton10 = new QToolButton(ToolBar1);
    ToolButton10->setDefaultAction(Play);
    button(ToolButton10, "ToolButton10");
    ToolButton11 = new QToolButton(ToolBar1);
    ToolButton11->setDefaultAction(Stop);
    button(ToolButton11, "ToolButton11");
    ToolButton12 = new QToolButton(ToolBar1);
    ToolButton12->setDefaultAction(Compare);
    button(ToolButton12, "ToolButton12");

    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox1Change);
    connect(ComboBox2, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox2Change);
}

void TForm1::buildStatusBar()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(true);
    const char* texts[6] = {"sec", "samples", "ch", "Hz", "bit", "Frames"};
    for (int i = 0; i < 6; ++i) {
        auto* panel = new QLabel(QLatin1String(texts[i]), StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // At least the panel's width; wider only when a long text would be cut off.
        panel->setMinimumWidth(kPanelWidths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(2, 0, 2, 0);
        // Permanent: no temporary message ever covers the panels. The last one reaches
        // to the right edge, which keeps the row of panels at the left.
        StatusBar1->addPermanentWidget(panel, i == 5 ? 1 : 0);
        StatusPanels[i] = panel;
    }
    ClipPanel = new QLabel(StatusBar1);
    ClipPanel->setObjectName(QStringLiteral("ClipPanel"));
    ClipPanel->setFrameShape(QFrame::Panel);
    ClipPanel->setFrameShadow(QFrame::Sunken);
    ClipPanel->setContentsMargins(2, 0, 2, 0);
    // It takes the room the panels leave and never widens the window; its tool tip
    // holds the whole report.
    ClipPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addPermanentWidget(ClipPanel, 4);
    ClipPanel->hide();
    MessagePanel = new QLabel(StatusBar1);
    MessagePanel->setObjectName(QStringLiteral("MessagePanel"));
    MessagePanel->setContentsMargins(4, 0, 2, 0);
    MessagePanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addPermanentWidget(MessagePanel, 4);
    MessagePanel->hide();
    setStatusBar(StatusBar1);
}

void TForm1::setFileCommandsEnabled(bool enabled)
{
    Save->setEnabled(enabled);
    Export->setEnabled(enabled);
    Import->setEnabled(enabled);
    ExternalEdit->setEnabled(enabled);
}

template <class Command> void TForm1::runCommand(Command&& command)
{
    QString failure;
    try {
        settleTasks();
        command();
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("Out of memory: the command was stopped.");
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("Unexpected error: the command was stopped.");
    }
    if (failure.isEmpty())
        return;
    // The core may have got half way; show what it holds now.
    showPicture();
    FDialogs->showError(this, failure);
}

void TForm1::showPicture()
{
    ScrollBox1->pictureChanged();
}

void TForm1::showStatus()
{
    const QStringList texts = FCore.statusTexts();
    for (int i = 0; i < 6 && i < texts.size(); ++i) {
        QLabel* panel = StatusPanels[i];
        panel->setText(texts[i]);
        // Never narrower than its text, whatever else the status bar shows.
        const int needed = panel->fontMetrics().horizontalAdvance(texts[i])
            + panel->contentsMargins().left() + panel->contentsMargins().right()
            + 2 * panel->frameWidth();
        panel->setMinimumWidth(qMax(kPanelWidths[i], needed));
    }
}

bool TForm1::openPath(const QString& path)
{
    const TaskOutcome outcome = runTask(FCore.prepareOpen(path));
    const CommandResult& result = outcome.result;
    if (outcome.cancelled) {
        showMessage(QStringLiteral("開く操作をキャンセルしました"));
        return false;
    }
    if (!result.ok) {
        FDialogs->showError(this, result.message);
        return false;
    }
    WaveOD.fileName = path;
    // A new sound: its history starts empty, and it has not been changed.
    FPlayer->stop();
    FHistory.setWave(FCore.FWave.get());
    FHistory.clear();
    setWindowModified(false);
    QString caption = FCore.fileName();
    setWindowTitle(
        caption.replace(QLatin1String("[*]"), QLatin1String("[*][*]")) + QLatin1String("[*]"));
    WaveSD.fileName = FCore.proposedSavePath();
    FilterSD.initialDir = FCore.filterDirectory();
    FilterOD.initialDir = FCore.filterDirectory();
    showPicture();
    showStatus();
    showClips({});
    setFileCommandsEnabled(true);
    FPlayer->setStartFrame(0);
    ScrollBox1->setStartMarker(-1);
    soundChanged();
    checkEditSession();
    if (!result.message.isEmpty())
        FDialogs->showWarning(this, result.message);
    return true;
}

bool TForm1::openFile(const QString& path)
{
    bool opened = false;
    runCommand([&] {
        if (maybeSaveChanges())
            opened = openPath(path);
    });
    return opened;
}

void TForm1::O1Click()
{
    runCommand([this] {
        if (!maybeSaveChanges())
            return;
        const QString path = FDialogs->askOpenFile(this, WaveOD);
        if (!path.isEmpty())
            openPath(path);
    });
}

void TForm1::S1Click()
{
    runCommand([this] { saveSound(); });
}

bool TForm1::saveSound()
{
    if (!FCore.hasSound())
        return false;
    const QString path = FDialogs->askSaveFile(this, WaveSD);
    if (path.isEmpty())
        return false;
    if (QFileInfo::exists(path) && !FDialogs->askYesNo(this, overwriteQuestion(path)))
        return false;
    const CommandResult result = FCore.Save(path);
    if (!result.ok) {
        FDialogs->showError(this, result.message);
        return false;
    }
    WaveSD.fileName = path;
    FHistory.markSaved();
    if (!result.message.isEmpty())
        FDialogs->showWarning(this, result.message);
    return true;
}

bool TForm1::maybeSaveChanges()
{
    if (!FCore.hasSound() || !FHistory.isModified())
        return true;
    switch (FDialogs->askSaveChanges(this, saveChangesQuestion(FCore.fileName()))) {
    case SaveChoice::Save: {
        bool saved = false;
        runCommand([&] { saved = saveSound(); });
        return saved;
    }
    case SaveChoice::Discard:
        return true;
    case SaveChoice::Cancel:
        break;
    }
    return false;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (FTaskRunning) {
        // The progress dialog's Cancel ends the command first.
        event->ignore();
        return;
    }
    settleTasks();
    if (!maybeSaveChanges()) {
        event->ignore();
        return;
    }
    FPlayer->stop();
    event->accept();
}

void TForm1::ComboBox1Change()
{
    runCommand([this] {
        const int index = ComboBox1->currentIndex();
        if (index < 0)
            return;
        if (!FCore.hasSound()) {
            FCore.SetMode(static_cast<uint8_t>(index)); // nothing to compute
            showPicture();
            return;
        }
        const TaskOutcome outcome = runTask(FCore.prepareSetMode(static_cast<uint8_t>(index)));
        if (!outcome.result.ok) {
            // Cancelled or failed: the view stays as it was, and so does the box.
            const QSignalBlocker blocker(ComboBox1);
            ComboBox1->setCurrentIndex(FCore.FMode);
            if (!outcome.cancelled)
                FDialogs->showError(this, outcome.result.message);
            return;
        }
        showPicture();
        checkEditSession();
    });
}

void TForm1::ComboBox2Change()
{
    runCommand([this] {
        bool ok = false;
        const int n = ComboBox2->currentText().toInt(&ok);
        if (!ok)
            return;
        if (!FCore.hasSound()) {
            FCore.ChangeFFTLength(n); // only stored
            return;
        }
        const TaskOutcome outcome = runTask(FCore.prepareChangeFFTLength(n));
        if (!outcome.result.ok) {
            const QSignalBlocker blocker(ComboBox2);
            ComboBox2->setCurrentText(QString::number(FCore.FFFTLength));
            if (!outcome.cancelled)
                FDialogs->showError(this, outcome.result.message);
            return;
        }
        // A picture exported with the old length no longer fits.
        FilterOD.fileName.clear();
        showPicture();
        showStatus();
        checkEditSession();
    });
}

void TForm1::EST1Click()
{
    runCommand([this] {
        BusyCursor busy;
        FCore.AnalyzeAndDrawSpectrum();
        showPicture();
        checkEditSession();
    });
}

void TForm1::Wave1Click()
{
    runCommand([this] {
        BusyCursor busy;
        recordChange(QStringLiteral("Waveに出力"), [this] { FCore.SynthesizeSpectrum(); });
        checkEditSession();
    });
}

template <class Change> void TForm1::recordChange(const QString& text, Change&& change)
{
    if (!FCore.FWave)
        return;
    const WaveSnapshot before = WaveSnapshot::of(*FCore.FWave);
    try {
        change();
    } catch (...) {
        // Whatever the command changed before it stopped can still be taken back.
        if (FCore.FWave->FData != before.data || FCore.FWave->FSampleCount != before.sampleCount)
            FHistory.record(text, before);
        soundChanged();
        throw;
    }
    FHistory.record(text, before);
    soundChanged();
}

void TForm1::KestrelonA1Click()
{
    runCommand([this] {
        TForm2 about(this);
        about.exec();
    });
}

void TForm1::P1Click()
{
    runCommand([this] { ExportFilter(); });
}

void TForm1::L1Click()
{
    runCommand([this] { ImportFilter(); });
}

void TForm1::ExportFilter()
{
    if (!FCore.geometryMatches())
        return;
    FilterSD.fileName = FCore.proposedExportPath();
    const QString path = FDialogs->askSaveFile(this, FilterSD);
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path) && !FDialogs->askYesNo(this, overwriteQuestion(path)))
        return;
    const CommandResult result = FCore.Export(path);
    if (!result.ok) {
        FDialogs->showError(this, result.message);
        return;
    }
    // The next import proposes the picture just written.
    FilterOD.fileName = FCore.importProposal();
}

void TForm1::ImportFilter()
{
    if (!FCore.geometryMatches())
        return;
    const QString path = FDialogs->askOpenFile(this, FilterOD);
    if (path.isEmpty())
        return;
    TaskOutcome outcome = runTask(FCore.prepareImport(path));
    const CommandResult& result = outcome.result;
    if (outcome.cancelled) {
        showMessage(QStringLiteral("インポートをキャンセルしました"));
        return;
    }
    if (!result.ok) {
        FDialogs->showError(this, result.message);
        return;
    }
    FHistory.record(
        QStringLiteral("インポート"), snapshotBefore(std::move(*outcome.samplesBefore)));
    soundChanged();
    checkEditSession();
    showPicture();
    showStatus();
    // Clipping is reported in the status bar; any other warning in a box.
    showClips(result.clips);
    if (result.clips.clipped + result.clips.over == 0 && !result.message.isEmpty())
        FDialogs->showWarning(this, result.message);
}

void TForm1::showClips(const ClipStats& clips)
{
    if (clips.clipped + clips.over == 0) {
        ClipPanel->clear();
        ClipPanel->setToolTip(QString());
        ClipPanel->hide();
        return;
    }
    const QString peak = clips.peak > 0 && std::isfinite(clips.peak)
        ? QStringLiteral("%1%2 dBFS")
              .arg(clips.peak >= 1.0 ? QStringLiteral("+") : QString())
              .arg(20.0 * std::log10(clips.peak), 0, 'f', 1)
        : QString::number(clips.peak);
    const bool kept = clips.clipped == 0; // float samples over full scale, stored as they are
    ClipPanel->setText(kept
            ? QStringLiteral("フルスケール超過 %1 サンプル (ピーク %2)").arg(clips.over).arg(peak)
            : QStringLiteral("クリップ %1 サンプル (ピーク %2)").arg(clips.clipped).arg(peak));
    ClipPanel->setToolTip(
        (kept ? QStringLiteral("インポートで %1 サンプルがフルスケールを超えました。浮動小数点の"
                               "サンプルなのでそのまま保存されます。ピークはフルスケールの "
                               "%2 倍 (%3) です。")
              : QStringLiteral("インポートで %1 サンプルがクリップしました。クリップ"
                               "前のピークはフルスケールの %2 倍 (%3) です。"))
            .arg(kept ? clips.over : clips.clipped)
            .arg(clips.peak, 0, 'g', 4)
            .arg(peak));
    ClipPanel->show();
}

void TForm1::UndoClick()
{
    runCommand([this] {
        BusyCursor busy;
        FHistory.undo();
    });
}

void TForm1::RedoClick()
{
    runCommand([this] {
        BusyCursor busy;
        FHistory.redo();
    });
}

// --- listening -----------------------------------------------------------------------------

void TForm1::soundChanged()
{
    FPreviousValid = false;
    if (!FHistory.lastApplied() && Compare->isChecked())
        Compare->setChecked(false); // nothing to compare with any more
    FPlayer->setSounds(FCore.FWave.get(), Compare->isChecked() ? previousSound() : nullptr);
    updatePlayControls();
}

const TWave* TForm1::previousSound()
{
    const std::shared_ptr<const SampleChange> step = FHistory.lastApplied();
    if (!FCore.FWave || !step)
        return nullptr;
    if (!FPreviousValid) {
        FPrevious = *FCore.FWave;
        step->undo(FPrevious);
        FPreviousValid = true;
    }
    return &FPrevious;
}

void TForm1::updatePlayControls()
{
    const bool available = FPlayer->available();
    const bool playable = available && FCore.FWave && FCore.FWave->FSampleCount > 0
        && FCore.FWave->FFormat.nChannels > 0;
    const bool playing = FPlayer->isPlaying();
    Play->setEnabled(playable && !playing);
    Stop->setEnabled(playing);
    Compare->setEnabled(available && FHistory.lastApplied() != nullptr);
    if (available) {
        Play->setToolTip(QStringLiteral("音を再生する"));
        Stop->setToolTip(QStringLiteral("再生を止める"));
        Compare->setToolTip(QStringLiteral("A/B: インポート前の音を同じ位置から再生する"));
    } else {
        const QString why = FPlayer->unavailableReason();
        for (QAction* a : {Play, Stop, Compare})
            a->setToolTip(why);
    }
}

void TForm1::PlayClick()
{
    runCommand([this] {
        QString reason;
        if (!FPlayer->play(&reason) && !reason.isEmpty())
            FDialogs->showError(this, reason);
    });
}

void TForm1::StopClick()
{
    FPlayer->stop();
}

void TForm1::CompareClick(bool previous)
{
    runCommand([this, previous] {
        FPlayer->setSounds(FCore.FWave.get(), previous ? previousSound() : nullptr);
        FPlayer->setComparing(previous);
    });
}

// The picture's columns are frames N/2 samples apart, N being the length the shown
// picture was analysed with. (Not read from the analysis: an editor's save may have lent
// it to an import running in the background.)
int TForm1::frameColumn(double frame) const
{
    const double hop = FCore.FFFTLength / 2;
    if (FCore.FBitmap.isNull() || hop <= 0)
        return -1;
    return FCore.FLeftMargin + int(std::lround(frame / hop));
}

double TForm1::columnFrame(int column) const
{
    if (FCore.FBitmap.isNull())
        return 0.0;
    return double(column - FCore.FLeftMargin) * (FCore.FFFTLength / 2);
}

void TForm1::pictureClicked(QPoint position)
{
    // The time axis above the data and the data area set where playing starts; the
    // frequency axis at the left does not.
    if (FTaskRunning || !FCore.FWave || position.x() < FCore.FLeftMargin || frameColumn(0) < 0)
        return;
    const bool wasPlaying = FPlayer->isPlaying();
    FPlayer->stop();
    FPlayer->setStartFrame(columnFrame(position.x()));
    ScrollBox1->setStartMarker(frameColumn(FPlayer->startFrame()));
    if (wasPlaying)
        PlayClick();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (FTaskRunning)
        return;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), isSoundFile))
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls()) {
        if (isSoundFile(url)) {
            event->acceptProposedAction();
            // Opened once the drop has finished: its messages must not run inside it.
            const QString path = url.toLocalFile();
            QTimer::singleShot(0, this, [this, path] { openFile(path); });
            return;
        }
    }
}

// --- long commands ---------------------------------------------------------------------------

TaskOutcome TForm1::runTask(std::unique_ptr<EditorTask> task)
{
    settleTasks();
    const QString description = task->description();
    TaskOutcome outcome;
    bool done = false;
    QEventLoop loop;
    const QMetaObject::Connection finished
        = connect(FRunner.get(), &EditorTaskRunner::finished, this, [&](const TaskOutcome& o) {
              outcome = o;
              done = true;
              loop.quit();
          });
    FTaskRunning = true;
    BusyCursor busy;
    {
        const InputBlock block({Open, Save, Export, Import, Undo, Redo, Play, Compare, ExternalEdit,
                                   EditorSettings, EST1, Wave1, KestrelonA1},
            {ComboBox1, ComboBox2});
        QProgressDialog progress(description, QStringLiteral("キャンセル"), 0, 100, this);
        progress.setObjectName(QStringLiteral("ProgressDialog"));
        progress.setWindowTitle(QStringLiteral("Kestrelon"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setMinimumDuration(500);
        progress.setValue(0); // starts the half second from now
        connect(&progress, &QProgressDialog::canceled, FRunner.get(), &EditorTaskRunner::cancel);
        // The dialog hides itself on Cancel; while the command puts back what it changed
        // (an import makes the analysis again, which takes a few seconds for a long sound)
        // it stays up, without the button.
        connect(&progress, &QProgressDialog::canceled, this, [&progress, description] {
            progress.setCancelButton(nullptr);
            progress.setLabelText(description + QStringLiteral("\nキャンセルしています…"));
            progress.setRange(0, 0);
            progress.show();
        });
        // Emitted on the worker; queued to the dialog, which lives on this thread.
        connect(FRunner.get(), &EditorTaskRunner::progress, &progress,
            [&progress, description](int percent, const QString& pass) {
                if (progress.wasCanceled())
                    return;
                progress.setLabelText(
                    pass.isEmpty() ? description : description + QStringLiteral("\n") + pass);
                progress.setValue(percent);
            });
        if (FRunner->start(std::move(task))) {
            if (!done)
                loop.exec();
        } else {
            outcome.result.message = QStringLiteral("another command is still running");
        }
    }
    FTaskRunning = false;
    disconnect(finished);
    // Actions whose state changed while the command ran follow what they act on again.
    Undo->setEnabled(FHistory.stack()->canUndo());
    Redo->setEnabled(FHistory.stack()->canRedo());
    updatePlayControls();
    return outcome;
}

void TForm1::settleTasks()
{
    if (!FTaskRunning && FRunner->isRunning())
        FRunner->waitAndFinish();
}

WaveSnapshot TForm1::snapshotBefore(std::vector<uint8_t> samples) const
{
    const TWave& wave = *FCore.FWave;
    return WaveSnapshot{wave.FFormat, wave.FSampleCount, wave.FSeconds, std::move(samples)};
}

// --- the image editor ------------------------------------------------------------------------

void TForm1::showMessage(const QString& message, const QString& details)
{
    MessagePanel->setText(message);
    MessagePanel->setToolTip(details.isEmpty() ? message : details);
    MessagePanel->setVisible(!message.isEmpty());
}

void TForm1::checkEditSession()
{
    if (FSession)
        FSession->checkCore();
}

void TForm1::ExternalEditClick()
{
    runCommand([this] {
        if (!FCore.geometryMatches())
            return;
        const QString path = FCore.proposedExportPath();
        if (QFileInfo::exists(path) && !FDialogs->askYesNo(this, overwriteQuestion(path)))
            return;
        // The previous watch would take this export for a save of the editor.
        FSession.reset();
        const CommandResult result = FCore.Export(path);
        if (!result.ok) {
            FDialogs->showError(this, result.message);
            return;
        }
        FilterSD.fileName = path;
        FilterOD.fileName = FCore.importProposal();
        FSession = std::make_unique<ExternalEditSession>(FCore, path, FEditTiming);
        FSession->setRunner(FRunner.get());
        connect(FSession.get(), &ExternalEditSession::imported, this, &TForm1::externalImported);
        connect(FSession.get(), &ExternalEditSession::statusMessage, this,
            [this](const QString& message) { showMessage(message); });
        const QString command = editorCommand();
        QString error;
        if (!FDialogs->launchEditor(command, path, &error)) {
            showMessage(QStringLiteral("%1 を監視しています").arg(QFileInfo(path).fileName()));
            FDialogs->showError(this, error);
            return;
        }
        // Short enough for the status bar; the tooltip says what a save does.
        const QString name = QFileInfo(path).fileName();
        showMessage(QStringLiteral("%1 の保存を待っています").arg(name),
            QStringLiteral("%1 を外部エディタで開きました。保存するたびに、書き出した時の音に"
                           "その絵が適用されます（N・表示・音を変えると終わります）")
                .arg(name));
    });
}

void TForm1::externalImported(const ExternalImportStep& step)
{
    runCommand([this, &step] {
        FHistory.record(
            QStringLiteral("外部エディタの編集"), snapshotBefore(std::move(*step.samplesBefore)));
        soundChanged();
        showPicture();
        showStatus();
        showClips(step.clips);
    });
}

void TForm1::EditorSettingsClick()
{
    runCommand([this] {
        QString command = editorCommand();
        if (FDialogs->askEditorCommand(this, &command))
            setEditorCommand(command);
    });
}

} // namespace kestrelon
