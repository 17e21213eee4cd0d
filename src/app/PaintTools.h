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
// Every text a person reads here comes from the tables below, which the tests read too.

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
    const char* caption; // also the name of its step in the undo history
    const char* toolTip;
};

// One entry per tool, in tool bar order.
extern const std::array<PaintToolText, 6> kPaintToolTexts;

// The other texts of the tool bar.
struct PaintTexts {
    static constexpr const char* kSizeTip = "ブラシの太さ（セル数）";
    static constexpr const char* kSoft = "ぼかし";
    static constexpr const char* kSoftTip = "ブラシの縁をぼかす";
    static constexpr const char* kGainTip
        = "塗ったセル・選択範囲のゲイン（dB）。負で小さく、正で大きく。1 dB は 2 階調";
    static constexpr const char* kSilence = "無音";
    static constexpr const char* kSilenceTip = "選択範囲を無音（黒）にする";
    static constexpr const char* kZoomIn = "拡大 (Ctrl+=)";
    static constexpr const char* kZoomOut = "縮小 (Ctrl+-)";
    static constexpr const char* kZoomFit = "ウィンドウに合わせる (Ctrl+0)";
    static constexpr const char* kZoom1 = "等倍 (Ctrl+1)";
    static constexpr const char* kColorMapTip
        = "表示の色（表示だけ。書き出すフィルタ画像はグレーのまま）";
    static constexpr const char* kGray = "グレー";
    static constexpr const char* kViridis = "カラー";
    static constexpr const char* kApplying = "塗りを適用しています";
    static constexpr const char* kPlaySelection = "選択範囲を再生 (Shift+Space)";
    static constexpr const char* kPlaySelectionTip = "選択範囲の時間だけを再生する (Shift+Space)";
    static constexpr const char* kLoop = "ループ";
    static constexpr const char* kLoopTip = "選択範囲をくり返し再生する";
    // Readouts: time, frequency, level in dB, gray level.
    static constexpr const char* kSpectrumReadout = "%1 秒  %2 Hz  %3 dB (%4)";
    // Readouts: time, quefrency in ms, its pitch, level in dB, gray level.
    static constexpr const char* kCepstrumReadout = "%1 秒  %2 ms (%3 Hz)  %4 dB (%5)";
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

    QAction* PlaySelection; // enabled while there is a selection
    QAction* LoopSelection; // checkable
    QAction* ZoomIn;
    QAction* ZoomOut;
    QAction* ZoomFit;
    QAction* Zoom1;
    QComboBox* ColorMapBox;

signals:
    // A stroke or selection to apply; text names the step in the undo history.
    void strokeFinished(const kestrelon::PaintStroke& stroke, const QString& text);
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
    std::tuple<const void*, int32_t, uint8_t> FSelectionOn{nullptr, 0, 0};
    std::pair<uint32_t, uint32_t> FSelection{0, 0};
};

} // namespace kestrelon
