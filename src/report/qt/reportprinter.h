#pragma once

#include "report/reportjob.h"

#include <functional>

class QPrinter;
class QWidget;

/// The printer's job title.
inline constexpr const char* ReportJobTitle = "Velquin Print";

/// Shows the print dialog for printer; true when the user chose to print.
bool ShowPrintDialog(QPrinter& printer, QWidget* parent);
/// How the window asks for a printer; tests answer without a dialog.
using TPrintDialogRunner = std::function<bool(QPrinter& printer, QWidget* parent)>;

/// Prints the report as one portrait copy of every page, titled "Velquin
/// Print", whatever the dialog chose. Throws EVelquinError with the system's
/// words when the printer or the output file cannot take the job.
void PrintReportOn(QPrinter& printer, const TReportSource& source);
