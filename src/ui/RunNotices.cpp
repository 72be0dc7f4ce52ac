#include "RunNotices.h"

#include "AppState.h"
#include "Converter.h"
#include "FileListModel.h"

#include <QTimer>
#include <QWidget>

namespace sondrel {

RunNotices::RunNotices(QWidget* window, AppState& state, FileListModel& list, Converter& converter)
    : m_window(window), m_state(state), m_list(list)
{
    connect(&state, &AppState::flagsChanged, this, &RunNotices::onFlagsChanged);
    connect(&converter, &Converter::progressed, this, [this](double share, int rowsLeft) {
        if (m_work == Work::Converting)
            m_desktop.showProgress(share, rowsLeft);
    });
    connect(&converter, &Converter::summarized, this, [this](const QString& summary) {
        if (m_work == Work::Converting)
            end(QStringLiteral("Conversion finished"), summary);
    });
    // Rows come in timed batches: one update per batch.
    connect(&list, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_work == Work::Adding)
            m_desktop.showProgress(-1, m_list.count() - m_rowsAtStart);
    });
}

RunNotices::~RunNotices()
{
    if (m_work != Work::None)
        m_desktop.clearProgress();
}

QString RunNotices::addedText(int files)
{
    return files == 1 ? QStringLiteral("1 file added") : QStringLiteral("%1 files added").arg(files);
}

void RunNotices::onFlagsChanged()
{
    switch (m_work) {
    case Work::None:
        if (m_state.flag_converting())
            start(Work::Converting);
        else if (m_state.flag_adding())
            start(Work::Adding);
        break;
    case Work::Adding:
        if (!m_state.flag_adding())
            end(QStringLiteral("Files added"), addedText(m_list.count() - m_rowsAtStart));
        break;
    case Work::Converting:
        // A run's end is told by its summary, which follows the flag at once; a conversion
        // refused before it started has none.
        if (!m_state.flag_converting())
            QTimer::singleShot(0, this, [this] {
                if (m_work == Work::Converting && !m_state.flag_converting())
                    end({}, {});
            });
        break;
    }
}

void RunNotices::start(Work work)
{
    m_work = work;
    m_clock.start();
    m_rowsAtStart = m_list.count();
    if (work == Work::Converting)
        m_desktop.showProgress(0, m_list.count());
    else
        m_desktop.showProgress(-1, 0);
}

void RunNotices::end(const QString& title, const QString& summary)
{
    m_work = Work::None;
    if (!summary.isEmpty() && m_clock.elapsed() >= m_thresholdMs && !m_window->isActiveWindow())
        m_desktop.notify(title, summary);
    m_desktop.clearProgress();
    // Work that started while this one ended (an adding waiting for a conversion) is taken up.
    onFlagsChanged();
}

} // namespace sondrel
