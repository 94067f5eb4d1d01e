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

    void setProblems(const QList<DataProblem> &problems);

signals:
    void openRequested(const QString &file);
};
