// The message table against its English translation, and how a message is rendered.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>
#include <QXmlStreamReader>

#include "base/Message.h"

namespace kestrelon::test {
namespace {

QSet<QString> placeholders(const QString& text)
{
    QSet<QString> found;
    static const QRegularExpression number(QStringLiteral("%[0-9]+"));
    for (const QRegularExpressionMatch& m : number.globalMatch(text))
        found.insert(m.captured());
    return found;
}

// Every code has a Japanese text and an English translation with the same placeholders.
TEST(Messages, EveryCodeHasJapaneseAndEnglish)
{
    QTranslator english;
    ASSERT_TRUE(english.load(QStringLiteral(":/i18n/kestrelon_en.qm")));
    for (int i = 1; i < int(MessageCode::Count); ++i) {
        const MessageSource& s = messageSource(MessageCode(i));
        SCOPED_TRACE(s.name);
        const QString ja = QString::fromUtf8(s.text);
        EXPECT_FALSE(ja.isEmpty());
        const QString en = english.translate(kMessageContext, s.text, s.name);
        EXPECT_FALSE(en.isEmpty()) << "no English for " << s.name;
        EXPECT_EQ(placeholders(ja), placeholders(en)) << en.toStdString();
    }
}

// Every text of the translation file (the window's tr() texts among them) has a finished
// English translation with the placeholders of its source.
TEST(Messages, EveryTextOfTheTranslationIsTranslated)
{
    QFile ts(QStringLiteral(KESTRELON_SOURCE_DIR "/translations/kestrelon_en.ts"));
    ASSERT_TRUE(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString context, source;
    int count = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const bool unfinished
                = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            const QString en = xml.readElementText();
            SCOPED_TRACE((context + QStringLiteral(": ") + source).toStdString());
            EXPECT_FALSE(unfinished || en.isEmpty());
            EXPECT_EQ(placeholders(source), placeholders(en)) << en.toStdString();
            ++count;
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(count, int(MessageCode::Count));
}

// Arguments go in their places (a "%1" inside one stays), messages among them in the same
// language; the language set is also the one of the application's translate (tr()).
TEST(Messages, RendersNestedArgumentsInTheLanguageSet)
{
    const Message m(MessageCode::FileReason, QStringLiteral("/tmp/a%1.wav"),
        Message(MessageCode::FileTooLarge, 10, qint64(5)));
    EXPECT_EQ(m.text(),
        QStringLiteral("/tmp/a%1.wav: ファイルが 10 バイトあり、上限の 5 バイトを超えています"));
    EXPECT_EQ(m.text(Language::English),
        QStringLiteral("/tmp/a%1.wav: the file is 10 bytes, more than the 5 bytes allowed"));

    int argc = 1;
    char name[] = "messages_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const MessageSource& s = messageSource(MessageCode::CannotOpen);
    ASSERT_TRUE(setMessageLanguage(Language::English));
    EXPECT_EQ(m.text(), m.text(Language::English));
    EXPECT_EQ(QCoreApplication::translate(kMessageContext, s.text, s.name),
        QStringLiteral("cannot open: %1"));
    ASSERT_TRUE(setMessageLanguage(Language::Japanese));
    EXPECT_EQ(Message(MessageCode::CannotOpen, QStringLiteral("x")).text(),
        QStringLiteral("開けません: x"));
    EXPECT_EQ(
        QCoreApplication::translate(kMessageContext, s.text, s.name), QString::fromUtf8(s.text));
}

} // namespace
} // namespace kestrelon::test
