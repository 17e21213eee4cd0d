#include "editing/RangeTexts.h"

#include <array>

#include "base/Message.h"

namespace kestrelon {

namespace {

// Each text is one of the message table (Japanese, with its English translation).
constexpr std::array<MessageCode, std::size_t(RangeText::Count)> kCodes = {
    MessageCode::RangeNotARange,
    MessageCode::RangeNoFrames,
    MessageCode::RangeOutsideSound,
    MessageCode::RangeOtherRange,
    MessageCode::RangeOtherAnalysis,
    MessageCode::RangeExportItem,
    MessageCode::RangeExportHint,
    MessageCode::RangeTitle,
    MessageCode::RangeImportTitle,
    MessageCode::RangeFrom,
    MessageCode::RangeTo,
    MessageCode::RangeTooWide,
};

} // namespace

QString rangeText(RangeText id)
{
    const MessageSource& s = messageSource(kCodes[std::size_t(id)]);
    return translatedText(messageLanguage(), kMessageContext, s.text, s.name);
}

} // namespace kestrelon
