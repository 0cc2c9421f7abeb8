// The main window and what is wrong with its file: the check run when a file
// opens, the marks on the rows of the listing, the Problems pane and the map
// of the file, whose choices lead to a directory and a row.
#include "ui/main.h"

#include "check/checker.h"
#include "tiff/detail.h"
#include "tiff/valuesource.h"
#include "ui/filemap.h"
#include "ui/messages.h"
#include "ui/problemspane.h"
#include "ui/taglistmodel.h"
#include "ui/uiscale.h"

#include <QItemSelectionModel>
#include <QSplitter>
#include <QTreeView>

namespace {

// Sentences a row's tooltip holds; an entry whose value overlaps a thousand
// strips is told in full in the Problems pane.
constexpr int kTipSentences = 10;

} // namespace

void TForm1::checkOpenFile()
{
    // The checker reads the values again, from the bytes that were listed;
    // it reads no more than about twice the file. A file that cannot be
    // checked (gone or changed since it was read, or too big for memory) is
    // listed as before, without findings.
    try {
        const std::unique_ptr<TValueSource> source = openValues(*TiffFile);
        m_check = std::make_unique<TCheckReport>(checkFile(*TiffFile, *source));
    } catch (const std::exception&) {
        m_check.reset();
    }
    const bool paneWasHidden = ProblemsPane->isHidden();
    ProblemsPane->SetReport(m_check.get());
    FileMap->SetFile(TiffFile.get(), m_check.get());
    if (paneWasHidden && !ProblemsPane->isHidden())
        giveProblemsRoom();
}

void TForm1::giveProblemsRoom()
{
    // A few findings in view. Before the window shows, the splitter has no
    // sizes yet and shares out designed ones; later the pane takes its room
    // from the detail pane, so the listing keeps its height.
    if (!InfoSplitter->isVisible()) {
        InfoSplitter->setSizes({Scaled(380), Scaled(130), Scaled(110)});
        return;
    }
    QList<int> sizes = InfoSplitter->sizes();
    const int wanted = Scaled(110);
    if (sizes.size() != 3 || sizes[2] >= wanted)
        return;
    const int taken = std::min(wanted - sizes[2], std::max(0, sizes[1] - Scaled(120)));
    sizes[1] -= taken;
    sizes[2] += taken;
    InfoSplitter->setSizes(sizes);
}

void TForm1::forgetCheck()
{
    ProblemsPane->SetReport(nullptr);
    FileMap->SetFile(nullptr, nullptr);
    m_check.reset();
}

void TForm1::markProblemRows()
{
    if (!m_check || !m_directory)
        return;
    QHash<int, TRowMark> marks;
    QHash<int, int> sentences;
    for (const TProblem& problem : m_check->Problems) {
        if (problem.Directory != static_cast<int>(*m_directory) || problem.Entry < 0)
            continue;
        const int row = FirstTagRow + problem.Entry;
        if (row >= ListModel->rowCount()) // the listing stopped before this entry
            continue;
        const TSeverity severity = problemKindInfo(problem.Kind).Severity;
        const bool first = !marks.contains(row);
        TRowMark& mark = marks[row];
        // Error sorts before warning before note.
        if (first || severity < mark.Severity)
            mark.Severity = severity;
        if (++sentences[row] <= kTipSentences)
            mark.Sentences += (first ? QString() : QStringLiteral("\n")) + QString::fromStdString(problem.Sentence);
    }
    for (auto it = sentences.cbegin(); it != sentences.cend(); ++it)
        if (it.value() > kTipSentences)
            marks[it.key()].Sentences += QStringLiteral("\n... and %1 more").arg(it.value() - kTipSentences);
    ListModel->SetMarks(std::move(marks));
}

QString TForm1::problemsText() const
{
    const std::uint64_t total = m_check ? ProblemTotal(*m_check) : 0;
    if (total == 0)
        return {};
    return total == 1 ? QStringLiteral(" - 1 problem") : QStringLiteral(" - %1 problems").arg(total);
}

void TForm1::showPlace(int directory, int entry)
{
    if (!TiffFile)
        return;
    if (directory >= 0 && m_directory != static_cast<std::size_t>(directory)) {
        // A page by the arrows' way, so the status bar tells its number.
        Messages::Guarded([&] { ShowDirectory(directory); });
        UpdateActions();
    }
    QItemSelectionModel* selection = ListView1->selectionModel();
    const int row = FirstTagRow + entry;
    if (directory >= 0 && entry >= 0 && row < ListModel->rowCount()) {
        ListView1->setCurrentIndex(ListModel->index(row, 0));
        ListView1->scrollTo(ListModel->index(row, 0));
    } else if (directory < 0 && ListModel->rowCount() >= FirstTagRow) {
        // The file as a whole: the rows about it.
        ListView1->setCurrentIndex(ListModel->index(0, 0));
        selection->select(QItemSelection(ListModel->index(0, 0), ListModel->index(FirstTagRow - 2, 0)),
                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ListView1->scrollToTop();
    } else {
        selection->clearSelection();
        ListView1->scrollToTop();
    }
}
