#pragma once

#include "measure.h"

#include <QMap>
#include <QPair>
#include <QVector>

namespace bench {

struct Results
{
    QString started, finished, loadAtStart, loadAtEnd, machine, buildType;
    RunPlan plan;
    int searchWindowS = 15;
    StartupFigures startup;
    bool startupRun = false;
    QVector<Figures> program; // lanScout's runs, in the order they ran
    QVector<Figures> minimal; // the minimal loop's
    QMap<QPair<bool, int>, QPair<int, int>>
        largest; // (debug, spread) -> (largest held, smallest failed or 0)
    QVector<FlapFigures> flapping;
    QStringList failures;
};

// The tables and the verdict on each target, as markdown.
QString report(const Results &results);

} // namespace bench
