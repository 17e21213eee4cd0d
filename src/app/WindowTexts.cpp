#include "app/WindowTexts.h"

#include <iterator>

#include <QCoreApplication>

namespace kestrelon {

namespace {

struct Entry {
    WindowText code;
    const char* source;
};

// In the order of the codes.
constexpr Entry kTexts[] = {
    {WindowText::Opened, QT_TRANSLATE_NOOP("WindowText", "%1 を開きました")},
    {WindowText::OpenCancelled, QT_TRANSLATE_NOOP("WindowText", "開く操作をキャンセルしました")},
    {WindowText::OpenFailed, QT_TRANSLATE_NOOP("WindowText", "%1 を開けませんでした")},
    {WindowText::Saved, QT_TRANSLATE_NOOP("WindowText", "%1 に保存しました")},
    {WindowText::SaveCancelled, QT_TRANSLATE_NOOP("WindowText", "保存をキャンセルしました")},
    {WindowText::SaveFailed, QT_TRANSLATE_NOOP("WindowText", "%1 に保存できませんでした")},
    {WindowText::Exported, QT_TRANSLATE_NOOP("WindowText", "%1 に書き出しました")},
    {WindowText::ExportCancelled,
        QT_TRANSLATE_NOOP("WindowText", "エクスポートをキャンセルしました")},
    {WindowText::ExportFailed, QT_TRANSLATE_NOOP("WindowText", "%1 に書き出せませんでした")},
    {WindowText::Imported, QT_TRANSLATE_NOOP("WindowText", "%1 を適用しました")},
    {WindowText::ImportCancelled,
        QT_TRANSLATE_NOOP("WindowText", "インポートをキャンセルしました")},
    {WindowText::ImportFailed, QT_TRANSLATE_NOOP("WindowText", "%1 を適用できませんでした")},
    {WindowText::Undone, QT_TRANSLATE_NOOP("WindowText", "%1 を元に戻しました")},
    {WindowText::UndoCancelled,
        QT_TRANSLATE_NOOP("WindowText", "元に戻す操作をキャンセルしました")},
    {WindowText::UndoFailed, QT_TRANSLATE_NOOP("WindowText", "元に戻せませんでした")},
    {WindowText::Redone, QT_TRANSLATE_NOOP("WindowText", "%1 をやり直しました")},
    {WindowText::RedoCancelled, QT_TRANSLATE_NOOP("WindowText", "やり直しをキャンセルしました")},
    {WindowText::RedoFailed, QT_TRANSLATE_NOOP("WindowText", "やり直せませんでした")},
    {WindowText::ViewShown, QT_TRANSLATE_NOOP("WindowText", "%1 を表示しました")},
    {WindowText::ViewCancelled,
        QT_TRANSLATE_NOOP("WindowText", "表示の切り替えをキャンセルしました")},
    {WindowText::ViewFailed, QT_TRANSLATE_NOOP("WindowText", "表示を切り替えられませんでした")},
    {WindowText::LengthChanged, QT_TRANSLATE_NOOP("WindowText", "FFT長 %1 で解析しました")},
    {WindowText::LengthCancelled,
        QT_TRANSLATE_NOOP("WindowText", "FFT長の変更をキャンセルしました")},
    {WindowText::LengthFailed, QT_TRANSLATE_NOOP("WindowText", "FFT長を変更できませんでした")},
    {WindowText::EditorSet, QT_TRANSLATE_NOOP("WindowText", "外部エディタの設定を保存しました")},
    {WindowText::EditorSetCancelled,
        QT_TRANSLATE_NOOP("WindowText", "外部エディタの設定をキャンセルしました")},
    {WindowText::ExternalEditCancelled,
        QT_TRANSLATE_NOOP("WindowText", "外部エディタでの編集をキャンセルしました")},
    {WindowText::ExternalEditFailed,
        QT_TRANSLATE_NOOP("WindowText", "%1 を外部エディタで開けませんでした")},
    {WindowText::NoSamples,
        QT_TRANSLATE_NOOP("WindowText", "音にサンプルがないため、画像はありません")},
    {WindowText::CloseWhileBusy,
        QT_TRANSLATE_NOOP("WindowText", "実行中の処理をキャンセルしてウィンドウを閉じますか？")},
    {WindowText::ChooseExportFolder,
        QT_TRANSLATE_NOOP(
            "WindowText", "%1 には書き込めません。画像を書き出すフォルダを選んでください")},
    {WindowText::NoEditorApplication,
        QT_TRANSLATE_NOOP("WindowText",
            "%1 を開くアプリケーションがありません。[編集] メニューの [外部エディタの設定...] "
            "で画像エディタのコマンドを設定してください。")},
    {WindowText::EditorNoProgram,
        QT_TRANSLATE_NOOP("WindowText",
            "外部エディタのコマンド \"%1\" にプログラムがありません。[編集] メニューの "
            "[外部エディタの設定...] で設定し直してください。")},
    {WindowText::EditorNotStarted,
        QT_TRANSLATE_NOOP("WindowText",
            "外部エディタ %1 を起動できませんでした。[編集] メニューの [外部エディタの設定...] "
            "でコマンドを確かめてください。")},
    {WindowText::RecentFilesMenu, QT_TRANSLATE_NOOP("WindowText", "最近使ったファイル(&R)")},
    {WindowText::RecentFilesEmpty, QT_TRANSLATE_NOOP("WindowText", "(なし)")},
    {WindowText::RecentFilesClear, QT_TRANSLATE_NOOP("WindowText", "一覧を消去(&C)")},
    {WindowText::RecentFileMissing,
        QT_TRANSLATE_NOOP("WindowText", "%1 が見つかりません。最近使ったファイルから外しました。")},
    {WindowText::QuitItem, QT_TRANSLATE_NOOP("WindowText", "終了(&X)")},
    {WindowText::HelpItem, QT_TRANSLATE_NOOP("WindowText", "Kestrelon のヘルプ(&H)")},
    {WindowText::HelpTitle, QT_TRANSLATE_NOOP("WindowText", "Kestrelon ヘルプ")},
    {WindowText::PictureFilesFilter, QT_TRANSLATE_NOOP("WindowText", "フィルタ画像 (*.bmp *.png)")},
    {WindowText::BmpFilesFilter, QT_TRANSLATE_NOOP("WindowText", "BMP ファイル (*.bmp)")},
    {WindowText::PngFilesFilter, QT_TRANSLATE_NOOP("WindowText", "PNG ファイル (*.png)")},
    {WindowText::AllFilesFilter, QT_TRANSLATE_NOOP("WindowText", "すべてのファイル (*)")},
};

static_assert(std::size(kTexts) == std::size_t(kWindowTextCount), "one text per code");

} // namespace

QString windowText(WindowText code)
{
    const auto index = std::size_t(code);
    if (index >= std::size(kTexts) || kTexts[index].code != code)
        return {};
    return QCoreApplication::translate("WindowText", kTexts[index].source);
}

} // namespace kestrelon
