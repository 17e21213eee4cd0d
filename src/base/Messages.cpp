// The message table: one Japanese text per MessageCode, in the enum's order; and the
// rendering of a Message in the language installed.
//
// Texts end without a full stop (the window puts them in boxes and the status bar, the
// command line after "kestrelon-cli: "). %1, %2, ... are the message's arguments in order.

#include "base/Message.h"

#include <atomic>

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
    // --- general -----------------------------------------------------------------------------
    {MessageCode::Join, QT_TRANSLATE_NOOP3("Message", "%1。%2", "Join")},
    {MessageCode::FileReason, QT_TRANSLATE_NOOP3("Message", "%1: %2", "FileReason")},
    {MessageCode::WithDetail, QT_TRANSLATE_NOOP3("Message", "%1（%2）", "WithDetail")},
    {MessageCode::OutOfMemory, QT_TRANSLATE_NOOP3("Message", "メモリが足りません", "OutOfMemory")},
    {MessageCode::Cancelled, QT_TRANSLATE_NOOP3("Message", "キャンセルしました", "Cancelled")},
    {MessageCode::Internal, QT_TRANSLATE_NOOP3("Message", "内部エラー: %1", "Internal")},
    {MessageCode::Verbatim, QT_TRANSLATE_NOOP3("Message", "%1", "Verbatim")},
    // --- files: opening, reading, writing (audio/FileAccess, every reader and writer) --------
    {MessageCode::CannotOpen, QT_TRANSLATE_NOOP3("Message", "開けません: %1", "CannotOpen")},
    {MessageCode::CannotRead, QT_TRANSLATE_NOOP3("Message", "読み込めません: %1", "CannotRead")},
    {MessageCode::CannotCreate, QT_TRANSLATE_NOOP3("Message", "作成できません: %1", "CannotCreate")},
    {MessageCode::CannotWrite, QT_TRANSLATE_NOOP3("Message", "書き込めません: %1", "CannotWrite")},
    {MessageCode::CannotWriteNoMemory, QT_TRANSLATE_NOOP3("Message", "メモリが足りないため書き込めません", "CannotWriteNoMemory")},
    {MessageCode::CannotKeepPermissions, QT_TRANSLATE_NOOP3("Message", "ファイルのアクセス権を保てません: %1", "CannotKeepPermissions")},
    {MessageCode::CannotSetPermissions, QT_TRANSLATE_NOOP3("Message", "アクセス権を設定できません: %1", "CannotSetPermissions")},
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
    // --- sound files (audio/WavFile, audio/SoundFile) ----------------------------------------
    {MessageCode::WavTooShort, QT_TRANSLATE_NOOP3("Message", "WAV ファイルにしては短すぎます（%1 バイト）", "WavTooShort")},
    {MessageCode::NotRiffWave, QT_TRANSLATE_NOOP3("Message", "WAV ファイルではありません", "NotRiffWave")},
    {MessageCode::ChunkPastEnd, QT_TRANSLATE_NOOP3("Message", "%1 チャンクがファイルの終わりを %2 バイト超えています", "ChunkPastEnd")},
    {MessageCode::FmtChunkTooSmall, QT_TRANSLATE_NOOP3("Message", "フォーマットチャンクが %1 バイトしかありません（16 バイト以上必要です）", "FmtChunkTooSmall")},
    {MessageCode::NoFmtChunk, QT_TRANSLATE_NOOP3("Message", "フォーマットチャンクがありません", "NoFmtChunk")},
    {MessageCode::NoDataChunk, QT_TRANSLATE_NOOP3("Message", "データチャンクがありません", "NoDataChunk")},
    {MessageCode::DataChunkTooLarge, QT_TRANSLATE_NOOP3("Message", "データチャンクが %1 バイトあり、扱える 2 147 483 647 バイトを超えています", "DataChunkTooLarge")},
    {MessageCode::SampleDataUnreadable, QT_TRANSLATE_NOOP3("Message", "サンプルデータを読み込めません", "SampleDataUnreadable")},
    {MessageCode::DataSizeNotFilled, QT_TRANSLATE_NOOP3("Message", "データチャンクのサイズが書かれていません。ファイルにある %1 フレームを読み込みました", "DataSizeNotFilled")},
    {MessageCode::FileEndsInData, QT_TRANSLATE_NOOP3("Message", "ファイルがデータチャンクの終わりより %1 バイト手前で終わっています。%3 フレームのうち %2 フレームを読み込みました", "FileEndsInData")},
    {MessageCode::NonFiniteSamples, QT_TRANSLATE_NOOP3("Message", "%1 個のサンプルが数値ではない（NaN か無限大）ため 0 として読み込みました", "NonFiniteSamples")},
    {MessageCode::NoMemoryForSamples, QT_TRANSLATE_NOOP3("Message", "サンプルを読み込むためのメモリが足りません", "NoMemoryForSamples")},
    {MessageCode::ExtensibleIncomplete, QT_TRANSLATE_NOOP3("Message", "拡張フォーマットのヘッダが不完全です（%1 バイト）", "ExtensibleIncomplete")},
    {MessageCode::ExtensibleUnknownGuid, QT_TRANSLATE_NOOP3("Message", "GUID が不明な拡張サブフォーマットには対応していません", "ExtensibleUnknownGuid")},
    {MessageCode::CompressedFormat, QT_TRANSLATE_NOOP3("Message", "圧縮フォーマット %1 には対応していません", "CompressedFormat")},
    {MessageCode::ExtensibleSubformat, QT_TRANSLATE_NOOP3("Message", "拡張サブフォーマット %1 には対応していません", "ExtensibleSubformat")},
    {MessageCode::FormatUnknown, QT_TRANSLATE_NOOP3("Message", "不明", "FormatUnknown")},
    {MessageCode::FloatBitsUnsupported, QT_TRANSLATE_NOOP3("Message", "%1 ビットの浮動小数点サンプルには対応していません", "FloatBitsUnsupported")},
    {MessageCode::IntBitsUnsupported, QT_TRANSLATE_NOOP3("Message", "%1 ビットの整数サンプルには対応していません（64 ビットまで）", "IntBitsUnsupported")},
    {MessageCode::NoChannels, QT_TRANSLATE_NOOP3("Message", "チャンネル数が 0 です", "NoChannels")},
    {MessageCode::TooManyChannels, QT_TRANSLATE_NOOP3("Message", "チャンネル数が %1 です（256 チャンネルまで扱えます）", "TooManyChannels")},
    {MessageCode::BitsNotWholeBytes, QT_TRANSLATE_NOOP3("Message", "1 サンプル %1 ビットには対応していません（バイト単位のみ）", "BitsNotWholeBytes")},
    {MessageCode::SampleRateIs, QT_TRANSLATE_NOOP3("Message", "サンプリング周波数が %1 です", "SampleRateIs")},
    {MessageCode::ByteRateTooHigh, QT_TRANSLATE_NOOP3("Message", "1 秒あたり %1 バイトは上限の 2 147 483 647 を超えています", "ByteRateTooHigh")},
    {MessageCode::DecodedTooLarge, QT_TRANSLATE_NOOP3("Message", "デコードした音が、1 つの音に入る 2 147 483 647 バイトを超えています", "DecodedTooLarge")},
    {MessageCode::NotASoundFile, QT_TRANSLATE_NOOP3("Message", "WAV、FLAC、Ogg、MP3、AIFF、Wave64、RF64、CAF のどのファイルでもありません %1", "NotASoundFile")},
    {MessageCode::CannotBeReadLibrary, QT_TRANSLATE_NOOP3("Message", "読み込めません %1", "CannotBeReadLibrary")},
    {MessageCode::FormatFilesUnsupported, QT_TRANSLATE_NOOP3("Message", "%1 ファイルには対応していません", "FormatFilesUnsupported")},
    {MessageCode::DamagedAfterFrames, QT_TRANSLATE_NOOP3("Message", "ファイルが %1 フレームの後で壊れています %2", "DamagedAfterFrames")},
    {MessageCode::EndsAfterFrames, QT_TRANSLATE_NOOP3("Message", "ファイルが %2 フレームのうち %1 フレームで終わっています", "EndsAfterFrames")},
    {MessageCode::CannotDecodeMpeg, QT_TRANSLATE_NOOP3("Message", "MPEG オーディオをデコードできません %1", "CannotDecodeMpeg")},
    {MessageCode::NoMpegAudio, QT_TRANSLATE_NOOP3("Message", "デコードできる MPEG オーディオがありません %1", "NoMpegAudio")},
    {MessageCode::MpegNoFloat, QT_TRANSLATE_NOOP3("Message", "MPEG デコーダが浮動小数点のサンプルを出しません", "MpegNoFloat")},
    {MessageCode::MpegStreamChanges, QT_TRANSLATE_NOOP3("Message", "%5 フレームの後でストリームが %1 Hz %2 チャンネルから %3 Hz %4 チャンネルに変わります", "MpegStreamChanges")},
    {MessageCode::MpegNoProgress, QT_TRANSLATE_NOOP3("Message", "MPEG デコーダが先へ進まなくなりました", "MpegNoProgress")},
    {MessageCode::FlacFloat, QT_TRANSLATE_NOOP3("Message", "FLAC に保存できるのは 8〜24 ビットの整数サンプルです。この音は %1 ビットの浮動小数点です（WAV で保存してください）", "FlacFloat")},
    {MessageCode::FlacNotSampleType, QT_TRANSLATE_NOOP3("Message", "FLAC に保存できるのは 8〜24 ビットの整数サンプルです。この音の形式（タグ %1、%2 ビット）はサンプルの形式ではありません", "FlacNotSampleType")},
    {MessageCode::FlacBits, QT_TRANSLATE_NOOP3("Message", "FLAC に保存できるのは 8〜24 ビットの整数サンプルです。この音は %1 ビットです（WAV で保存してください）", "FlacBits")},
    {MessageCode::FlacChannels, QT_TRANSLATE_NOOP3("Message", "FLAC に保存できるのは 1〜8 チャンネルです。この音は %1 チャンネルです（WAV で保存してください）", "FlacChannels")},
    {MessageCode::FlacEmpty, QT_TRANSLATE_NOOP3("Message", "FLAC で保存するサンプルがありません（WAV で保存してください）", "FlacEmpty")},
    // --- engine errors (base/Errors.h): what overflowed --------------------------------------
    {MessageCode::IntOverflow, QT_TRANSLATE_NOOP3("Message", "%1が大きすぎて計算できません（整数のオーバーフロー）", "IntOverflow")},
    {MessageCode::FloatOverflow, QT_TRANSLATE_NOOP3("Message", "計算が数値の範囲を超えました（浮動小数点のオーバーフロー）: %1", "FloatOverflow")},
    {MessageCode::WhatBlockSize, QT_TRANSLATE_NOOP3("Message", "1 フレームのバイト数（65535 まで）", "WhatBlockSize")},
    {MessageCode::WhatBytesPerSecond, QT_TRANSLATE_NOOP3("Message", "1 秒あたりのバイト数", "WhatBytesPerSecond")},
    {MessageCode::WhatSampleBlock, QT_TRANSLATE_NOOP3("Message", "サンプルのバイト数", "WhatSampleBlock")},
    {MessageCode::WhatFrameCount, QT_TRANSLATE_NOOP3("Message", "フレーム数", "WhatFrameCount")},
    {MessageCode::WhatPictureWidth, QT_TRANSLATE_NOOP3("Message", "画像の幅", "WhatPictureWidth")},
    {MessageCode::WhatPictureHeight, QT_TRANSLATE_NOOP3("Message", "画像の高さ", "WhatPictureHeight")},
    {MessageCode::WhatTimeColumn, QT_TRANSLATE_NOOP3("Message", "時間軸の位置", "WhatTimeColumn")},
    {MessageCode::WhatFrequencyRow, QT_TRANSLATE_NOOP3("Message", "周波数軸の位置", "WhatFrequencyRow")},
    {MessageCode::WhatPitchRow, QT_TRANSLATE_NOOP3("Message", "ピッチ軸の位置", "WhatPitchRow")},
    {MessageCode::WhatBmpSize, QT_TRANSLATE_NOOP3("Message", "BMP ファイルの大きさ", "WhatBmpSize")},
    {MessageCode::WhatCellsSize, QT_TRANSLATE_NOOP3("Message", "セルの数", "WhatCellsSize")},
    {MessageCode::WhatDbArraySize, QT_TRANSLATE_NOOP3("Message", "dB 値の配列", "WhatDbArraySize")},
    {MessageCode::WhatGainArraySize, QT_TRANSLATE_NOOP3("Message", "ゲインの配列", "WhatGainArraySize")},
    {MessageCode::WhatSpectrogramSize, QT_TRANSLATE_NOOP3("Message", "スペクトログラムの大きさ", "WhatSpectrogramSize")},
    {MessageCode::WhatResynthesisLength, QT_TRANSLATE_NOOP3("Message", "再合成する音の長さ", "WhatResynthesisLength")},
    {MessageCode::NoSamplesToResynthesise, QT_TRANSLATE_NOOP3("Message", "再合成する先のサンプルがありません（整数のオーバーフロー）", "NoSamplesToResynthesise")},
    {MessageCode::ZeroSampleRate, QT_TRANSLATE_NOOP3("Message", "サンプリング周波数が 0 なので長さを計算できません（ゼロ除算）", "ZeroSampleRate")},
    {MessageCode::DbValueError, QT_TRANSLATE_NOOP3("Message", "スペクトルの dB 値を計算できません（基準値 %1 に対して数値の範囲を超えます）", "DbValueError")},
    {MessageCode::TooManyChannelsToAnalyse, QT_TRANSLATE_NOOP3("Message", "%1 チャンネルの音は解析できません（%2 チャンネルまで）", "TooManyChannelsToAnalyse")},
    {MessageCode::GainOverflowBin, QT_TRANSLATE_NOOP3("Message", "編集のゲインが大きすぎて、周波数成分が数値の範囲を超えます", "GainOverflowBin")},
    {MessageCode::GainOverflowCepstrum, QT_TRANSLATE_NOOP3("Message", "編集のゲインが大きすぎて、ケプストラムの値が数値の範囲を超えます", "GainOverflowCepstrum")},
    {MessageCode::GainOverflowCepstrumGain, QT_TRANSLATE_NOOP3("Message", "ケプストラムの編集から求めたゲインが数値の範囲を超えます", "GainOverflowCepstrumGain")},
    {MessageCode::GainOverflowValue, QT_TRANSLATE_NOOP3("Message", "編集のゲインが大きすぎて、値が数値の範囲を超えます", "GainOverflowValue")},
    // --- pictures (imaging): the filter image read back --------------------------------------
    {MessageCode::PictureSizeMismatch, QT_TRANSLATE_NOOP3("Message", "画像の大きさが %1 x %2 ピクセルですが、%3 x %4 ピクセル必要です", "PictureSizeMismatch")},
    {MessageCode::PictureWidthMismatch, QT_TRANSLATE_NOOP3("Message", "画像の幅が %1 ピクセルですが、%2 ピクセル必要です", "PictureWidthMismatch")},
    {MessageCode::PictureHeightMismatch, QT_TRANSLATE_NOOP3("Message", "画像の高さが %1 ピクセルですが、%2 ピクセル必要です", "PictureHeightMismatch")},
    {MessageCode::HintOtherFftLength, QT_TRANSLATE_NOOP3("Message", "%1（FFT長 %2 で書き出した画像ですか？）", "HintOtherFftLength")},
    {MessageCode::HintOtherSound, QT_TRANSLATE_NOOP3("Message", "%1（別の長さの音から書き出した画像ですか？）", "HintOtherSound")},
    {MessageCode::ImageCutShort, QT_TRANSLATE_NOOP3("Message", "ファイルが途中で切れています: 画素データに %1 バイト必要ですが、ファイルは %2 バイトです", "ImageCutShort")},
    {MessageCode::ImageHeaderCutShort, QT_TRANSLATE_NOOP3("Message", "ファイルがヘッダの途中で切れています", "ImageHeaderCutShort")},
    {MessageCode::BmpHeaderUnknown, QT_TRANSLATE_NOOP3("Message", "このプログラムが読める BMP 画像ではありません（ヘッダ %1 バイト）", "BmpHeaderUnknown")},
    {MessageCode::BmpBitsPerPixel, QT_TRANSLATE_NOOP3("Message", "BMP の 1 画素 %1 ビットには対応していません", "BmpBitsPerPixel")},
    {MessageCode::BmpCompression, QT_TRANSLATE_NOOP3("Message", "BMP の圧縮方式 %1 は 1 画素 %2 ビットでは読めません", "BmpCompression")},
    {MessageCode::BmpColourTableSize, QT_TRANSLATE_NOOP3("Message", "BMP のカラーテーブルに %1 色あります", "BmpColourTableSize")},
    {MessageCode::BmpHeaderDamaged, QT_TRANSLATE_NOOP3("Message", "BMP のヘッダが壊れています（画素データの位置 %1）", "BmpHeaderDamaged")},
    {MessageCode::BmpColourTableOverlap, QT_TRANSLATE_NOOP3("Message", "BMP のカラーテーブル（%1〜%2 バイト目）が画素データ（%3 バイト目から）に重なっています", "BmpColourTableOverlap")},
    {MessageCode::ImageCutShortCompressed, QT_TRANSLATE_NOOP3("Message", "ファイルが圧縮された画素データの途中で切れています", "ImageCutShortCompressed")},
    {MessageCode::PngTooMuchData, QT_TRANSLATE_NOOP3("Message", "PNG に画像より多くの画素データがあります", "PngTooMuchData")},
    {MessageCode::PngRowFilter, QT_TRANSLATE_NOOP3("Message", "PNG が壊れています（行フィルタ %1）", "PngRowFilter")},
    {MessageCode::PngCutShortCompressed, QT_TRANSLATE_NOOP3("Message", "PNG が圧縮された画素データの途中で切れています", "PngCutShortCompressed")},
    {MessageCode::PngDataNotEnding, QT_TRANSLATE_NOOP3("Message", "PNG の圧縮された画素データが最後の行の後で終わっていません", "PngDataNotEnding")},
    {MessageCode::PngDataDamaged, QT_TRANSLATE_NOOP3("Message", "PNG の圧縮された画素データが壊れています（%1）", "PngDataDamaged")},
    {MessageCode::PngDataEndsEarly, QT_TRANSLATE_NOOP3("Message", "PNG の圧縮された画素データが最後の行より前で終わっています", "PngDataEndsEarly")},
    {MessageCode::PngBytesAfterData, QT_TRANSLATE_NOOP3("Message", "PNG の圧縮された画素データの後に余分なバイトがあります", "PngBytesAfterData")},
    {MessageCode::PngEndsEarly, QT_TRANSLATE_NOOP3("Message", "ファイルが途中で切れています: PNG のデータが早く終わっています", "PngEndsEarly")},
    {MessageCode::PngChunkLength, QT_TRANSLATE_NOOP3("Message", "PNG が壊れています（%1 バイトのチャンク）", "PngChunkLength")},
    {MessageCode::PngHeaderNotFirst, QT_TRANSLATE_NOOP3("Message", "PNG が壊れています（ヘッダが最初のチャンクではありません）", "PngHeaderNotFirst")},
    {MessageCode::PngChecksum, QT_TRANSLATE_NOOP3("Message", "PNG が壊れています（%1 チャンクのチェックサムが違います）", "PngChecksum")},
    {MessageCode::PngHeaderLength, QT_TRANSLATE_NOOP3("Message", "PNG のヘッダが壊れています（%1 バイト）", "PngHeaderLength")},
    {MessageCode::PngSideLimit, QT_TRANSLATE_NOOP3("Message", "PNG ライブラリは 1 辺 %1 ピクセルより大きい画像を読めません", "PngSideLimit")},
    {MessageCode::PngHeaderDamaged, QT_TRANSLATE_NOOP3("Message", "PNG のヘッダが壊れています（カラータイプ %1、深さ %2、方式 %3 %4 %5）", "PngHeaderDamaged")},
    {MessageCode::PngIdatLimit, QT_TRANSLATE_NOOP3("Message", "PNG の圧縮された画素データが %1 バイトを超えています。%2 の画像に必要な量より多すぎます", "PngIdatLimit")},
    {MessageCode::PngPaletteDamaged, QT_TRANSLATE_NOOP3("Message", "PNG のパレットが壊れています（%1 バイト）", "PngPaletteDamaged")},
    {MessageCode::PngUnknownChunk, QT_TRANSLATE_NOOP3("Message", "PNG にこのプログラムが知らないチャンク（%1）があります", "PngUnknownChunk")},
    {MessageCode::PngNoPalette, QT_TRANSLATE_NOOP3("Message", "PNG が壊れています（パレット画像にパレットがありません）", "PngNoPalette")},
    {MessageCode::PngNoData, QT_TRANSLATE_NOOP3("Message", "PNG に画素データがありません", "PngNoData")},
    {MessageCode::NoPictureToCompare, QT_TRANSLATE_NOOP3("Message", "比べる解析済みの画像がありません", "NoPictureToCompare")},
    {MessageCode::NotBmpOrPng, QT_TRANSLATE_NOOP3("Message", "BMP でも PNG でもありません", "NotBmpOrPng")},
    {MessageCode::QtRefusesImage, QT_TRANSLATE_NOOP3("Message", "Qt の画像読み込みが受け付けません", "QtRefusesImage")},
    {MessageCode::ImageCannotBeDecoded, QT_TRANSLATE_NOOP3("Message", "画像をデコードできません: %1", "ImageCannotBeDecoded")},
    {MessageCode::RleUnwritten, QT_TRANSLATE_NOOP3("Message", "RLE 画像に書かれない画素が残るおそれがあります（Qt が用意した画像にデコードしませんでした）", "RleUnwritten")},
    {MessageCode::UnknownView, QT_TRANSLATE_NOOP3("Message", "知らない表示です", "UnknownView")},
    {MessageCode::NoAnalysedPicture, QT_TRANSLATE_NOOP3("Message", "比べる解析済みの画像がありません", "NoAnalysedPicture")},
    {MessageCode::SpectrogramsMismatch, QT_TRANSLATE_NOOP3("Message", "スペクトログラムが解析と合いません", "SpectrogramsMismatch")},
    {MessageCode::CepstraMismatch, QT_TRANSLATE_NOOP3("Message", "ケプストラムが解析と合いません", "CepstraMismatch")},
    {MessageCode::AnalysisIncomplete, QT_TRANSLATE_NOOP3("Message", "解析が完了していません", "AnalysisIncomplete")},
    // --- the editing core's commands (editing) -----------------------------------------------
    {MessageCode::ClippedSamples, QT_TRANSLATE_NOOP3("Message", "%1 サンプルがフルスケールを超えてクリップしました（ピーク %2）", "ClippedSamples")},
    {MessageCode::OverFullScale, QT_TRANSLATE_NOOP3("Message", "%1 サンプルがフルスケールを超えています（ピーク %2）。そのまま保持しています", "OverFullScale")},
    {MessageCode::FileEndsEarlyFrames, QT_TRANSLATE_NOOP3("Message", "ファイルが途中で終わっています: %2 フレームのうち %1 フレームを読み込みました", "FileEndsEarlyFrames")},
    {MessageCode::NoPictureToCompareWith, QT_TRANSLATE_NOOP3("Message", "比べる解析済みの画像がありません", "NoPictureToCompareWith")},
    {MessageCode::NoPictureToExport, QT_TRANSLATE_NOOP3("Message", "エクスポートする解析済みの画像がありません", "NoPictureToExport")},
    {MessageCode::NoPictureToPaint, QT_TRANSLATE_NOOP3("Message", "塗る解析済みの画像がありません", "NoPictureToPaint")},
    {MessageCode::OpenedSoundUnknown, QT_TRANSLATE_NOOP3("Message", "開いたときの音がわからないため、消しゴムで戻せません", "OpenedSoundUnknown")},
    {MessageCode::OpenedSoundOtherLength, QT_TRANSLATE_NOOP3("Message", "開いたときの音と長さが違うため、消しゴムで戻せません", "OpenedSoundOtherLength")},
    {MessageCode::NoSoundToSave, QT_TRANSLATE_NOOP3("Message", "保存する音がありません", "NoSoundToSave")},
    {MessageCode::NoSoundToUndo, QT_TRANSLATE_NOOP3("Message", "元に戻す音がありません", "NoSoundToUndo")},
    {MessageCode::NoSoundToRedo, QT_TRANSLATE_NOOP3("Message", "やり直す音がありません", "NoSoundToRedo")},
    {MessageCode::ImportGainsOverflow, QT_TRANSLATE_NOOP3("Message", "画像の編集が求めるゲインが大きすぎて音を計算できません（%1）。音は変わっていません", "ImportGainsOverflow")},
    {MessageCode::PassReading, QT_TRANSLATE_NOOP3("Message", "読み込み", "PassReading")},
    {MessageCode::PassAnalysis, QT_TRANSLATE_NOOP3("Message", "解析", "PassAnalysis")},
    {MessageCode::PassDrawing, QT_TRANSLATE_NOOP3("Message", "描画", "PassDrawing")},
    {MessageCode::PassApplyingGains, QT_TRANSLATE_NOOP3("Message", "ゲイン適用と再合成", "PassApplyingGains")},
    {MessageCode::PassHistory, QT_TRANSLATE_NOOP3("Message", "履歴", "PassHistory")},
    {MessageCode::PassResynthesis, QT_TRANSLATE_NOOP3("Message", "再合成", "PassResynthesis")},
    {MessageCode::HistoryCannotCompress, QT_TRANSLATE_NOOP3("Message", "元に戻すための履歴が音を圧縮できません（メモリ不足？）", "HistoryCannotCompress")},
    {MessageCode::HistoryDamaged, QT_TRANSLATE_NOOP3("Message", "この操作の履歴のデータが壊れています", "HistoryDamaged")},
    {MessageCode::HistoryUnknownWidth, QT_TRANSLATE_NOOP3("Message", "履歴が知らないサンプル幅に出会いました", "HistoryUnknownWidth")},
    {MessageCode::HistoryOtherSound, QT_TRANSLATE_NOOP3("Message", "この操作を記録した音とは違う音です。何も変えていません", "HistoryOtherSound")},
    {MessageCode::HistoryNotReproduced, QT_TRANSLATE_NOOP3("Message", "履歴がこの操作の音を再現できません。何も変えていません", "HistoryNotReproduced")},
    // --- the import guard (editing/Document::CheckImport) ------------------------------------
    {MessageCode::ViewSpectrum, QT_TRANSLATE_NOOP3("Message", "スペクトラム", "ViewSpectrum")},
    {MessageCode::ViewCepstrum, QT_TRANSLATE_NOOP3("Message", "ケプストラム", "ViewCepstrum")},
    {MessageCode::ViewAndFftLength, QT_TRANSLATE_NOOP3("Message", "%1表示・FFT長 %2", "ViewAndFftLength")},
    {MessageCode::GuardByName, QT_TRANSLATE_NOOP3("Message", "ファイル名によると、この画像は%1で書き出したものですが、いまの表示は%2です", "GuardByName")},
    {MessageCode::GuardByContents, QT_TRANSLATE_NOOP3("Message", "この画像は%1の画像に見えますが、いまの表示は%2です", "GuardByContents")},
    // --- external editor sessions (editing/ExternalEdit) -------------------------------------
    {MessageCode::WatchReasonNoSound, QT_TRANSLATE_NOOP3("Message", "音がない", "WatchReasonNoSound")},
    {MessageCode::WatchReasonFftLength, QT_TRANSLATE_NOOP3("Message", "FFT長を変えた", "WatchReasonFftLength")},
    {MessageCode::WatchReasonView, QT_TRANSLATE_NOOP3("Message", "表示を変えた", "WatchReasonView")},
    {MessageCode::WatchReasonSound, QT_TRANSLATE_NOOP3("Message", "音が変わった", "WatchReasonSound")},
    {MessageCode::WatchEnded, QT_TRANSLATE_NOOP3("Message", "%1ため監視を終了しました", "WatchEnded")},
    {MessageCode::EditorCannotRead, QT_TRANSLATE_NOOP3("Message", "%1 を読み込めません: %2", "EditorCannotRead")},
    {MessageCode::EditorSavedUnchanged, QT_TRANSLATE_NOOP3("Message", "%1 は絵を変えずに保存されました", "EditorSavedUnchanged")},
    {MessageCode::EditorApplyCancelled, QT_TRANSLATE_NOOP3("Message", "%1 の適用をキャンセルしました", "EditorApplyCancelled")},
    {MessageCode::EditorApplyFailed, QT_TRANSLATE_NOOP3("Message", "%1 を適用できませんでした: %2", "EditorApplyFailed")},
    {MessageCode::EditorApplied, QT_TRANSLATE_NOOP3("Message", "%1 を適用しました", "EditorApplied")},
    // --- the command line (cli) --------------------------------------------------------------
    {MessageCode::CliCannotWriteStdout, QT_TRANSLATE_NOOP3("Message", "標準出力に書き込めません: %1", "CliCannotWriteStdout")},
    {MessageCode::CliNameNotUtf8, QT_TRANSLATE_NOOP3("Message", "開けません: 名前が UTF-8 ではなく、/proc/self/fd も使えません", "CliNameNotUtf8")},
    {MessageCode::CliSameAsInput, QT_TRANSLATE_NOOP3("Message", "読み込む音と同じファイルです。エクスポートで画像に置き換えません", "CliSameAsInput")},
    {MessageCode::CliSameAsInputOther, QT_TRANSLATE_NOOP3("Message", "%1 と同じファイルで、読み込む音です。エクスポートで画像に置き換えません", "CliSameAsInputOther")},
    {MessageCode::CliSameAsEdited, QT_TRANSLATE_NOOP3("Message", "編集した画像と同じファイルです。適用で音に置き換えません", "CliSameAsEdited")},
    {MessageCode::CliSameAsEditedOther, QT_TRANSLATE_NOOP3("Message", "%1 と同じファイルで、編集した画像です。適用で音に置き換えません", "CliSameAsEditedOther")},
    {MessageCode::CliWarning, QT_TRANSLATE_NOOP3("Message", "警告: %1", "CliWarning")},
    // --- app: errors at the command boundary, the dialogs' questions -------------------------
    {MessageCode::CommandStoppedNoMemory, QT_TRANSLATE_NOOP3("Message", "メモリが足りないため、コマンドを中止しました", "CommandStoppedNoMemory")},
    {MessageCode::CommandStoppedUnexpected, QT_TRANSLATE_NOOP3("Message", "予期しないエラーのため、コマンドを中止しました", "CommandStoppedUnexpected")},
    {MessageCode::AnotherCommandRunning, QT_TRANSLATE_NOOP3("Message", "別のコマンドがまだ実行中です", "AnotherCommandRunning")},
    {MessageCode::ImportAnyway, QT_TRANSLATE_NOOP3("Message", "%1。このままインポートしますか？", "ImportAnyway")},
    {MessageCode::OverwriteQuestion, QT_TRANSLATE_NOOP3("Message", "\"%1\" を上書きしますか？", "OverwriteQuestion")},
    {MessageCode::SaveChangesQuestion, QT_TRANSLATE_NOOP3("Message", "\"%1\" への変更を保存しますか？", "SaveChangesQuestion")},
    {MessageCode::NameNotUtf8, QT_TRANSLATE_NOOP3("Message", "%1: 名前が正しい UTF-8 ではないため開けません。名前を変えるか、kestrelon-cli を使ってください", "NameNotUtf8")},
    // --- app: playback and the external editor's start ---------------------------------------
    {MessageCode::AudioOpenFailed, QT_TRANSLATE_NOOP3("Message", "音声出力装置を開けませんでした", "AudioOpenFailed")},
    {MessageCode::AudioWriteFailed, QT_TRANSLATE_NOOP3("Message", "音声出力装置への書き込みに失敗しました", "AudioWriteFailed")},
    {MessageCode::AudioUnusable, QT_TRANSLATE_NOOP3("Message", "音声出力装置が使えません", "AudioUnusable")},
    {MessageCode::AudioNoDeviceFound, QT_TRANSLATE_NOOP3("Message", "音声出力装置が見つからないため再生できません", "AudioNoDeviceFound")},
    {MessageCode::AudioFormatUnsupported, QT_TRANSLATE_NOOP3("Message", "音声出力装置がこの形式に対応していません (%1 Hz, %2 ch)", "AudioFormatUnsupported")},
    {MessageCode::AudioNoOutput, QT_TRANSLATE_NOOP3("Message", "音声出力装置がないため再生できません", "AudioNoOutput")},
    {MessageCode::NothingToPlay, QT_TRANSLATE_NOOP3("Message", "再生する音がありません", "NothingToPlay")},
    // --- pieces of a long sound (editing/Document, the window's range export) ---------------
    {MessageCode::RangeNotARange, QT_TRANSLATE_NOOP3("Message", "範囲 %1 秒〜%2 秒は範囲になっていません。0 秒以降に始まり、始まりより後に終わる必要があります", "RangeNotARange")},
    {MessageCode::RangeNoFrames, QT_TRANSLATE_NOOP3("Message", "範囲 %1 秒〜%2 秒には音のフレームがありません（音の長さは %3 秒です）", "RangeNoFrames")},
    {MessageCode::RangeOutsideSound, QT_TRANSLATE_NOOP3("Message", "%1: フレーム %2〜%3 は、%4 フレームある音の範囲ではありません", "RangeOutsideSound")},
    {MessageCode::RangeOtherRange, QT_TRANSLATE_NOOP3("Message", "%1: 画像の大きさが %2 x %3 ピクセルですが、範囲 %4 秒〜%5 秒の画像は %6 x %7 ピクセルです。別の範囲か別の長さの音の画像です", "RangeOtherRange")},
    {MessageCode::RangeOtherAnalysis, QT_TRANSLATE_NOOP3("Message", "%1: この画像は %2 フレーム・FFT長 %3 の解析から書き出したものですが、いまの音は %4 フレーム・FFT長 %5 です", "RangeOtherAnalysis")},
    {MessageCode::RangeExportItem, QT_TRANSLATE_NOOP3("Message", "範囲をエクスポート...", "RangeExportItem")},
    {MessageCode::RangeExportHint, QT_TRANSLATE_NOOP3("Message", "表示中の部分または秒で指定した範囲をエクスポートする", "RangeExportHint")},
    {MessageCode::RangeTitle, QT_TRANSLATE_NOOP3("Message", "範囲をエクスポート (秒)", "RangeTitle")},
    {MessageCode::RangeImportTitle, QT_TRANSLATE_NOOP3("Message", "この画像の範囲 (秒)", "RangeImportTitle")},
    {MessageCode::RangeFrom, QT_TRANSLATE_NOOP3("Message", "開始", "RangeFrom")},
    {MessageCode::RangeTo, QT_TRANSLATE_NOOP3("Message", "終了", "RangeTo")},
    {MessageCode::RangeTooWide, QT_TRANSLATE_NOOP3("Message", "全体の画像は幅 %1 ピクセルになり、%2 ピクセルを超えます。表示中の部分 (または秒で指定した範囲) をエクスポートしますか？", "RangeTooWide")},
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
    {MessageCode::PaintApplied, QT_TRANSLATE_NOOP3("Message", "%1 を適用しました", "PaintApplied")},
    {MessageCode::PaintCancelled, QT_TRANSLATE_NOOP3("Message", "%1 の適用をキャンセルしました", "PaintCancelled")},
    {MessageCode::PaintFailed, QT_TRANSLATE_NOOP3("Message", "%1 を適用できませんでした", "PaintFailed")},
    {MessageCode::Undone, QT_TRANSLATE_NOOP3("Message", "%1を元に戻しました", "Undone")},
    {MessageCode::UndoCancelled, QT_TRANSLATE_NOOP3("Message", "元に戻す操作をキャンセルしました", "UndoCancelled")},
    {MessageCode::UndoFailed, QT_TRANSLATE_NOOP3("Message", "元に戻せませんでした", "UndoFailed")},
    {MessageCode::Redone, QT_TRANSLATE_NOOP3("Message", "%1をやり直しました", "Redone")},
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
    // The hidden commands' status messages, their step, and the undo and redo hints.
    {MessageCode::SpectrumMade, QT_TRANSLATE_NOOP3("Message", "スペクトルを作成しました", "SpectrumMade")},
    {MessageCode::SpectrumCancelled, QT_TRANSLATE_NOOP3("Message", "スペクトルの作成をキャンセルしました", "SpectrumCancelled")},
    {MessageCode::SpectrumFailed, QT_TRANSLATE_NOOP3("Message", "スペクトルを作成できませんでした", "SpectrumFailed")},
    {MessageCode::Resynthesised, QT_TRANSLATE_NOOP3("Message", "Waveに出力しました", "Resynthesised")},
    {MessageCode::ResynthesisCancelled, QT_TRANSLATE_NOOP3("Message", "Waveへの出力をキャンセルしました", "ResynthesisCancelled")},
    {MessageCode::ResynthesisFailed, QT_TRANSLATE_NOOP3("Message", "Waveに出力できませんでした", "ResynthesisFailed")},
    {MessageCode::StepResynthesis, QT_TRANSLATE_NOOP3("Message", "Waveに出力", "StepResynthesis")},
    {MessageCode::UndoHint, QT_TRANSLATE_NOOP3("Message", "%1を取り消す", "UndoHint")},
    {MessageCode::RedoHint, QT_TRANSLATE_NOOP3("Message", "取り消した%1をやり直す", "RedoHint")},
    // --- the paint tool bar (app/PaintTools) ------------------------------------------------
    {MessageCode::PaintPointer, QT_TRANSLATE_NOOP3("Message", "ポインタ", "PaintPointer")},
    {MessageCode::PaintPointerTip, QT_TRANSLATE_NOOP3("Message", "ポインタ (Esc): クリックで再生を始める位置を決める", "PaintPointerTip")},
    {MessageCode::PaintBrush, QT_TRANSLATE_NOOP3("Message", "ブラシ", "PaintBrush")},
    {MessageCode::PaintBrushTip, QT_TRANSLATE_NOOP3("Message", "ブラシ (B): なぞったセルにゲインをかける（既定 -20 dB で暗く、音は小さく）", "PaintBrushTip")},
    {MessageCode::PaintEraser, QT_TRANSLATE_NOOP3("Message", "消しゴム", "PaintEraser")},
    {MessageCode::PaintEraserTip, QT_TRANSLATE_NOOP3("Message", "消しゴム (E): なぞったセルを、開いた時の音の明るさに戻す", "PaintEraserTip")},
    {MessageCode::PaintRectangle, QT_TRANSLATE_NOOP3("Message", "矩形選択", "PaintRectangle")},
    {MessageCode::PaintRectangleTip, QT_TRANSLATE_NOOP3("Message", "矩形選択 (R): 囲んだセルにゲインをかけるか、無音にする。選択範囲は残る", "PaintRectangleTip")},
    {MessageCode::PaintLasso, QT_TRANSLATE_NOOP3("Message", "投げ縄選択", "PaintLasso")},
    {MessageCode::PaintLassoTip, QT_TRANSLATE_NOOP3("Message", "投げ縄選択 (L): 自由な形で囲んだセルにゲインをかけるか、無音にする。選択範囲は残る", "PaintLassoTip")},
    {MessageCode::PaintHarmonics, QT_TRANSLATE_NOOP3("Message", "倍音ブラシ", "PaintHarmonics")},
    {MessageCode::PaintHarmonicsTip, QT_TRANSLATE_NOOP3("Message", "倍音ブラシ (H): なぞった部分音と、その整数倍の倍音を一番上の行まで一度に塗る", "PaintHarmonicsTip")},
    {MessageCode::PaintSizeTip, QT_TRANSLATE_NOOP3("Message", "ブラシの太さ（セル数）", "PaintSizeTip")},
    {MessageCode::PaintSoft, QT_TRANSLATE_NOOP3("Message", "ぼかし", "PaintSoft")},
    {MessageCode::PaintSoftTip, QT_TRANSLATE_NOOP3("Message", "ブラシの縁をぼかす", "PaintSoftTip")},
    {MessageCode::PaintGainTip, QT_TRANSLATE_NOOP3("Message", "塗ったセル・選択範囲のゲイン（dB）。負で小さく、正で大きく。1 dB は 2 階調", "PaintGainTip")},
    {MessageCode::PaintSilence, QT_TRANSLATE_NOOP3("Message", "無音", "PaintSilence")},
    {MessageCode::PaintSilenceTip, QT_TRANSLATE_NOOP3("Message", "選択範囲を無音（黒）にする", "PaintSilenceTip")},
    {MessageCode::PaintZoomIn, QT_TRANSLATE_NOOP3("Message", "拡大 (Ctrl+=)", "PaintZoomIn")},
    {MessageCode::PaintZoomOut, QT_TRANSLATE_NOOP3("Message", "縮小 (Ctrl+-)", "PaintZoomOut")},
    {MessageCode::PaintZoomFit, QT_TRANSLATE_NOOP3("Message", "ウィンドウに合わせる (Ctrl+0)", "PaintZoomFit")},
    {MessageCode::PaintZoom1, QT_TRANSLATE_NOOP3("Message", "等倍 (Ctrl+1)", "PaintZoom1")},
    {MessageCode::PaintColorMapTip, QT_TRANSLATE_NOOP3("Message", "表示の色（表示だけ。書き出すフィルタ画像はグレーのまま）", "PaintColorMapTip")},
    {MessageCode::PaintGray, QT_TRANSLATE_NOOP3("Message", "グレー", "PaintGray")},
    {MessageCode::PaintColour, QT_TRANSLATE_NOOP3("Message", "カラー", "PaintColour")},
    {MessageCode::PaintApplying, QT_TRANSLATE_NOOP3("Message", "塗りを適用しています", "PaintApplying")},
    {MessageCode::PaintPlaySelection, QT_TRANSLATE_NOOP3("Message", "選択範囲を再生 (Shift+Space)", "PaintPlaySelection")},
    {MessageCode::PaintPlaySelectionTip, QT_TRANSLATE_NOOP3("Message", "選択範囲の時間だけを再生する (Shift+Space)", "PaintPlaySelectionTip")},
    {MessageCode::PaintLoop, QT_TRANSLATE_NOOP3("Message", "ループ", "PaintLoop")},
    {MessageCode::PaintLoopTip, QT_TRANSLATE_NOOP3("Message", "選択範囲をくり返し再生する", "PaintLoopTip")},
    {MessageCode::PaintSpectrumReadout, QT_TRANSLATE_NOOP3("Message", "%1 秒  %2 Hz  %3 dB (%4)", "PaintSpectrumReadout")},
    {MessageCode::PaintCepstrumReadout, QT_TRANSLATE_NOOP3("Message", "%1 秒  %2 ms (%3 Hz)  %4 dB (%5)", "PaintCepstrumReadout")},
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

std::atomic<Language> gLanguage{Language::Japanese};
QTranslator* gInstalled = nullptr; // the translator installed in the QCoreApplication

// The translator of a language, loaded once (null for Japanese, or when it cannot load).
QTranslator* translatorFor(Language language)
{
    if (language != Language::English)
        return nullptr;
    static QTranslator* english = [] {
        auto* t = new QTranslator; // lives as long as the program: installed translators may
        return t->load(QStringLiteral(":/i18n/kestrelon_en.qm")) ? t : nullptr;
    }();
    return english;
}

} // namespace

const MessageSource& messageSource(MessageCode code)
{
    const auto i = std::size_t(code);
    return kTable[i < std::size(kTable) ? i : 0].source;
}

QString Message::text() const
{
    return text(gLanguage.load(std::memory_order_relaxed));
}

QString Message::text(Language language) const
{
    if (isEmpty())
        return QString();
    const MessageSource& s = messageSource(FCode);
    const QTranslator* t = translatorFor(language);
    QString pattern = t ? t->translate(kMessageContext, s.text, s.name) : QString();
    if (pattern.isEmpty())
        pattern = QString::fromUtf8(s.text);
    return substitute(pattern, FArgs, [language](const Message& m) { return m.text(language); });
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
    QTranslator* t = translatorFor(language);
    const bool loaded = language == Language::Japanese || t;
    if (!loaded)
        language = Language::Japanese;
    if (QCoreApplication::instance() && gInstalled != t) {
        if (gInstalled)
            QCoreApplication::removeTranslator(gInstalled);
        gInstalled = t && QCoreApplication::installTranslator(t) ? t : nullptr;
    }
    gLanguage.store(language, std::memory_order_relaxed);
    return loaded;
}

Language messageLanguage()
{
    return gLanguage.load(std::memory_order_relaxed);
}

QString translatedText(
    Language language, const char* context, const char* source, const char* disambiguation)
{
    const QTranslator* t = translatorFor(language);
    const QString text = t ? t->translate(context, source, disambiguation) : QString();
    return text.isEmpty() ? QString::fromUtf8(source) : text;
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
