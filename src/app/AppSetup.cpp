#include "app/AppSetup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QSvgRenderer>
#include <QTranslator>

#ifndef KESTRELON_VERSION
#error "KESTRELON_VERSION must be defined by the build"
#endif

// The icons are compiled into this static library; its resource initialiser is only
// linked in when something refers to it.
static void initKestrelonResources()
{
    Q_INIT_RESOURCE(kestrelon);
}

namespace kestrelon {

QFont uiFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
        QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return font;
}

bool installQtTranslation(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

namespace {

QIcon iconFromSvg(const QString& resource)
{
    static const bool resourcesReady = (initKestrelonResources(), true);
    (void)resourcesReady;
    QSvgRenderer renderer(resource);
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int size : {16, 20, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon actionIcon(const QString& name)
{
    return iconFromSvg(QStringLiteral(":/kestrelon/icons/") + name + QStringLiteral(".svg"));
}

QIcon appIcon()
{
    return iconFromSvg(QStringLiteral(":/kestrelon/icons/kestrelon.svg"));
}

QString versionString()
{
    return QStringLiteral(KESTRELON_VERSION);
}

} // namespace kestrelon
