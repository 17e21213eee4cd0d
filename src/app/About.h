#pragma once
// TForm2: the About box, "Kestrelonの使い方". A fixed-size modal dialog whose five
// labels give the workflow, with the version and a close button. The main window
// creates one each time it is shown and frees it when it closes.

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrelon {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6; // "ver 1.0.0"
    QPushButton* Button1;

private slots:
    void Button1Click();
};

} // namespace kestrelon
