#pragma once

#include "shared/VideoTarget.h"

#include <QString>

namespace zoetra {

class PictureArea;

enum class MessageIcon { Error, Warning, Information };

enum class ProgressBar { TotalProgress, ByteWriter, CompressionVal };

// What the selection of a frame-list entry came to.
enum class FrameLoad {
    NoEntry,     // there is no such entry
    Loaded,      // the frame was loaded and converted
    Unreadable,  // the file could not be read: both pictures stay as they were
};

// What the conversion needs from the window: message boxes, the yield to
// pending events, the progress panel, the controls it reads and the frame
// list. The window implements it with its widgets; the headless converter
// and the tests with in-memory stand-ins.
class WindowLayer {
public:
    virtual ~WindowLayer() = default;

    // A modal message box with one OK button; returns when it is dismissed.
    virtual void showMessage(const QString& text, const QString& title, MessageIcon icon) = 0;
    // Handles every pending window event, then returns.
    virtual void yieldToEvents() = 0;

    virtual void setProgressPanelVisible(bool visible) = 0;
    // Both return false when the bar refuses the value (see ProgressBarModel).
    virtual bool setProgressValue(ProgressBar bar, double value) = 0;
    virtual bool setProgressMaximum(ProgressBar bar, double maximum) = 0;
    virtual void setSizeCounterCaption(const QString& caption) = 0;

    virtual int detailSliderValue() const = 0;  // -10..0
    virtual QString programName() const = 0;    // FName
    virtual QString shellChoice() const = 0;    // ShellChoice's text
    virtual int loopingState() const = 0;       // SetLooping: 0 clear, 1 ticked, 2 greyed
    virtual QString descriptionText() const = 0;
    // What the run makes: the calculator model, the pace, the storage and
    // the stream format, as the controls choose them.
    virtual VideoTarget videoTarget() const = 0;

    virtual int frameListCount() const = 0;
    // Selects an entry of the frame list by position; the selection loads and
    // converts that frame, also when the entry was already selected.
    virtual FrameLoad selectFrameListEntry(int index) = 0;
    // The file name of an entry, or empty when there is none.
    virtual QString frameListEntry(int index) const = 0;

    // The frame picture and the monochrome preview.
    virtual PictureArea& filePreview() = 0;
    virtual PictureArea& quickPrev() = 0;
};

}  // namespace zoetra
