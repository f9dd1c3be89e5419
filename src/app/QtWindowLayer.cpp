#include "app/QtWindowLayer.h"

#include "app/CalculatorPage.h"
#include "app/MainFrm.h"
#include "platform/widgets/FloatProgressBar.h"
#include "platform/widgets/MessageBoxes.h"
#include "platform/widgets/WidgetPictureArea.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>

namespace zoetra {

QtWindowLayer::QtWindowLayer(MainFrm& window) : window_(window) {}

void QtWindowLayer::showMessage(const QString& text, const QString& title, MessageIcon icon)
{
    MessageBoxes::show(&window_, text, title, icon);
}

void QtWindowLayer::yieldToEvents()
{
    if (lastPass_.isValid() && lastPass_.nsecsElapsed() < YieldIntervalNs) {
        return;
    }
    QCoreApplication::processEvents();
    lastPass_.start();
}

void QtWindowLayer::setProgressPanelVisible(bool visible)
{
    window_.ProgressCounters->setVisible(visible);
    // Above "Preview on Calculator", which lies in its place.
    if (visible) {
        window_.ProgressCounters->raise();
    }
}

FloatProgressBar& QtWindowLayer::progressBar(ProgressBar bar) const
{
    switch (bar) {
    case ProgressBar::TotalProgress:
        return *window_.TotalProgress;
    case ProgressBar::ByteWriter:
        return *window_.ByteWriter;
    case ProgressBar::CompressionVal:
        break;
    }
    return *window_.CompressionVal;
}

bool QtWindowLayer::setProgressValue(ProgressBar bar, double value)
{
    return progressBar(bar).setValue(value);
}

bool QtWindowLayer::setProgressMaximum(ProgressBar bar, double maximum)
{
    return progressBar(bar).setMaximum(maximum);
}

void QtWindowLayer::setSizeCounterCaption(const QString& caption)
{
    window_.SizeCounter->setText(caption);
}

int QtWindowLayer::detailSliderValue() const
{
    return window_.DetailSlider->value();
}

QString QtWindowLayer::programName() const
{
    return window_.FName->text();
}

QString QtWindowLayer::shellChoice() const
{
    return window_.ShellChoice->currentText();
}

int QtWindowLayer::loopingState() const
{
    switch (window_.SetLooping->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        break;
    }
    return 2;
}

QString QtWindowLayer::descriptionText() const
{
    return window_.Description->text();
}

VideoTarget QtWindowLayer::videoTarget() const
{
    return window_.Calculator->target();
}

int QtWindowLayer::frameListCount() const
{
    return window_.File_List_Box->count();
}

FrameLoad QtWindowLayer::selectFrameListEntry(int index)
{
    QListWidget& list = *window_.File_List_Box;
    if (index < 0 || index >= list.count()) {
        return FrameLoad::NoEntry;
    }
    // Selecting the entry that is already selected raises nothing; the run
    // still wants that frame loaded and converted.
    window_.frameSelected_ = false;
    list.setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    if (!window_.frameSelected_) {
        window_.frameSelection(index);
    }
    return window_.frameLoaded_ ? FrameLoad::Loaded : FrameLoad::Unreadable;
}

QString QtWindowLayer::frameListEntry(int index) const
{
    const QListWidgetItem* item = window_.File_List_Box->item(index);
    return item != nullptr ? item->text() : QString();
}

PictureArea& QtWindowLayer::filePreview()
{
    return *window_.File_List_Preview;
}

PictureArea& QtWindowLayer::quickPrev()
{
    return *window_.Quick_Prev;
}

}  // namespace zoetra
