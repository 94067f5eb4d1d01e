#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A file that a tool writes and a designer edits afterwards.
struct DesignerFile
{
    QString path;
    QByteArray contents;
};

// The files that already exist; a tool replaces them only when told to.
QStringList existingFiles(const QList<DesignerFile> &files);

// Writes each file whole (a reader never sees half of one), creating its
// directory. Stops at the first that fails and sets errorText, naming it.
bool writeDesignerFiles(const QList<DesignerFile> &files, QString *errorText);
