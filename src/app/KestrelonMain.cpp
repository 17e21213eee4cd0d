#include "app/KestrelonMain.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include <QAction>
#include <QActionEvent>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
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
#include <QTemporaryFile>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "app/About.h"
#include "app/AppSetup.h"
#include "app/AudioSinkOutput.h"
#include "app/ExternalEditor.h"
#include "app/HelpWindow.h"
#include "app/Language.h"
#include "app/PaintTools.h"
#include "app/PictureView.h"
#include "app/RecentFiles.h"
#include "audio/SoundFile.h"
#include "base/Errors.h"
#include "base/Message.h"

namespace kestrelon {

namespace {

// The widest whole picture the window exports without offering a range instead: the
// widest picture some paint programs' formats take.
constexpr int32_t kWidestWholeExport = 30000; // pixels

// The steps of the history are recorded under the Japanese text of the code naming them,
// whatever the language, and shown through that code in the language of the moment.
constexpr MessageCode kStepNames[]
    = {MessageCode::StepImport, MessageCode::StepExternalEdit, MessageCode::StepResynthesis,
        MessageCode::PaintPointer, MessageCode::PaintBrush, MessageCode::PaintEraser,
        MessageCode::PaintRectangle, MessageCode::PaintLasso, MessageCode::PaintHarmonics};

QString stepRecord(MessageCode code)
{
    return QString::fromUtf8(messageSource(code).text);
}

Message stepName(const QString& recorded)
{
    for (const MessageCode code : kStepNames)
        if (recorded == stepRecord(code))
            return Message(code);
    return Message(MessageCode::Verbatim, recorded);
}

// A folder a file can be created in: tried, since permissions alone do not say so.
bool isWritableFolder(const QString& folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".kestrelon-XXXXXX")));
    return probe.open();
}

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

// A status bar label whose text, when longer than its room, ends in "…"; text() and the
// tool tip keep the whole of it.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QFrame::paintEvent(event);
        QPainter painter(this);
        const QRect room = contentsRect();
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
            fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
    }
};

// The wait cursor while a command analyses or resynthesises.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The window's input blocked as a whole while a long command runs on the worker: every
// action and every box of the window is switched off (Stop, which touches no sound, stays
// available; the menus' own entries and the tool bar's widget holders keep following
// their actions) and switched on again at the end. Clicks in the picture and drops are
// refused meanwhile by their handlers.
class InputBlock {
public:
    InputBlock(QWidget* window, const QAction* keep)
    {
        for (QAction* a : window->findChildren<QAction*>()) {
            if (a == keep || a->menu() || a->isSeparator() || qobject_cast<QWidgetAction*>(a)
                || !a->isEnabled())
                continue;
            a->setEnabled(false);
            FActions.push_back(a);
        }
        for (QComboBox* box : window->findChildren<QComboBox*>())
            if (box->isEnabled()) {
                box->setEnabled(false);
                FWidgets.push_back(box);
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

// A filter picture the import reads.
bool isPictureFile(const QUrl& url)
{
    return url.isLocalFile()
        && QStringList({QStringLiteral("bmp"), QStringLiteral("png")})
               .contains(QFileInfo(url.toLocalFile()).suffix(), Qt::CaseInsensitive);
}

} // namespace

TForm1::TForm1(UserDialogs* dialogs, QWidget* parent, std::unique_ptr<AudioOutput> output)
    : QMainWindow(parent)
    , FOwnDialogs(dialogs ? nullptr : std::make_unique<QtUserDialogs>())
    , FDialogs(dialogs ? dialogs : FOwnDialogs.get())
    , FDoc(makeDocument())
    , FPlayer(std::make_unique<Player>(
          output ? std::move(output) : std::make_unique<AudioSinkOutput>()))
    , FRunner(std::make_unique<CommandRunner>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kestrelon"));
    setWindowIcon(appIcon());
    setFont(uiFont());
    setAcceptDrops(true);

    WaveOD = {QString(), soundOpenFilter(), QStringLiteral("wav"), {}, {}};
    WaveSD = {QString(), soundSaveFilter(), QStringLiteral("wav"), {}, {}};
    FilterOD = {tr("フィルターインポート"),
        QStringList(
            {tr("フィルタ画像 (*.bmp *.png)"), QStringLiteral("*.bmp;*.png"),
                tr("BMP ファイル (*.bmp)"), QStringLiteral("*.bmp"), tr("PNG ファイル (*.png)"),
                QStringLiteral("*.png"), tr("すべてのファイル (*)"), QStringLiteral("*")})
            .join(QLatin1Char('|')),
        QStringLiteral("bmp"), {}, {}};
    FilterSD = {tr("フィルターエクスポート"), QStringLiteral("Bitmap file (*.bmp)|*.bmp"),
        QStringLiteral("bmp"), {}, {}};

    buildActions();
    buildMenus();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildToolBar();
    column->addWidget(Panel1);
    ScrollBox1 = new PictureView(central);
    ScrollBox1->setPicture(&FDoc->FBitmap);
    PaintTools1 = new PaintToolBar(
        ScrollBox1, [this]() -> const Document& { return *FDoc; }, central);
    column->addWidget(PaintTools1);
    column->addWidget(ScrollBox1, 1);
    setCentralWidget(central);

    buildStatusBar();
    StatusBar1->addPermanentWidget(PaintTools1->readout());
    FReadoutHold = new QTimer(this);
    FReadoutHold->setObjectName(QStringLiteral("ReadoutHold"));
    FReadoutHold->setSingleShot(true);
    FReadoutHold->setInterval(kMessageFirst);
    connect(FReadoutHold, &QTimer::timeout, PaintTools1->readout(), &QWidget::show);
    connect(PaintTools1, &PaintToolBar::strokeFinished, this, &TForm1::applyStroke);
    // After the tool bar's own following of the selection: the window has the last word.
    connect(PaintTools1, &PaintToolBar::selectionChanged, this, &TForm1::updatePlayControls);
    connect(PaintTools1, &PaintToolBar::playSelectionRequested, this,
        [this](quint32 first, quint32 end, bool loop) {
            guard([&] {
                FPlayer->stop();
                QString reason;
                if (!FPlayer->playRange(first, end, loop, &reason) && !reason.isEmpty())
                    FDialogs->showError(this, reason);
            });
        });
    setFileCommandsEnabled(false);

    connect(&FHistory, &EditHistory::changed, this, [this] {
        Undo->setEnabled(FHistory.canUndo() && !FTaskRunning);
        Redo->setEnabled(FHistory.canRedo() && !FTaskRunning);
        updateUndoHints();
    });
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
    connect(FRunner.get(), &CommandRunner::progress, this, [this](int percent, const QString&) {
        if (!FTaskRunning && FSession && FSession->isImporting())
            showMessage(Message(MessageCode::ProgressEditorPicture, percent));
    });

    // Client area 786 x 601 below the menu bar.
    resize(786, 601 + menuBar()->sizeHint().height());

    // Built in Japanese; another language is applied with the texts remembered here.
    addLanguageMenu(HelpMenu, "kestrelon::TForm1", [this] {
        if (auto* texts = findChild<Retranslator*>())
            texts->retranslate();
        FilterOD.title = tr("フィルターインポート");
        FilterSD.title = tr("フィルターエクスポート");
        ExportRange->setText(Message(MessageCode::RangeExportItem).text());
        ExportRange->setToolTip(Message(MessageCode::RangeExportHint).text());
        PaintTools1->retranslate();
        updateUndoHints();
        showStatusMessage();
        if (auto* help = qobject_cast<HelpWindow*>(FHelp.data()))
            help->showPage();
    });
    new Retranslator(this, "kestrelon::TForm1");
}

TForm1::~TForm1()
{
    FSession.reset();
    FPlayer->stop();
    FRunner.reset();
    ScrollBox1->setPicture(nullptr);
}

void TForm1::setDocumentLocale(const QLocale& locale)
{
    auto d = std::make_shared<Document>(*FDoc);
    d->locale = locale;
    showDocument(std::move(d));
}

void TForm1::buildActions()
{
    const auto make
        = [this](const char* name, const char* caption, const QString& hint, const char* icon) {
              auto* action = new QAction(actionIcon(QLatin1String(icon)), tr(caption), this);
              action->setObjectName(QLatin1String(name));
              action->setToolTip(hint);
              return action;
          };
    Open = make("Open", "Open", tr("Waveファイルを開く"), "open");
    Open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Save = make("Save", "Save", tr("Waveファイルを保存する"), "save");
    Save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Export = make("Export", "Export", tr("スペクトラム/ケプストラムをエクスポートする"), "export");
    Import = make("Import", "Import", tr("スペクトラム/ケプストラムをインポートする"), "import");
    connect(Open, &QAction::triggered, this, &TForm1::O1Click);
    connect(Save, &QAction::triggered, this, &TForm1::S1Click);
    connect(Export, &QAction::triggered, this, &TForm1::P1Click);
    connect(Import, &QAction::triggered, this, &TForm1::L1Click);
    ExportRange = new QAction(Message(MessageCode::RangeExportItem).text(), this);
    ExportRange->setObjectName(QStringLiteral("ExportRange"));
    ExportRange->setToolTip(Message(MessageCode::RangeExportHint).text());
    connect(ExportRange, &QAction::triggered, this, &TForm1::ExportRangeClick);

    Undo = make("Undo", QT_TR_NOOP("元に戻す(&U)"), tr("インポートを取り消す"), "undo");
    Undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Redo = make("Redo", QT_TR_NOOP("やり直し(&R)"), tr("取り消したインポートをやり直す"), "redo");
    Redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    Undo->setEnabled(false);
    Redo->setEnabled(false);
    connect(Undo, &QAction::triggered, this, &TForm1::UndoClick);
    connect(Redo, &QAction::triggered, this, &TForm1::RedoClick);

    // Play and Stop share the space bar; only one of them is enabled at a time.
    Play = make("Play", QT_TR_NOOP("再生(&P)"), tr("音を再生する"), "play");
    Play->setShortcut(QKeySequence(Qt::Key_Space));
    Stop = make("Stop", QT_TR_NOOP("停止(&S)"), tr("再生を止める"), "stop");
    Stop->setShortcut(QKeySequence(Qt::Key_Space));
    Compare = make("Compare", QT_TR_NOOP("インポート前の音(&B)"),
        tr("A/B: インポート前の音を同じ位置から再生する"), "compare");
    Compare->setCheckable(true);
    for (QAction* a : {Undo, Redo, Play, Stop, Compare})
        a->setShortcutContext(Qt::WindowShortcut);
    connect(Play, &QAction::triggered, this, &TForm1::PlayClick);
    connect(Stop, &QAction::triggered, this, &TForm1::StopClick);
    connect(Compare, &QAction::toggled, this, &TForm1::CompareClick);

    ExternalEdit = make("ExternalEdit", QT_TR_NOOP("外部エディタで編集"),
        tr("画像を外部エディタで開き、保存されるたびにインポートする"), "external");
    EditorSettings = new QAction(tr("外部エディタの設定..."), this);
    EditorSettings->setObjectName(QStringLiteral("EditorSettings"));
    EditorSettings->setToolTip(tr("画像を編集するアプリケーションを選ぶ"));
    connect(ExternalEdit, &QAction::triggered, this, &TForm1::ExternalEditClick);
    connect(EditorSettings, &QAction::triggered, this, &TForm1::EditorSettingsClick);

    Quit = new QAction(tr("終了(&X)"), this);
    Quit->setObjectName(QStringLiteral("Quit"));
    Quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Quit->setMenuRole(QAction::QuitRole);
    connect(Quit, &QAction::triggered, this, &QWidget::close);
    Help = new QAction(tr("Kestrelon のヘルプ(&H)"), this);
    Help->setObjectName(QStringLiteral("Help"));
    Help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(Help, &QAction::triggered, this, &TForm1::HelpClick);
}

void TForm1::buildMenus()
{
    FileMenu = menuBar()->addMenu(tr("ファイル(&F)"));
    FileMenu->setObjectName(QStringLiteral("F1"));
    FileMenu->addAction(Open);
    FileMenu->addAction(Save);
    FileMenu->addSeparator();
    RecentMenu = FileMenu->addMenu(tr("最近使ったファイル(&R)"));
    RecentMenu->setObjectName(QStringLiteral("RecentMenu"));
    connect(RecentMenu, &QMenu::aboutToShow, this, &TForm1::rebuildRecentMenu);
    rebuildRecentMenu();
    FileMenu->addSeparator();
    FileMenu->addAction(Quit);

    EditMenu = menuBar()->addMenu(tr("編集(&E)"));
    EditMenu->setObjectName(QStringLiteral("E1"));
    EditMenu->addAction(Undo);
    EditMenu->addAction(Redo);
    EditMenu->addSeparator()->setObjectName(QStringLiteral("N2"));
    EditMenu->addAction(Export);
    EditMenu->addAction(ExportRange);
    EditMenu->addAction(Import);
    EditMenu->addAction(ExternalEdit);
    EditMenu->addAction(EditorSettings);
    N1 = EditMenu->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    EST1 = EditMenu->addAction(tr("スペクトル作成"), this, &TForm1::EST1Click);
    EST1->setObjectName(QStringLiteral("EST1"));
    EST1->setVisible(false);
    Wave1 = EditMenu->addAction(tr("Waveに出力"), this, &TForm1::Wave1Click);
    Wave1->setObjectName(QStringLiteral("Wave1"));
    Wave1->setVisible(false);

    PlayMenu = menuBar()->addMenu(tr("再生(&P)"));
    PlayMenu->setObjectName(QStringLiteral("R1"));
    PlayMenu->addAction(Play);
    PlayMenu->addAction(Stop);
    PlayMenu->addSeparator();
    PlayMenu->addAction(Compare);

    HelpMenu = menuBar()->addMenu(tr("ヘルプ(&H)"));
    HelpMenu->setObjectName(QStringLiteral("H1"));
    HelpMenu->addAction(Help);
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
    ComboBox1->addItems({tr("スペクトラム"), tr("ケプストラム")});
    ComboBox1->setCurrentIndex(0);
    ComboBox1->setFixedWidth(100);
    ToolBar1->addWidget(ComboBox1);
    separator("ToolButton6");

    Label1 = new QLabel(tr("FFT長"), ToolBar1);
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

    ToolButton7
        = button(new OwnHintToolButton(Export, tr("フィルタ画像をエクスポートする"), ToolBar1),
            "ToolButton7");
    ToolButton8 = button(
        new OwnHintToolButton(Import, tr("フィルタ画像をインポートする"), ToolBar1), "ToolButton8");
    ToolButton13 = button(
        new OwnHintToolButton(ExternalEdit, tr("フィルタ画像を外部エディタで編集する"), ToolBar1),
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
    MessagePanel = new ElidedLabel(StatusBar1);
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
    // A sound without samples has no picture to export or import.
    const bool picture = enabled && FDoc->hasSamples();
    Export->setEnabled(picture);
    ExportRange->setEnabled(picture);
    Import->setEnabled(picture);
    ExternalEdit->setEnabled(picture);
}

template <class Command> void TForm1::guard(Command&& command)
{
    QString failure;
    try {
        FEndedNote = Message();
        settleTasks();
        command();
    } catch (const std::bad_alloc&) {
        failure = Message(MessageCode::CommandStoppedNoMemory).text();
    } catch (const Error& e) {
        failure = e.message().text();
    } catch (const std::exception& e) {
        failure = Message(MessageCode::Internal, e.what()).text();
    } catch (...) {
        failure = Message(MessageCode::CommandStoppedUnexpected).text();
    }
    if (!failure.isEmpty())
        FDialogs->showError(this, failure);
}

void TForm1::showDocument(DocumentPtr document)
{
    if (!document)
        return;
    // The old document lives until the player has the new sound.
    const DocumentPtr old = std::exchange(FDoc, std::move(document));
    ScrollBox1->setPicture(&FDoc->FBitmap);
    {
        const QSignalBlocker viewBlocker(ComboBox1);
        const QSignalBlocker lengthBlocker(ComboBox2);
        ComboBox1->setCurrentIndex(FDoc->FMode);
        ComboBox2->setCurrentText(QString::number(FDoc->FFFTLength));
    }
    if (FDoc->hasSound()) {
        QString caption = FDoc->fileName();
        setWindowTitle(
            caption.replace(QLatin1String("[*]"), QLatin1String("[*][*]")) + QLatin1String("[*]"));
        showStatus();
        setFileCommandsEnabled(true);
    }
    if (!old || old->FWave != FDoc->FWave)
        soundChanged();
    PaintTools1->documentShown();
    checkEditSession();
}

void TForm1::showStatus()
{
    const QStringList texts = FDoc->statusTexts();
    for (int i = 0; i < 6 && i < texts.size(); ++i) {
        QLabel* panel = StatusPanels[i];
        panel->setText(texts[i]);
        // Never narrower than its text, whatever else the status bar shows: the size
        // hint counts the indent a framed label puts before its text too.
        panel->setMinimumWidth(qMax(kPanelWidths[i], panel->sizeHint().width()));
    }
}

CommandResult TForm1::runAndShow(
    const QString& description, const Command& command, const QString& text)
{
    const CommandResult result = runLong(description, command);
    if (!result.ok) {
        if (!result.cancelled)
            FDialogs->showError(this, result.message.text());
        showDocument(FDoc); // the boxes show the document's view and N again
        return result;
    }
    if (result.change && !text.isEmpty())
        FHistory.record(text, result.change, FDoc->withoutSound(), result.clips);
    showDocument(result.document);
    return result;
}

bool TForm1::openPath(const QString& path)
{
    const DocumentPtr doc = FDoc;
    const CommandResult result
        = runLong(Message(MessageCode::ProgressOpening, QFileInfo(path).fileName()).text(),
            [doc, path](const PassFn& progress) { return doc->Open(path, progress); });
    if (result.cancelled) {
        showMessage(Message(MessageCode::OpenCancelled));
        return false;
    }
    if (!result.ok) {
        showMessage(Message(MessageCode::OpenFailed, QFileInfo(path).fileName()));
        FDialogs->showError(this, result.message.text());
        return false;
    }
    WaveOD.fileName = path;
    addRecentFile(path);
    // A new sound: its history starts empty, and it has not been changed.
    FPlayer->stop();
    FHistory.clear();
    setWindowModified(false);
    showDocument(result.document);
    WaveSD.fileName = FDoc->proposedSavePath();
    FilterSD.initialDir = FDoc->filterDirectory();
    FilterOD.initialDir = FDoc->filterDirectory();
    showClips({});
    FPlayer->setStartFrame(0);
    ScrollBox1->setStartMarker(-1);
    showMessage(Message(MessageCode::Opened, QFileInfo(path).fileName()),
        Message(MessageCode::Opened, QDir::toNativeSeparators(path)));
    if (!result.message.isEmpty())
        FDialogs->showWarning(this, result.message.text());
    return true;
}

bool TForm1::openFile(const QString& path)
{
    bool opened = false;
    guard([&] {
        if (maybeSaveChanges())
            opened = openPath(path);
        else
            showMessage(Message(MessageCode::OpenCancelled));
    });
    return opened;
}

void TForm1::O1Click()
{
    guard([this] {
        if (!maybeSaveChanges()) {
            showMessage(Message(MessageCode::OpenCancelled));
            return;
        }
        const QString path = FDialogs->askOpenFile(this, WaveOD);
        if (path.isEmpty())
            showMessage(Message(MessageCode::OpenCancelled));
        else
            openPath(path);
    });
}

void TForm1::S1Click()
{
    guard([this] { saveSound(); });
}

bool TForm1::saveSound()
{
    if (!FDoc->hasSound())
        return false;
    const QString path = FDialogs->askSaveFile(this, WaveSD);
    if (path.isEmpty()
        || (QFileInfo::exists(path) && !FDialogs->askYesNo(this, overwriteQuestion(path)))) {
        showMessage(Message(MessageCode::SaveCancelled));
        return false;
    }
    const CommandResult result = FDoc->Save(path);
    if (!result.ok) {
        showMessage(Message(MessageCode::SaveFailed, QFileInfo(path).fileName()));
        FDialogs->showError(this, result.message.text());
        return false;
    }
    WaveSD.fileName = path;
    FHistory.markSaved();
    showMessage(Message(MessageCode::Saved, QFileInfo(path).fileName()),
        Message(MessageCode::Saved, QDir::toNativeSeparators(path)));
    if (!result.message.isEmpty())
        FDialogs->showWarning(this, result.message.text());
    return true;
}

bool TForm1::maybeSaveChanges()
{
    if (!FDoc->hasSound() || !FHistory.isModified())
        return true;
    switch (FDialogs->askSaveChanges(this, saveChangesQuestion(FDoc->fileName()))) {
    case SaveChoice::Save: {
        bool saved = false;
        guard([&] { saved = saveSound(); });
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
        // The command is cancelled first, if the person agrees; the window closes once it
        // has ended (runLong).
        event->ignore();
        if (!FCloseRequested
            && FDialogs->askYesNo(this, Message(MessageCode::CloseWhileBusy).text())) {
            FCloseRequested = true;
            FRunner->cancel();
        }
        return;
    }
    FCloseRequested = false;
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
    guard([this] {
        const int index = ComboBox1->currentIndex();
        if (index < 0)
            return;
        const auto mode = static_cast<uint8_t>(index);
        const DocumentPtr doc = FDoc;
        if (!doc->hasSamples()) {
            showDocument(runCommand([&](const PassFn&) { return doc->SetMode(mode); }).document);
            return;
        }
        const CommandResult result
            = runAndShow(Message(mode == kCepstrumView ? MessageCode::ProgressCepstrum
                                                       : MessageCode::ProgressSpectrum)
                             .text(),
                [doc, mode](const PassFn& progress) { return doc->SetMode(mode, progress); });
        showMessage(result.ok
                ? Message(MessageCode::ViewShown,
                    mode == kCepstrumView ? MessageCode::ViewCepstrum : MessageCode::ViewSpectrum)
                : Message(result.cancelled ? MessageCode::ViewCancelled : MessageCode::ViewFailed));
    });
}

void TForm1::ComboBox2Change()
{
    guard([this] {
        bool ok = false;
        const int n = ComboBox2->currentText().toInt(&ok);
        if (!ok)
            return;
        const DocumentPtr doc = FDoc;
        if (!doc->hasSound()) {
            showDocument(
                runCommand([&](const PassFn&) { return doc->ChangeFFTLength(n); }).document);
            return; // only stored
        }
        const CommandResult result = runAndShow(Message(MessageCode::ProgressAnalysing, n).text(),
            [doc, n](const PassFn& progress) { return doc->ChangeFFTLength(n, progress); });
        // A picture exported with the old length no longer fits.
        if (result.ok)
            FilterOD.fileName.clear();
        showMessage(result.ok ? Message(MessageCode::LengthChanged, n)
                              : Message(result.cancelled ? MessageCode::LengthCancelled
                                                         : MessageCode::LengthFailed));
    });
}

void TForm1::EST1Click()
{
    guard([this] {
        const DocumentPtr doc = FDoc;
        const CommandResult result
            = runAndShow(Message(MessageCode::ProgressCreatingSpectrum).text(),
                [doc](const PassFn& progress) { return doc->AnalyzeAndDrawSpectrum(progress); });
        showMessage(result.ok      ? Message(MessageCode::SpectrumMade)
                : result.cancelled ? Message(MessageCode::SpectrumCancelled)
                                   : Message(MessageCode::SpectrumFailed));
    });
}

void TForm1::Wave1Click()
{
    guard([this] {
        const DocumentPtr doc = FDoc;
        if (!doc->hasSound())
            return;
        const CommandResult result = runAndShow(
            Message(MessageCode::ProgressResynthesising).text(),
            [doc](const PassFn& progress) { return doc->SynthesizeSpectrum(progress); },
            stepRecord(MessageCode::StepResynthesis));
        showMessage(result.ok      ? Message(MessageCode::Resynthesised)
                : result.cancelled ? Message(MessageCode::ResynthesisCancelled)
                                   : Message(MessageCode::ResynthesisFailed));
    });
}

void TForm1::KestrelonA1Click()
{
    guard([this] {
        TForm2 about(this);
        about.exec();
    });
}

void TForm1::P1Click()
{
    guard([this] { ExportFilter(); });
}

void TForm1::L1Click()
{
    guard([this] { ImportFilter(); });
}

void TForm1::ExportRangeClick()
{
    guard([this] { ExportRangeFilter(); });
}

void TForm1::ExportFilter()
{
    if (!FDoc->geometryMatches())
        return;
    // Wider than paint programs take: offer the piece instead.
    if (const int32_t width = FDoc->wholePictureWidth(); width > kWidestWholeExport
        && FDialogs->askYesNo(
            this, Message(MessageCode::RangeTooWide, width, kWidestWholeExport).text())) {
        ExportRangeFilter();
        return;
    }
    FilterSD.fileName = FDoc->proposedExportPath();
    const QString path = FDialogs->askSaveFile(this, FilterSD);
    if (path.isEmpty()
        || (QFileInfo::exists(path) && !FDialogs->askYesNo(this, overwriteQuestion(path)))) {
        showMessage(Message(MessageCode::ExportCancelled));
        return;
    }
    const CommandResult result = FDoc->Export(path);
    if (!result.ok) {
        showMessage(Message(MessageCode::ExportFailed, QFileInfo(path).fileName()));
        FDialogs->showError(this, result.message.text());
        return;
    }
    showDocument(result.document);
    FExportedRanges.erase(path);
    showMessage(Message(MessageCode::Exported, QFileInfo(path).fileName()),
        Message(MessageCode::Exported, QDir::toNativeSeparators(path)));
    // The next import proposes the picture just written.
    FilterOD.fileName = FDoc->importProposal();
}

void TForm1::ExportRangeFilter()
{
    if (!FDoc->geometryMatches())
        return;
    double from = 0.0, to = 0.0;
    if (!FDialogs->askRange(
            this, rangeInSight(Message(MessageCode::RangeTitle).text()), &from, &to))
        return;
    FrameRange range;
    Message why;
    if (!FDoc->rangeOfSeconds(from, to, &range, &why)) {
        FDialogs->showError(this, why.text());
        return;
    }
    FilterSD.fileName = FDoc->proposedRangeExportPath(range);
    const QString path = FDialogs->askSaveFile(this, FilterSD);
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path) && !FDialogs->askYesNo(this, overwriteQuestion(path)))
        return;
    const CommandResult result = FDoc->ExportRange(path, range);
    if (!result.ok) {
        FDialogs->showError(this, result.message.text());
        return;
    }
    showDocument(result.document);
    FExportedRanges[path] = {range, FDoc->FFFTLength, FDoc->shownCells()->frames};
    FilterOD.fileName = FDoc->importProposal();
}

RangeRequest TForm1::rangeInSight(const QString& title) const
{
    const int32_t F = FDoc->shownCells()->frames;
    // The frames between the frequency axis and the right edge, at the view's zoom.
    const double left = ScrollBox1->pictureAt(QPointF(FDoc->FLeftMargin, 0)).x();
    const double right = ScrollBox1->pictureAt(QPointF(ScrollBox1->viewport()->width(), 0)).x();
    const int32_t first = std::clamp(int32_t(std::floor(left)) - FDoc->FLeftMargin, 0, F - 1);
    const int32_t end = std::clamp(int32_t(std::ceil(right)) - FDoc->FLeftMargin, first + 1, F);
    const double length = FDoc->FWave->FSeconds;
    return {title, FDoc->frameSeconds(first),
        end == F ? length : std::min(length, FDoc->frameSeconds(end)), length};
}

void TForm1::ImportFilter()
{
    if (!FDoc->geometryMatches())
        return;
    const QString path = FDialogs->askOpenFile(this, FilterOD);
    if (path.isEmpty()) {
        showMessage(Message(MessageCode::ImportCancelled));
        return;
    }
    importPath(path);
}

void TForm1::importPath(const QString& path)
{
    // A piece goes back where it was exported from. For a sound too long for whole
    // pictures, a picture of another width that this window did not export is a piece
    // that goes where the person says; for others it is refused as the wrong size.
    FrameRange range;
    const int32_t frames = FDoc->shownCells()->frames;
    if (const auto piece = FExportedRanges.find(path); piece != FExportedRanges.end()) {
        const ExportedRange& e = piece->second;
        if (e.fftLength != FDoc->FFFTLength || e.frames != frames) {
            FDialogs->showError(this,
                Message(MessageCode::RangeOtherAnalysis, path, e.frames, e.fftLength, frames,
                    FDoc->FFFTLength)
                    .text());
            return;
        }
        range = e.range;
    } else if (const QSize size = statedPictureSize(path);
               FDoc->wholePictureWidth() > kWidestWholeExport && size.isValid()
               && size.width() != FDoc->wholePictureWidth()) {
        double from = 0.0, to = 0.0;
        if (!FDialogs->askRange(
                this, rangeInSight(Message(MessageCode::RangeImportTitle).text()), &from, &to))
            return;
        Message why;
        if (!FDoc->rangeOfSeconds(from, to, &range, &why)) {
            FDialogs->showError(this, why.text());
            return;
        }
    }
    const DocumentPtr doc = FDoc;
    const QString description
        = Message(MessageCode::ProgressImporting, QFileInfo(path).fileName()).text();
    // A whole picture whose name or contents say another view or N is applied only when
    // the person says so.
    const CommandResult check = range.frames() > 0
        ? CommandResult()
        : runLong(description, [doc, path](const PassFn& progress) {
              CommandResult r;
              r.ok = true;
              r.message = doc->CheckImport(path, progress);
              return r;
          });
    if (check.cancelled
        || (!check.message.isEmpty()
            && !FDialogs->askYesNo(
                this, Message(MessageCode::ImportAnyway, check.message).text()))) {
        showMessage(Message(MessageCode::ImportCancelled));
        return;
    }
    const CommandResult result = runLong(description, [doc, path, range](const PassFn& progress) {
        return range.frames() > 0 ? doc->ImportRange(path, range, progress)
                                  : doc->Import(path, progress);
    });
    if (result.cancelled) {
        showMessage(Message(MessageCode::ImportCancelled));
        return;
    }
    if (!result.ok) {
        showMessage(Message(MessageCode::ImportFailed, QFileInfo(path).fileName()));
        FDialogs->showError(this, result.message.text());
        return;
    }
    FHistory.record(
        stepRecord(MessageCode::StepImport), result.change, FDoc->withoutSound(), result.clips);
    showDocument(result.document);
    showMessage(Message(MessageCode::Imported, QFileInfo(path).fileName()),
        Message(MessageCode::Imported, QDir::toNativeSeparators(path)));
    // Clipping is reported in the status bar; any other warning in a box.
    showClips(result.clips);
    if (result.clips.clipped + result.clips.over == 0 && !result.message.isEmpty())
        FDialogs->showWarning(this, result.message.text());
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
    const qulonglong count = kept ? clips.over : clips.clipped;
    ClipPanel->setText(
        Message(kept ? MessageCode::OverReport : MessageCode::ClipReport, count, peak).text());
    ClipPanel->setToolTip(Message(kept ? MessageCode::OverDetails : MessageCode::ClipDetails, count,
        QString::number(clips.peak, 'g', 4), peak)
                              .text());
    // The report keeps its room; the message beside it gives way.
    ClipPanel->setMinimumWidth(ClipPanel->sizeHint().width());
    ClipPanel->show();
}

void TForm1::UndoClick()
{
    stepHistory(true);
}

void TForm1::RedoClick()
{
    stepHistory(false);
}

// Undo (back) or redo: the step is applied on the worker like every long command, and the
// history moves only when it succeeded.
void TForm1::stepHistory(bool back)
{
    guard([this, back] {
        const std::shared_ptr<const SampleChange> step
            = back ? FHistory.undoStep() : FHistory.redoStep();
        if (!step)
            return;
        const DocumentPtr doc = FDoc;
        const DocumentPtr shown = back ? FHistory.undoSnapshot() : FHistory.redoSnapshot();
        const Message what = stepName(FHistory.text(FHistory.index() - (back ? 1 : 0)));
        const CommandResult result = runLong(
            Message(back ? MessageCode::ProgressUndoing : MessageCode::ProgressRedoing).text(),
            [doc, step, shown, back](const PassFn& progress) {
                return back ? doc->Undo(*step, progress, shown.get())
                            : doc->Redo(*step, progress, shown.get());
            });
        if (!result.ok) {
            const MessageCode cancelled
                = back ? MessageCode::UndoCancelled : MessageCode::RedoCancelled;
            const MessageCode failed = back ? MessageCode::UndoFailed : MessageCode::RedoFailed;
            showMessage(Message(result.cancelled ? cancelled : failed));
            if (!result.cancelled)
                FDialogs->showError(this, result.message.text());
            return;
        }
        if (back)
            FHistory.stepBack(FDoc->withoutSound());
        else
            FHistory.stepForward(FDoc->withoutSound());
        showDocument(result.document);
        showClips(FHistory.appliedClips());
        showMessage(Message(back ? MessageCode::Undone : MessageCode::Redone, what));
    });
}

// --- listening -----------------------------------------------------------------------------

void TForm1::soundChanged()
{
    FPreviousValid = false;
    if (!FHistory.lastApplied() && Compare->isChecked())
        Compare->setChecked(false); // nothing to compare with any more
    FPlayer->setSounds(FDoc->FWave.get(), Compare->isChecked() ? previousSound() : nullptr);
    updatePlayControls();
}

const TWave* TForm1::previousSound()
{
    const std::shared_ptr<const SampleChange> step = FHistory.lastApplied();
    if (!FDoc->FWave || !step)
        return nullptr;
    if (!FPreviousValid) {
        FPrevious = step->undone(*FDoc->FWave);
        FPreviousValid = true;
    }
    return &FPrevious;
}

void TForm1::updatePlayControls()
{
    const bool available = FPlayer->available();
    const bool playable = available && FDoc->hasSamples();
    const bool playing = FPlayer->isPlaying();
    Play->setEnabled(playable && !playing && !FTaskRunning);
    Stop->setEnabled(playing);
    Compare->setEnabled(available && FHistory.lastApplied() != nullptr && !FTaskRunning);
    const auto [first, end] = PaintTools1->selectionSamples();
    PaintTools1->PlaySelection->setEnabled(playable && first != end && !FTaskRunning);
    if (available) {
        Play->setToolTip(tr("音を再生する"));
        Stop->setToolTip(tr("再生を止める"));
        Compare->setToolTip(tr("A/B: インポート前の音を同じ位置から再生する"));
    } else {
        const QString why = FPlayer->unavailableReason();
        for (QAction* a : {Play, Stop, Compare})
            a->setToolTip(why);
    }
}

void TForm1::PlayClick()
{
    guard([this] {
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
    guard([this, previous] {
        FPlayer->setSounds(FDoc->FWave.get(), previous ? previousSound() : nullptr);
        FPlayer->setComparing(previous);
    });
}

// The picture's columns are frames N/2 samples apart, N being the length the picture
// shown was analysed with.
int TForm1::frameColumn(double frame) const
{
    const double hop = FDoc->FFFTLength / 2;
    if (FDoc->FBitmap.isNull() || hop <= 0)
        return -1;
    return FDoc->FLeftMargin + int(std::lround(frame / hop));
}

double TForm1::columnFrame(int column) const
{
    if (FDoc->FBitmap.isNull())
        return 0.0;
    return double(column - FDoc->FLeftMargin) * (FDoc->FFFTLength / 2);
}

void TForm1::pictureClicked(QPoint position)
{
    // The time axis above the data and the data area set where playing starts; the
    // frequency axis at the left does not.
    if (FTaskRunning || !FDoc->FWave || position.x() < FDoc->FLeftMargin || frameColumn(0) < 0)
        return;
    const bool wasPlaying = FPlayer->isPlaying();
    FPlayer->stop();
    FPlayer->setStartFrame(columnFrame(position.x()));
    ScrollBox1->setStartMarker(frameColumn(FPlayer->startFrame()));
    if (wasPlaying)
        PlayClick();
}

void TForm1::applyStroke(const PaintStroke& stroke, MessageCode step)
{
    guard([this, &stroke, step] {
        if (FTaskRunning || !FDoc->geometryMatches())
            return;
        const DocumentPtr doc = FDoc;
        const CommandResult result = runLong(Message(PaintTexts::kApplying).text(),
            [doc, stroke](const PassFn& progress) { return doc->Paint(stroke, progress); });
        if (!result.ok) {
            showMessage(Message(
                result.cancelled ? MessageCode::PaintCancelled : MessageCode::PaintFailed, step));
            if (!result.cancelled)
                FDialogs->showError(this, result.message.text());
            return;
        }
        if (result.change)
            FHistory.record(stepRecord(step), result.change, FDoc->withoutSound(), result.clips);
        showDocument(result.document);
        showClips(result.clips);
        showMessage(Message(MessageCode::PaintApplied, step));
    });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (FTaskRunning)
        return;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), isSoundFile)
        || (Import->isEnabled() && std::any_of(urls.begin(), urls.end(), isPictureFile)))
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
    // No sound: the first picture is imported, as Import does after its dialog.
    if (!Import->isEnabled())
        return;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (isPictureFile(url)) {
            event->acceptProposedAction();
            const QString path = url.toLocalFile();
            QTimer::singleShot(0, this, [this, path] {
                guard([this, &path] {
                    if (FDoc->geometryMatches())
                        importPath(path);
                });
            });
            return;
        }
    }
}

// --- long commands ---------------------------------------------------------------------------

CommandResult TForm1::runLong(const QString& description, const Command& command)
{
    settleTasks();
    CommandResult outcome;
    bool done = false;
    QEventLoop loop;
    const QMetaObject::Connection finished
        = connect(FRunner.get(), &CommandRunner::finished, this, [&](const CommandResult& r) {
              outcome = r;
              done = true;
              loop.quit();
          });
    FTaskRunning = true;
    BusyCursor busy;
    {
        const InputBlock block(this, Stop);
        QProgressDialog progress(description, tr("キャンセル"), 0, 100, this);
        progress.setObjectName(QStringLiteral("ProgressDialog"));
        progress.setWindowTitle(QStringLiteral("Kestrelon"));
        // Not modal: the input block keeps the window from acting, and its close still
        // comes through to closeEvent.
        progress.setWindowModality(Qt::NonModal);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setMinimumDuration(500);
        progress.setValue(0); // starts the half second from now
        connect(&progress, &QProgressDialog::canceled, FRunner.get(), &CommandRunner::cancel);
        // The dialog hides itself on Cancel; it stays up, without the button, until the
        // worker has seen the cancel (at its next block of frames).
        connect(&progress, &QProgressDialog::canceled, this, [&progress, description] {
            progress.setCancelButton(nullptr);
            progress.setLabelText(
                description + QLatin1Char('\n') + Message(MessageCode::ProgressCancelling).text());
            progress.setRange(0, 0);
            progress.show();
        });
        // Emitted on the worker; queued to the dialog, which lives on this thread.
        connect(FRunner.get(), &CommandRunner::progress, &progress,
            [&progress, description](int percent, const QString& pass) {
                if (progress.wasCanceled())
                    return;
                progress.setLabelText(
                    pass.isEmpty() ? description : description + QStringLiteral("\n") + pass);
                progress.setValue(percent);
            });
        if (FRunner->start(command)) {
            if (FCloseRequested) // asked for while the dialog came up
                FRunner->cancel();
            if (!done)
                loop.exec();
        } else {
            outcome.message = MessageCode::AnotherCommandRunning;
        }
    }
    FTaskRunning = false;
    disconnect(finished);
    // The window was closed meanwhile: it closes now, once the handler has shown what
    // the command ended with.
    if (FCloseRequested)
        QTimer::singleShot(0, this, &QWidget::close);
    // Actions whose state changed while the command ran follow what they act on again.
    Undo->setEnabled(FHistory.canUndo());
    Redo->setEnabled(FHistory.canRedo());
    updatePlayControls();
    return outcome;
}

void TForm1::settleTasks()
{
    if (!FTaskRunning && FRunner->isRunning())
        FRunner->waitForFinished();
}

// --- the image editor ------------------------------------------------------------------------

void TForm1::showMessage(const Message& message, const Message& details)
{
    // A watch of the image editor that the command ended is named after what it did.
    Message shown = message;
    if (!FEndedNote.isEmpty() && !(message == FEndedNote))
        shown = Message(MessageCode::Join, message, FEndedNote);
    FEndedNote = Message();
    FStatus = shown;
    FStatusDetails = details;
    showStatusMessage();
    // The readout under the pointer shares the status bar's room with the message: a new
    // message has all of it for a while, even when the command ended with the pointer over
    // the picture (as a paint stroke does).
    if (!shown.isEmpty()) {
        PaintTools1->readout()->hide();
        FReadoutHold->start();
    }
}

void TForm1::updateUndoHints()
{
    // With no step to name, the tips of the window as built (the import's).
    if (FHistory.canUndo())
        Undo->setToolTip(
            Message(MessageCode::UndoHint, stepName(FHistory.text(FHistory.index() - 1))).text());
    else
        Undo->setToolTip(tr("インポートを取り消す"));
    if (FHistory.canRedo())
        Redo->setToolTip(
            Message(MessageCode::RedoHint, stepName(FHistory.text(FHistory.index()))).text());
    else
        Redo->setToolTip(tr("取り消したインポートをやり直す"));
}

void TForm1::showStatusMessage()
{
    const QString text = FStatus.text();
    MessagePanel->setText(text);
    MessagePanel->setToolTip(FStatusDetails.isEmpty() ? text : FStatusDetails.text());
    MessagePanel->setVisible(!FStatus.isEmpty());
}

void TForm1::checkEditSession()
{
    if (FSession)
        FSession->checkDocument(FDoc);
}

void TForm1::ExternalEditClick()
{
    guard([this] {
        if (!FDoc->geometryMatches())
            return;
        QString path = FDoc->proposedExportPath();
        // Beside the sound when its folder can be written; otherwise in the folder the
        // person chose for this before, or chooses now.
        const QString soundFolder = QFileInfo(path).absolutePath();
        if (!isWritableFolder(soundFolder)) {
            QString folder = editorExportFolder();
            if (!isWritableFolder(folder)) {
                folder = FDialogs->askFolder(this,
                    Message(MessageCode::ChooseExportFolder)
                        .text()
                        .arg(QDir::toNativeSeparators(soundFolder)),
                    folder);
                if (folder.isEmpty()) {
                    showMessage(Message(MessageCode::ExternalEditCancelled));
                    return;
                }
                setEditorExportFolder(folder);
            }
            path = QDir(folder).filePath(QFileInfo(path).fileName());
        }
        if (QFileInfo::exists(path) && !FDialogs->askYesNo(this, overwriteQuestion(path))) {
            showMessage(Message(MessageCode::ExternalEditCancelled));
            return;
        }
        // The previous watch would take this export for a save of the editor.
        FSession.reset();
        const CommandResult result = FDoc->Export(path);
        if (!result.ok) {
            showMessage(Message(MessageCode::ExportFailed, QFileInfo(path).fileName()));
            FDialogs->showError(this, result.message.text());
            return;
        }
        showDocument(result.document);
        FilterSD.fileName = path;
        FilterOD.fileName = FDoc->importProposal();
        FSession = std::make_unique<ExternalEditSession>(FDoc, path, FEditTiming);
        FSession->setRunner(FRunner.get());
        connect(FSession.get(), &ExternalEditSession::imported, this, &TForm1::externalImported);
        connect(FSession.get(), &ExternalEditSession::statusMessage, this,
            [this](const Message& message) { showMessage(message); });
        connect(FSession.get(), &ExternalEditSession::ended, this,
            [this](const Message& message) { FEndedNote = message; });
        const QString command = editorCommand();
        QString error;
        if (!FDialogs->launchEditor(command, path, &error)) {
            // Nothing to follow: the picture written for the editor goes again.
            FSession.reset();
            QFile::remove(path);
            showMessage(Message(MessageCode::ExternalEditFailed, QFileInfo(path).fileName()));
            FDialogs->showError(this, error);
            return;
        }
        // Short enough for the status bar; the tooltip says what a save does.
        const QString name = QFileInfo(path).fileName();
        showMessage(Message(MessageCode::EditorWaiting, name),
            Message(MessageCode::EditorWaitingDetails, name));
    });
}

void TForm1::externalImported(const ExternalImportStep& step)
{
    guard([this, &step] {
        FHistory.record(stepRecord(MessageCode::StepExternalEdit), step.change,
            FDoc->withoutSound(), step.clips);
        showDocument(step.document);
        showClips(step.clips);
    });
}

void TForm1::EditorSettingsClick()
{
    guard([this] {
        QString command = editorCommand();
        if (FDialogs->askEditorCommand(this, &command)) {
            setEditorCommand(command);
            showMessage(Message(MessageCode::EditorSet));
        } else {
            showMessage(Message(MessageCode::EditorSetCancelled));
        }
    });
}

void TForm1::HelpClick()
{
    guard([this] {
        if (!FHelp)
            FHelp = new HelpWindow(this);
        FHelp->show();
        FHelp->raise();
        FHelp->activateWindow();
    });
}

// --- recent files ----------------------------------------------------------------------------

void TForm1::rebuildRecentMenu()
{
    RecentMenu->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        // "&1 voice.wav", the whole path as the tip.
        QAction* item = RecentMenu->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()), this,
            [this, path] { openRecent(path); });
        item->setToolTip(QDir::toNativeSeparators(path));
        item->setStatusTip(QDir::toNativeSeparators(path));
    }
    if (files.isEmpty()) {
        RecentMenu->addAction(tr("(なし)"))->setEnabled(false);
        return;
    }
    RecentMenu->setToolTipsVisible(true);
    RecentMenu->addSeparator();
    RecentMenu->addAction(tr("一覧を消去(&C)"), this, [this] {
        if (FTaskRunning)
            return;
        clearRecentFiles();
        rebuildRecentMenu();
    });
}

void TForm1::openRecent(const QString& path)
{
    if (FTaskRunning)
        return; // its menu can still be opened while a command runs
    if (!QFileInfo(path).isFile()) {
        removeRecentFile(path);
        rebuildRecentMenu();
        const Message message(MessageCode::RecentFileMissing, QDir::toNativeSeparators(path));
        showMessage(message);
        FDialogs->showError(this, message.text());
        return;
    }
    openFile(path);
}

} // namespace kestrelon
