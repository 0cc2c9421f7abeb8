// The window's batch run, timed: the main window shown (offscreen is fine),
// the Batch tab in front, the given tags checked, Start pressed. Prints the
// run's wall time in milliseconds, one line per run; batchwin_bench.py sets it
// beside `velquin --batch` on the same tree.
//
//     batchwin_bench TREE [--tags 256,257,...] [--runs N] [--save FILE] [--refresh MS]
//                    [--screenshot PNG]
//
// --save writes the bytes the pane's Save writes after the last run, so that
// they can be compared with the command line's output. --refresh sets how
// often the tab shows the run (under valgrind, a large one keeps the number
// of refreshes what it is at full speed). --screenshot saves the window as it
// stands after the last run, for the README.
#include "ui/batchtab.h"
#include "ui/main.h"
#include "ui/messages.h"
#include "ui/tagsearchmodel.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

int usage()
{
    std::cerr << "usage: batchwin_bench TREE [--tags 256,257,...] [--runs N] [--save FILE] [--refresh MS]\n"
                 "                      [--screenshot PNG]\n";
    return 2;
}

/// Checks the entries of the listed tag numbers (each must have an entry;
/// the default list holds 256, 257, 269, 270, 282, 283, 305, 306 and 315).
bool checkTags(TBatchTab& tab, const QString& tags)
{
    TTagSearchListModel& model = *tab.SearchList();
    for (const QString& number : tags.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool found = false;
        for (int row = 0; row < model.rowCount() && !found; ++row) {
            const QModelIndex index = model.index(row);
            if (index.data().toString().startsWith(number + QStringLiteral("  "))) {
                model.setData(index, Qt::Checked, Qt::CheckStateRole);
                found = true;
            }
        }
        if (!found) {
            std::cerr << "batchwin_bench: no entry for tag " << number.toStdString() << '\n';
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    QStringList args = QApplication::arguments();
    args.removeFirst();
    QString tree, tags = QStringLiteral("256,257,282,283,305,306"), save, screenshot;
    int runs = 1;
    int refresh = -1;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--tags") && hasValue)
            tags = args[++i];
        else if (a == QLatin1String("--runs") && hasValue)
            runs = args[++i].toInt();
        else if (a == QLatin1String("--save") && hasValue)
            save = args[++i];
        else if (a == QLatin1String("--screenshot") && hasValue)
            screenshot = args[++i];
        else if (a == QLatin1String("--refresh") && hasValue)
            refresh = args[++i].toInt();
        else if (tree.isEmpty() && !a.startsWith(QLatin1String("--")))
            tree = a;
        else
            return usage();
    }
    if (tree.isEmpty() || runs < 1)
        return usage();

    // A box would hold the run: count them instead, as a user would see them.
    int boxes = 0;
    Messages::SetHook([&boxes](Messages::Kind, const QString& text) {
        ++boxes;
        std::cerr << "batchwin_bench: box: " << text.toStdString() << '\n';
        return 0x00000400; // QMessageBox::Ok
    });

    TForm1 form;
    form.resize(1100, 800);
    form.show();
    form.PageControl1->setCurrentWidget(form.TabSheetBatch);
    TBatchTab& tab = *form.BatchTab;
    if (refresh >= 0)
        tab.SetRefreshInterval(refresh);
    if (!checkTags(tab, tags))
        return 2;
    tab.edtStartDir->setText(tree);
    QApplication::processEvents();

    for (int run = 0; run < runs; ++run) {
        tab.UpdateActions();
        if (!tab.ActionStartRetrieve->isEnabled()) {
            std::cerr << "batchwin_bench: Start is disabled for " << tree.toStdString() << '\n';
            return 1;
        }
        QElapsedTimer clock;
        clock.start();
        tab.ActionStartRetrieve->trigger();
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        std::printf("%.1f\n", ms);
        std::fflush(stdout);
        QApplication::processEvents();
    }
    if (!save.isEmpty()) {
        const std::string bytes = tab.ResultsBytes();
        std::ofstream file(save.toStdString(), std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!file.flush()) {
            std::cerr << "batchwin_bench: cannot write " << save.toStdString() << '\n';
            return 1;
        }
    }
    if (!screenshot.isEmpty() && !form.grab().save(screenshot)) {
        std::cerr << "batchwin_bench: cannot write " << screenshot.toStdString() << '\n';
        return 1;
    }
    return boxes == 0 ? 0 : 1;
}
