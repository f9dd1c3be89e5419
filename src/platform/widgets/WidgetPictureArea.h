#pragma once

#include "platform/ImagePictureArea.h"

#include <QWidget>

namespace zoetra {

// A picture area on screen. The logic draws into the pixel buffer; a refresh
// only schedules a repaint, so a run of refreshes between two event passes
// costs one paint.
class WidgetPictureArea final : public QWidget, public ImagePictureArea {
    Q_OBJECT

public:
    explicit WidgetPictureArea(QWidget* parent = nullptr);

    void refresh() override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace zoetra
