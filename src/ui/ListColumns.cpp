#include "MainWindow.h"

#include "FileListView.h"
#include "ListRows.h"
#include "SettingsFile.h"
#include "WindowSettings.h"

#include <QHeaderView>
#include <QScopedValueRollback>
#include <QStyle>
#include <algorithm>
#include <numeric>

// The widths of the list's columns: Time, Size, Status and Loudness as wide as what they
// show, File Name, Full Path and Output sharing the rest and whatever the list grows or shrinks by.

namespace sondrel {

namespace {
// The widest value the Loudness column shows.
const QString LoudnessSample = QStringLiteral("-14.2 LUFS, -10.3 dBTP");
// The smallest window a stored layout must fit in: in a narrower one, columns may go past
// the edge, and a wider one gives File Name and Full Path more room.
constexpr int CheckedWindowWidth = 800;

// As wide as the widest of the texts in a cell, and the header's caption with the sort mark.
int contentWidth(const QTreeView& list, int column, const QStringList& texts)
{
    const QStyle* style = list.style();
    const QHeaderView* header = list.header();
    const int headerPad = 2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header)
        + style->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + 6;
    int width = header->fontMetrics().horizontalAdvance(
                    list.model()->headerData(column, Qt::Horizontal).toString()) + headerPad;
    // The item's margins, the grid line, and the frame of a progress bar in the Status cell.
    const int cellPad = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1) + 8;
    for (const QString& text : texts)
        width = std::max(width, list.fontMetrics().horizontalAdvance(text) + cellPad);
    return width;
}
} // namespace

int Tfm_main::listWidthFor(int clientWidth)
{
    return DesignedListWidth + std::max(0, clientWidth - ClientWidth);
}

int Tfm_main::listViewportWidth(int listWidth) const
{
    // With the scroll bar a long list shows.
    return listWidth - 2 * lv->frameWidth() - lv->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lv);
}

std::array<int, rows::ColumnCount> Tfm_main::defaultColumnWidths(int listWidth) const
{
    std::array<int, rows::ColumnCount> widths{};
    widths[rows::Time] = contentWidth(*lv, rows::Time, {QStringLiteral("00:00:00")});
    widths[rows::Size] = contentWidth(*lv, rows::Size, {QStringLiteral("9999.99MB")});
    widths[rows::Status] = contentWidth(*lv, rows::Status,
                                        {rows::Converting + QStringLiteral(" 100%"), rows::Unconverted, rows::Finish,
                                         rows::Skipped, rows::Stopped, rows::Failed});
    const int minimum = lv->header()->minimumSectionSize();
    const int fixed = widths[rows::Time] + widths[rows::Size] + widths[rows::Status];
    // Loudness is empty until the files are analyzed (an analysis widens it to its values):
    // it shows its header where the names keep room enough (each of the three at least
    // NameRoom), else it starts as narrow as a column can be.
    constexpr int NameRoom = 100;
    widths[rows::Loudness] = contentWidth(*lv, rows::Loudness, {});
    if (listViewportWidth(listWidth) - fixed - widths[rows::Loudness] < 3 * NameRoom)
        widths[rows::Loudness] = lv->header()->minimumSectionSize();
    const int rest = listViewportWidth(listWidth) - fixed - widths[rows::Loudness];
    widths[rows::FileName] = std::max(minimum, rest * 3 / 10);
    widths[rows::Output] = std::max(minimum, rest * 3 / 10);
    widths[rows::FullPath] = std::max(minimum, rest - widths[rows::FileName] - widths[rows::Output]);
    return widths;
}

void Tfm_main::setColumnWidths(const std::array<int, rows::ColumnCount>& widths, int listWidth)
{
    QScopedValueRollback<bool> placing(m_placingColumns, true);
    for (int c = 0; c < rows::ColumnCount; ++c)
        lv->setColumnWidth(c, widths[std::size_t(c)]);
    m_nameWidth = widths[rows::FileName];
    m_pathWidth = widths[rows::FullPath];
    m_outputWidth = widths[rows::Output];
    m_columnsListWidth = listWidth;
}

void Tfm_main::restoreColumns(const SettingsFile& settings, int clientWidth)
{
    const int listWidth = listWidthFor(clientWidth);
    const QList<int> stored = readColumnWidths(settings, rows::ColumnCount, lv->header()->minimumSectionSize());
    if (stored.isEmpty()) {
        setColumnWidths(defaultColumnWidths(listWidth), listWidth);
        return;
    }
    // The widths belong to the list of the window they were stored with; one that cannot be
    // used is replaced by its default.
    const int storedWindow = storedWindowWidth(settings);
    const int storedList = listWidthFor(storedWindow > 0 ? storedWindow : clientWidth);
    std::array<int, rows::ColumnCount> widths = defaultColumnWidths(storedList);
    for (int c = 0; c < rows::ColumnCount; ++c)
        if (stored[c] > 0)
            widths[std::size_t(c)] = stored[c];
    // In the window opened now, at least CheckedWindowWidth wide, File Name and Full Path
    // take what the list grew or shrank by; a column that would still start past the list's
    // edge, out of sight, means the layout is no good, and the defaults are used.
    const int checkedList = listWidthFor(std::max(CheckedWindowWidth, clientWidth));
    const int change = checkedList - storedList;
    const int minimum = lv->header()->minimumSectionSize();
    std::array<int, rows::ColumnCount> checked = widths;
    checked[rows::FileName] = std::max(minimum, widths[rows::FileName] + change / 3);
    checked[rows::Output] = std::max(minimum, widths[rows::Output] + change / 3);
    checked[rows::FullPath] = std::max(minimum, widths[rows::FullPath] + change - 2 * (change / 3));
    // (Loudness, after Output, may start past the edge: the list scrolls to it.)
    if (std::accumulate(checked.begin(), checked.begin() + rows::Output, 0) >= listViewportWidth(checkedList)) {
        setColumnWidths(defaultColumnWidths(listWidth), listWidth);
        return;
    }
    setColumnWidths(widths, storedList);
}

void Tfm_main::shareListGrowth(int listWidth)
{
    const int change = listWidth - m_columnsListWidth;
    if (change == 0)
        return;
    m_columnsListWidth = listWidth;
    // The widths before clamping are kept, so a window made small and large again gives
    // both columns back what they had.
    m_nameWidth += change / 3;
    m_outputWidth += change / 3;
    m_pathWidth += change - 2 * (change / 3);
    const int minimum = lv->header()->minimumSectionSize();
    QScopedValueRollback<bool> placing(m_placingColumns, true);
    lv->setColumnWidth(rows::FileName, std::max(minimum, m_nameWidth));
    lv->setColumnWidth(rows::FullPath, std::max(minimum, m_pathWidth));
    lv->setColumnWidth(rows::Output, std::max(minimum, m_outputWidth));
}

} // namespace sondrel

namespace sondrel {

void Tfm_main::widenLoudnessColumn()
{
    const int values = contentWidth(*lv, rows::Loudness, {LoudnessSample});
    if (lv->columnWidth(rows::Loudness) < values)
        lv->setColumnWidth(rows::Loudness, values);
}

} // namespace sondrel
