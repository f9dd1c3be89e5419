#include "platform/MemoryWindowLayer.h"

namespace zoetra {

void MemoryWindowLayer::showMessage(const QString& text, const QString& title, MessageIcon icon)
{
    messages.push_back({text, title, icon});
    if (onMessage) {
        onMessage(messages.back());
    }
}

void MemoryWindowLayer::yieldToEvents()
{
    ++yieldCount;
    if (onYield) {
        onYield();
    }
}

void MemoryWindowLayer::setProgressPanelVisible(bool visible)
{
    if (visible && !progressPanelVisible) {
        ++progressPanelShows;
    }
    progressPanelVisible = visible;
}

bool MemoryWindowLayer::setProgressValue(ProgressBar bar, double value)
{
    return bars[static_cast<std::size_t>(bar)].setValue(value);
}

bool MemoryWindowLayer::setProgressMaximum(ProgressBar bar, double maximum)
{
    return bars[static_cast<std::size_t>(bar)].setMaximum(maximum);
}

FrameLoad MemoryWindowLayer::selectFrameListEntry(int index)
{
    if (index < 0 || index >= frames.size()) {
        return FrameLoad::NoEntry;
    }
    selectedFrame = index;
    if (onFrameSelected && !onFrameSelected(index)) {
        return FrameLoad::Unreadable;
    }
    return FrameLoad::Loaded;
}

}  // namespace zoetra
