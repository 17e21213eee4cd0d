#include "app/PaintTools.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>

#include "app/AppSetup.h"
#include "app/PictureView.h"

namespace kestrelon {

const std::array<PaintToolText, 6> kPaintToolTexts = {{
    {PaintTool::Pointer, "PointerTool", "pointer", "Esc", MessageCode::PaintPointer,
        MessageCode::PaintPointerTip},
    {PaintTool::Brush, "BrushTool", "brush", "B", MessageCode::PaintBrush,
        MessageCode::PaintBrushTip},
    {PaintTool::Eraser, "EraserTool", "eraser", "E", MessageCode::PaintEraser,
        MessageCode::PaintEraserTip},
    {PaintTool::Rectangle, "RectangleTool", "rectangle", "R", MessageCode::PaintRectangle,
        MessageCode::PaintRectangleTip},
    {PaintTool::Lasso, "LassoTool", "lasso", "L", MessageCode::PaintLasso,
        MessageCode::PaintLassoTip},
    {PaintTool::Harmonics, "HarmonicsTool", "harmonics", "H", MessageCode::PaintHarmonics,
        MessageCode::PaintHarmonicsTip},
}};

namespace {

bool isSelectionTool(PaintTool t)
{
    return t == PaintTool::Rectangle || t == PaintTool::Lasso;
}

// What a selection belongs to: the sound as opened, N and the view.
std::tuple<uint64_t, int32_t, uint8_t> selectionKey(const Document& d)
{
    return {d.FOpenedSerial, d.FFFTLength, d.FMode};
}

} // namespace

QString cellReadout(const Document& d, int32_t frame, int32_t row)
{
    const GrayCells* cells = d.shownCells();
    if (!cells || !d.FWave || frame < 0 || frame >= cells->frames || row < 0 || row >= cells->rows)
        return QString();
    const double rate = d.FWave->FFormat.nSamplesPerSec;
    if (rate <= 0)
        return QString();
    const int g = cells->at(frame, row);
    // Level g holds the dB values from (g - 255) / 2 up to half a decibel more.
    const QString db = QString::number((g - 255) / 2.0, 'f', 1);
    const QString seconds = QString::number(frame * (d.FFFTLength / 2) / rate, 'f', 3);
    if (cells->view == SpectralView::Spectrum)
        return Message(PaintTexts::kSpectrumReadout, seconds,
            QString::number(row * rate / d.FFFTLength, 'f', 1), db, g)
            .text();
    const QString pitch = row > 0 ? QString::number(rate / row, 'f', 1) : QStringLiteral("-");
    return Message(PaintTexts::kCepstrumReadout, seconds,
        QString::number(row * 1000.0 / rate, 'f', 3), pitch, db, g)
        .text();
}

namespace {

// A readout as wide as most: what the panel's width is made for.
QString cellReadoutSample()
{
    return Message(PaintTexts::kCepstrumReadout, QStringLiteral("000.000"),
        QStringLiteral("00.000"), QStringLiteral("00000.0"), QStringLiteral("-000.0"), 255)
        .text();
}

} // namespace

PaintToolBar::PaintToolBar(
    PictureView* view, std::function<const Document&()> document, QWidget* parent)
    : QToolBar(parent)
    , FView(view)
    , FDocument(std::move(document))
{
    setObjectName(QStringLiteral("PaintToolBar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));

    FToolGroup = new QActionGroup(this);
    FToolGroup->setExclusive(true);
    for (const PaintToolText& t : kPaintToolTexts) {
        auto* a = new QAction(actionIcon(QLatin1String(t.icon)), QString(), FToolGroup);
        a->setObjectName(QLatin1String(t.objectName));
        a->setShortcut(QKeySequence(QLatin1String(t.key)));
        a->setShortcutContext(Qt::WindowShortcut);
        a->setCheckable(true);
        addAction(a);
        const PaintTool tool = t.tool;
        connect(a, &QAction::triggered, this, [this, tool] {
            if (tool == PaintTool::Pointer && FTool == PaintTool::Pointer && !FActive)
                clearSelection(); // Esc twice: no selection either
            setTool(tool);
        });
        FToolActions[std::size_t(t.tool)] = a;
    }
    FToolActions[0]->setChecked(true);
    addSeparator();

    FSize = new QSpinBox(this);
    FSize->setObjectName(QStringLiteral("BrushSize"));
    FSize->setRange(1, 256);
    FSize->setValue(9);
    addWidget(FSize);
    FSoft = new QCheckBox(this);
    FSoft->setObjectName(QStringLiteral("BrushSoft"));
    FSoft->setChecked(true);
    addWidget(FSoft);
    FGain = new QDoubleSpinBox(this);
    FGain->setObjectName(QStringLiteral("BrushGain"));
    FGain->setRange(-127.5, 127.5);
    FGain->setSingleStep(0.5);
    FGain->setDecimals(1);
    FGain->setValue(kDefaultBrushGainDb);
    FGain->setSuffix(QStringLiteral(" dB"));
    addWidget(FGain);
    FSilence = new QCheckBox(this);
    FSilence->setObjectName(QStringLiteral("SelectionSilence"));
    addWidget(FSilence);
    addSeparator();

    PlaySelection = new QAction(actionIcon(QStringLiteral("playselection")), QString(), this);
    PlaySelection->setObjectName(QStringLiteral("PlaySelection"));
    PlaySelection->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Space));
    PlaySelection->setShortcutContext(Qt::WindowShortcut);
    PlaySelection->setEnabled(false);
    addAction(PlaySelection);
    LoopSelection = new QAction(actionIcon(QStringLiteral("loop")), QString(), this);
    LoopSelection->setObjectName(QStringLiteral("LoopSelection"));
    LoopSelection->setCheckable(true);
    addAction(LoopSelection);
    connect(PlaySelection, &QAction::triggered, this, [this] {
        if (FSelection.first != FSelection.second)
            emit playSelectionRequested(
                FSelection.first, FSelection.second, LoopSelection->isChecked());
    });
    connect(this, &PaintToolBar::selectionChanged, PlaySelection,
        [this](quint32 first, quint32 end) { PlaySelection->setEnabled(first != end); });
    addSeparator();

    const auto zoom = [this](const char* name, const char* icon, QList<QKeySequence> keys) {
        auto* a = new QAction(actionIcon(QLatin1String(icon)), QString(), this);
        a->setObjectName(QLatin1String(name));
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        return a;
    };
    const double step = std::sqrt(2.0);
    ZoomIn = zoom("ZoomIn", "zoomin",
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    ZoomOut = zoom("ZoomOut", "zoomout", {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    ZoomFit = zoom("ZoomFit", "zoomfit", {QKeySequence(Qt::CTRL | Qt::Key_0)});
    Zoom1 = zoom("Zoom1", "zoom1", {QKeySequence(Qt::CTRL | Qt::Key_1)});
    connect(ZoomIn, &QAction::triggered, this, [this, step] { FView->zoomBy(step, step); });
    connect(
        ZoomOut, &QAction::triggered, this, [this, step] { FView->zoomBy(1 / step, 1 / step); });
    connect(ZoomFit, &QAction::triggered, FView, &PictureView::fitToWindow);
    connect(Zoom1, &QAction::triggered, FView, &PictureView::actualSize);

    ColorMapBox = new QComboBox(this);
    ColorMapBox->setObjectName(QStringLiteral("ColorMapBox"));
    ColorMapBox->addItems({QString(), QString()});
    addWidget(ColorMapBox);
    connect(ColorMapBox, &QComboBox::currentIndexChanged, this,
        [this](int index) { FView->setColorMap(index == 1 ? ColorMap::Viridis : ColorMap::Gray); });

    FReadout = new QLabel(this);
    FReadout->setObjectName(QStringLiteral("ReadoutPanel"));
    FReadout->setContentsMargins(4, 0, 2, 0);
    FReadout->hide(); // in the status bar while it has something to say
    retranslate();

    connect(FView, &PictureView::strokePressed, this, &PaintToolBar::pressed);
    connect(FView, &PictureView::strokeMoved, this, &PaintToolBar::moved);
    connect(FView, &PictureView::strokeReleased, this, &PaintToolBar::released);
    connect(FView, &PictureView::pointerMoved, this, &PaintToolBar::showReadout);
    connect(FView, &PictureView::pointerLeft, this, [this] { showReadout(QPointF(-1, -1)); });
}

void PaintToolBar::retranslate()
{
    const auto text = [](MessageCode code) { return Message(code).text(); };
    for (const PaintToolText& t : kPaintToolTexts) {
        QAction* a = FToolActions[std::size_t(t.tool)];
        a->setText(text(t.caption));
        a->setToolTip(text(t.toolTip));
    }
    FSize->setToolTip(text(PaintTexts::kSizeTip));
    FSoft->setText(text(PaintTexts::kSoft));
    FSoft->setToolTip(text(PaintTexts::kSoftTip));
    FGain->setToolTip(text(PaintTexts::kGainTip));
    FSilence->setText(text(PaintTexts::kSilence));
    FSilence->setToolTip(text(PaintTexts::kSilenceTip));
    PlaySelection->setText(text(PaintTexts::kPlaySelection));
    PlaySelection->setToolTip(text(PaintTexts::kPlaySelectionTip));
    LoopSelection->setText(text(PaintTexts::kLoop));
    LoopSelection->setToolTip(text(PaintTexts::kLoopTip));
    for (const auto& [a, code] :
        {std::pair{ZoomIn, PaintTexts::kZoomIn}, std::pair{ZoomOut, PaintTexts::kZoomOut},
            std::pair{ZoomFit, PaintTexts::kZoomFit}, std::pair{Zoom1, PaintTexts::kZoom1}}) {
        a->setText(text(code));
        a->setToolTip(text(code));
    }
    ColorMapBox->setItemText(0, text(PaintTexts::kGray));
    ColorMapBox->setItemText(1, text(PaintTexts::kViridis));
    ColorMapBox->setToolTip(text(PaintTexts::kColorMapTip));
    FReadout->setMinimumWidth(FReadout->fontMetrics().horizontalAdvance(cellReadoutSample()));
    if (FReadout->isVisible())
        showReadout(FPointer);
}

void PaintToolBar::setTool(PaintTool tool)
{
    cancelStroke();
    FTool = tool;
    FToolActions[std::size_t(tool)]->setChecked(true);
    FView->setPaintMode(tool != PaintTool::Pointer);
}

BrushShape PaintToolBar::brush() const
{
    return {FSize->value(), FSoft->isChecked()};
}

double PaintToolBar::gainDb() const
{
    return FGain->value();
}

bool PaintToolBar::silence() const
{
    return FSilence->isChecked();
}

void PaintToolBar::setBrush(const BrushShape& brush)
{
    FSize->setValue(brush.size);
    FSoft->setChecked(brush.soft);
}

void PaintToolBar::setGainDb(double db)
{
    FGain->setValue(db);
}

void PaintToolBar::setSilence(bool on)
{
    FSilence->setChecked(on);
}

void PaintToolBar::clearSelection()
{
    const bool had = FSelection.first != FSelection.second;
    FSelection = {0, 0};
    FSelectionOn = {0, 0, 0};
    FSelectionPolygon.clear();
    if (!FActive)
        FView->setOverlay(QPainterPath(), 0);
    if (had)
        emit selectionChanged(0, 0);
}

void PaintToolBar::documentShown()
{
    const Document& d = FDocument();
    FView->setAxes(d.drawContext());
    if (const GrayCells* cells = d.shownCells(); cells && !FActive)
        FMapping = {cells->view, cells->rows, d.FLeftMargin, d.FTopMargin};
    if (!FSelectionPolygon.empty() && FSelectionOn != selectionKey(d))
        clearSelection();
    if (!FActive)
        showSelection();
}

void PaintToolBar::showSelection()
{
    QPainterPath path;
    if (FSelectionPolygon.size() >= 2) {
        path.moveTo(pictureOfCell(FSelectionPolygon.front()));
        for (std::size_t i = 1; i < FSelectionPolygon.size(); ++i)
            path.lineTo(pictureOfCell(FSelectionPolygon[i]));
        path.closeSubpath();
    }
    FView->setOverlay(path, 0);
}

QPoint PaintToolBar::cellAt(QPointF position) const
{
    const QPointF c = FMapping.cellOf(position);
    return {int(std::floor(c.x())), int(std::floor(c.y()))};
}

QPointF PaintToolBar::pictureOfCell(QPointF cell) const
{
    return FMapping.pictureOf(cell);
}

void PaintToolBar::pressed(QPointF position)
{
    const Document& d = FDocument();
    const GrayCells* cells = d.shownCells();
    if (FTool == PaintTool::Pointer || !d.geometryMatches() || !cells)
        return;
    FMapping = {cells->view, cells->rows, d.FLeftMargin, d.FTopMargin};
    FCoverage = CellCoverage(cells->frames, cells->rows);
    FCells.clear();
    FPolygon.clear();
    FActive = true;
    if (isSelectionTool(FTool)) {
        const QPointF c = FMapping.cellOf(position);
        FAnchor = c;
        FPolygon.push_back(c);
    } else {
        startPreview(d);
        extendStroke(cellAt(position));
    }
    updateOverlay();
}

void PaintToolBar::startPreview(const Document& d)
{
    FPreviewPaint.kind = FTool == PaintTool::Eraser ? PaintKind::Erase : PaintKind::Gain;
    FPreviewPaint.gainDb = gainDb();
    FPreviewCells = d.cells[d.FMode];
    FPreviewReference.reset();
    if (FTool == PaintTool::Eraser) {
        const std::shared_ptr<const GrayCells>& opened = d.openedCells[d.FMode];
        if (!opened || opened->fftLength != d.FFFTLength || opened->frames != FCoverage.frames())
            return; // analysed when the stroke is applied; the trail meanwhile
        FPreviewReference = opened;
    }
    if (d.FBitmap.format() != QImage::Format_Grayscale8 || !FPreviewCells)
        return;
    FPreview = d.FBitmap.copy();
    FView->setPicture(&FPreview);
}

void PaintToolBar::previewFrames(int32_t first, int32_t end)
{
    const GrayCells& cells = *FPreviewCells;
    for (int32_t f = std::max(0, first); f < std::min(end, cells.frames); ++f) {
        const auto it = FCoverage.columns().find(f);
        if (it == FCoverage.columns().end())
            continue;
        const std::vector<uint8_t>& column = it->second;
        const int32_t x = FMapping.leftMargin + f;
        for (int32_t k = 0; k < cells.rows; ++k) {
            const int32_t y = FMapping.topMargin
                + (cells.view == SpectralView::Spectrum ? cells.rows - 1 - k : k);
            FPreview.scanLine(y)[x] = uchar(paintedLevel(FPreviewPaint, cells.at(f, k),
                column[std::size_t(k)], FPreviewReference ? FPreviewReference->at(f, k) : 0));
        }
    }
    FView->pictureChanged();
}

void PaintToolBar::endPreview()
{
    if (FPreview.isNull())
        return;
    FView->setPicture(&FDocument().FBitmap);
    FPreview = QImage();
    FPreviewCells.reset();
    FPreviewReference.reset();
}

void PaintToolBar::moved(QPointF position)
{
    if (!FActive)
        return;
    if (FTool == PaintTool::Rectangle) {
        const QPointF c = FMapping.cellOf(position);
        FPolygon = {FAnchor, QPointF(c.x(), FAnchor.y()), c, QPointF(FAnchor.x(), c.y())};
    } else if (FTool == PaintTool::Lasso) {
        FPolygon.push_back(FMapping.cellOf(position));
    } else {
        const QPoint cell = cellAt(position);
        if (cell != FLastCell)
            extendStroke(cell);
    }
    updateOverlay();
}

void PaintToolBar::extendStroke(QPoint cell)
{
    const BrushShape shape = brush();
    const bool first = FCells.empty();
    const QPoint from = first ? cell : FLastCell;
    if (FTool == PaintTool::Harmonics)
        FCoverage.harmonicLine(from.x(), from.y(), cell.x(), cell.y(), shape);
    else
        FCoverage.line(from.x(), from.y(), cell.x(), cell.y(), shape);
    FCells.push_back(cell);
    FLastCell = cell;
    if (!FPreview.isNull()) {
        const int32_t reach = shape.size / 2 + 1;
        previewFrames(
            std::min(from.x(), cell.x()) - reach, std::max(from.x(), cell.x()) + reach + 1);
    }
}

void PaintToolBar::updateOverlay()
{
    QPainterPath path;
    if (isSelectionTool(FTool)) {
        if (FPolygon.size() >= 2) {
            path.moveTo(pictureOfCell(FPolygon.front()));
            for (std::size_t i = 1; i < FPolygon.size(); ++i)
                path.lineTo(pictureOfCell(FPolygon[i]));
            path.closeSubpath();
        }
        FView->setOverlay(path, 0);
        return;
    }
    if (FCells.empty() || !FPreview.isNull()) { // the preview shows the stroke itself
        FView->setOverlay(path, 0);
        return;
    }
    // Through the centres of the cells; the harmonic brush on each multiple too (the
    // first hundred shown, all of them painted).
    const auto trail = [&](int m) {
        path.moveTo(pictureOfCell(QPointF(FCells[0].x() + 0.5, FCells[0].y() * m + 0.5)));
        for (const QPoint& c : FCells)
            path.lineTo(pictureOfCell(QPointF(c.x() + 0.5, c.y() * m + 0.5)));
    };
    trail(1);
    if (FTool == PaintTool::Harmonics) {
        const int row = FCells.back().y();
        for (int m = 2; row > 0 && m <= 100 && int64_t(m) * row < FMapping.rows; ++m)
            trail(m);
    }
    FView->setOverlay(path, brush().size);
}

void PaintToolBar::released(QPointF position)
{
    if (!FActive)
        return;
    moved(position);
    FActive = false;
    PaintStroke stroke;
    stroke.gainDb = gainDb();
    if (isSelectionTool(FTool)) {
        if (FTool == PaintTool::Rectangle) {
            const QPointF c = FMapping.cellOf(position);
            FCoverage.rectangle(int(std::floor(FAnchor.x())), int(std::floor(FAnchor.y())),
                int(std::floor(c.x())), int(std::floor(c.y())));
        } else {
            FCoverage.lasso(FPolygon);
        }
        stroke.kind = silence() ? PaintKind::Silence : PaintKind::Gain;
        const Document& d = FDocument();
        const auto [first, end] = FCoverage.frameRange();
        const int64_t H = d.FFFTLength / 2;
        const int64_t samples = d.FWave ? d.FWave->FSampleCount : 0;
        FSelection = {uint32_t(std::min(samples, first * H)), uint32_t(std::min(samples, end * H))};
        FSelectionOn = selectionKey(d);
        FSelectionPolygon = FPolygon;
        emit selectionChanged(FSelection.first, FSelection.second);
    } else {
        stroke.kind = FTool == PaintTool::Eraser ? PaintKind::Erase : PaintKind::Gain;
    }
    stroke.coverage = std::move(FCoverage);
    FCoverage = CellCoverage();
    FCells.clear();
    FPolygon.clear();
    if (stroke.coverage.empty()) {
        endPreview();
        showSelection();
        return;
    }
    const MessageCode step = kPaintToolTexts[std::size_t(FTool)].caption;
    // Applied once the mouse event is over: the window waits for the command in an event
    // loop of its own. Then the trail goes, whether the stroke was applied or not.
    QTimer::singleShot(0, this, [this, stroke, step] {
        emit strokeFinished(stroke, step);
        if (!FActive) {
            endPreview();
            showSelection();
        }
    });
}

void PaintToolBar::cancelStroke()
{
    if (!FActive)
        return;
    FActive = false;
    FCoverage = CellCoverage();
    FCells.clear();
    FPolygon.clear();
    endPreview();
    showSelection();
}

void PaintToolBar::showReadout(QPointF position)
{
    FPointer = position;
    const Document& d = FDocument();
    const GrayCells* cells = d.shownCells();
    QString text;
    if (cells) {
        const CellMapping mapping{cells->view, cells->rows, d.FLeftMargin, d.FTopMargin};
        const QPointF c = mapping.cellOf(position);
        text = cellReadout(d, int(std::floor(c.x())), int(std::floor(c.y())));
    }
    FReadout->setText(text);
    FReadout->setVisible(!text.isEmpty());
}

} // namespace kestrelon
