#include "OutputPlan.h"

#include "NamePattern.h"
#include "OutputFiles.h"
#include "RunRows.h"
#include "StreamCopy.h"

#include <QFileInfo>
#include <QHash>

#include <optional>

namespace sondrel {

QString actionWord(PlannedOutput::Action action)
{
    switch (action) {
    case PlannedOutput::Action::Convert: return QStringLiteral("convert");
    case PlannedOutput::Action::Skip: return QStringLiteral("skip");
    case PlannedOutput::Action::Rename: return QStringLiteral("rename");
    case PlannedOutput::Action::UpToDate: return QStringLiteral("up to date");
    case PlannedOutput::Action::Ask: return QStringLiteral("ask");
    case PlannedOutput::Action::Fail: return QStringLiteral("fail");
    case PlannedOutput::Action::Copy: return QStringLiteral("copy");
    }
    return {};
}

namespace {

bool entryExists(const QString& path)
{
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

// What the run does with a row whose output, under its final name, exists already.
PlannedOutput::Action actionForExisting(Existing existing, const QString& source, const QString& target)
{
    switch (existing) {
    case Existing::Ask: return PlannedOutput::Action::Ask;
    case Existing::Skip: return PlannedOutput::Action::Skip;
    case Existing::Overwrite:
    case Existing::Rename: return PlannedOutput::Action::Convert;
    case Existing::Update: break;
    }
    const std::optional<std::int64_t> from = modifiedNsOf(source);
    const std::optional<std::int64_t> to = modifiedNsOf(target);
    return from && to && outputIsUpToDate(*from, *to) ? PlannedOutput::Action::UpToDate
                                                      : PlannedOutput::Action::Convert;
}

} // namespace

std::vector<PlannedOutput> planOutputs(const RunRows& rows, const QString& folder, const OutputNaming& naming,
                                       Existing existing, std::stop_token stop)
{
    std::optional<NamePattern> pattern;
    if (!naming.namePattern.isEmpty())
        pattern.emplace(naming.namePattern);
    RunNames names(naming.nameRules);
    QHash<QString, int> firstTaker; // by name as the run compares them
    const int count = rows.count();
    std::vector<PlannedOutput> plan(std::size_t(count > 0 ? count : 0));
    const auto existsBelow = [&](const QString& relative) { return entryExists(folder + relative); };
    for (int row = 0; row < count; ++row) {
        if (stop.stop_requested())
            return {};
        PlannedOutput& p = plan[std::size_t(row)];
        QString first;
        if (!relativeOutputFor(rows, row, naming, pattern ? &*pattern : nullptr, &first, &p.error)) {
            p.action = PlannedOutput::Action::Fail;
            continue;
        }
        const QString key = names.key(first);
        if (names.taken(first))
            p.sameNameAs = firstTaker.value(key, -1);
        else
            firstTaker.insert(key, row);
        p.exists = existsBelow(first);
        const bool renames = existing == Existing::Rename;
        p.relative = names.take(first, naming.extension, renames ? std::function<bool(const QString&)>(existsBelow)
                                                                 : std::function<bool(const QString&)>());
        if (p.relative != first && !existsBelow(p.relative))
            p.action = PlannedOutput::Action::Rename;
        else if (existsBelow(p.relative))
            p.action = actionForExisting(existing, rows.source(row), folder + p.relative);
        // Only the source's headers are opened: cheap enough for every row of a plan. A track
        // of an image is always encoded.
        if (p.action == PlannedOutput::Action::Convert && !naming.copyCodec.isEmpty() && !rows.range(row)
            && canCopyStream(rows.source(row), naming.copyCodec))
            p.action = PlannedOutput::Action::Copy;
    }
    return plan;
}

QString planNote(const PlannedOutput& plan, const QString& otherCaption, Existing existing)
{
    using Action = PlannedOutput::Action;
    if (plan.action == Action::Fail)
        return plan.error;
    QStringList lines;
    if (plan.sameNameAs >= 0)
        lines << QStringLiteral("\"%1\" in the list has the same output name.").arg(otherCaption);
    else if (plan.exists)
        lines << QStringLiteral("A file of this name exists in the output folder.");
    switch (plan.action) {
    case Action::Rename: lines << QStringLiteral("It is written as %1.").arg(plan.relative); break;
    case Action::Ask: lines << QStringLiteral("You are asked whether to replace %1.").arg(plan.relative); break;
    case Action::Skip: lines << QStringLiteral("%1 exists and is kept.").arg(plan.relative); break;
    case Action::UpToDate: lines << QStringLiteral("%1 is newer than its source and is kept.").arg(plan.relative); break;
    case Action::Convert:
    case Action::Copy:
        if (existing != Existing::Rename && (plan.exists || plan.sameNameAs >= 0))
            lines << QStringLiteral("%1 is replaced.").arg(plan.relative);
        if (plan.action == Action::Copy)
            lines << QStringLiteral("Its audio is copied without re-encoding.");
        break;
    case Action::Fail: break;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace sondrel
