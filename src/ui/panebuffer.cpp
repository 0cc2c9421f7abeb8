#include "ui/panebuffer.h"

#include "ui/resultstext.h"

#include <QPlainTextEdit>

void TPaneBuffer::Append(std::string_view record)
{
    if (m_lines > 0)
        m_pending += QLatin1Char('\n'); // a paragraph break, as appendPlainText begins one
    appendPaneText(m_pending, record);
    ++m_lines;
}

void TPaneBuffer::Flush()
{
    if (m_lines == 0)
        return;
    // One edit, and the pane follows the new lines when it shows its end.
    m_pane->appendPlainText(m_pending);
    m_pending.resize(0); // keeps its room for the next lines
    m_lines = 0;
}

void TPaneBuffer::Clear()
{
    m_pending.resize(0);
    m_lines = 0;
    m_pane->clear();
}
