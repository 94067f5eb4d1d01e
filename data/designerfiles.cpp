#include "designerfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

QStringList existingFiles(const QList<DesignerFile> &files)
{
    QStringList existing;
    for (const DesignerFile &file : files) {
        if (QFileInfo::exists(file.path))
            existing << QDir::toNativeSeparators(file.path);
    }
    return existing;
}

bool writeDesignerFiles(const QList<DesignerFile> &files, QString *errorText)
{
    for (const DesignerFile &file : files) {
        const QString name = QDir::toNativeSeparators(file.path);
        if (!QDir().mkpath(QFileInfo(file.path).absolutePath())) {
            *errorText = QStringLiteral("cannot create the directory of %1").arg(name);
            return false;
        }
        QSaveFile out(file.path);
        if (!out.open(QIODevice::WriteOnly) || out.write(file.contents) != file.contents.size()
            || !out.commit()) {
            *errorText = QStringLiteral("cannot write %1: %2").arg(name, out.errorString());
            return false;
        }
    }
    return true;
}
