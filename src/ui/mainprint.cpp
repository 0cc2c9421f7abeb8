// The main window's printed report: the listing as it stands, on the
// printer the user picks.
#include "ui/main.h"

#include "ui/messages.h"
#include "ui/taglistmodel.h"

#include <QDate>
#include <QHeaderView>
#include <QLocale>
#include <QPrinter>
#include <QTreeView>

TReportSource TForm1::ReportSource() const
{
    TReportSource source;
    const QHeaderView* header = ListView1->header();
    for (int c = 0; c < ListModel->columnCount(); ++c) {
        source.Captions.push_back(ListModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString());
        source.ColumnWidths.push_back(header->isSectionHidden(c) ? 0 : header->sectionSize(c));
    }
    const auto& rows = ListModel->Rows();
    source.Rows.reserve(rows.size());
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        auto& row = source.Rows.emplace_back();
        // The cells as the list shows them, a row no wider than the listing made it.
        for (int c = 0; c < static_cast<int>(rows[static_cast<std::size_t>(r)].size()); ++c)
            row.push_back(ListModel->CellText(r, c).toStdString());
    }
    if (TiffFile)
        source.FilePath = TiffFile->FileName;
    source.Date = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
    return source;
}

void TForm1::ActionPrintExecute()
{
    Messages::Guarded([this] {
        if (!TiffFile)
            return;
        QPrinter printer(QPrinter::HighResolution);
        if (!PrintDialog1(printer, this))
            return;
        PrintReportOn(printer, ReportSource());
    });
}
