#include "editing/RangeTexts.h"

#include <array>

namespace kestrelon {

namespace {

constexpr std::array<const char*, std::size_t(RangeText::Count)> kTexts = {
    "the range %1 s .. %2 s is not a range: it must start at 0 s or later and end after it "
    "starts",
    "the range %1 s .. %2 s holds no frame of the sound, which is %3 s long",
    "%1: frames %2 .. %3 are not a range of the sound's %4 frames",
    "%1: the picture is %2 x %3 pixels, but the range %4 s .. %5 s makes pictures of %6 x %7: "
    "it belongs to another range or length",
    "%1: the picture was exported from an analysis of %2 frames with N = %3; the sound now has "
    "%4 frames with N = %5",
    "範囲をエクスポート...",
    "表示中の部分または秒で指定した範囲をエクスポートする",
    "範囲をエクスポート (秒)",
    "この画像の範囲 (秒)",
    "開始",
    "終了",
    "全体の画像は幅 %1 ピクセルになり、%2 ピクセルを超えます。表示中の部分 (または秒で指定した"
    "範囲) をエクスポートしますか？",
};

} // namespace

QString rangeText(RangeText id)
{
    return QString::fromUtf8(kTexts[std::size_t(id)]);
}

} // namespace kestrelon
