#pragma once
// TForm1: Kestrelon's main window. It holds the editing core (sound, engine, settings,
// display picture), the widgets that show them and the handlers of every command.
// Each handler asks the person through UserDialogs, calls the core, and shows what the
// core returns; anything the core throws ends that command only and is shown in an
// error box, and the window keeps working.

#include <memory>

#include <QMainWindow>

#include "app/UserDialogs.h"
#include "editing/EditorCore.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace kestrelon {

class PictureView;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // dialogs: where questions go; nullptr means real Qt dialogs owned by the window.
    explicit TForm1(UserDialogs* dialogs = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // Opens path as Open does after its dialog (the command line and drops use it).
    // A file that cannot be opened is reported and changes nothing. Returns success.
    bool openFile(const QString& path);

    EditorCore& core() { return FCore; }
    const EditorCore& core() const { return FCore; }

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
    PictureView* ScrollBox1; // shows FBitmap
    QStatusBar* StatusBar1;
    QLabel* StatusPanels[6]; // sec, samples, ch, Hz, bit, frames

    // Actions; the menu items O1, S1, P1 and L1 are these actions in the menus.
    QAction* Open;
    QAction* Save;
    QAction* Export;
    QAction* Import;
    QMenu* FileMenu;
    QMenu* EditMenu;
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

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildActions();
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();

    // Runs one command; whatever it throws is shown in an error box.
    template <class Command> void runCommand(Command&& command);
    bool openPath(const QString& path);
    void ExportFilter();
    void ImportFilter();
    void showPicture();
    void showStatus();
    void setFileCommandsEnabled(bool enabled);

    std::unique_ptr<UserDialogs> FOwnDialogs;
    UserDialogs* FDialogs;
    EditorCore FCore;
};

} // namespace kestrelon
