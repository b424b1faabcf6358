#include "store/io/atomicsave.h"

#include "store/io/datafile.h"

#include <QSaveFile>

namespace skyhaul {

void writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // A target we may not replace must fail rather than be written in place.
    file.setDirectWriteFallback(false);
    // Unbuffered: a buffered QSaveFile loses a write error of its final flush inside commit() and then
    // renames the cut file over the old one (a full disk would leave a truncated file).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw FileIoError(FileIoError::Operation::Write, path, file.errorString());
    if (file.write(bytes) != bytes.size() || file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw FileIoError(FileIoError::Operation::Write, path, reason);
    }
    // commit() syncs and renames.
    if (!file.commit())
        throw FileIoError(FileIoError::Operation::Write, path, file.errorString());
}

} // namespace skyhaul
