// The message table: one Japanese text per MessageCode, in the enum's order; and the
// rendering of a Message in the language installed.
//
// Texts end without a full stop (the window puts them in boxes and the status bar, the
// command line after "kestrelon-cli: "). %1, %2, ... are the message's arguments in order.

#include "base/Message.h"

#include <memory>

#include <QCoreApplication>
#include <QTranslator>

namespace kestrelon {

namespace {

struct Entry {
    MessageCode code;
    MessageSource source;
};

// clang-format off
constexpr Entry kTable[] = {
    {MessageCode::None, {"", "None"}},
    // --- general -------------------------------------------------------------------------
    {MessageCode::Join, QT_TRANSLATE_NOOP3("Message", "%1。%2", "Join")},
    {MessageCode::FileReason, QT_TRANSLATE_NOOP3("Message", "%1: %2", "FileReason")},
    {MessageCode::OutOfMemory, QT_TRANSLATE_NOOP3("Message", "メモリが足りません", "OutOfMemory")},
    {MessageCode::Cancelled, QT_TRANSLATE_NOOP3("Message", "キャンセルしました", "Cancelled")},
    {MessageCode::Internal, QT_TRANSLATE_NOOP3("Message", "%1", "Internal")},
    // --- files ---------------------------------------------------------------------------
    {MessageCode::CannotOpen, QT_TRANSLATE_NOOP3("Message", "開けません: %1", "CannotOpen")},
    {MessageCode::CannotRead, QT_TRANSLATE_NOOP3("Message", "読み込めません: %1", "CannotRead")},
    {MessageCode::CannotCreate, QT_TRANSLATE_NOOP3("Message", "作成できません: %1", "CannotCreate")},
    {MessageCode::CannotWrite, QT_TRANSLATE_NOOP3("Message", "書き込めません: %1", "CannotWrite")},
    {MessageCode::CannotWriteNoMemory, QT_TRANSLATE_NOOP3("Message", "メモリが足りないため書き込めません", "CannotWriteNoMemory")},
    {MessageCode::CannotKeepPermissions, QT_TRANSLATE_NOOP3("Message", "ファイルのアクセス権を保てません: %1", "CannotKeepPermissions")},
    {MessageCode::NotRegularFile, QT_TRANSLATE_NOOP3("Message", "通常のファイルではありません（%1）", "NotRegularFile")},
    {MessageCode::OutputNotRegularFile, QT_TRANSLATE_NOOP3("Message", "通常のファイルではありません（%1）", "OutputNotRegularFile")},
    {MessageCode::KindFolder, QT_TRANSLATE_NOOP3("Message", "フォルダ", "KindFolder")},
    {MessageCode::KindFifo, QT_TRANSLATE_NOOP3("Message", "FIFO", "KindFifo")},
    {MessageCode::KindCharDevice, QT_TRANSLATE_NOOP3("Message", "キャラクタデバイス", "KindCharDevice")},
    {MessageCode::KindBlockDevice, QT_TRANSLATE_NOOP3("Message", "ブロックデバイス", "KindBlockDevice")},
    {MessageCode::KindSocket, QT_TRANSLATE_NOOP3("Message", "ソケット", "KindSocket")},
    {MessageCode::KindOther, QT_TRANSLATE_NOOP3("Message", "ファイル以外のもの", "KindOther")},
    {MessageCode::NamesFolder, QT_TRANSLATE_NOOP3("Message", "ファイルではなくフォルダの名前です", "NamesFolder")},
    {MessageCode::FileTooLarge, QT_TRANSLATE_NOOP3("Message", "ファイルが %1 バイトあり、上限の %2 バイトを超えています", "FileTooLarge")},
    {MessageCode::FileGrew, QT_TRANSLATE_NOOP3("Message", "読み込み中にファイルが大きくなりました", "FileGrew")},
    {MessageCode::FileUnreadable, QT_TRANSLATE_NOOP3("Message", "ファイルを読み込めません", "FileUnreadable")},
    {MessageCode::CannotBeReadCode, QT_TRANSLATE_NOOP3("Message", "読み込めません（コード %1）", "CannotBeReadCode")},
    {MessageCode::CannotBeWritten, QT_TRANSLATE_NOOP3("Message", "書き込めません", "CannotBeWritten")},
    // --- engine errors -------------------------------------------------------------------
    {MessageCode::IntOverflow, QT_TRANSLATE_NOOP3("Message", "%1が大きすぎて計算できません（整数のオーバーフロー）", "IntOverflow")},
    {MessageCode::FloatOverflow, QT_TRANSLATE_NOOP3("Message", "計算が数値の範囲を超えました（浮動小数点のオーバーフロー）: %1", "FloatOverflow")},
    {MessageCode::NegativeLength, QT_TRANSLATE_NOOP3("Message", "%1の長さが負です", "NegativeLength")},
    // --- the window ----------------------------------------------------------------------
    {MessageCode::Opened, QT_TRANSLATE_NOOP3("Message", "%1 を開きました", "Opened")},
    {MessageCode::OpenCancelled, QT_TRANSLATE_NOOP3("Message", "開く操作をキャンセルしました", "OpenCancelled")},
    {MessageCode::OpenFailed, QT_TRANSLATE_NOOP3("Message", "%1 を開けませんでした", "OpenFailed")},
    {MessageCode::Saved, QT_TRANSLATE_NOOP3("Message", "%1 に保存しました", "Saved")},
    {MessageCode::SaveCancelled, QT_TRANSLATE_NOOP3("Message", "保存をキャンセルしました", "SaveCancelled")},
    {MessageCode::SaveFailed, QT_TRANSLATE_NOOP3("Message", "%1 に保存できませんでした", "SaveFailed")},
    {MessageCode::Exported, QT_TRANSLATE_NOOP3("Message", "%1 に書き出しました", "Exported")},
    {MessageCode::ExportCancelled, QT_TRANSLATE_NOOP3("Message", "エクスポートをキャンセルしました", "ExportCancelled")},
    {MessageCode::ExportFailed, QT_TRANSLATE_NOOP3("Message", "%1 に書き出せませんでした", "ExportFailed")},
    {MessageCode::Imported, QT_TRANSLATE_NOOP3("Message", "%1 を適用しました", "Imported")},
    {MessageCode::ImportCancelled, QT_TRANSLATE_NOOP3("Message", "インポートをキャンセルしました", "ImportCancelled")},
    {MessageCode::ImportFailed, QT_TRANSLATE_NOOP3("Message", "%1 を適用できませんでした", "ImportFailed")},
    {MessageCode::Undone, QT_TRANSLATE_NOOP3("Message", "%1 を元に戻しました", "Undone")},
    {MessageCode::UndoCancelled, QT_TRANSLATE_NOOP3("Message", "元に戻す操作をキャンセルしました", "UndoCancelled")},
    {MessageCode::UndoFailed, QT_TRANSLATE_NOOP3("Message", "元に戻せませんでした", "UndoFailed")},
    {MessageCode::Redone, QT_TRANSLATE_NOOP3("Message", "%1 をやり直しました", "Redone")},
    {MessageCode::RedoCancelled, QT_TRANSLATE_NOOP3("Message", "やり直しをキャンセルしました", "RedoCancelled")},
    {MessageCode::RedoFailed, QT_TRANSLATE_NOOP3("Message", "やり直せませんでした", "RedoFailed")},
    {MessageCode::ViewShown, QT_TRANSLATE_NOOP3("Message", "%1 を表示しました", "ViewShown")},
    {MessageCode::ViewCancelled, QT_TRANSLATE_NOOP3("Message", "表示の切り替えをキャンセルしました", "ViewCancelled")},
    {MessageCode::ViewFailed, QT_TRANSLATE_NOOP3("Message", "表示を切り替えられませんでした", "ViewFailed")},
    {MessageCode::LengthChanged, QT_TRANSLATE_NOOP3("Message", "FFT長 %1 で解析しました", "LengthChanged")},
    {MessageCode::LengthCancelled, QT_TRANSLATE_NOOP3("Message", "FFT長の変更をキャンセルしました", "LengthCancelled")},
    {MessageCode::LengthFailed, QT_TRANSLATE_NOOP3("Message", "FFT長を変更できませんでした", "LengthFailed")},
    {MessageCode::EditorSet, QT_TRANSLATE_NOOP3("Message", "外部エディタの設定を保存しました", "EditorSet")},
    {MessageCode::EditorSetCancelled, QT_TRANSLATE_NOOP3("Message", "外部エディタの設定をキャンセルしました", "EditorSetCancelled")},
    {MessageCode::ExternalEditCancelled, QT_TRANSLATE_NOOP3("Message", "外部エディタでの編集をキャンセルしました", "ExternalEditCancelled")},
    {MessageCode::ExternalEditFailed, QT_TRANSLATE_NOOP3("Message", "%1 を外部エディタで開けませんでした", "ExternalEditFailed")},
    {MessageCode::CloseWhileBusy, QT_TRANSLATE_NOOP3("Message", "実行中の処理をキャンセルしてウィンドウを閉じますか？", "CloseWhileBusy")},
    {MessageCode::ChooseExportFolder, QT_TRANSLATE_NOOP3("Message", "%1 には書き込めません。画像を書き出すフォルダを選んでください", "ChooseExportFolder")},
    {MessageCode::NoEditorApplication, QT_TRANSLATE_NOOP3("Message", "%1 を開くアプリケーションがありません。[編集] メニューの [外部エディタの設定...] で画像エディタのコマンドを設定してください", "NoEditorApplication")},
    {MessageCode::EditorNoProgram, QT_TRANSLATE_NOOP3("Message", "外部エディタのコマンド \"%1\" にプログラムがありません。[編集] メニューの [外部エディタの設定...] で設定し直してください", "EditorNoProgram")},
    {MessageCode::EditorNotStarted, QT_TRANSLATE_NOOP3("Message", "外部エディタ %1 を起動できませんでした。[編集] メニューの [外部エディタの設定...] でコマンドを確かめてください", "EditorNotStarted")},
    {MessageCode::RecentFileMissing, QT_TRANSLATE_NOOP3("Message", "%1 が見つかりません。最近使ったファイルから外しました", "RecentFileMissing")},
    {MessageCode::ProgressOpening, QT_TRANSLATE_NOOP3("Message", "%1 を開いています", "ProgressOpening")},
    {MessageCode::ProgressCepstrum, QT_TRANSLATE_NOOP3("Message", "ケプストラムを計算しています", "ProgressCepstrum")},
    {MessageCode::ProgressSpectrum, QT_TRANSLATE_NOOP3("Message", "スペクトルを描いています", "ProgressSpectrum")},
    {MessageCode::ProgressAnalysing, QT_TRANSLATE_NOOP3("Message", "FFT長 %1 で解析しています", "ProgressAnalysing")},
    {MessageCode::ProgressCreatingSpectrum, QT_TRANSLATE_NOOP3("Message", "スペクトルを作成しています", "ProgressCreatingSpectrum")},
    {MessageCode::ProgressResynthesising, QT_TRANSLATE_NOOP3("Message", "再合成しています", "ProgressResynthesising")},
    {MessageCode::ProgressImporting, QT_TRANSLATE_NOOP3("Message", "%1 をインポートしています", "ProgressImporting")},
    {MessageCode::ProgressUndoing, QT_TRANSLATE_NOOP3("Message", "元に戻しています", "ProgressUndoing")},
    {MessageCode::ProgressRedoing, QT_TRANSLATE_NOOP3("Message", "やり直しています", "ProgressRedoing")},
    {MessageCode::ProgressCancelling, QT_TRANSLATE_NOOP3("Message", "キャンセルしています…", "ProgressCancelling")},
    {MessageCode::ProgressEditorPicture, QT_TRANSLATE_NOOP3("Message", "外部エディタの画像を適用しています (%1%)", "ProgressEditorPicture")},
    {MessageCode::StepImport, QT_TRANSLATE_NOOP3("Message", "インポート", "StepImport")},
    {MessageCode::StepExternalEdit, QT_TRANSLATE_NOOP3("Message", "外部エディタの編集", "StepExternalEdit")},
    {MessageCode::EditorWaiting, QT_TRANSLATE_NOOP3("Message", "%1 の保存を待っています", "EditorWaiting")},
    {MessageCode::EditorWaitingDetails, QT_TRANSLATE_NOOP3("Message", "%1 を外部エディタで開きました。保存するたびに、書き出した時の音にその絵が適用されます（FFT長・表示・音を変えると終わります）", "EditorWaitingDetails")},
    {MessageCode::ClipReport, QT_TRANSLATE_NOOP3("Message", "クリップ %1 サンプル (ピーク %2)", "ClipReport")},
    {MessageCode::ClipDetails, QT_TRANSLATE_NOOP3("Message", "インポートで %1 サンプルがクリップしました。クリップ前のピークはフルスケールの %2 倍 (%3) です", "ClipDetails")},
    {MessageCode::OverReport, QT_TRANSLATE_NOOP3("Message", "フルスケール超過 %1 サンプル (ピーク %2)", "OverReport")},
    {MessageCode::OverDetails, QT_TRANSLATE_NOOP3("Message", "インポートで %1 サンプルがフルスケールを超えました。浮動小数点のサンプルなのでそのまま保存されます。ピークはフルスケールの %2 倍 (%3) です", "OverDetails")},
};
// clang-format on

constexpr bool tableInOrder()
{
    if (std::size(kTable) != std::size_t(MessageCode::Count))
        return false;
    for (std::size_t i = 0; i < std::size(kTable); ++i)
        if (kTable[i].code != MessageCode(i))
            return false;
    return true;
}
static_assert(tableInOrder(), "kTable must list every MessageCode once, in the enum's order");

// text with %1, %2, ... replaced by args (rendered by render); "%%" stays as it is, and a
// number without its argument is left in place.
template <class Render>
QString substitute(const QString& text, const std::vector<MessageArg>& args, Render render)
{
    QString out;
    out.reserve(text.size() + 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('%') || i + 1 >= text.size() || !text[i + 1].isDigit()) {
            out += c;
            continue;
        }
        qsizetype j = i + 1;
        int n = 0;
        while (j < text.size() && text[j].isDigit() && n < 100)
            n = n * 10 + text[j++].digitValue();
        if (n >= 1 && std::size_t(n) <= args.size()) {
            const MessageArg& a = args[std::size_t(n - 1)];
            out += a.message ? render(*a.message) : a.text;
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out;
}

struct LanguageState {
    std::unique_ptr<QTranslator> translator;
    Language language = Language::Japanese;
};

LanguageState& languageState()
{
    static LanguageState state;
    return state;
}

} // namespace

const MessageSource& messageSource(MessageCode code)
{
    const auto i = std::size_t(code);
    return kTable[i < std::size(kTable) ? i : 0].source;
}

QString Message::text() const
{
    if (isEmpty())
        return QString();
    const MessageSource& s = messageSource(FCode);
    return substitute(QCoreApplication::translate(kMessageContext, s.text, s.name), FArgs,
        [](const Message& m) { return m.text(); });
}

QString Message::sourceText() const
{
    if (isEmpty())
        return QString();
    return substitute(QString::fromUtf8(messageSource(FCode).text), FArgs,
        [](const Message& m) { return m.sourceText(); });
}

Message Message::then(const Message& other) const
{
    if (other.isEmpty())
        return *this;
    if (isEmpty())
        return other;
    return Message(MessageCode::Join, *this, other);
}

bool Message::operator==(const Message& other) const
{
    if (FCode != other.FCode || FArgs.size() != other.FArgs.size())
        return false;
    for (std::size_t i = 0; i < FArgs.size(); ++i) {
        const MessageArg& a = FArgs[i];
        const MessageArg& b = other.FArgs[i];
        if (bool(a.message) != bool(b.message))
            return false;
        if (a.message ? !(*a.message == *b.message) : a.text != b.text)
            return false;
    }
    return true;
}

bool setMessageLanguage(Language language)
{
    LanguageState& state = languageState();
    if (state.translator) {
        QCoreApplication::removeTranslator(state.translator.get());
        state.translator.reset();
    }
    state.language = Language::Japanese;
    if (language == Language::Japanese)
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/i18n/kestrelon_en.qm"))
        || !QCoreApplication::installTranslator(translator.get()))
        return false;
    state.translator = std::move(translator);
    state.language = language;
    return true;
}

Language messageLanguage()
{
    return languageState().language;
}

QString languageName(Language language)
{
    return language == Language::English ? QStringLiteral("en") : QStringLiteral("ja");
}

Language languageFromName(const QString& name, Language fallback)
{
    if (name == QLatin1String("ja"))
        return Language::Japanese;
    if (name == QLatin1String("en"))
        return Language::English;
    return fallback;
}

} // namespace kestrelon
