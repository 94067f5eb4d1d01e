#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

// Shared by the fuzz targets: the loaders read files, so every input is
// written into a scratch directory that lives as long as the fuzzer.
namespace FuzzSupport {

// Creates the application object (image plugins need it) and the scratch
// directory, and makes the scratch directory the current one, so relative
// paths in fuzzed files stay inside it. Paths given to the fuzzer must
// therefore be absolute.
void initialize();
QString scratchPath(const QString &name);
void writeFile(const QString &path, const QByteArray &contents);
QByteArray bytes(const std::uint8_t *data, std::size_t size);

// Cuts an input into at most count parts at each "\n--\n"; missing parts are
// empty. One input thus carries several files and mutations can move bytes
// between them.
QList<QByteArray> sections(const std::uint8_t *data, std::size_t size, int count);

} // namespace FuzzSupport
