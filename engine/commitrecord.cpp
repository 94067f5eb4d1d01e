#include "commitrecord.h"

#include "mapfilewriter.h"
#include "savefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstdio>

namespace {

const QLatin1String recordName(".mapgenerator.commit");
const QLatin1String replaceKey("replace");
const QLatin1String fileKey("file");
const QLatin1String withKey("with");

bool isMapFileName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^(map|staidx|statics)\\d+\\.mul$"));
    return pattern.match(name).hasMatch();
}

QString displayPath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

CommitRecord::CommitRecord(const QString &destination) : m_destination(destination) { }

QString CommitRecord::path(const QString &destination)
{
    return destination + QLatin1Char('/') + recordName;
}

void CommitRecord::add(const QString &file, const QString &temporaryFile)
{
    m_replacements.append({file, temporaryFile});
}

bool CommitRecord::write()
{
    QJsonArray replacements;
    for (const Replacement &replacement : std::as_const(m_replacements))
        replacements.append(QJsonObject {
            {fileKey, QFileInfo(replacement.file).fileName()},
            {withKey, QFileInfo(replacement.temporaryFile).fileName()},
        });
    const QByteArray contents = QJsonDocument(QJsonObject {{replaceKey, replacements}}).toJson();
    // The temporary files were synced with their names; the record goes
    // through a temporary file of its own, so that it is whole or absent.
    const QString recordPath = path(m_destination);
    const std::unique_ptr<MapOutputFile> record = createSaveFile(recordPath);
    if (!record->open() || !record->write(contents) || !record->sync() || !record->commit()) {
        const QString reason = record->errorString();
        record->cancel();
        return fail(recordPath, reason);
    }
    QString reason;
    return SaveFiles::syncDirectory(m_destination, &reason) || fail(recordPath, reason);
}

bool CommitRecord::remove()
{
    if (!syncDirectories())
        return false;
    const QString recordPath = path(m_destination);
    if (std::remove(QFile::encodeName(recordPath).constData()) != 0)
        return fail(recordPath, qt_error_string(errno));
    QString reason;
    return SaveFiles::syncDirectory(m_destination, &reason) || fail(recordPath, reason);
}

bool CommitRecord::syncDirectories()
{
    QSet<QString> directories;
    for (const Replacement &replacement : std::as_const(m_replacements))
        directories.insert(QFileInfo(replacement.temporaryFile).path());
    for (const QString &directory : std::as_const(directories)) {
        QString reason;
        if (!SaveFiles::syncDirectory(directory, &reason))
            return fail(directory, reason);
    }
    return true;
}

bool CommitRecord::fail(const QString &file, const QString &reason)
{
    m_errorString = QStringLiteral("Cannot write %1: %2").arg(displayPath(file), reason);
    return false;
}

bool CommitRecord::recover(const QString &destination, QString *error)
{
    const QString recordPath = path(destination);
    QFile file(recordPath);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("Cannot read %1: %2")
                         .arg(displayPath(recordPath), file.errorString());
            return false;
        }
        const QJsonArray replacements =
            QJsonDocument::fromJson(file.readAll()).object().value(replaceKey).toArray();
        CommitRecord record(destination);
        bool valid = !replacements.isEmpty();
        for (const QJsonValue &value : replacements) {
            const QString name = value.toObject().value(fileKey).toString();
            const QString target = SaveFiles::resolvedTarget(destination + QLatin1Char('/') + name);
            const QString temporary = value.toObject().value(withKey).toString();
            // Only a temporary file of the named map file is ever renamed.
            valid = valid && isMapFileName(name)
                && SaveFiles::temporaryTarget(temporary) == QFileInfo(target).fileName();
            record.add(target, QFileInfo(target).path() + QLatin1Char('/') + temporary);
        }
        if (!valid) {
            *error = QStringLiteral("%1 is not a record of map files being replaced that this "
                                    "generator can complete; check the map files with verify, "
                                    "then remove it")
                         .arg(displayPath(recordPath));
            return false;
        }
        for (const Replacement &replacement : std::as_const(record.m_replacements)) {
            // A temporary file that is gone was renamed before the pass died.
            if (std::rename(QFile::encodeName(replacement.temporaryFile).constData(),
                            QFile::encodeName(replacement.file).constData())
                    != 0
                && errno != ENOENT) {
                *error = QStringLiteral("Cannot complete the replacement of %1 that a stopped "
                                        "pass began: %2")
                             .arg(displayPath(replacement.file), qt_error_string(errno));
                return false;
            }
        }
        if (!record.remove()) {
            *error = record.errorString();
            return false;
        }
    }
    // What is left are temporary files of passes that died before their
    // commit; they hold nothing of a complete set.
    const QStringList names =
        QDir(destination).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QString target = SaveFiles::temporaryTarget(name);
        if (isMapFileName(target) || target == recordName)
            QFile::remove(destination + QLatin1Char('/') + name);
    }
    return true;
}
