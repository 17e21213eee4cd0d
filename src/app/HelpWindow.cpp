#include "app/HelpWindow.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "base/Message.h"

namespace kestrelon {

HelpWindow::HelpWindow(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpWindow"));
    auto* column = new QVBoxLayout(this);
    FBrowser = new QTextBrowser(this);
    FBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    FBrowser->setOpenExternalLinks(true);
    column->addWidget(FBrowser);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    column->addWidget(buttons);
    resize(640, 560);
    showPage();
}

void HelpWindow::showPage()
{
    setWindowTitle(tr("Kestrelon ヘルプ"));
    FBrowser->setSource(QUrl(messageLanguage() == Language::English
            ? QStringLiteral("qrc:/kestrelon/help/index_en.html")
            : QStringLiteral("qrc:/kestrelon/help/index.html")));
}

} // namespace kestrelon
