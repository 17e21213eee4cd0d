<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Message</name>
    <message>
        <source>%1。%2</source>
        <comment>Join</comment>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <comment>FileReason</comment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>メモリが足りません</source>
        <comment>OutOfMemory</comment>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source>キャンセルしました</source>
        <comment>Cancelled</comment>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>%1</source>
        <comment>Internal</comment>
        <translation>%1</translation>
    </message>
    <message>
        <source>開けません: %1</source>
        <comment>CannotOpen</comment>
        <translation>cannot open: %1</translation>
    </message>
    <message>
        <source>読み込めません: %1</source>
        <comment>CannotRead</comment>
        <translation>cannot read: %1</translation>
    </message>
    <message>
        <source>作成できません: %1</source>
        <comment>CannotCreate</comment>
        <translation>cannot create: %1</translation>
    </message>
    <message>
        <source>書き込めません: %1</source>
        <comment>CannotWrite</comment>
        <translation>cannot write: %1</translation>
    </message>
    <message>
        <source>メモリが足りないため書き込めません</source>
        <comment>CannotWriteNoMemory</comment>
        <translation>cannot write: not enough memory</translation>
    </message>
    <message>
        <source>ファイルのアクセス権を保てません: %1</source>
        <comment>CannotKeepPermissions</comment>
        <translation>cannot keep the file&apos;s permissions: %1</translation>
    </message>
    <message>
        <source>通常のファイルではありません（%1）</source>
        <comment>NotRegularFile</comment>
        <translation>not a regular file (%1)</translation>
    </message>
    <message>
        <source>通常のファイルではありません（%1）</source>
        <comment>OutputNotRegularFile</comment>
        <translation>is not a regular file (%1)</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <comment>KindFolder</comment>
        <translation>a folder</translation>
    </message>
    <message>
        <source>FIFO</source>
        <comment>KindFifo</comment>
        <translation>a FIFO</translation>
    </message>
    <message>
        <source>キャラクタデバイス</source>
        <comment>KindCharDevice</comment>
        <translation>a character device</translation>
    </message>
    <message>
        <source>ブロックデバイス</source>
        <comment>KindBlockDevice</comment>
        <translation>a block device</translation>
    </message>
    <message>
        <source>ソケット</source>
        <comment>KindSocket</comment>
        <translation>a socket</translation>
    </message>
    <message>
        <source>ファイル以外のもの</source>
        <comment>KindOther</comment>
        <translation>not a file</translation>
    </message>
    <message>
        <source>ファイルではなくフォルダの名前です</source>
        <comment>NamesFolder</comment>
        <translation>names a folder, not a file</translation>
    </message>
    <message>
        <source>ファイルが %1 バイトあり、上限の %2 バイトを超えています</source>
        <comment>FileTooLarge</comment>
        <translation>the file is %1 bytes, more than the %2 bytes allowed</translation>
    </message>
    <message>
        <source>読み込み中にファイルが大きくなりました</source>
        <comment>FileGrew</comment>
        <translation>the file grew while it was read</translation>
    </message>
    <message>
        <source>ファイルを読み込めません</source>
        <comment>FileUnreadable</comment>
        <translation>the file cannot be read</translation>
    </message>
    <message>
        <source>読み込めません（コード %1）</source>
        <comment>CannotBeReadCode</comment>
        <translation>cannot be read (code %1)</translation>
    </message>
    <message>
        <source>書き込めません</source>
        <comment>CannotBeWritten</comment>
        <translation>cannot be written</translation>
    </message>
    <message>
        <source>%1が大きすぎて計算できません（整数のオーバーフロー）</source>
        <comment>IntOverflow</comment>
        <translation>integer overflow: %1</translation>
    </message>
    <message>
        <source>計算が数値の範囲を超えました（浮動小数点のオーバーフロー）: %1</source>
        <comment>FloatOverflow</comment>
        <translation>floating-point overflow: %1</translation>
    </message>
    <message>
        <source>%1の長さが負です</source>
        <comment>NegativeLength</comment>
        <translation>negative length of %1</translation>
    </message>
    <message>
        <source>%1 を開きました</source>
        <comment>Opened</comment>
        <translation>opened %1</translation>
    </message>
    <message>
        <source>開く操作をキャンセルしました</source>
        <comment>OpenCancelled</comment>
        <translation>opening cancelled</translation>
    </message>
    <message>
        <source>%1 を開けませんでした</source>
        <comment>OpenFailed</comment>
        <translation>%1 could not be opened</translation>
    </message>
    <message>
        <source>%1 に保存しました</source>
        <comment>Saved</comment>
        <translation>saved to %1</translation>
    </message>
    <message>
        <source>保存をキャンセルしました</source>
        <comment>SaveCancelled</comment>
        <translation>saving cancelled</translation>
    </message>
    <message>
        <source>%1 に保存できませんでした</source>
        <comment>SaveFailed</comment>
        <translation>could not save to %1</translation>
    </message>
    <message>
        <source>%1 に書き出しました</source>
        <comment>Exported</comment>
        <translation>exported to %1</translation>
    </message>
    <message>
        <source>エクスポートをキャンセルしました</source>
        <comment>ExportCancelled</comment>
        <translation>export cancelled</translation>
    </message>
    <message>
        <source>%1 に書き出せませんでした</source>
        <comment>ExportFailed</comment>
        <translation>could not export to %1</translation>
    </message>
    <message>
        <source>%1 を適用しました</source>
        <comment>Imported</comment>
        <translation>applied %1</translation>
    </message>
    <message>
        <source>インポートをキャンセルしました</source>
        <comment>ImportCancelled</comment>
        <translation>import cancelled</translation>
    </message>
    <message>
        <source>%1 を適用できませんでした</source>
        <comment>ImportFailed</comment>
        <translation>could not apply %1</translation>
    </message>
    <message>
        <source>%1 を元に戻しました</source>
        <comment>Undone</comment>
        <translation>undid %1</translation>
    </message>
    <message>
        <source>元に戻す操作をキャンセルしました</source>
        <comment>UndoCancelled</comment>
        <translation>undo cancelled</translation>
    </message>
    <message>
        <source>元に戻せませんでした</source>
        <comment>UndoFailed</comment>
        <translation>could not undo</translation>
    </message>
    <message>
        <source>%1 をやり直しました</source>
        <comment>Redone</comment>
        <translation>redid %1</translation>
    </message>
    <message>
        <source>やり直しをキャンセルしました</source>
        <comment>RedoCancelled</comment>
        <translation>redo cancelled</translation>
    </message>
    <message>
        <source>やり直せませんでした</source>
        <comment>RedoFailed</comment>
        <translation>could not redo</translation>
    </message>
    <message>
        <source>%1 を表示しました</source>
        <comment>ViewShown</comment>
        <translation>showing the %1</translation>
    </message>
    <message>
        <source>表示の切り替えをキャンセルしました</source>
        <comment>ViewCancelled</comment>
        <translation>switching the view cancelled</translation>
    </message>
    <message>
        <source>表示を切り替えられませんでした</source>
        <comment>ViewFailed</comment>
        <translation>could not switch the view</translation>
    </message>
    <message>
        <source>FFT長 %1 で解析しました</source>
        <comment>LengthChanged</comment>
        <translation>analysed with FFT length %1</translation>
    </message>
    <message>
        <source>FFT長の変更をキャンセルしました</source>
        <comment>LengthCancelled</comment>
        <translation>changing the FFT length cancelled</translation>
    </message>
    <message>
        <source>FFT長を変更できませんでした</source>
        <comment>LengthFailed</comment>
        <translation>could not change the FFT length</translation>
    </message>
    <message>
        <source>外部エディタの設定を保存しました</source>
        <comment>EditorSet</comment>
        <translation>external editor setting saved</translation>
    </message>
    <message>
        <source>外部エディタの設定をキャンセルしました</source>
        <comment>EditorSetCancelled</comment>
        <translation>external editor setting cancelled</translation>
    </message>
    <message>
        <source>外部エディタでの編集をキャンセルしました</source>
        <comment>ExternalEditCancelled</comment>
        <translation>editing in the external editor cancelled</translation>
    </message>
    <message>
        <source>%1 を外部エディタで開けませんでした</source>
        <comment>ExternalEditFailed</comment>
        <translation>could not open %1 in the external editor</translation>
    </message>
    <message>
        <source>実行中の処理をキャンセルしてウィンドウを閉じますか？</source>
        <comment>CloseWhileBusy</comment>
        <translation>Cancel the running command and close the window?</translation>
    </message>
    <message>
        <source>%1 には書き込めません。画像を書き出すフォルダを選んでください</source>
        <comment>ChooseExportFolder</comment>
        <translation>%1 cannot be written; choose a folder to export the picture to</translation>
    </message>
    <message>
        <source>%1 を開くアプリケーションがありません。[編集] メニューの [外部エディタの設定...] で画像エディタのコマンドを設定してください</source>
        <comment>NoEditorApplication</comment>
        <translation>no application opens %1; set the image editor&apos;s command in Edit &gt; External editor settings</translation>
    </message>
    <message>
        <source>外部エディタのコマンド &quot;%1&quot; にプログラムがありません。[編集] メニューの [外部エディタの設定...] で設定し直してください</source>
        <comment>EditorNoProgram</comment>
        <translation>the external editor command &quot;%1&quot; names no program; set it again in Edit &gt; External editor settings</translation>
    </message>
    <message>
        <source>外部エディタ %1 を起動できませんでした。[編集] メニューの [外部エディタの設定...] でコマンドを確かめてください</source>
        <comment>EditorNotStarted</comment>
        <translation>the external editor %1 could not be started; check its command in Edit &gt; External editor settings</translation>
    </message>
    <message>
        <source>%1 が見つかりません。最近使ったファイルから外しました</source>
        <comment>RecentFileMissing</comment>
        <translation>%1 was not found; it was removed from the recent files</translation>
    </message>
    <message>
        <source>%1 を開いています</source>
        <comment>ProgressOpening</comment>
        <translation>opening %1</translation>
    </message>
    <message>
        <source>ケプストラムを計算しています</source>
        <comment>ProgressCepstrum</comment>
        <translation>computing the cepstrum</translation>
    </message>
    <message>
        <source>スペクトルを描いています</source>
        <comment>ProgressSpectrum</comment>
        <translation>drawing the spectrum</translation>
    </message>
    <message>
        <source>FFT長 %1 で解析しています</source>
        <comment>ProgressAnalysing</comment>
        <translation>analysing with FFT length %1</translation>
    </message>
    <message>
        <source>スペクトルを作成しています</source>
        <comment>ProgressCreatingSpectrum</comment>
        <translation>making the spectrum</translation>
    </message>
    <message>
        <source>再合成しています</source>
        <comment>ProgressResynthesising</comment>
        <translation>resynthesising</translation>
    </message>
    <message>
        <source>%1 をインポートしています</source>
        <comment>ProgressImporting</comment>
        <translation>importing %1</translation>
    </message>
    <message>
        <source>元に戻しています</source>
        <comment>ProgressUndoing</comment>
        <translation>undoing</translation>
    </message>
    <message>
        <source>やり直しています</source>
        <comment>ProgressRedoing</comment>
        <translation>redoing</translation>
    </message>
    <message>
        <source>キャンセルしています…</source>
        <comment>ProgressCancelling</comment>
        <translation>cancelling…</translation>
    </message>
    <message>
        <source>外部エディタの画像を適用しています (%1%)</source>
        <comment>ProgressEditorPicture</comment>
        <translation>applying the external editor&apos;s picture (%1%)</translation>
    </message>
    <message>
        <source>インポート</source>
        <comment>StepImport</comment>
        <translation>the import</translation>
    </message>
    <message>
        <source>外部エディタの編集</source>
        <comment>StepExternalEdit</comment>
        <translation>the external editor&apos;s edit</translation>
    </message>
    <message>
        <source>%1 の保存を待っています</source>
        <comment>EditorWaiting</comment>
        <translation>waiting for %1 to be saved</translation>
    </message>
    <message>
        <source>%1 を外部エディタで開きました。保存するたびに、書き出した時の音にその絵が適用されます（FFT長・表示・音を変えると終わります）</source>
        <comment>EditorWaitingDetails</comment>
        <translation>%1 is open in the external editor; every save applies its picture to the sound as it was exported (changing the FFT length, the view or the sound ends this)</translation>
    </message>
    <message>
        <source>クリップ %1 サンプル (ピーク %2)</source>
        <comment>ClipReport</comment>
        <translation>clipped %1 samples (peak %2)</translation>
    </message>
    <message>
        <source>インポートで %1 サンプルがクリップしました。クリップ前のピークはフルスケールの %2 倍 (%3) です</source>
        <comment>ClipDetails</comment>
        <translation>the import clipped %1 samples; the peak before clipping is %2 times full scale (%3)</translation>
    </message>
    <message>
        <source>フルスケール超過 %1 サンプル (ピーク %2)</source>
        <comment>OverReport</comment>
        <translation>%1 samples over full scale (peak %2)</translation>
    </message>
    <message>
        <source>インポートで %1 サンプルがフルスケールを超えました。浮動小数点のサンプルなのでそのまま保存されます。ピークはフルスケールの %2 倍 (%3) です</source>
        <comment>OverDetails</comment>
        <translation>the import took %1 samples over full scale; they are floating-point samples and are saved as they are; the peak is %2 times full scale (%3)</translation>
    </message>
</context>
<context>
    <name>kestrelon::HelpWindow</name>
    <message>
        <source>Kestrelon ヘルプ</source>
        <translation>Kestrelon Help</translation>
    </message>
</context>
<context>
    <name>kestrelon::TForm1</name>
    <message>
        <source>フィルタ画像 (*.bmp *.png)</source>
        <translation>Filter pictures (*.bmp *.png)</translation>
    </message>
    <message>
        <source>BMP ファイル (*.bmp)</source>
        <translation>BMP files (*.bmp)</translation>
    </message>
    <message>
        <source>PNG ファイル (*.png)</source>
        <translation>PNG files (*.png)</translation>
    </message>
    <message>
        <source>すべてのファイル (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Kestrelon のヘルプ(&amp;H)</source>
        <translation>Kestrelon &amp;Help</translation>
    </message>
    <message>
        <source>最近使ったファイル(&amp;R)</source>
        <translation>&amp;Recent files</translation>
    </message>
    <message>
        <source>(なし)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>一覧を消去(&amp;C)</source>
        <translation>&amp;Clear the list</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
