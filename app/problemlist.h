#pragma once

#include "data/dataproblem.h"

#include <QList>
#include <QTreeWidget>

// The data check's errors and warnings: severity, file and line, message.
// Double-clicking one asks to open its file.
class ProblemList : public QTreeWidget
{
    Q_OBJECT

public:
    explicit ProblemList(QWidget *parent = nullptr);

    // Files below the data directory show by their path from it, others by
    // their name; the tooltip has the whole path.
    void setProblems(const QList<DataProblem> &problems, const QString &dataDirectory);

signals:
    void openRequested(const QString &file);
};
