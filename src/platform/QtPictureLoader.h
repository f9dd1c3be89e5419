#pragma once

#include "platform/PictureLoader.h"

class QIODevice;

namespace zoetra {

// Decodes frames with Qt's image readers. Only the top-left part that a
// picture area can show is decoded where the format allows it, and no image
// may claim more memory than a set limit, so a damaged header that promises
// a huge picture fails instead of exhausting memory.
class QtPictureLoader final : public PictureLoader {
public:
    static constexpr int AllocationLimitMegabytes = 128;

    std::optional<QImage> load(const QString& path) override;
    // The same decoding from any device (the fuzz target feeds a buffer).
    static std::optional<QImage> decode(QIODevice* device);
};

}  // namespace zoetra
