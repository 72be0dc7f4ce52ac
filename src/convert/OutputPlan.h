#pragma once
// The plan of a run before it starts: where each row's output goes and what the run will do
// with it, made by the run's own naming rules without writing anything. The list's Output
// column and the command line's dry run show it.
#include "OutputNaming.h"

#include <QString>
#include <stop_token>
#include <vector>

namespace sondrel {

class RunRows;

struct PlannedOutput {
    enum class Action { Convert, Skip, Rename, UpToDate, Ask, Fail, Copy }; // Copy: converted by copying
    QString relative;      // below the output folder; empty when no name could be made
    Action action = Action::Convert;
    QString error;         // Fail: why
    int sameNameAs = -1;   // an earlier row that takes the name this one was first given
    bool exists = false;   // a file of the name first given exists (Rename: before numbering)
};

// "convert", "skip", "rename", "up to date", "ask", "fail", "copy".
QString actionWord(PlannedOutput::Action action);

// Every row's planned output in the output folder folder (ending in "/"), in list order, as a
// run with naming and existing would make it if nothing changed meanwhile. A stop asked for
// through stop ends it early with an empty plan.
std::vector<PlannedOutput> planOutputs(const RunRows& rows, const QString& folder, const OutputNaming& naming,
                                       Existing existing, std::stop_token stop = {});

// The text a row's plan shows as its tooltip: what its output collides with and what the run
// does about it; empty when nothing does.
QString planNote(const PlannedOutput& plan, const QString& otherCaption, Existing existing);

} // namespace sondrel
