#pragma once

// Where a slider's handle is drawn, for clicks and drags in window tests.
// Header-only.

#include <QPoint>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

namespace kzp::test {

// Where the style draws the handle's centre for `value`.
inline QPoint handleCentre(const QSlider* slider, int value) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    if (slider->orientation() == Qt::Horizontal)
        option.state |= QStyle::State_Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = option.sliderValue = value;
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

} // namespace kzp::test
