#include "problemlist.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>

#include <algorithm>

ProblemList::ProblemList(QWidget *parent) : QTreeWidget(parent)
{
    setColumnCount(3);
    setHeaderLabels({tr("Severity"), tr("File"), tr("Message")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    header()->setStretchLastSection(true);
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        emit openRequested(item->data(1, Qt::UserRole).toString());
    });
}

void ProblemList::setProblems(const QList<DataProblem> &problems, const QString &dataDirectory)
{
    clear();
    const QDir data(dataDirectory);
    QList<QTreeWidgetItem *> items;
    for (const DataProblem &problem : problems) {
        const bool error = problem.severity == DataProblem::Severity::Error;
        const QString relative = data.relativeFilePath(problem.file);
        QString place = relative.startsWith(QLatin1String("..")) || QDir::isAbsolutePath(relative)
            ? QFileInfo(problem.file).fileName()
            : QDir::toNativeSeparators(relative);
        if (problem.line > 0)
            place += QLatin1Char(':') + QString::number(problem.line);
        // Further lines draw what the first one is about; the tooltip has them.
        auto *item = new QTreeWidgetItem({error ? tr("error") : tr("warning"), place,
                                          problem.message.section(QLatin1Char('\n'), 0, 0)});
        item->setData(1, Qt::UserRole, problem.file);
        item->setToolTip(1, problem.file);
        item->setToolTip(2, problem.message);
        item->setIcon(0,
                      style()->standardIcon(error ? QStyle::SP_MessageBoxCritical
                                                  : QStyle::SP_MessageBoxWarning));
        items.append(item);
    }
    addTopLevelItems(items);
    resizeColumnToContents(0);
    // A long path would push the messages out of sight.
    setColumnWidth(1, std::min(sizeHintForColumn(1), viewport()->width() * 2 / 5));
}
