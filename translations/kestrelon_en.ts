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
        <source>内部エラー: %1</source>
        <comment>Internal</comment>
        <translation>%1</translation>
    </message>
    <message>
        <source>アクセス権を設定できません: %1</source>
        <comment>CannotSetPermissions</comment>
        <translation>cannot set its permissions: %1</translation>
    </message>
    <message>
        <source>WAV ファイルにしては短すぎます（%1 バイト）</source>
        <comment>WavTooShort</comment>
        <translation>the file is too short to be a WAV file (%1 bytes)</translation>
    </message>
    <message>
        <source>WAV ファイルではありません</source>
        <comment>NotRiffWave</comment>
        <translation>not a RIFF/WAVE file</translation>
    </message>
    <message>
        <source>%1 チャンクがファイルの終わりを %2 バイト超えています</source>
        <comment>ChunkPastEnd</comment>
        <translation>the %1 chunk runs %2 bytes past the end of the file</translation>
    </message>
    <message>
        <source>フォーマットチャンクが %1 バイトしかありません（16 バイト以上必要です）</source>
        <comment>FmtChunkTooSmall</comment>
        <translation>the format chunk has %1 bytes; it needs at least 16</translation>
    </message>
    <message>
        <source>フォーマットチャンクがありません</source>
        <comment>NoFmtChunk</comment>
        <translation>no format chunk</translation>
    </message>
    <message>
        <source>データチャンクがありません</source>
        <comment>NoDataChunk</comment>
        <translation>no data chunk</translation>
    </message>
    <message>
        <source>データチャンクが %1 バイトあり、扱える 2 147 483 647 バイトを超えています</source>
        <comment>DataChunkTooLarge</comment>
        <translation>the data chunk holds %1 bytes; at most 2 147 483 647 fit</translation>
    </message>
    <message>
        <source>サンプルデータを読み込めません</source>
        <comment>SampleDataUnreadable</comment>
        <translation>the sample data cannot be read</translation>
    </message>
    <message>
        <source>データチャンクのサイズが書かれていません。ファイルにある %1 フレームを読み込みました</source>
        <comment>DataSizeNotFilled</comment>
        <translation>the data chunk&apos;s size was never filled in; loaded the %1 whole frames the file holds</translation>
    </message>
    <message>
        <source>ファイルがデータチャンクの終わりより %1 バイト手前で終わっています。%3 フレームのうち %2 フレームを読み込みました</source>
        <comment>FileEndsInData</comment>
        <translation>the file ends %1 bytes before its data chunk does; loaded %2 of %3 frames</translation>
    </message>
    <message>
        <source>%1 個のサンプルが数値ではない（NaN か無限大）ため 0 として読み込みました</source>
        <comment>NonFiniteSamples</comment>
        <translation>%1 samples were not finite numbers (NaN or infinite) and were read as 0</translation>
    </message>
    <message>
        <source>サンプルを読み込むためのメモリが足りません</source>
        <comment>NoMemoryForSamples</comment>
        <translation>not enough memory for the samples</translation>
    </message>
    <message>
        <source>拡張フォーマットのヘッダが不完全です（%1 バイト）</source>
        <comment>ExtensibleIncomplete</comment>
        <translation>the extensible format header is incomplete (%1 bytes)</translation>
    </message>
    <message>
        <source>GUID が不明な拡張サブフォーマットには対応していません</source>
        <comment>ExtensibleUnknownGuid</comment>
        <translation>extensible sub-format with an unknown GUID is not supported</translation>
    </message>
    <message>
        <source>圧縮フォーマット %1 には対応していません</source>
        <comment>CompressedFormat</comment>
        <translation>compressed format %1 is not supported</translation>
    </message>
    <message>
        <source>拡張サブフォーマット %1 には対応していません</source>
        <comment>ExtensibleSubformat</comment>
        <translation>extensible sub-format %1 is not supported</translation>
    </message>
    <message>
        <source>不明</source>
        <comment>FormatUnknown</comment>
        <translation>unknown</translation>
    </message>
    <message>
        <source>%1 ビットの浮動小数点サンプルには対応していません</source>
        <comment>FloatBitsUnsupported</comment>
        <translation>%1-bit floating-point samples are not supported</translation>
    </message>
    <message>
        <source>%1 ビットの整数サンプルには対応していません（64 ビットまで）</source>
        <comment>IntBitsUnsupported</comment>
        <translation>%1-bit integer samples are not supported (64 bits at most)</translation>
    </message>
    <message>
        <source>チャンネル数が 0 です</source>
        <comment>NoChannels</comment>
        <translation>the file declares no channels</translation>
    </message>
    <message>
        <source>チャンネル数が %1 です（256 チャンネルまで扱えます）</source>
        <comment>TooManyChannels</comment>
        <translation>the file declares %1 channels; at most 256 are supported</translation>
    </message>
    <message>
        <source>1 サンプル %1 ビットには対応していません（バイト単位のみ）</source>
        <comment>BitsNotWholeBytes</comment>
        <translation>%1 bits per sample is not supported (whole bytes only)</translation>
    </message>
    <message>
        <source>サンプリング周波数が %1 です</source>
        <comment>SampleRateIs</comment>
        <translation>the sample rate is %1</translation>
    </message>
    <message>
        <source>1 秒あたり %1 バイトは上限の 2 147 483 647 を超えています</source>
        <comment>ByteRateTooHigh</comment>
        <translation>%1 bytes per second is more than 2 147 483 647</translation>
    </message>
    <message>
        <source>デコードした音が、1 つの音に入る 2 147 483 647 バイトを超えています</source>
        <comment>DecodedTooLarge</comment>
        <translation>the decoded sound is larger than the 2 147 483 647 bytes of samples a sound may hold</translation>
    </message>
    <message>
        <source>WAV、FLAC、Ogg、MP3、AIFF、Wave64、RF64、CAF のどのファイルでもありません %1</source>
        <comment>NotASoundFile</comment>
        <translation>not a WAV, FLAC, Ogg, MP3, AIFF, Wave64, RF64 or CAF file %1</translation>
    </message>
    <message>
        <source>読み込めません %1</source>
        <comment>CannotBeReadLibrary</comment>
        <translation>cannot be read %1</translation>
    </message>
    <message>
        <source>%1 ファイルには対応していません</source>
        <comment>FormatFilesUnsupported</comment>
        <translation>%1 files are not supported</translation>
    </message>
    <message>
        <source>ファイルが %1 フレームの後で壊れています %2</source>
        <comment>DamagedAfterFrames</comment>
        <translation>the file is damaged after %1 frames %2</translation>
    </message>
    <message>
        <source>ファイルが %2 フレームのうち %1 フレームで終わっています</source>
        <comment>EndsAfterFrames</comment>
        <translation>the file ends after %1 of its %2 frames</translation>
    </message>
    <message>
        <source>MPEG オーディオをデコードできません %1</source>
        <comment>CannotDecodeMpeg</comment>
        <translation>cannot decode MPEG audio %1</translation>
    </message>
    <message>
        <source>デコードできる MPEG オーディオがありません %1</source>
        <comment>NoMpegAudio</comment>
        <translation>holds no MPEG audio that can be decoded %1</translation>
    </message>
    <message>
        <source>MPEG デコーダが浮動小数点のサンプルを出しません</source>
        <comment>MpegNoFloat</comment>
        <translation>the MPEG decoder gives no float samples</translation>
    </message>
    <message>
        <source>%5 フレームの後でストリームが %1 Hz %2 チャンネルから %3 Hz %4 チャンネルに変わります</source>
        <comment>MpegStreamChanges</comment>
        <translation>the stream changes from %1 Hz with %2 channels to %3 Hz with %4 after %5 frames</translation>
    </message>
    <message>
        <source>MPEG デコーダが先へ進まなくなりました</source>
        <comment>MpegNoProgress</comment>
        <translation>the MPEG decoder stopped making progress</translation>
    </message>
    <message>
        <source>FLAC に保存できるのは 8〜24 ビットの整数サンプルです。この音は %1 ビットの浮動小数点です（WAV で保存してください）</source>
        <comment>FlacFloat</comment>
        <translation>FLAC holds integer samples of 8 to 24 bits; this sound has %1-bit float samples (save it as WAV)</translation>
    </message>
    <message>
        <source>FLAC に保存できるのは 8〜24 ビットの整数サンプルです。この音の形式（タグ %1、%2 ビット）はサンプルの形式ではありません</source>
        <comment>FlacNotSampleType</comment>
        <translation>FLAC holds integer samples of 8 to 24 bits; this sound&apos;s format (tag %1, %2 bits) is not a sample type</translation>
    </message>
    <message>
        <source>FLAC に保存できるのは 8〜24 ビットの整数サンプルです。この音は %1 ビットです（WAV で保存してください）</source>
        <comment>FlacBits</comment>
        <translation>FLAC holds integer samples of 8 to 24 bits; this sound has %1-bit samples (save it as WAV)</translation>
    </message>
    <message>
        <source>FLAC に保存できるのは 1〜8 チャンネルです。この音は %1 チャンネルです（WAV で保存してください）</source>
        <comment>FlacChannels</comment>
        <translation>FLAC holds 1 to 8 channels; this sound has %1 (save it as WAV)</translation>
    </message>
    <message>
        <source>FLAC で保存するサンプルがありません（WAV で保存してください）</source>
        <comment>FlacEmpty</comment>
        <translation>this sound has no samples to save as FLAC (save it as WAV)</translation>
    </message>
    <message>
        <source>1 フレームのバイト数（65535 まで）</source>
        <comment>WhatBlockSize</comment>
        <translation>block size above 65535 bytes</translation>
    </message>
    <message>
        <source>1 秒あたりのバイト数</source>
        <comment>WhatBytesPerSecond</comment>
        <translation>bytes per second</translation>
    </message>
    <message>
        <source>サンプルのバイト数</source>
        <comment>WhatSampleBlock</comment>
        <translation>sample block size</translation>
    </message>
    <message>
        <source>フレーム数</source>
        <comment>WhatFrameCount</comment>
        <translation>frame count</translation>
    </message>
    <message>
        <source>画像の幅</source>
        <comment>WhatPictureWidth</comment>
        <translation>picture width</translation>
    </message>
    <message>
        <source>画像の高さ</source>
        <comment>WhatPictureHeight</comment>
        <translation>picture height</translation>
    </message>
    <message>
        <source>時間軸の位置</source>
        <comment>WhatTimeColumn</comment>
        <translation>time column</translation>
    </message>
    <message>
        <source>周波数軸の位置</source>
        <comment>WhatFrequencyRow</comment>
        <translation>frequency row</translation>
    </message>
    <message>
        <source>ピッチ軸の位置</source>
        <comment>WhatPitchRow</comment>
        <translation>pitch row</translation>
    </message>
    <message>
        <source>BMP ファイルの大きさ</source>
        <comment>WhatBmpSize</comment>
        <translation>BMP size</translation>
    </message>
    <message>
        <source>セルの数</source>
        <comment>WhatCellsSize</comment>
        <translation>size of the cells</translation>
    </message>
    <message>
        <source>dB 値の配列</source>
        <comment>WhatDbArraySize</comment>
        <translation>dB array size</translation>
    </message>
    <message>
        <source>ゲインの配列</source>
        <comment>WhatGainArraySize</comment>
        <translation>gain array size</translation>
    </message>
    <message>
        <source>スペクトログラムの大きさ</source>
        <comment>WhatSpectrogramSize</comment>
        <translation>spectrogram size</translation>
    </message>
    <message>
        <source>再合成する音の長さ</source>
        <comment>WhatResynthesisLength</comment>
        <translation>length of the resynthesised wave</translation>
    </message>
    <message>
        <source>再合成する先のサンプルがありません（整数のオーバーフロー）</source>
        <comment>NoSamplesToResynthesise</comment>
        <translation>integer overflow: no samples to resynthesise into</translation>
    </message>
    <message>
        <source>サンプリング周波数が 0 なので長さを計算できません（ゼロ除算）</source>
        <comment>ZeroSampleRate</comment>
        <translation>floating-point division by zero: duration at a sample rate of 0</translation>
    </message>
    <message>
        <source>スペクトルの dB 値を計算できません（基準値 %1 に対して数値の範囲を超えます）</source>
        <comment>DbValueError</comment>
        <translation>floating-point error: dB value of a bin against reference %1</translation>
    </message>
    <message>
        <source>%1 チャンネルの音は解析できません（%2 チャンネルまで）</source>
        <comment>TooManyChannelsToAnalyse</comment>
        <translation>a wave of %1 channels cannot be analysed (at most %2)</translation>
    </message>
    <message>
        <source>編集のゲインが大きすぎて、周波数成分が数値の範囲を超えます</source>
        <comment>GainOverflowBin</comment>
        <translation>floating-point overflow: the edit would scale a bin beyond the range of Double</translation>
    </message>
    <message>
        <source>編集のゲインが大きすぎて、ケプストラムの値が数値の範囲を超えます</source>
        <comment>GainOverflowCepstrum</comment>
        <translation>floating-point overflow: the edit would scale a cepstrum value beyond the range of Double</translation>
    </message>
    <message>
        <source>ケプストラムの編集から求めたゲインが数値の範囲を超えます</source>
        <comment>GainOverflowCepstrumGain</comment>
        <translation>floating-point overflow: a cepstrum edit asks for a gain beyond the range of Double</translation>
    </message>
    <message>
        <source>編集のゲインが大きすぎて、値が数値の範囲を超えます</source>
        <comment>GainOverflowValue</comment>
        <translation>the edit would scale a value beyond the range of a Double</translation>
    </message>
    <message>
        <source>画像の大きさが %1 x %2 ピクセルですが、%3 x %4 ピクセル必要です</source>
        <comment>PictureSizeMismatch</comment>
        <translation>the picture is %1 x %2 pixels, but the display picture is %3 x %4</translation>
    </message>
    <message>
        <source>画像の幅が %1 ピクセルですが、%2 ピクセル必要です</source>
        <comment>PictureWidthMismatch</comment>
        <translation>the picture is %1 pixels wide, but the display picture is %2</translation>
    </message>
    <message>
        <source>画像の高さが %1 ピクセルですが、%2 ピクセル必要です</source>
        <comment>PictureHeightMismatch</comment>
        <translation>the picture is %1 pixels high, but the display picture is %2</translation>
    </message>
    <message>
        <source>%1（FFT長 %2 で書き出した画像ですか？）</source>
        <comment>HintOtherFftLength</comment>
        <translation>%1 (was it exported with FFT length %2?)</translation>
    </message>
    <message>
        <source>%1（別の長さの音から書き出した画像ですか？）</source>
        <comment>HintOtherSound</comment>
        <translation>%1 (was it exported from a sound of another length?)</translation>
    </message>
    <message>
        <source>ファイルが途中で切れています: 画素データに %1 バイト必要ですが、ファイルは %2 バイトです</source>
        <comment>ImageCutShort</comment>
        <translation>the file is cut short: its pixel data needs %1 bytes, the file has %2</translation>
    </message>
    <message>
        <source>ファイルがヘッダの途中で切れています</source>
        <comment>ImageHeaderCutShort</comment>
        <translation>the file is cut short in its header</translation>
    </message>
    <message>
        <source>このプログラムが読める BMP 画像ではありません（ヘッダ %1 バイト）</source>
        <comment>BmpHeaderUnknown</comment>
        <translation>not a BMP picture this program reads (header of %1 bytes)</translation>
    </message>
    <message>
        <source>BMP の 1 画素 %1 ビットには対応していません</source>
        <comment>BmpBitsPerPixel</comment>
        <translation>the BMP has %1 bits per pixel</translation>
    </message>
    <message>
        <source>BMP の圧縮方式 %1 は 1 画素 %2 ビットでは読めません</source>
        <comment>BmpCompression</comment>
        <translation>the BMP&apos;s compression %1 is not one this program reads with %2 bits per pixel</translation>
    </message>
    <message>
        <source>BMP のカラーテーブルに %1 色あります</source>
        <comment>BmpColourTableSize</comment>
        <translation>the BMP&apos;s colour table has %1 entries</translation>
    </message>
    <message>
        <source>BMP のヘッダが壊れています（画素データの位置 %1）</source>
        <comment>BmpHeaderDamaged</comment>
        <translation>the BMP header is damaged (pixel offset %1)</translation>
    </message>
    <message>
        <source>BMP のカラーテーブル（%1〜%2 バイト目）が画素データ（%3 バイト目から）に重なっています</source>
        <comment>BmpColourTableOverlap</comment>
        <translation>the BMP&apos;s colour table (bytes %1 to %2) runs into its pixel data (from byte %3)</translation>
    </message>
    <message>
        <source>ファイルが圧縮された画素データの途中で切れています</source>
        <comment>ImageCutShortCompressed</comment>
        <translation>the file is cut short inside its compressed pixel data</translation>
    </message>
    <message>
        <source>PNG に画像より多くの画素データがあります</source>
        <comment>PngTooMuchData</comment>
        <translation>the PNG holds more pixel data than its picture</translation>
    </message>
    <message>
        <source>PNG が壊れています（行フィルタ %1）</source>
        <comment>PngRowFilter</comment>
        <translation>the PNG is damaged (row filter %1)</translation>
    </message>
    <message>
        <source>PNG が圧縮された画素データの途中で切れています</source>
        <comment>PngCutShortCompressed</comment>
        <translation>the PNG is cut short inside its compressed pixel data</translation>
    </message>
    <message>
        <source>PNG の圧縮された画素データが最後の行の後で終わっていません</source>
        <comment>PngDataNotEnding</comment>
        <translation>the PNG&apos;s compressed pixel data does not end after its rows</translation>
    </message>
    <message>
        <source>PNG の圧縮された画素データが壊れています（%1）</source>
        <comment>PngDataDamaged</comment>
        <translation>the PNG&apos;s compressed pixel data is damaged (%1)</translation>
    </message>
    <message>
        <source>PNG の圧縮された画素データが最後の行より前で終わっています</source>
        <comment>PngDataEndsEarly</comment>
        <translation>the PNG&apos;s compressed pixel data ends before its last row</translation>
    </message>
    <message>
        <source>PNG の圧縮された画素データの後に余分なバイトがあります</source>
        <comment>PngBytesAfterData</comment>
        <translation>the PNG has bytes after its compressed pixel data</translation>
    </message>
    <message>
        <source>ファイルが途中で切れています: PNG のデータが早く終わっています</source>
        <comment>PngEndsEarly</comment>
        <translation>the file is cut short: its PNG data ends early</translation>
    </message>
    <message>
        <source>PNG が壊れています（%1 バイトのチャンク）</source>
        <comment>PngChunkLength</comment>
        <translation>the PNG is damaged (a chunk of %1 bytes)</translation>
    </message>
    <message>
        <source>PNG が壊れています（ヘッダが最初のチャンクではありません）</source>
        <comment>PngHeaderNotFirst</comment>
        <translation>the PNG is damaged (its header is not its first chunk)</translation>
    </message>
    <message>
        <source>PNG が壊れています（%1 チャンクのチェックサムが違います）</source>
        <comment>PngChecksum</comment>
        <translation>the PNG is damaged (the checksum of its %1 chunk is wrong)</translation>
    </message>
    <message>
        <source>PNG のヘッダが壊れています（%1 バイト）</source>
        <comment>PngHeaderLength</comment>
        <translation>the PNG header is damaged (%1 bytes)</translation>
    </message>
    <message>
        <source>PNG ライブラリは 1 辺 %1 ピクセルより大きい画像を読めません</source>
        <comment>PngSideLimit</comment>
        <translation>the PNG library reads no picture larger than %1 pixels a side</translation>
    </message>
    <message>
        <source>PNG のヘッダが壊れています（カラータイプ %1、深さ %2、方式 %3 %4 %5）</source>
        <comment>PngHeaderDamaged</comment>
        <translation>the PNG header is damaged (colour type %1, depth %2, methods %3 %4 %5)</translation>
    </message>
    <message>
        <source>PNG の圧縮された画素データが %1 バイトを超えています。%2 の画像に必要な量より多すぎます</source>
        <comment>PngIdatLimit</comment>
        <translation>the PNG holds more than %1 bytes of compressed pixel data, more than a %2 picture needs</translation>
    </message>
    <message>
        <source>PNG のパレットが壊れています（%1 バイト）</source>
        <comment>PngPaletteDamaged</comment>
        <translation>the PNG&apos;s palette is damaged (%1 bytes)</translation>
    </message>
    <message>
        <source>PNG にこのプログラムが知らないチャンク（%1）があります</source>
        <comment>PngUnknownChunk</comment>
        <translation>the PNG has a chunk this program does not know (%1)</translation>
    </message>
    <message>
        <source>PNG が壊れています（パレット画像にパレットがありません）</source>
        <comment>PngNoPalette</comment>
        <translation>the PNG is damaged (a palette picture without a palette)</translation>
    </message>
    <message>
        <source>PNG に画素データがありません</source>
        <comment>PngNoData</comment>
        <translation>the PNG has no pixel data</translation>
    </message>
    <message>
        <source>比べる解析済みの画像がありません</source>
        <comment>NoPictureToCompare</comment>
        <translation>there is no picture to compare with</translation>
    </message>
    <message>
        <source>BMP でも PNG でもありません</source>
        <comment>NotBmpOrPng</comment>
        <translation>not a BMP or PNG picture</translation>
    </message>
    <message>
        <source>Qt の画像読み込みが受け付けません</source>
        <comment>QtRefusesImage</comment>
        <translation>Qt&apos;s image reader refuses it</translation>
    </message>
    <message>
        <source>画像をデコードできません: %1</source>
        <comment>ImageCannotBeDecoded</comment>
        <translation>the picture cannot be decoded: %1</translation>
    </message>
    <message>
        <source>RLE 画像に書かれない画素が残るおそれがあります（Qt が用意した画像にデコードしませんでした）</source>
        <comment>RleUnwritten</comment>
        <translation>the RLE picture may leave pixels unwritten (Qt did not decode it into the picture made for it)</translation>
    </message>
    <message>
        <source>知らない表示です</source>
        <comment>UnknownView</comment>
        <translation>unknown view</translation>
    </message>
    <message>
        <source>比べる解析済みの画像がありません</source>
        <comment>NoAnalysedPicture</comment>
        <translation>no analysed picture to compare with</translation>
    </message>
    <message>
        <source>スペクトログラムが解析と合いません</source>
        <comment>SpectrogramsMismatch</comment>
        <translation>the spectrograms do not match the analysis</translation>
    </message>
    <message>
        <source>ケプストラムが解析と合いません</source>
        <comment>CepstraMismatch</comment>
        <translation>the cepstra do not match the analysis</translation>
    </message>
    <message>
        <source>解析が完了していません</source>
        <comment>AnalysisIncomplete</comment>
        <translation>the analysis is incomplete</translation>
    </message>
    <message>
        <source>%1 サンプルがフルスケールを超えてクリップしました（ピーク %2）</source>
        <comment>ClippedSamples</comment>
        <translation>%1 samples went beyond full scale and were clipped (peak %2)</translation>
    </message>
    <message>
        <source>%1 サンプルがフルスケールを超えています（ピーク %2）。そのまま保持しています</source>
        <comment>OverFullScale</comment>
        <translation>%1 samples are over full scale (peak %2); they are kept as they are</translation>
    </message>
    <message>
        <source>ファイルが途中で終わっています: %2 フレームのうち %1 フレームを読み込みました</source>
        <comment>FileEndsEarlyFrames</comment>
        <translation>the file ends early: %1 of %2 sample frames read</translation>
    </message>
    <message>
        <source>比べる解析済みの画像がありません</source>
        <comment>NoPictureToCompareWith</comment>
        <translation>there is no analysed picture to compare with</translation>
    </message>
    <message>
        <source>エクスポートする解析済みの画像がありません</source>
        <comment>NoPictureToExport</comment>
        <translation>there is no analysed picture to export</translation>
    </message>
    <message>
        <source>保存する音がありません</source>
        <comment>NoSoundToSave</comment>
        <translation>there is no sound to save</translation>
    </message>
    <message>
        <source>元に戻す音がありません</source>
        <comment>NoSoundToUndo</comment>
        <translation>there is no sound to undo</translation>
    </message>
    <message>
        <source>やり直す音がありません</source>
        <comment>NoSoundToRedo</comment>
        <translation>there is no sound to redo</translation>
    </message>
    <message>
        <source>読み込み</source>
        <comment>PassReading</comment>
        <translation>reading</translation>
    </message>
    <message>
        <source>解析</source>
        <comment>PassAnalysis</comment>
        <translation>analysis</translation>
    </message>
    <message>
        <source>描画</source>
        <comment>PassDrawing</comment>
        <translation>drawing</translation>
    </message>
    <message>
        <source>ゲイン適用と再合成</source>
        <comment>PassApplyingGains</comment>
        <translation>applying the gains and resynthesis</translation>
    </message>
    <message>
        <source>履歴</source>
        <comment>PassHistory</comment>
        <translation>history</translation>
    </message>
    <message>
        <source>再合成</source>
        <comment>PassResynthesis</comment>
        <translation>resynthesis</translation>
    </message>
    <message>
        <source>元に戻すための履歴が音を圧縮できません（メモリ不足？）</source>
        <comment>HistoryCannotCompress</comment>
        <translation>the undo history could not compress the sound (out of memory?)</translation>
    </message>
    <message>
        <source>この操作の履歴のデータが壊れています</source>
        <comment>HistoryDamaged</comment>
        <translation>the undo history holds damaged data for this step</translation>
    </message>
    <message>
        <source>履歴が知らないサンプル幅に出会いました</source>
        <comment>HistoryUnknownWidth</comment>
        <translation>the undo history met an unknown sample width</translation>
    </message>
    <message>
        <source>この操作を記録した音とは違う音です。何も変えていません</source>
        <comment>HistoryOtherSound</comment>
        <translation>the sound is not the one this undo step was recorded on; nothing changed</translation>
    </message>
    <message>
        <source>履歴がこの操作の音を再現できません。何も変えていません</source>
        <comment>HistoryNotReproduced</comment>
        <translation>the undo history does not reproduce the sound of this step; nothing changed</translation>
    </message>
    <message>
        <source>スペクトラム</source>
        <comment>ViewSpectrum</comment>
        <translation>spectrum</translation>
    </message>
    <message>
        <source>ケプストラム</source>
        <comment>ViewCepstrum</comment>
        <translation>cepstrum</translation>
    </message>
    <message>
        <source>%1表示・FFT長 %2</source>
        <comment>ViewAndFftLength</comment>
        <translation>the %1 view with FFT length %2</translation>
    </message>
    <message>
        <source>音がない</source>
        <comment>WatchReasonNoSound</comment>
        <translation>there is no sound</translation>
    </message>
    <message>
        <source>FFT長を変えた</source>
        <comment>WatchReasonFftLength</comment>
        <translation>the FFT length changed</translation>
    </message>
    <message>
        <source>表示を変えた</source>
        <comment>WatchReasonView</comment>
        <translation>the view changed</translation>
    </message>
    <message>
        <source>音が変わった</source>
        <comment>WatchReasonSound</comment>
        <translation>the sound changed</translation>
    </message>
    <message>
        <source>%1ため監視を終了しました</source>
        <comment>WatchEnded</comment>
        <translation>Stopped watching: %1</translation>
    </message>
    <message>
        <source>%1 を読み込めません: %2</source>
        <comment>EditorCannotRead</comment>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 は絵を変えずに保存されました</source>
        <comment>EditorSavedUnchanged</comment>
        <translation>%1 was saved without changing the picture</translation>
    </message>
    <message>
        <source>%1 の適用をキャンセルしました</source>
        <comment>EditorApplyCancelled</comment>
        <translation>applying %1 was cancelled</translation>
    </message>
    <message>
        <source>%1 を適用できませんでした: %2</source>
        <comment>EditorApplyFailed</comment>
        <translation>%1 could not be applied: %2</translation>
    </message>
    <message>
        <source>%1 を適用しました</source>
        <comment>EditorApplied</comment>
        <translation>applied %1</translation>
    </message>
    <message>
        <source>標準出力に書き込めません: %1</source>
        <comment>CliCannotWriteStdout</comment>
        <translation>cannot write to standard output: %1</translation>
    </message>
    <message>
        <source>開けません: 名前が UTF-8 ではなく、/proc/self/fd も使えません</source>
        <comment>CliNameNotUtf8</comment>
        <translation>cannot open: the name is not UTF-8 and /proc/self/fd is not available to reach it</translation>
    </message>
    <message>
        <source>読み込む音と同じファイルです。エクスポートで画像に置き換えません</source>
        <comment>CliSameAsInput</comment>
        <translation>is the sound being read; export will not replace it with a picture</translation>
    </message>
    <message>
        <source>%1 と同じファイルで、読み込む音です。エクスポートで画像に置き換えません</source>
        <comment>CliSameAsInputOther</comment>
        <translation>is the same file as %1, the sound being read; export will not replace it with a picture</translation>
    </message>
    <message>
        <source>編集した画像と同じファイルです。適用で音に置き換えません</source>
        <comment>CliSameAsEdited</comment>
        <translation>is the edited image; apply will not replace it with a sound</translation>
    </message>
    <message>
        <source>%1 と同じファイルで、編集した画像です。適用で音に置き換えません</source>
        <comment>CliSameAsEditedOther</comment>
        <translation>is the same file as %1, the edited image; apply will not replace it with a sound</translation>
    </message>
    <message>
        <source>警告: %1</source>
        <comment>CliWarning</comment>
        <translation>warning: %1</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <comment>WithDetail</comment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>メモリが足りないため、コマンドを中止しました</source>
        <comment>CommandStoppedNoMemory</comment>
        <translation>Out of memory: the command was stopped.</translation>
    </message>
    <message>
        <source>予期しないエラーのため、コマンドを中止しました</source>
        <comment>CommandStoppedUnexpected</comment>
        <translation>Unexpected error: the command was stopped.</translation>
    </message>
    <message>
        <source>別のコマンドがまだ実行中です</source>
        <comment>AnotherCommandRunning</comment>
        <translation>another command is still running</translation>
    </message>
    <message>
        <source>%1。このままインポートしますか？</source>
        <comment>ImportAnyway</comment>
        <translation>%1. Import it anyway?</translation>
    </message>
    <message>
        <source>&quot;%1&quot; を上書きしますか？</source>
        <comment>OverwriteQuestion</comment>
        <translation>Overwrite &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>&quot;%1&quot; への変更を保存しますか？</source>
        <comment>SaveChangesQuestion</comment>
        <translation>Save the changes to &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>%1: 名前が正しい UTF-8 ではないため開けません。名前を変えるか、kestrelon-cli を使ってください</source>
        <comment>NameNotUtf8</comment>
        <translation>%1: cannot be opened: its name is not valid UTF-8; rename it, or use kestrelon-cli</translation>
    </message>
    <message>
        <source>音声出力装置を開けませんでした</source>
        <comment>AudioOpenFailed</comment>
        <translation>The audio output device could not be opened</translation>
    </message>
    <message>
        <source>音声出力装置への書き込みに失敗しました</source>
        <comment>AudioWriteFailed</comment>
        <translation>Writing to the audio output device failed</translation>
    </message>
    <message>
        <source>音声出力装置が使えません</source>
        <comment>AudioUnusable</comment>
        <translation>The audio output device cannot be used</translation>
    </message>
    <message>
        <source>音声出力装置が見つからないため再生できません</source>
        <comment>AudioNoDeviceFound</comment>
        <translation>No audio output device was found: nothing can be played</translation>
    </message>
    <message>
        <source>音声出力装置がこの形式に対応していません (%1 Hz, %2 ch)</source>
        <comment>AudioFormatUnsupported</comment>
        <translation>The audio output device does not take this format (%1 Hz, %2 ch)</translation>
    </message>
    <message>
        <source>音声出力装置がないため再生できません</source>
        <comment>AudioNoOutput</comment>
        <translation>There is no audio output device: nothing can be played</translation>
    </message>
    <message>
        <source>再生する音がありません</source>
        <comment>NothingToPlay</comment>
        <translation>There is no sound to play</translation>
    </message>
    <message>
        <source>画像の編集が求めるゲインが大きすぎて音を計算できません（%1）。音は変わっていません</source>
        <comment>ImportGainsOverflow</comment>
        <translation>the picture&apos;s edits ask for gains too large to compute the sound (%1); nothing changed</translation>
    </message>
    <message>
        <source>ファイル名によると、この画像は%1で書き出したものですが、いまの表示は%2です</source>
        <comment>GuardByName</comment>
        <translation>the file name says the picture was exported in %1, but the window shows %2</translation>
    </message>
    <message>
        <source>この画像は%1の画像に見えますが、いまの表示は%2です</source>
        <comment>GuardByContents</comment>
        <translation>the picture looks like one of %1, but the window shows %2</translation>
    </message>
    <message>
        <source>%1</source>
        <comment>Verbatim</comment>
        <translation>%1</translation>
    </message>
    <message>
        <source>範囲 %1 秒〜%2 秒は範囲になっていません。0 秒以降に始まり、始まりより後に終わる必要があります</source>
        <comment>RangeNotARange</comment>
        <translation>the range %1 s .. %2 s is not a range: it must start at 0 s or later and end after it starts</translation>
    </message>
    <message>
        <source>範囲 %1 秒〜%2 秒には音のフレームがありません（音の長さは %3 秒です）</source>
        <comment>RangeNoFrames</comment>
        <translation>the range %1 s .. %2 s holds no frame of the sound, which is %3 s long</translation>
    </message>
    <message>
        <source>%1: フレーム %2〜%3 は、%4 フレームある音の範囲ではありません</source>
        <comment>RangeOutsideSound</comment>
        <translation>%1: frames %2 .. %3 are not a range of the sound&apos;s %4 frames</translation>
    </message>
    <message>
        <source>%1: 画像の大きさが %2 x %3 ピクセルですが、範囲 %4 秒〜%5 秒の画像は %6 x %7 ピクセルです。別の範囲か別の長さの音の画像です</source>
        <comment>RangeOtherRange</comment>
        <translation>%1: the picture is %2 x %3 pixels, but the range %4 s .. %5 s makes pictures of %6 x %7: it belongs to another range or length</translation>
    </message>
    <message>
        <source>%1: この画像は %2 フレーム・FFT長 %3 の解析から書き出したものですが、いまの音は %4 フレーム・FFT長 %5 です</source>
        <comment>RangeOtherAnalysis</comment>
        <translation>%1: the picture was exported from an analysis of %2 frames with N = %3; the sound now has %4 frames with N = %5</translation>
    </message>
    <message>
        <source>範囲をエクスポート...</source>
        <comment>RangeExportItem</comment>
        <translation>Export Range...</translation>
    </message>
    <message>
        <source>表示中の部分または秒で指定した範囲をエクスポートする</source>
        <comment>RangeExportHint</comment>
        <translation>Export the part in sight or a range given in seconds</translation>
    </message>
    <message>
        <source>範囲をエクスポート (秒)</source>
        <comment>RangeTitle</comment>
        <translation>Export a range (seconds)</translation>
    </message>
    <message>
        <source>この画像の範囲 (秒)</source>
        <comment>RangeImportTitle</comment>
        <translation>The range of this picture (seconds)</translation>
    </message>
    <message>
        <source>開始</source>
        <comment>RangeFrom</comment>
        <translation>From</translation>
    </message>
    <message>
        <source>終了</source>
        <comment>RangeTo</comment>
        <translation>To</translation>
    </message>
    <message>
        <source>全体の画像は幅 %1 ピクセルになり、%2 ピクセルを超えます。表示中の部分 (または秒で指定した範囲) をエクスポートしますか？</source>
        <comment>RangeTooWide</comment>
        <translation>The whole picture would be %1 pixels wide, more than %2. Export the part in sight (or a range given in seconds) instead?</translation>
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
        <source>%1を元に戻しました</source>
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
        <source>%1をやり直しました</source>
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
    <message>
        <source>塗る解析済みの画像がありません</source>
        <comment>NoPictureToPaint</comment>
        <translation>there is no analysed picture to paint on</translation>
    </message>
    <message>
        <source>開いたときの音がわからないため、消しゴムで戻せません</source>
        <comment>OpenedSoundUnknown</comment>
        <translation>the sound as it was opened is not known, so the eraser cannot restore it</translation>
    </message>
    <message>
        <source>開いたときの音と長さが違うため、消しゴムで戻せません</source>
        <comment>OpenedSoundOtherLength</comment>
        <translation>the sound as it was opened has another length, so the eraser cannot restore it</translation>
    </message>
    <message>
        <source>%1 を適用しました</source>
        <comment>PaintApplied</comment>
        <translation>applied %1</translation>
    </message>
    <message>
        <source>%1 の適用をキャンセルしました</source>
        <comment>PaintCancelled</comment>
        <translation>%1 cancelled</translation>
    </message>
    <message>
        <source>%1 を適用できませんでした</source>
        <comment>PaintFailed</comment>
        <translation>%1 could not be applied</translation>
    </message>
    <message>
        <source>スペクトルを作成しました</source>
        <comment>SpectrumMade</comment>
        <translation>made the spectrum</translation>
    </message>
    <message>
        <source>スペクトルの作成をキャンセルしました</source>
        <comment>SpectrumCancelled</comment>
        <translation>making the spectrum cancelled</translation>
    </message>
    <message>
        <source>スペクトルを作成できませんでした</source>
        <comment>SpectrumFailed</comment>
        <translation>could not make the spectrum</translation>
    </message>
    <message>
        <source>Waveに出力しました</source>
        <comment>Resynthesised</comment>
        <translation>output to Wave</translation>
    </message>
    <message>
        <source>Waveへの出力をキャンセルしました</source>
        <comment>ResynthesisCancelled</comment>
        <translation>output to Wave cancelled</translation>
    </message>
    <message>
        <source>Waveに出力できませんでした</source>
        <comment>ResynthesisFailed</comment>
        <translation>could not output to Wave</translation>
    </message>
    <message>
        <source>Waveに出力</source>
        <comment>StepResynthesis</comment>
        <translation>the output to Wave</translation>
    </message>
    <message>
        <source>%1を取り消す</source>
        <comment>UndoHint</comment>
        <translation>Undo %1</translation>
    </message>
    <message>
        <source>取り消した%1をやり直す</source>
        <comment>RedoHint</comment>
        <translation>Redo %1</translation>
    </message>
    <message>
        <source>ポインタ</source>
        <comment>PaintPointer</comment>
        <translation>Pointer</translation>
    </message>
    <message>
        <source>ポインタ (Esc): クリックで再生を始める位置を決める</source>
        <comment>PaintPointerTip</comment>
        <translation>Pointer (Esc): a click sets where playing starts</translation>
    </message>
    <message>
        <source>ブラシ</source>
        <comment>PaintBrush</comment>
        <translation>Brush</translation>
    </message>
    <message>
        <source>ブラシ (B): なぞったセルにゲインをかける（既定 -20 dB で暗く、音は小さく）</source>
        <comment>PaintBrushTip</comment>
        <translation>Brush (B): applies the gain to the cells painted over (by default -20 dB: darker, quieter)</translation>
    </message>
    <message>
        <source>消しゴム</source>
        <comment>PaintEraser</comment>
        <translation>Eraser</translation>
    </message>
    <message>
        <source>消しゴム (E): なぞったセルを、開いた時の音の明るさに戻す</source>
        <comment>PaintEraserTip</comment>
        <translation>Eraser (E): gives the cells painted over the brightness of the sound as opened again</translation>
    </message>
    <message>
        <source>矩形選択</source>
        <comment>PaintRectangle</comment>
        <translation>Rectangle</translation>
    </message>
    <message>
        <source>矩形選択 (R): 囲んだセルにゲインをかけるか、無音にする。選択範囲は残る</source>
        <comment>PaintRectangleTip</comment>
        <translation>Rectangle (R): applies the gain to the cells enclosed, or silences them. The selection stays</translation>
    </message>
    <message>
        <source>投げ縄選択</source>
        <comment>PaintLasso</comment>
        <translation>Lasso</translation>
    </message>
    <message>
        <source>投げ縄選択 (L): 自由な形で囲んだセルにゲインをかけるか、無音にする。選択範囲は残る</source>
        <comment>PaintLassoTip</comment>
        <translation>Lasso (L): applies the gain to the cells enclosed by a free shape, or silences them. The selection stays</translation>
    </message>
    <message>
        <source>倍音ブラシ</source>
        <comment>PaintHarmonics</comment>
        <translation>Harmonic Brush</translation>
    </message>
    <message>
        <source>倍音ブラシ (H): なぞった部分音と、その整数倍の倍音を一番上の行まで一度に塗る</source>
        <comment>PaintHarmonicsTip</comment>
        <translation>Harmonic brush (H): paints the partial painted over and all its whole-number multiples up to the top row at once</translation>
    </message>
    <message>
        <source>ブラシの太さ（セル数）</source>
        <comment>PaintSizeTip</comment>
        <translation>Brush size (cells)</translation>
    </message>
    <message>
        <source>ぼかし</source>
        <comment>PaintSoft</comment>
        <translation>Soft</translation>
    </message>
    <message>
        <source>ブラシの縁をぼかす</source>
        <comment>PaintSoftTip</comment>
        <translation>Soften the brush&apos;s edge</translation>
    </message>
    <message>
        <source>塗ったセル・選択範囲のゲイン（dB）。負で小さく、正で大きく。1 dB は 2 階調</source>
        <comment>PaintGainTip</comment>
        <translation>Gain (dB) of the cells painted or selected: negative for quieter, positive for louder. 1 dB is 2 gray levels</translation>
    </message>
    <message>
        <source>無音</source>
        <comment>PaintSilence</comment>
        <translation>Silence</translation>
    </message>
    <message>
        <source>選択範囲を無音（黒）にする</source>
        <comment>PaintSilenceTip</comment>
        <translation>Make the selection silent (black)</translation>
    </message>
    <message>
        <source>拡大 (Ctrl+=)</source>
        <comment>PaintZoomIn</comment>
        <translation>Zoom In (Ctrl+=)</translation>
    </message>
    <message>
        <source>縮小 (Ctrl+-)</source>
        <comment>PaintZoomOut</comment>
        <translation>Zoom Out (Ctrl+-)</translation>
    </message>
    <message>
        <source>ウィンドウに合わせる (Ctrl+0)</source>
        <comment>PaintZoomFit</comment>
        <translation>Fit to Window (Ctrl+0)</translation>
    </message>
    <message>
        <source>等倍 (Ctrl+1)</source>
        <comment>PaintZoom1</comment>
        <translation>Actual Size (Ctrl+1)</translation>
    </message>
    <message>
        <source>表示の色（表示だけ。書き出すフィルタ画像はグレーのまま）</source>
        <comment>PaintColorMapTip</comment>
        <translation>Colours of the view (the view only: the filter image exported stays gray)</translation>
    </message>
    <message>
        <source>グレー</source>
        <comment>PaintGray</comment>
        <translation>Gray</translation>
    </message>
    <message>
        <source>カラー</source>
        <comment>PaintColour</comment>
        <translation>Colour</translation>
    </message>
    <message>
        <source>塗りを適用しています</source>
        <comment>PaintApplying</comment>
        <translation>Applying the painting</translation>
    </message>
    <message>
        <source>選択範囲を再生 (Shift+Space)</source>
        <comment>PaintPlaySelection</comment>
        <translation>Play Selection (Shift+Space)</translation>
    </message>
    <message>
        <source>選択範囲の時間だけを再生する (Shift+Space)</source>
        <comment>PaintPlaySelectionTip</comment>
        <translation>Play only the time of the selection (Shift+Space)</translation>
    </message>
    <message>
        <source>ループ</source>
        <comment>PaintLoop</comment>
        <translation>Loop</translation>
    </message>
    <message>
        <source>選択範囲をくり返し再生する</source>
        <comment>PaintLoopTip</comment>
        <translation>Play the selection over and over</translation>
    </message>
    <message>
        <source>%1 秒  %2 Hz  %3 dB (%4)</source>
        <comment>PaintSpectrumReadout</comment>
        <translation>%1 s  %2 Hz  %3 dB (%4)</translation>
    </message>
    <message>
        <source>%1 秒  %2 ms (%3 Hz)  %4 dB (%5)</source>
        <comment>PaintCepstrumReadout</comment>
        <translation>%1 s  %2 ms (%3 Hz)  %4 dB (%5)</translation>
    </message>
</context>
<context>
    <name>kestrelon::EditorSettingsDialog</name>
    <message>
        <source>外部エディタの設定</source>
        <translation>External Editor Settings</translation>
    </message>
    <message>
        <source>画像を編集するコマンド (%f はファイル名):</source>
        <translation>Command that edits the picture (%f is the file name):</translation>
    </message>
    <message>
        <source>既定のアプリケーション</source>
        <translation>The default application</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
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
        <source>フィルターインポート</source>
        <translation>Filter Import</translation>
    </message>
    <message>
        <source>フィルターエクスポート</source>
        <translation>Filter Export</translation>
    </message>
    <message>
        <source>Waveファイルを開く</source>
        <translation>Open a Wave file</translation>
    </message>
    <message>
        <source>Waveファイルを保存する</source>
        <translation>Save the Wave file</translation>
    </message>
    <message>
        <source>スペクトラム/ケプストラムをエクスポートする</source>
        <translation>Export the spectrum/cepstrum</translation>
    </message>
    <message>
        <source>スペクトラム/ケプストラムをインポートする</source>
        <translation>Import the spectrum/cepstrum</translation>
    </message>
    <message>
        <source>元に戻す(&amp;U)</source>
        <translation>&amp;Undo</translation>
    </message>
    <message>
        <source>インポートを取り消す</source>
        <translation>Undo the import</translation>
    </message>
    <message>
        <source>やり直し(&amp;R)</source>
        <translation>&amp;Redo</translation>
    </message>
    <message>
        <source>取り消したインポートをやり直す</source>
        <translation>Redo the undone import</translation>
    </message>
    <message>
        <source>再生(&amp;P)</source>
        <translation>&amp;Play</translation>
    </message>
    <message>
        <source>音を再生する</source>
        <translation>Play the sound</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>再生を止める</source>
        <translation>Stop playing</translation>
    </message>
    <message>
        <source>インポート前の音(&amp;B)</source>
        <translation>Sound &amp;before the import</translation>
    </message>
    <message>
        <source>A/B: インポート前の音を同じ位置から再生する</source>
        <translation>A/B: play the sound before the import from the same place</translation>
    </message>
    <message>
        <source>外部エディタで編集</source>
        <translation>Edit in External Editor</translation>
    </message>
    <message>
        <source>画像を外部エディタで開き、保存されるたびにインポートする</source>
        <translation>Open the picture in an external editor and import it each time it is saved</translation>
    </message>
    <message>
        <source>外部エディタの設定...</source>
        <translation>External Editor Settings...</translation>
    </message>
    <message>
        <source>画像を編集するアプリケーションを選ぶ</source>
        <translation>Choose the application that edits the picture</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>編集(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>スペクトル作成</source>
        <translation>Make Spectrum</translation>
    </message>
    <message>
        <source>Waveに出力</source>
        <translation>Output to Wave</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>スペクトラム</source>
        <translation>Spectrum</translation>
    </message>
    <message>
        <source>ケプストラム</source>
        <translation>Cepstrum</translation>
    </message>
    <message>
        <source>FFT長</source>
        <translation>FFT length</translation>
    </message>
    <message>
        <source>フィルタ画像をエクスポートする</source>
        <translation>Export the filter image</translation>
    </message>
    <message>
        <source>フィルタ画像をインポートする</source>
        <translation>Import the filter image</translation>
    </message>
    <message>
        <source>フィルタ画像を外部エディタで編集する</source>
        <translation>Edit the filter image in an external editor</translation>
    </message>
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
    <message>
        <source>言語</source>
        <translation>Language</translation>
    </message>
</context>
<context>
    <name>kestrelon::TForm2</name>
    <message>
        <source>Kestrelonの使い方</source>
        <translation>How to use Kestrelon</translation>
    </message>
    <message>
        <source>1 Waveファイルを読み込む</source>
        <translation>1 Load a Wave file</translation>
    </message>
    <message>
        <source>2 スペクトラムまたはケプストラムをBitmapとしてエクスポートする</source>
        <translation>2 Export the spectrum or cepstrum as a bitmap</translation>
    </message>
    <message>
        <source>3 スペクトラムまたはケプストラムを外部の画像処理ソフトで加工する</source>
        <translation>3 Edit the spectrum or cepstrum in an external image program</translation>
    </message>
    <message>
        <source>4 加工したスペクトラムまたはケプストラムをインポートする</source>
        <translation>4 Import the edited spectrum or cepstrum</translation>
    </message>
    <message>
        <source>5 Weveファイルを保存する</source>
        <translation>5 Save the Wave file</translation>
    </message>
    <message>
        <source>閉じる(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
</context>
</TS>
