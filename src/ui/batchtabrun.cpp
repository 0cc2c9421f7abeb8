// The Batch tab during a run: the host of TBatchRun, and what the tab shows
// of the run while it goes on.
#include "batch/treecount.h"
#include "tiff/tiff.h"
#include "ui/batchtab.h"
#include "ui/messages.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <climits>

namespace {

/// The longest the window's events wait while a run goes on: a click on
/// Stop is heard well within 100 ms.
constexpr qint64 kEventInterval = 20;

/// Nested layouts between a label of the tab and the window.
constexpr int kLayoutLevels = 8;

/// Lines that wait for the pane at most: the document takes them in some
/// 15 ms, so the events are never held up for long.
constexpr int kMaxPendingLines = 4096;

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// "850 ms" under a second, "12.4 s" under a minute, then "1:05" and "1:02:03".
QString elapsedText(qint64 milliseconds)
{
    if (milliseconds < 1000)
        return QString::number(milliseconds) + QStringLiteral(" ms");
    if (milliseconds < 60'000)
        return QLocale().toString(static_cast<double>(milliseconds) / 1000.0, 'f', 1) + QStringLiteral(" s");
    const qint64 seconds = milliseconds / 1000;
    const auto twoDigits = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (seconds < 3600)
        return QString::number(seconds / 60) + QLatin1Char(':') + twoDigits(seconds % 60);
    return QString::number(seconds / 3600) + QLatin1Char(':') + twoDigits(seconds / 60 % 60) + QLatin1Char(':') +
           twoDigits(seconds % 60);
}

/// Sets a counter field only when its number changed: every change repaints it.
void showNumber(QLineEdit* field, std::int64_t number)
{
    const QString text = QString::number(number);
    if (field->text() != text)
        field->setText(text);
}

} // namespace

TBatchOptions TBatchTab::currentOptions() const
{
    TBatchOptions o;
    o.StartDir = edtStartDir->text().toStdString();
    o.AddDescription = cbAddDescription->isChecked();
    o.IncludeRoot = cbIncludeRoot->isChecked();
    o.IncludeSubDirectories = cbIncludeSubDirectories->isChecked();
    o.TrimValue = cbTrimValue->isChecked();
    o.AllPages = cbAllPages->isChecked();
    // Workers read ahead; the pane gets its lines in the walk's order all the
    // same. At least one worker: the window's thread never reads a file, so
    // a large one cannot keep Stop waiting.
    o.Jobs = std::max(2, DefaultJobs());
    return o;
}

void TBatchTab::ActionStartRetrieveExecute()
{
    if (m_running)
        return;
    const TBatchOptions options = currentOptions();
    DisableBatchControls();
    QWidget* host = window();
    if (host != this)
        host->installEventFilter(this);
    beginRunView();
    m_treeCount = std::make_unique<TTreeCount>(options);
    std::exception_ptr error;
    try {
        m_run.Run(options);
    } catch (...) {
        error = std::current_exception();
    }
    endRunView();
    if (host != this)
        host->removeEventFilter(this);
    EnableBatchControls();
    // An error that ended the run is shown once the run has ended, and the window is whole again.
    if (error)
        Messages::Guarded([&error] { std::rethrow_exception(error); });
    emit runFinished();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        host->close();
    }
}

void TBatchTab::btnStopClick()
{
    m_run.RequestStop();
}

void TBatchTab::DisableBatchControls()
{
    m_running = true;
    setBatchControlsEnabled(false);
}

void TBatchTab::EnableBatchControls()
{
    m_running = false;
    setBatchControlsEnabled(true);
}

void TBatchTab::setBatchControlsEnabled(bool enabled)
{
    for (QAction* a :
         {ActionStartRetrieve, ActionDeleteTag, ActionAddNewTag, ActionMoveDown, ActionMoveUp, ActionSortTags})
        a->setEnabled(enabled);
    for (QWidget* w : std::initializer_list<QWidget*>{spdBtnStartingDir, BitBtnClose, btnReset, edtCounter, edtPages,
                                                      edtDamaged, edtNotRead, GroupBoxExportOptions})
        w->setEnabled(enabled);
    btnStop->setEnabled(!enabled);
}

// ---------------------------------------------------------------- what the run tells

std::string TBatchTab::Separator()
{
    return cmbbxSeperator->currentText().toStdString();
}

void TBatchTab::ClearResults()
{
    m_resultsPane->Clear();
    m_log->Clear();
}

void TBatchTab::AppendResultLine(const std::string& line)
{
    m_resultsPane->Append(line);
    if (m_refreshInterval == 0)
        refreshRunView();
    else if (m_resultsPane->Pending() >= kMaxPendingLines)
        m_resultsPane->Flush(); // files of many pages: no one edit may keep Stop waiting
}

void TBatchTab::ShowCounters(std::int64_t, std::int64_t)
{
    // The run's counts are read when the view is refreshed.
}

void TBatchTab::ShowStatus(const std::string& text)
{
    m_statusText = text;
    m_statusChanged = true;
}

void TBatchTab::ShowFile(const std::string& path)
{
    m_file = path;
    m_fileChanged = true;
    refreshIfDue();
}

void TBatchTab::ShowRefusal(const std::string& text)
{
    refreshRunView(); // the emptied pane and counters, under the box
    Messages::ShowError(fromUtf8(text));
}

void TBatchTab::ShowReaderMessage(const std::string& path, const TReaderMessage& message)
{
    // A box here would hold the run until it was answered, file after file.
    m_log->Append(readerMessageLine(path, message));
}

void TBatchTab::NotTiff(const std::string& path, const std::string& reason)
{
    m_log->Append(notTiffLine(path, reason));
}

void TBatchTab::NotRead(const std::string& path, const std::string& reason)
{
    m_log->Append(notReadLine(path, reason));
}

void TBatchTab::ShowProgress(std::int64_t done, std::int64_t found, bool walkComplete)
{
    m_done = done;
    m_found = found;
    m_walkComplete = walkComplete;
    refreshIfDue();
}

void TBatchTab::ProcessMessages()
{
    refreshIfDue();
    const qint64 now = m_runClock.elapsed();
    if (m_refreshInterval > 0 && now - m_lastEvents < std::min<qint64>(kEventInterval, m_refreshInterval))
        return;
    m_lastEvents = now;
    // A new text or state relayouts the tab level by level, one events round
    // each, and the tab widget repaints whole when the request reaches it:
    // settle the layouts first, so that the round paints once.
    for (int level = 0; level < kLayoutLevels; ++level)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- the run's view

void TBatchTab::beginRunView()
{
    m_file.clear();
    m_fileChanged = false;
    m_statusChanged = false;
    m_done = m_found = 0;
    m_walkComplete = false;
    m_runClock.start();
    m_lastRefresh = m_lastEvents = 0;
    for (QLineEdit* counter : {edtCounter, edtPages, edtDamaged, edtNotRead})
        counter->setText(QStringLiteral("0"));
    ProgressBar1->setRange(0, 0); // busy until the files are counted
    lblElapsed->setText(elapsedText(0));
}

void TBatchTab::refreshIfDue()
{
    if (m_refreshInterval == 0 || m_runClock.elapsed() - m_lastRefresh >= m_refreshInterval)
        refreshRunView();
}

void TBatchTab::refreshRunView()
{
    m_lastRefresh = m_runClock.elapsed();
    m_resultsPane->Flush();
    m_log->Flush();
    const TBatchCounts& counts = m_run.Counts();
    showNumber(edtCounter, counts.Files);
    showNumber(edtPages, counts.Pages);
    showNumber(edtDamaged, counts.Damaged);
    showNumber(edtNotRead, counts.NotRead);
    if (m_fileChanged) {
        m_fileChanged = false;
        const QString path = fromUtf8(m_file);
        Label3->setText(path);
        emit fileRead(path);
    }
    if (m_statusChanged) {
        m_statusChanged = false;
        m_status->setText(fromUtf8(m_statusText));
    }
    showProgressBar();
    lblElapsed->setText(elapsedText(m_lastRefresh));
}

void TBatchTab::endRunView()
{
    refreshRunView();
    m_treeCount.reset();
    if (ProgressBar1->maximum() == 0) { // never counted: what the run found is all there is
        ProgressBar1->setRange(0, 1);
        ProgressBar1->setFormat(tr("%1 of %2 files").arg(m_done).arg(m_found));
        ProgressBar1->setValue(m_found == 0 ? 0 : 1);
        ProgressBar1->setTextVisible(true);
    }
}

void TBatchTab::showProgressBar()
{
    // Files done of files found, once their number is known: the run's own
    // walk knows it only at its end, the count long before.
    std::int64_t total = -1;
    if (m_walkComplete)
        total = m_found;
    else if (const std::int64_t counted = m_treeCount ? m_treeCount->Total() : -1; counted >= 0)
        total = std::max(counted, m_found);
    if (total < 0) {
        ProgressBar1->setRange(0, 0);
        return;
    }
    // The bar counts in int; the text says the real numbers.
    const double scale = total > INT_MAX ? static_cast<double>(INT_MAX) / static_cast<double>(total) : 1.0;
    const auto toBar = [scale](std::int64_t n) { return static_cast<int>(static_cast<double>(n) * scale); };
    ProgressBar1->setRange(0, std::max(1, toBar(total)));
    ProgressBar1->setValue(total == 0 ? 0 : toBar(std::min(m_done, total)));
    ProgressBar1->setFormat(tr("%1 of %2 files").arg(m_done).arg(total));
    ProgressBar1->setTextVisible(true);
}

void TBatchTab::setLogShown(bool shown)
{
    btnLog->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    RedtLog->setVisible(shown);
}

QString TBatchTab::BatchStatusText() const
{
    return m_status->text();
}
