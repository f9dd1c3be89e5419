#pragma once

#include <QString>

#include <string_view>

namespace zoetra {

// The system's fixed names (models, formats, player parts) are kept as
// string views; this is how they reach Qt's strings.
inline QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zoetra
