#include "app/About.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/AppSetup.h"

namespace kestrelon {

namespace {

QLabel* placeLabel(QWidget* parent, const char* name, int left, int top, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

TForm2::TForm2(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(tr("Kestrelonの使い方"));
    setFont(uiFont());
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(389, 134);

    Label1 = placeLabel(this, "Label1", 16, 16, tr("1 Waveファイルを読み込む"));
    Label2 = placeLabel(this, "Label2", 16, 32,
        tr("2 スペクトラムまたはケプストラムをBitmapとしてエクスポートする"));
    Label3 = placeLabel(this, "Label3", 16, 48,
        tr("3 スペクトラムまたはケプストラムを外部の画像処理ソフトで加工する"));
    Label4 = placeLabel(
        this, "Label4", 16, 64, tr("4 加工したスペクトラムまたはケプストラムをインポートする"));
    Label5 = placeLabel(this, "Label5", 16, 80, tr("5 Weveファイルを保存する"));
    Label6 = placeLabel(this, "Label6", 240, 112, QStringLiteral("ver ") + versionString());

    Button1 = new QPushButton(tr("閉じる(&C)"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(152, 104, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);

    // Centred on the screen, not on the main window.
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TForm2::Button1Click()
{
    accept();
}

} // namespace kestrelon
