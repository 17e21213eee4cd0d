#pragma once
// The help window of F1: the page shipped with the program (qrc:/kestrelon/help/index.html)
// in a text browser. Not modal; the main window keeps one and raises it again.

#include <QDialog>

class QTextBrowser;

namespace kestrelon {

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    QTextBrowser* browser() const { return FBrowser; }

private:
    QTextBrowser* FBrowser;
};

} // namespace kestrelon
