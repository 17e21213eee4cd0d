#pragma once
// The help window of F1: the page shipped with the program in the language of the window
// (qrc:/kestrelon/help/index.html in Japanese, index_en.html in English) in a text
// browser. Not modal; the main window keeps one and raises it again.

#include <QDialog>

class QTextBrowser;

namespace kestrelon {

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    QTextBrowser* browser() const { return FBrowser; }
    // Shows the page (and title) of the language installed; again after a change.
    void showPage();

private:
    QTextBrowser* FBrowser;
};

} // namespace kestrelon
