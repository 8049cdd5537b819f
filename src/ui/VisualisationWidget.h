// VisualisationWidget: draws blocks of 16-bit stereo samples in one of eight presets
// (spectrum bars, oscilloscope, stereo scope, peak meters, spectrum line, mirrored
// bars, waterfall, dots). A click advances to the next preset. The maths is CVisualisation.
#pragma once

#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

namespace quarrow {
class CVisualisation;
}

namespace quarrow::ui {

class VisualisationWidget : public QWidget {
    Q_OBJECT
public:
    explicit VisualisationWidget(QWidget* parent = nullptr);
    ~VisualisationWidget() override;

    // 0-7; other values are taken modulo 8.
    void setPreset(int preset);
    int preset() const;
    // Interleaved left/right samples; an odd trailing value is ignored.
    void showSamples(const std::vector<int16_t>& interleavedStereo);
    // Stops the display: levels fall to zero and the picture is cleared.
    void clear();

signals:
    // The user clicked: the preset has already advanced to newPreset.
    void clicked(int newPreset);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QSize sizeHint() const override;

private:
    void decayStep();

    std::unique_ptr<CVisualisation> vis_;
    class QTimer* decayTimer_ = nullptr;
    int preset_ = 0;
};

}  // namespace quarrow::ui
