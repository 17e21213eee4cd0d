#pragma once
// PaintToolBar: the tools that paint on the picture in the window, their options, the zoom
// and colour map of the view, and the readout under the pointer.
//
// Tools (keys): pointer (Esc), brush (B), eraser (E), rectangle (R), lasso (L), harmonic
// brush (H). A drag with a painting tool marks cells (imaging/CellPainting.h) and shows
// its trail or outline over the picture; on release the tool bar hands the stroke to the
// window (strokeFinished), which applies it as one undo step. A rectangle or lasso stays
// on the picture as the selection, whose time range (selectionSamples) is what a "listen
// to the selection" plays. The pointer tool leaves clicks to the window (where playing
// starts).
//
// Every text a person reads here is a message code of the tables below (its text in the
// message table, in the language of the moment), which the tests read too.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QToolBar>

#include "base/Message.h"
#include "editing/Document.h"
#include "imaging/CellPainting.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

namespace kestrelon {

class PictureView;

enum class PaintTool : uint8_t { Pointer, Brush, Eraser, Rectangle, Lasso, Harmonics };

struct PaintToolText {
    PaintTool tool;
    const char* objectName;
    const char* icon; // src/app/icons/<icon>.svg
    const char* key; // its shortcut, as QKeySequence reads it
    MessageCode caption; // also the name of its step in the undo history
    MessageCode toolTip;
};

// One entry per tool, in tool bar order.
extern const std::array<PaintToolText, 6> kPaintToolTexts;

// The other texts of the tool bar (base/Messages.cpp).
struct PaintTexts {
    static constexpr MessageCode kSizeTip = MessageCode::PaintSizeTip;
    static constexpr MessageCode kSoft = MessageCode::PaintSoft;
    static constexpr MessageCode kSoftTip = MessageCode::PaintSoftTip;
    static constexpr MessageCode kGainTip = MessageCode::PaintGainTip;
    static constexpr MessageCode kSilence = MessageCode::PaintSilence;
    static constexpr MessageCode kSilenceTip = MessageCode::PaintSilenceTip;
    static constexpr MessageCode kZoomIn = MessageCode::PaintZoomIn;
    static constexpr MessageCode kZoomOut = MessageCode::PaintZoomOut;
    static constexpr MessageCode kZoomFit = MessageCode::PaintZoomFit;
    static constexpr MessageCode kZoom1 = MessageCode::PaintZoom1;
    static constexpr MessageCode kColorMapTip = MessageCode::PaintColorMapTip;
    static constexpr MessageCode kGray = MessageCode::PaintGray;
    static constexpr MessageCode kViridis = MessageCode::PaintColour;
    static constexpr MessageCode kApplying = MessageCode::PaintApplying;
    static constexpr MessageCode kPlaySelection = MessageCode::PaintPlaySelection;
    static constexpr MessageCode kPlaySelectionTip = MessageCode::PaintPlaySelectionTip;
    static constexpr MessageCode kLoop = MessageCode::PaintLoop;
    static constexpr MessageCode kLoopTip = MessageCode::PaintLoopTip;
    static constexpr MessageCode kSpectrumReadout = MessageCode::PaintSpectrumReadout;
    static constexpr MessageCode kCepstrumReadout = MessageCode::PaintCepstrumReadout;
};

// The readout of cell (frame, row) of the document shown; empty outside its cells.
QString cellReadout(const Document& document, int32_t frame, int32_t row);

class PaintToolBar : public QToolBar {
    Q_OBJECT
public:
    // document gives the document shown whenever the tool bar needs it.
    PaintToolBar(
        PictureView* view, std::function<const Document&()> document, QWidget* parent = nullptr);

    PaintTool tool() const { return FTool; }
    void setTool(PaintTool tool);
    QAction* toolAction(PaintTool tool) const { return FToolActions[std::size_t(tool)]; }
    QLabel* readout() const { return FReadout; }

    // Options.
    BrushShape brush() const;
    double gainDb() const;
    bool silence() const;
    void setBrush(const BrushShape& brush);
    void setGainDb(double db);
    void setSilence(bool on);

    // The time range of the selection in sample frames [first, end); first == end when
    // there is none.
    std::pair<uint32_t, uint32_t> selectionSamples() const { return FSelection; }
    void clearSelection();

    // The window shows another document: the axes follow it; a selection or stroke made on
    // another sound, N or view is dropped.
    void documentShown();
    // Sets every text again in the language installed (after a language change).
    void retranslate();

    QAction* PlaySelection; // enabled while there is a selection (and the window allows)
    QAction* LoopSelection; // checkable
    QAction* ZoomIn;
    QAction* ZoomOut;
    QAction* ZoomFit;
    QAction* Zoom1;
    QComboBox* ColorMapBox;

signals:
    // A stroke or selection to apply; step names it in the undo history (the tool's caption).
    void strokeFinished(const kestrelon::PaintStroke& stroke, kestrelon::MessageCode step);
    void selectionChanged(quint32 first, quint32 end);
    // Play the selection's sample frames [first, end), over and over with loop.
    void playSelectionRequested(quint32 first, quint32 end, bool loop);

private:
    void pressed(QPointF position);
    void moved(QPointF position);
    void released(QPointF position);
    void cancelStroke();
    void showReadout(QPointF position);
    QPoint cellAt(QPointF position) const;
    QPointF pictureOfCell(QPointF cell) const;
    void extendStroke(QPoint cell);
    void updateOverlay();
    void showSelection();
    // The brush tools show the picture as the stroke so far paints it (the eraser only
    // when the cells of the sound as opened are at hand); the trail otherwise.
    void startPreview(const Document& d);
    void previewFrames(int32_t first, int32_t end);
    void endPreview();

    PictureView* FView;
    std::function<const Document&()> FDocument;
    PaintTool FTool = PaintTool::Pointer;
    std::array<QAction*, 6> FToolActions{};
    QActionGroup* FToolGroup;
    QSpinBox* FSize;
    QCheckBox* FSoft;
    QDoubleSpinBox* FGain;
    QCheckBox* FSilence;
    QLabel* FReadout;
    QPointF FPointer{-1, -1}; // where the readout was last asked for

    // The stroke under way.
    bool FActive = false;
    CellMapping FMapping;
    CellCoverage FCoverage;
    std::vector<QPoint> FCells; // brush tools: the cells the pointer went through
    QPoint FLastCell;
    QPointF FAnchor; // rectangle: the first corner, in cells
    std::vector<QPointF> FPolygon; // rectangle and lasso, in cells
    QImage FPreview; // null when there is no preview
    std::shared_ptr<const GrayCells> FPreviewCells;
    std::shared_ptr<const GrayCells> FPreviewReference;
    PaintStroke FPreviewPaint; // kind and gain of the stroke under way
    // The selection: its outline in cells, what it was made on (the sound as opened, N
    // and the view) and its time range.
    std::vector<QPointF> FSelectionPolygon;
    std::tuple<uint64_t, int32_t, uint8_t> FSelectionOn{0, 0, 0};
    std::pair<uint32_t, uint32_t> FSelection{0, 0};
};

} // namespace kestrelon
