#include "ui/VisualisationWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "rip/Visualisation.h"

namespace quarrow::ui {

namespace {

constexpr int kFrameMs = 50;

QColor BandColour(float level) {
    // Green at rest through yellow to red at full scale.
    const int hue = static_cast<int>(120 * (1.0f - std::clamp(level, 0.0f, 1.0f)));
    return QColor::fromHsv(hue, 220, 235);
}

}  // namespace

VisualisationWidget::VisualisationWidget(QWidget* parent)
    : QWidget(parent), vis_(std::make_unique<CVisualisation>()), decayTimer_(new QTimer(this)) {
    setToolTip(QStringLiteral("Click to Chang Audio Visualization"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 80);
    decayTimer_->setInterval(kFrameMs);
    connect(decayTimer_, &QTimer::timeout, this, &VisualisationWidget::decayStep);
}

VisualisationWidget::~VisualisationWidget() = default;

void VisualisationWidget::setPreset(int preset) {
    const int p = ((preset % CVisualisation::kPresetCount) + CVisualisation::kPresetCount) % CVisualisation::kPresetCount;
    preset_ = p;
    update();
}

int VisualisationWidget::preset() const { return preset_; }

void VisualisationWidget::showSamples(const std::vector<int16_t>& interleavedStereo) {
    vis_->Feed(interleavedStereo.data(), interleavedStereo.size());
    // Between blocks the picture falls back; the timer restarts with every block.
    decayTimer_->start();
    update();
}

void VisualisationWidget::clear() {
    decayTimer_->stop();
    vis_->Clear();
    update();
}

void VisualisationWidget::decayStep() {
    vis_->Decay();
    const auto& bands = vis_->Bands();
    const bool silent = std::all_of(bands.begin(), bands.end(), [](float b) { return b == 0.0f; }) &&
                        vis_->Level(0) == 0.0f && vis_->Level(1) == 0.0f;
    if (silent) decayTimer_->stop();
    update();
}

void VisualisationWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setPreset(preset() + 1);
    emit clicked(preset());
}

QSize VisualisationWidget::sizeHint() const { return {372, 160}; }

void VisualisationWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF r = rect();
    p.fillRect(r, QColor(12, 16, 24));
    p.setRenderHint(QPainter::Antialiasing, true);
    const auto& bands = vis_->Bands();
    const auto& peaks = vis_->Peaks();
    const int n = CVisualisation::kBands;
    const qreal w = r.width(), h = r.height();
    const qreal bw = w / n;

    auto scopePath = [&](int channel, qreal top, qreal height) {
        QPainterPath path;
        const auto& s = vis_->Scope(channel);
        for (std::size_t i = 0; i < s.size(); ++i) {
            const qreal x = w * static_cast<qreal>(i) / static_cast<qreal>(s.size() - 1);
            const qreal y = top + height / 2 - s[i] * height / 2;
            if (i == 0) path.moveTo(x, y);
            else path.lineTo(x, y);
        }
        return path;
    };

    switch (preset()) {
        case 0:   // spectrum bars with held peaks
            for (int b = 0; b < n; ++b) {
                const qreal bh = bands[b] * (h - 4);
                p.fillRect(QRectF(b * bw + 1, h - bh, bw - 2, bh), BandColour(bands[b]));
                p.fillRect(QRectF(b * bw + 1, h - peaks[b] * (h - 4) - 3, bw - 2, 2), QColor(230, 230, 240));
            }
            break;
        case 1: {   // oscilloscope of the mixed signal
            QPainterPath path;
            const auto& l = vis_->Scope(0);
            const auto& rr = vis_->Scope(1);
            for (std::size_t i = 0; i < l.size(); ++i) {
                const qreal x = w * static_cast<qreal>(i) / static_cast<qreal>(l.size() - 1);
                const qreal y = h / 2 - (l[i] + rr[i]) / 2 * h / 2;
                if (i == 0) path.moveTo(x, y);
                else path.lineTo(x, y);
            }
            p.setPen(QPen(QColor(80, 230, 120), 1.5));
            p.drawPath(path);
            break;
        }
        case 2:   // stereo scope: left above, right below
            p.setPen(QPen(QColor(60, 60, 80), 1));
            p.drawLine(QPointF(0, h / 2), QPointF(w, h / 2));
            p.setPen(QPen(QColor(90, 200, 255), 1.2));
            p.drawPath(scopePath(0, 0, h / 2));
            p.setPen(QPen(QColor(255, 150, 90), 1.2));
            p.drawPath(scopePath(1, h / 2, h / 2));
            break;
        case 3:   // peak meters
            for (int c = 0; c < 2; ++c) {
                const qreal top = h * (0.15 + 0.45 * c), mh = h * 0.3;
                const qreal len = vis_->Level(c) * (w - 8);
                QLinearGradient g(0, 0, w, 0);
                g.setColorAt(0, QColor(40, 200, 90));
                g.setColorAt(0.75, QColor(230, 220, 60));
                g.setColorAt(1, QColor(240, 60, 50));
                p.fillRect(QRectF(4, top, len, mh), g);
                p.fillRect(QRectF(4 + vis_->PeakLevel(c) * (w - 8) - 2, top, 3, mh), QColor(240, 240, 250));
            }
            break;
        case 4: {   // spectrum line, filled below
            QPainterPath path(QPointF(0, h));
            for (int b = 0; b < n; ++b) path.lineTo(b * bw + bw / 2, h - bands[b] * (h - 4));
            path.lineTo(w, h);
            path.closeSubpath();
            QLinearGradient g(0, 0, 0, h);
            g.setColorAt(0, QColor(250, 120, 200, 200));
            g.setColorAt(1, QColor(60, 60, 200, 80));
            p.fillPath(path, g);
            p.setPen(QPen(QColor(250, 190, 230), 1.5));
            p.drawPath(path);
            break;
        }
        case 5:   // bars mirrored about the middle
            for (int b = 0; b < n; ++b) {
                const qreal half = bands[b] * (h / 2 - 2);
                p.fillRect(QRectF(b * bw + 1, h / 2 - half, bw - 2, 2 * half), BandColour(bands[b]));
            }
            break;
        case 6: {   // waterfall: newest row at the top
            const auto& rows = vis_->History();
            const qreal rh = h / CVisualisation::kHistoryRows;
            int y = 0;
            for (const auto& row : rows) {
                for (int b = 0; b < n; ++b)
                    if (row[b] > 0)
                        p.fillRect(QRectF(b * bw, y * rh, bw + 0.5, rh + 0.5),
                                   QColor::fromHsv(240 - static_cast<int>(200 * row[b]), 230,
                                                   static_cast<int>(60 + 195 * row[b])));
                ++y;
            }
            break;
        }
        default: {   // dots: left against right
            const auto& l = vis_->Scope(0);
            const auto& rr = vis_->Scope(1);
            const qreal side = std::min(w, h) / 2 - 2;
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 210, 90));
            for (std::size_t i = 0; i < l.size(); ++i) {
                // Rotated 45 degrees: mono lies on the vertical.
                const qreal x = w / 2 + (l[i] - rr[i]) * side * 0.707;
                const qreal y = h / 2 - (l[i] + rr[i]) * side * 0.707;
                p.drawEllipse(QPointF(x, y), 1.6, 1.6);
            }
            break;
        }
    }
    p.setPen(QColor(120, 130, 150));
    p.drawText(r.adjusted(4, 2, -4, -2), Qt::AlignTop | Qt::AlignRight,
               QString::fromStdString(CVisualisation::PresetName(preset())));
}

}  // namespace quarrow::ui
