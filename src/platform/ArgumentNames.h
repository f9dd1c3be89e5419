#pragma once

#include <QString>

#include <optional>

namespace zoetra {

// Where the command line comes as bytes (Unix), an argument that is not
// valid UTF-8 cannot name its file through Qt's strings: they would name
// another, missing one. Such an argument as it is, its other bytes escaped
// (caf\xE9.mp4); nothing when every argument is valid. Elsewhere nothing.
std::optional<QString> argumentNotUtf8(int argc, const char* const* argv);

// The bytes as text, each byte that is no part of valid UTF-8 as \xHH.
QString escapedBytes(const QByteArray& bytes);

}  // namespace zoetra
