#include "report/qt/reportprinter.h"

#include "tiff/errors.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QPageRanges>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace {

QFont reportFont(TReportFont font)
{
    QFont f;
    // Where Times New Roman is missing, a face with its metrics, else any serif.
    f.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                   QStringLiteral("Nimbus Roman"), QStringLiteral("Times")});
    f.setStyleHint(QFont::Serif);
    // Plain glyphs, no ligatures: the printed text stays searchable as typed.
    f.setStyleStrategy(QFont::PreferNoShaping);
    switch (font) {
    case TReportFont::Body:
        f.setPointSize(10);
        break;
    case TReportFont::Caption:
    case TReportFont::Notice:
        f.setPointSize(10);
        f.setBold(true);
        break;
    case TReportFont::HeaderMeasure:
        f.setPointSize(8);
        break;
    case TReportFont::Header:
        f.setPointSize(8);
        f.setBold(true);
        break;
    case TReportFont::Title:
        f.setPointSize(18);
        f.setBold(true);
        break;
    }
    return f;
}

QString text(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string failureText(const QPrinter& printer, const char* what)
{
    const QString file = printer.outputFileName();
    if (!file.isEmpty()) {
        QFile probe(file);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
            return QStringLiteral("Cannot create file \"%1\". %2").arg(file, probe.errorString()).toStdString();
        return QStringLiteral("Printing to \"%1\" failed").arg(file).toStdString();
    }
    if (printer.printerName().isEmpty())
        return "There is no default printer currently selected";
    return QStringLiteral("The printer \"%1\" %2").arg(printer.printerName(), QString::fromLatin1(what)).toStdString();
}

/// The report's canvas on a printer: positions are device pixels from the
/// printable area's top left, as QPainter has them on a QPrinter.
class TPrinterCanvas : public TReportCanvas {
public:
    TPrinterCanvas(QPrinter& printer, QPainter& painter) : m_printer(printer), m_painter(painter)
    {
        m_painter.setPen(QPen(Qt::black, 0)); // one device pixel wide
    }

    TPrintArea Area() const override
    {
        const QRect paint = m_printer.pageLayout().paintRectPixels(m_printer.resolution());
        return {m_printer.width(), m_printer.height(), paint.left(), paint.top()};
    }
    int PageNumber() const override { return m_page; }
    void NewPage() override
    {
        if (!m_printer.newPage())
            throw EVelquinError(failureText(m_printer, "could not start a new page"));
        ++m_page;
    }

    void SetFont(TReportFont font) override { m_painter.setFont(reportFont(font)); }
    int TextWidth(std::string_view s) override { return m_painter.fontMetrics().horizontalAdvance(text(s)); }
    int TextHeight(std::string_view) override { return m_painter.fontMetrics().height(); }
    void DrawText(TReportPoint origin, std::string_view s) override
    {
        m_painter.drawText(QPoint(origin.X, origin.Y + m_painter.fontMetrics().ascent()), text(s));
    }
    void DrawClippedText(const TReportRect& clip, TReportPoint origin, std::string_view s) override
    {
        if (clip.IsEmpty() || s.empty())
            return;
        m_painter.save();
        m_painter.setClipRect(QRect(clip.Left, clip.Top, clip.Right - clip.Left, clip.Bottom - clip.Top));
        DrawText(origin, s);
        m_painter.restore();
    }
    void DrawLine(const TReportLine& line) override
    {
        m_painter.drawLine(line.From.X, line.From.Y, line.To.X, line.To.Y);
    }

private:
    QPrinter& m_printer;
    QPainter& m_painter;
    int m_page = 1;
};

} // namespace

bool ShowPrintDialog(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    // Every page is printed: no range to choose.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    return dialog.exec() == QDialog::Accepted;
}

void PrintReportOn(QPrinter& printer, const TReportSource& source)
{
    printer.setDocName(QString::fromLatin1(ReportJobTitle));
    printer.setCopyCount(1);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setPageRanges(QPageRanges());

    QPainter painter;
    if (!painter.begin(&printer))
        throw EVelquinError(failureText(printer, "could not start the print job"));
    try {
        TPrinterCanvas canvas(printer, painter);
        PrintReport(canvas, source);
    } catch (...) {
        printer.abort();
        painter.end();
        throw;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw EVelquinError(failureText(printer, "could not finish the print job"));
}
